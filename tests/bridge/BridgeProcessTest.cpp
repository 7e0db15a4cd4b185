// The bridge process as the host sees it: the refusal to run standalone, the
// scan mode, the connection, the closing codes and the liveness checks in
// both directions, with the real pelorin.exe.

#include "BridgeHost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::wstring kBridge = L"" PELORIN_BUILD_DIR "/dist/64bit/pelorin.exe";
const std::wstring kHostPeer = L"" PELORIN_BUILD_DIR "/fixtures/hostpeer.exe";
const wchar_t kStandaloneText[] = L"This application is not meant to be used standalone.";

using TClock = std::chrono::steady_clock;

struct TProcess {
    TOwnedHandle Handle;
    DWORD Id = 0;
};

TProcess Start(const std::wstring& exe, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    TProcess p;
    if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        p.Handle.Reset(pi.hProcess);
        p.Id = pi.dwProcessId;
    }
    return p;
}

bool WaitExit(HANDLE process, DWORD ms, DWORD& code)
{
    if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(process, &code);
    return true;
}

struct TDialogSearch {
    DWORD ProcessId;
    HWND Dialog;
};

BOOL CALLBACK MatchDialog(HWND wnd, LPARAM lp)
{
    auto* s = reinterpret_cast<TDialogSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    wchar_t cls[64] = {};
    GetClassNameW(wnd, cls, 64);
    if (pid == s->ProcessId && std::wstring(cls) == L"#32770" && IsWindowVisible(wnd)) {
        s->Dialog = wnd;
        return FALSE;
    }
    return TRUE;
}

// A dialog window (class "#32770") of the process, or none.
HWND FindDialogOf(DWORD processId)
{
    TDialogSearch search{processId, nullptr};
    EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.Dialog;
}

struct TChildTexts {
    std::vector<std::wstring> Statics;
    std::vector<HWND> Buttons;
};

BOOL CALLBACK CollectChild(HWND wnd, LPARAM lp)
{
    auto* out = reinterpret_cast<TChildTexts*>(lp);
    wchar_t cls[64] = {};
    GetClassNameW(wnd, cls, 64);
    wchar_t text[512] = {};
    GetWindowTextW(wnd, text, 512);
    if (_wcsicmp(cls, L"Static") == 0 && text[0] != 0)
        out->Statics.emplace_back(text);
    if (_wcsicmp(cls, L"Button") == 0)
        out->Buttons.push_back(wnd);
    return TRUE;
}

TChildTexts ReadChildren(HWND dialog)
{
    TChildTexts t;
    EnumChildWindows(dialog, &CollectChild, reinterpret_cast<LPARAM>(&t));
    return t;
}

TEST(BridgeProcess, AnInvalidCommandLineShowsTheStandaloneMessageAndEndsWithZero)
{
    const std::wstring cases[] = {
        L"",                      // no arguments at all
        L"-name Solo",            // no handle
        L"-name Solo -handle abc", // a handle that is no number
        L"-name -handle 5",       // the name takes "-handle", 5 is ignored
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(std::string(args.begin(), args.end()));
        TProcess p = Start(kBridge, args);
        ASSERT_TRUE(p.Handle);
        HWND dialog = nullptr;
        for (int i = 0; i < 200 && dialog == nullptr; ++i) {
            dialog = FindDialogOf(p.Id);
            if (dialog == nullptr)
                Sleep(50);
        }
        ASSERT_NE(dialog, nullptr) << "no message box appeared";
        const TChildTexts children = ReadChildren(dialog);
        ASSERT_EQ(children.Statics.size(), 1u);
        EXPECT_EQ(children.Statics[0], kStandaloneText);
        ASSERT_EQ(children.Buttons.size(), 1u); // a single OK button
        wchar_t caption[64] = {};
        GetWindowTextW(children.Buttons[0], caption, 64);
        EXPECT_EQ(std::wstring(caption), L"OK");
        DWORD code = 99;
        EXPECT_FALSE(WaitExit(p.Handle.Get(), 200, code)) << "the process must wait for the button";
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(children.Buttons[0]));
        ASSERT_TRUE(WaitExit(p.Handle.Get(), 5000, code));
        EXPECT_EQ(code, 0u);
    }
}

TEST(BridgeProcess, ABaseNameWhoseBlocksCannotBeCreatedEndsTheProcessWithAnError)
{
    // No object namespace of that name exists, so no block can be created in it.
    TProcess p = Start(kBridge, L"-name No\\Such\\Namespace -handle 4242");
    ASSERT_TRUE(p.Handle);
    DWORD code = 0;
    ASSERT_TRUE(WaitExit(p.Handle.Get(), 5000, code));
    EXPECT_NE(code, 0u);
    EXPECT_EQ(FindDialogOf(p.Id), nullptr);
}

TEST(BridgeProcess, ScanWithAnExistingFileEndsAtOnceWithoutOpeningTheChannel)
{
    struct TCase {
        std::wstring ScanPath;
        bool Connects;
    };
    const TCase cases[] = {
        {kBridge, false},                                          // an existing file
        {L"" PELORIN_BUILD_DIR "/no such file.dll", true},        // a missing file: runs normally
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Connects ? "missing file" : "existing file");
        TBridgeHost host;
        host.Launch(kBridge, {L"-scan", c.ScanPath});
        if (c.Connects) {
            EXPECT_NE(host.WaitConnected(10000), nullptr);
            continue;
        }
        DWORD code = 99;
        ASSERT_TRUE(host.WaitProcessExit(5000, code));
        EXPECT_EQ(code, 0u);
        Sleep(200); // a posted ready code would have arrived by now
        EXPECT_TRUE(host.ReceivedCodes().empty());
        const std::uint64_t bridgeWindow = host.Channel().Header()->BridgeWindow;
        EXPECT_EQ(bridgeWindow, 0u);
        EXPECT_FALSE(host.Connected());
    }
}

TEST(BridgeProcess, TheConnectedBridgePublishesItsWindowAndAnswersUnknownCommandsWithZero)
{
    TBridgeHost host;
    host.Launch(kBridge);
    HWND bridge = host.WaitConnected(10000);
    ASSERT_NE(bridge, nullptr);
    DWORD owner = 0;
    GetWindowThreadProcessId(bridge, &owner);
    EXPECT_EQ(owner, host.ProcessId());
    const std::uint64_t published = host.Channel().Header()->BridgeWindow;
    EXPECT_EQ(published, WindowValue(bridge));

    for (std::uint32_t code : {0x01000123u, 0x02000123u, 0x04000123u}) {
        std::int64_t result = 77, p1 = 5, p2 = 6;
        std::wstring text = L"abc";
        ASSERT_TRUE(host.Channel().SendCommandFull(code, result, 1, 2, p1, p2, text, 0, 0, nullptr, false))
            << std::hex << code;
        EXPECT_EQ(result, 0);
        EXPECT_EQ(p1, 5); // untouched by a command that does nothing
        EXPECT_EQ(text, L"abc");
    }
}

TEST(BridgeProcess, TheHostsClosingCodeEndsTheBridgeWhichThenSendsNoClosingCode)
{
    TBridgeHost host;
    host.Launch(kBridge);
    host.WaitConnected(10000);
    const auto start = TClock::now();
    host.Close();
    DWORD code = 99;
    ASSERT_TRUE(host.WaitProcessExit(2000, code));
    EXPECT_LT(TClock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(code, 0u);
    Sleep(300);
    for (const auto& c : host.ReceivedCodes())
        EXPECT_NE(c.first, kCodeBridgeCloses);
    EXPECT_NE(host.CloseReason(), TBridgeHost::TCloseReason::BridgeClosed);
}

TEST(BridgeProcess, ABridgeEndingItsLoopTellsTheHostWithItsClosingCode)
{
    TBridgeHost host;
    host.Launch(kBridge);
    HWND bridge = host.WaitConnected(10000);
    // The message loop ends when the main thread gets WM_QUIT; the client is
    // then freed while still connected.
    const DWORD mainThread = GetWindowThreadProcessId(bridge, nullptr);
    ASSERT_TRUE(PostThreadMessageW(mainThread, WM_QUIT, 0, 0));
    ASSERT_TRUE(host.WaitClosed(2000));
    EXPECT_EQ(host.CloseReason(), TBridgeHost::TCloseReason::BridgeClosed);
    DWORD code = 99;
    ASSERT_TRUE(host.WaitProcessExit(2000, code));
    EXPECT_EQ(code, 0u);
}

TEST(BridgeProcess, AKilledBridgeIsReportedByTheHostWithinTwoSeconds)
{
    TBridgeHost host;
    host.Launch(kBridge);
    host.WaitConnected(10000);
    const auto start = TClock::now();
    TerminateProcess(host.Process(), 9);
    ASSERT_TRUE(host.WaitClosed(2500));
    EXPECT_LT(TClock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(host.CloseReason(), TBridgeHost::TCloseReason::BridgeVanished);
    std::int64_t result = 0;
    EXPECT_FALSE(host.Channel().SendCommandResult(0x02000004, result, 0, 0, 0, 0, L""));
}

TEST(BridgeProcess, ABridgeWhoseHostIsKilledEndsWithinTwoSeconds)
{
    const std::wstring pidFile = L"hostpeer-" + std::to_wstring(GetCurrentProcessId()) + L".pid";
    DeleteFileW(pidFile.c_str());
    TProcess hostPeer = Start(kHostPeer, L"\"" + kBridge + L"\" " + pidFile);
    ASSERT_TRUE(hostPeer.Handle);
    unsigned long bridgeId = 0;
    for (int i = 0; i < 200 && bridgeId == 0; ++i) {
        Sleep(50);
        std::ifstream in(std::string(pidFile.begin(), pidFile.end()));
        in >> bridgeId;
    }
    ASSERT_NE(bridgeId, 0u) << "the host process did not connect its bridge";
    TOwnedHandle bridge(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                                    static_cast<DWORD>(bridgeId)));
    ASSERT_TRUE(bridge);

    const auto start = TClock::now();
    TerminateProcess(hostPeer.Handle.Get(), 9);
    DWORD code = 99;
    const bool ended = WaitExit(bridge.Get(), 2500, code);
    if (!ended)
        TerminateProcess(bridge.Get(), 1);
    ASSERT_TRUE(ended);
    EXPECT_LT(TClock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(code, 0u);
    DeleteFileW(pidFile.c_str());
}

} // namespace
