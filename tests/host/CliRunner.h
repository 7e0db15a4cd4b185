#pragma once
// Runs the command-line host as a program for the tests: its exit status and
// its standard output and error together.

#include "HostRunner.h"

#include <windows.h>

#include <string>

using TRun = THostRun;

inline TRun RunHost(const std::string& arguments)
{
    return RunCommandLineHost(PELORIN_BUILD_DIR, arguments);
}

inline std::string Temp(const std::string& name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "pelorin-cli-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

