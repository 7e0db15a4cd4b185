// A host process for the liveness tests: starts the bridge through the host
// library, writes the bridge's process id to a file once it has connected and
// then waits to be killed.
//   hostpeer <bridge executable> <pid file>

#include "BridgeHost.h"

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    try {
        TBridgeHost host;
        host.Launch(argv[1]);
        host.WaitConnected(10000);
        FILE* f = _wfopen(argv[2], L"w");
        if (f == nullptr)
            return 3;
        std::fprintf(f, "%lu\n", static_cast<unsigned long>(host.ProcessId()));
        std::fclose(f);
        Sleep(60000); // killed long before this ends
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hostpeer: %s\n", e.what());
        return 1;
    }
}
