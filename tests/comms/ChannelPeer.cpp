// The peer program of the two-process channel tests: opens the channel in
// bridge mode ("-name", "-handle" as the bridge gets them) and serves the
// test vocabulary until the host closes, the host vanishes, or kQuit.

#include "TestPeer.h"

#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring name;
    long handle = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::wstring(argv[i]) == L"-name")
            name = argv[i + 1];
        else if (std::wstring(argv[i]) == L"-handle")
            handle = std::wcstol(argv[i + 1], nullptr, 10);
    }
    LocalFree(argv);
    if (name.empty() || handle == 0)
        return 2;

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
