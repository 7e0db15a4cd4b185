#pragma once
// `pelorin-host scan DIR...`: every plugin module under the folders loaded in
// a bridge of its own, with a time limit, one row per plugin (per sub-plugin
// of a shell), and a row that says so for a module that crashes the bridge,
// hangs it or is refused. [Windows builds only]

// Runs the scan subcommand; args are the words after "scan". Returns the
// process exit status (0 when the scan completed, whatever the plugins did).
int RunScan(int argc, char** argv);
