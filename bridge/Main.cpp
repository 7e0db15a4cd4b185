// The bridge process: parses its command line, refuses to run standalone,
// creates the bridge client and runs the main thread's message loop with a
// 50 ms timer until the client's life in this process is over.

#include "BridgeCommandLine.h"
#include "WinHandle.h"
#include "BridgedPlug.h"
#include "FPUState.h"

#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

const wchar_t kStandaloneText[] = L"This application is not meant to be used standalone.";

// Posted to the main thread when the client's life ends on another thread.
const UINT kEndRequestMessage = WM_APP + 0x51;

DWORD g_mainThreadId = 0;
std::unique_ptr<TBridgeClient> g_client; // [main thread]
UINT_PTR g_timer = 0;                    // [main thread]
std::atomic<bool> g_endRequested{false};
std::string g_endLine; // written once, by the first end request, before it is posted

std::string ToAnsi(const std::wstring& s)
{
    if (s.empty())
        return {};
    int len = WideCharToMultiByte(CP_ACP, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(len), '\0');
    WideCharToMultiByte(CP_ACP, 0, s.c_str(), static_cast<int>(s.size()), out.data(), len, nullptr, nullptr);
    return out;
}

void CallSetProcessDPIAware()
{
    using TSetProcessDPIAware = BOOL(WINAPI*)();
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr)
        return;
    auto fn = reinterpret_cast<TSetProcessDPIAware>(
        reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDPIAware")));
    if (fn != nullptr)
        fn();
}

bool ProcessIsDPIAware()
{
    using TIsProcessDPIAware = BOOL(WINAPI*)();
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr)
        return false;
    auto fn = reinterpret_cast<TIsProcessDPIAware>(
        reinterpret_cast<void*>(GetProcAddress(user32, "IsProcessDPIAware")));
    return fn != nullptr && fn() != FALSE;
}

bool ScanFileExists(const std::wstring& path)
{
    if (path.empty())
        return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// COM (with OLE) on the main thread for the life of the process, as GUI
// frameworks set it up: plugin editors create COM objects (image decoders,
// drag and drop, Direct2D) on the thread that opens them and fault without.
class TOleScope {
public:
    TOleScope() : Result(OleInitialize(nullptr)) {}
    ~TOleScope()
    {
        if (SUCCEEDED(Result))
            OleUninitialize();
    }
    TOleScope(const TOleScope&) = delete;
    TOleScope& operator=(const TOleScope&) = delete;

private:
    HRESULT Result;
};

void Teardown() // [main thread]
{
    if (g_timer != 0) {
        KillTimer(nullptr, g_timer);
        g_timer = 0;
    }
    KeepModulesUntilExit(); // the process ends after this
    std::unique_ptr<TBridgeClient> client = std::move(g_client);
    client.reset();
}

// Logs the reason, frees everything and ends the process. [main thread]
[[noreturn]] void EndProcessNow(const std::string& line)
{
    if (g_client)
        g_client->Log(line);
    Teardown();
    ExitProcess(0);
}

// Receives the client's two events. Off the main thread it only hands the
// request over; the main thread logs, tears down and ends.
class THelper {
public:
    void ClientClosed(TBridgeClient&, bool lostContact)
    {
        std::string line = "Plugin was closed";
        if (lostContact)
            line += " (lost contact with host)";
        Request(line);
    }
    void ClientException(TBridgeClient&, const Exception& e) { Request("EXCEPTION: " + e.Message()); }

private:
    void Request(const std::string& line)
    {
        if (g_endRequested.exchange(true))
            return; // a second request after the first is ignored
        if (GetCurrentThreadId() == g_mainThreadId)
            EndProcessNow(line);
        g_endLine = line;
        PostThreadMessageW(g_mainThreadId, kEndRequestMessage, 0, 0);
    }
};

void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD) // [main thread]
{
    // A posted end request can be lost in a modal loop (a plugin's dialog);
    // the timer keeps running there and ends the process all the same.
    if (g_endRequested.load())
        EndProcessNow(g_endLine);
    if (!g_client)
        return;
    try {
        g_client->Tick();
    } catch (const Exception& e) {
        g_client->Log("EXCEPTION: " + e.Message());
    } catch (const std::exception& e) {
        g_client->Log(std::string("EXCEPTION: ") + e.what());
    }
}

void LogStartup(const std::vector<std::wstring>& args) // [main thread]
{
    std::string line = "Command line parameters: ";
    for (const auto& a : args)
        line += "\"" + ToAnsi(a) + "\" ";
    g_client->Log(line);

    MEMORYSTATUSEX ms = {};
    ms.dwLength = sizeof(ms);
    if (GlobalMemoryStatusEx(&ms)) {
        char buf[128];
        std::snprintf(buf, sizeof(buf), "total: %lld  -  available: %lld",
                      static_cast<long long>(ms.ullTotalVirtual), static_cast<long long>(ms.ullAvailVirtual));
        g_client->Log(buf);
    }
    if (ProcessIsDPIAware())
        g_client->Log("DPI aware");
}

int RunMessageLoop() // [main thread]
{
    MSG msg;
    for (;;) {
        BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0 || r == -1)
            break;
        if (msg.hwnd == nullptr && msg.message == kEndRequestMessage)
            EndProcessNow(g_endLine);
        try {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        } catch (const std::exception& e) {
            // The application's standard handling: report and go on.
            if (g_client)
                g_client->Log(std::string("EXCEPTION: ") + e.what());
        }
    }
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    g_mainThreadId = GetCurrentThreadId();
    RestoreFPUState();

    const std::vector<std::wstring> args = ProcessArguments();
    const TBridgeCommandLineParams params = ParseBridgeCommandLine(args, CallSetProcessDPIAware);
    if (!params.IsValid()) {
        MessageBoxW(nullptr, kStandaloneText, L"pelorin", MB_OK | MB_ICONERROR);
        return 0;
    }

    const TOleScope ole; // [main thread]
    THelper helper;
    if (!ScanFileExists(params.ScanPath)) {
        try {
            g_client = std::make_unique<TBridgeClient>(params.Name, params.Handle);
        } catch (const std::exception& e) {
            // No client exists: report like an unhandled exception and fail.
            std::fprintf(stderr, "pelorin: %s\n", e.what());
            OutputDebugStringA(e.what());
            return 1;
        }
        g_client->OnClosed = [&helper](TBridgeClient& c, bool lost) { helper.ClientClosed(c, lost); };
        g_client->OnException = [&helper](TBridgeClient& c, const Exception& e) { helper.ClientException(c, e); };
    }
    if (!g_client) {
        Teardown();
        return 0;
    }

    LogStartup(args);
    g_timer = SetTimer(nullptr, 0, 50, TimerProc);
    SetPriorityClass(GetCurrentProcess(), ABOVE_NORMAL_PRIORITY_CLASS);
    // Make sure the thread has a message queue before any request can be posted to it.
    MSG peek;
    PeekMessageW(&peek, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    RunMessageLoop();
    Teardown();
    return 0;
}
