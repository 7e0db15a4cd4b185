// Plugin editors through the bridge process: a host of our own starts
// pelorin.exe, loads the editor fixtures and opens, resizes and closes their
// editors through the header block and the window code 0xFF000006.

#include "BridgeHost.h"
#include "BridgeLayouts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string kBuild = PELORIN_BUILD_DIR;
const std::wstring kBridge = std::wstring(kBuild.begin(), kBuild.end()) + L"/dist/64bit/pelorin.exe";

// Parameters of the GDI editor fixture ("Test Editor").
enum : std::int32_t { kGrow, kResize, kIdles, kOpens, kCloses, kZero, kAsk, kDrop, kBig };
// Parameters of the OpenGL editor fixture ("Test GL Editor").
enum : std::int32_t { kContexts, kFrames, kPixel, kGLOpens };

std::int32_t Bits(float f)
{
    std::int32_t v;
    std::memcpy(&v, &f, 4);
    return v;
}

std::string Field(const char* f, std::size_t n)
{
    const void* z = std::memchr(f, 0, n);
    return std::string(f, z ? static_cast<const char*>(z) - f : n);
}

std::wstring ClassOf(HWND wnd)
{
    wchar_t name[128] = {};
    GetClassNameW(wnd, name, 128);
    return name;
}

SIZE ClientSize(HWND wnd)
{
    RECT r{};
    GetClientRect(wnd, &r);
    return {r.right, r.bottom};
}

// A bridge with one of the editor fixtures loaded.
struct TEditorSession {
    std::unique_ptr<TBridgeHost> Host;
    HWND BridgeWindow = nullptr;

    explicit TEditorSession(const std::string& fixture)
    {
        TBridgeHost::TOptions o;
        o.ReplyTimeoutMs = 20000;
        o.OnHostCommand = [](std::uint32_t, std::int32_t&, std::int32_t&, std::int64_t&, std::int64_t&, std::wstring&,
                             std::int64_t&, void*) -> std::int32_t { return 0; };
        Host = std::make_unique<TBridgeHost>(o);
        Host->Launch(kBridge);
        BridgeWindow = Host->WaitConnected(15000);
        auto* load = static_cast<TLoadBlock*>(Host->Channel().LoadBlock());
        std::memset(load, 0, sizeof(TLoadBlock));
        const std::string path = kBuild + "/fixtures/" + fixture;
        std::strncpy(load->FileName, path.c_str(), sizeof(load->FileName) - 1);
        load->Settings = {44100, 512, 120.0, 16, 4, 24};
        Host->PostCode(kCodeLoadPlugin, 0);
        Loaded = Host->WaitForCode(kCodePluginLoaded, 20000) == 1;
    }

    bool Loaded = false;
    THeaderBlock& Header() { return *Host->Channel().Header(); }
    HWND EditorWindow() { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(Header().EditorWindow)); }

    // The editor notices (0xFF000006) the bridge has sent so far.
    int Notices() const
    {
        int n = 0;
        for (const auto& code : Host->ReceivedCodes())
            n += code.first == kCodeEditorState ? 1 : 0;
        return n;
    }
    // Waits until at least count notices have come; false on time-out.
    bool WaitNotices(int count, DWORD timeoutMs) const
    {
        const DWORD start = GetTickCount();
        while (Notices() < count) {
            if (GetTickCount() - start > timeoutMs)
                return false;
            Sleep(5);
        }
        return true;
    }
    // Writes the request, sends 0xFF000006 and waits for the answer.
    bool Request(bool open)
    {
        const int before = Notices();
        Header().EditorRequest = open ? 1 : 0;
        Host->PostCode(kCodeEditorState, 0);
        return WaitNotices(before + 1, 10000);
    }
    void Control(std::uint32_t code, std::int32_t index = 0, std::int32_t value = 0)
    {
        std::int64_t result = 0, p1 = 0, p2 = 0;
        std::wstring text;
        EXPECT_TRUE(Host->Channel().SendCommandFull(code, result, index, value, p1, p2, text, 0, 0, nullptr, false))
            << std::hex << code;
    }
    void SetParam(std::int32_t index, float value) { Control(kCmdSetParamValue, index, Bits(value)); }
    // A parameter's display text as the plugin shows it now.
    std::string Display(std::int32_t index)
    {
        Control(kCmdRefreshDescription, 1);
        const auto* d = static_cast<const TDescriptionBlock*>(Host->Channel().DescriptionBlock());
        return Field(d->Params[index].Display, sizeof d->Params[index].Display);
    }
    int Count(std::int32_t index) { return std::atoi(Display(index).c_str()); }
};

// The bridge's editor window holds our panel, which holds the plugin's window.
struct TEditorWindows {
    HWND Panel = nullptr;
    HWND Plugin = nullptr;
};
TEditorWindows FindEditorWindows(HWND editorWindow, const wchar_t* pluginClass)
{
    TEditorWindows w;
    w.Panel = FindWindowExW(editorWindow, nullptr, L"TWPControl", nullptr);
    if (w.Panel != nullptr)
        w.Plugin = FindWindowExW(w.Panel, nullptr, pluginClass, nullptr);
    return w;
}

// Kernel handles open in a process, counted by duplicating every handle
// value in turn (the platform's own handle count is not available under Wine).
int CountHandles(HANDLE process)
{
    int n = 0;
    for (std::uintptr_t value = 4; value < 0x4000; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0, FALSE,
                            DUPLICATE_SAME_ACCESS)) {
            ++n;
            CloseHandle(copy);
        }
    }
    return n;
}

BOOL CALLBACK CountChild(HWND, LPARAM param)
{
    ++*reinterpret_cast<int*>(param);
    return TRUE;
}

struct TWindowCount {
    DWORD Pid;
    int Count;
};
BOOL CALLBACK CountTopLevel(HWND wnd, LPARAM param)
{
    auto* c = reinterpret_cast<TWindowCount*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid == c->Pid) {
        ++c->Count;
        EnumChildWindows(wnd, &CountChild, reinterpret_cast<LPARAM>(&c->Count));
    }
    return TRUE;
}

// Every window of a process, children included.
int CountWindows(DWORD pid)
{
    TWindowCount c{pid, 0};
    EnumWindows(&CountTopLevel, reinterpret_cast<LPARAM>(&c));
    return c.Count;
}

} // namespace

TEST(EditorEndToEnd, GdiEditorOpensInTheBridgesWindowFollowsItsSizeAndCloses)
{
    TEditorSession s("vst2_editor.dll");
    ASSERT_TRUE(s.Loaded);
    EXPECT_EQ(static_cast<const TDescriptionBlock*>(s.Host->Channel().DescriptionBlock())->HasEditor, 1);
    EXPECT_EQ(s.Header().EditorWindow, 0u);

    // Open: the bridge's hidden window and the plugin's size are published.
    ASSERT_TRUE(s.Request(true));
    const HWND editorWindow = s.EditorWindow();
    ASSERT_NE(editorWindow, nullptr);
    DWORD pid = 0;
    GetWindowThreadProcessId(editorWindow, &pid);
    EXPECT_EQ(pid, s.Host->ProcessId()) << "a window of the bridge";
    EXPECT_NE(editorWindow, s.BridgeWindow) << "not the channel window";
    EXPECT_EQ(ClassOf(editorWindow), L"x32x64_WindowInstance_ClassName");
    EXPECT_FALSE(IsWindowVisible(editorWindow)) << "the bridge never shows its editor window itself";
    EXPECT_EQ(s.Header().EditorWidth, 320);
    EXPECT_EQ(s.Header().EditorHeight, 200);
    const TEditorWindows windows = FindEditorWindows(editorWindow, L"PelorinTestEditor");
    ASSERT_NE(windows.Panel, nullptr);
    ASSERT_NE(windows.Plugin, nullptr);
    EXPECT_EQ(ClientSize(windows.Panel).cx, 320);
    EXPECT_EQ(ClientSize(windows.Panel).cy, 200);
    EXPECT_EQ(s.Display(kDrop), "ok") << "the editor could not register as a drop target: no OLE on its thread";

    // A second open request is answered and changes nothing.
    ASSERT_TRUE(s.Request(true));
    EXPECT_EQ(s.EditorWindow(), editorWindow);
    EXPECT_EQ(s.Count(kOpens), 1) << "no second effEditOpen";
    EXPECT_EQ(FindEditorWindows(editorWindow, L"PelorinTestEditor").Panel, windows.Panel);

    // The bridge's timer idles the open editor.
    const int idles = s.Count(kIdles);
    Sleep(300);
    EXPECT_GT(s.Count(kIdles), idles);

    // The editor grows through audioMasterSizeWindow: one notice.
    int notices = s.Notices();
    s.SetParam(kGrow, 1.0f);
    ASSERT_TRUE(s.WaitNotices(notices + 1, 3000));
    EXPECT_EQ(s.Header().EditorWidth, 400);
    EXPECT_EQ(s.Header().EditorHeight, 260);
    EXPECT_EQ(ClientSize(windows.Panel).cx, 400);
    EXPECT_EQ(ClientSize(windows.Panel).cy, 260);
    Sleep(400); // several idle passes
    EXPECT_EQ(s.Notices(), notices + 1) << "the panel's own resize gave no second notice";

    // The editor changes its size on its own: one notice at the next idle pass.
    notices = s.Notices();
    s.SetParam(kResize, 1.0f);
    ASSERT_TRUE(s.WaitNotices(notices + 1, 3000));
    EXPECT_EQ(s.Header().EditorWidth, 360);
    EXPECT_EQ(s.Header().EditorHeight, 240);
    Sleep(400);
    EXPECT_EQ(s.Notices(), notices + 1) << "exactly one notice";

    // Close: the window handle goes back to 0, the panel is gone, no more idling.
    ASSERT_TRUE(s.Request(false));
    EXPECT_EQ(s.Header().EditorWindow, 0u);
    EXPECT_EQ(s.Count(kCloses), 1);
    EXPECT_FALSE(IsWindow(windows.Panel));
    EXPECT_TRUE(IsWindow(editorWindow)) << "the bridge keeps its editor window for the next opening";
    const int closedIdles = s.Count(kIdles);
    Sleep(300);
    EXPECT_EQ(s.Count(kIdles), closedIdles) << "idle calls after the editor closed";

    // Closing a closed editor is answered too.
    ASSERT_TRUE(s.Request(false));
    EXPECT_EQ(s.Header().EditorWindow, 0u);
    EXPECT_EQ(s.Count(kCloses), 1);

    // An editor that resizes itself while it opens: one answer, with the
    // size read after the opening.
    s.SetParam(kBig, 1.0f);
    notices = s.Notices();
    ASSERT_TRUE(s.Request(true));
    EXPECT_EQ(s.Header().EditorWidth, 500);
    EXPECT_EQ(s.Header().EditorHeight, 300);
    Sleep(300);
    EXPECT_EQ(s.Notices(), notices + 1) << "the resize during the opening gave a notice of its own";
    EXPECT_TRUE(s.Host->Connected());
}

TEST(EditorEndToEnd, OpenGLEditorDrawsAndFiftyOpeningsLeakNothing)
{
    TEditorSession s("vst2_editor_gl.dll");
    ASSERT_TRUE(s.Loaded);

    ASSERT_TRUE(s.Request(true));
    const HWND editorWindow = s.EditorWindow();
    ASSERT_NE(editorWindow, nullptr);
    EXPECT_EQ(s.Header().EditorWidth, 300);
    EXPECT_EQ(s.Header().EditorHeight, 180);
    const TEditorWindows windows = FindEditorWindows(editorWindow, L"PelorinTestGLView");
    ASSERT_NE(windows.Plugin, nullptr);
    EXPECT_EQ(ClientSize(windows.Plugin).cx, 300);
    EXPECT_EQ(ClientSize(windows.Plugin).cy, 180);
    wchar_t title[160] = {};
    GetWindowTextW(windows.Plugin, title, 160);
    EXPECT_EQ(std::wstring(title).rfind(L"GL: ", 0), 0u) << "the context is current: " << std::wstring(title);
    EXPECT_EQ(s.Count(kContexts), 1);
    Sleep(200);
    EXPECT_GT(s.Count(kFrames), 1);
    EXPECT_EQ(s.Display(kPixel), "FFFF00") << "the middle of the frame as rendered";
    ASSERT_TRUE(s.Request(false));
    EXPECT_EQ(s.Count(kContexts), 0);

    // The counts after one full opening, then after fifty more.
    const int handles = CountHandles(s.Host->Process());
    const int windowsBefore = CountWindows(s.Host->ProcessId());
    ASSERT_GT(handles, 0);
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(s.Request(true)) << i;
        ASSERT_NE(s.Header().EditorWindow, 0u) << i;
        ASSERT_TRUE(s.Request(false)) << i;
        ASSERT_EQ(s.Header().EditorWindow, 0u) << i;
    }
    const int handlesAfter = CountHandles(s.Host->Process());
    const int windowsAfter = CountWindows(s.Host->ProcessId());
    std::printf("bridge after 1 opening: %d handles, %d windows; after 51: %d handles, %d windows\n", handles,
                windowsBefore, handlesAfter, windowsAfter);
    EXPECT_EQ(s.Count(kGLOpens), 51);
    EXPECT_EQ(s.Count(kContexts), 0);
    EXPECT_EQ(windowsAfter, windowsBefore) << "the bridge's window count changed";
    EXPECT_LE(handlesAfter, handles) << "the bridge's handle count grew";
    EXPECT_TRUE(s.Host->Connected());
}
