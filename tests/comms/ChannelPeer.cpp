// The peer program of the two-process channel tests: opens the channel in
// bridge mode ("-name", "-handle" as the bridge gets them) and serves the
// test vocabulary until the host closes, the host vanishes, or kQuit.

#include "TestPeer.h"

#include "BridgeCommandLine.h"

#include <shellapi.h>

#include <string>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // The same command line as the bridge's own.
    const TBridgeCommandLineParams params = ParseBridgeCommandLine(ProcessArguments());
    if (!params.IsValid())
        return 2;
    const std::wstring& name = params.Name;
    const std::int32_t handle = params.Handle;

    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    testpeer::TTestPeer peer(name, WindowFromValue(static_cast<std::uint32_t>(handle)), true);
    // The host's liveness is checked once a second by the header channel's thread.
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
