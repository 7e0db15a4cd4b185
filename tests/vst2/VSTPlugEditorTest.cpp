// The VST2 editor in process: TVSTPluginEditor with its panel in a window of
// ours, the plugin's size requests, the idle pass, focus and keys, with the
// GDI editor fixture ("Test Editor", vst2_editor.dll).

#include "VSTPlugEditor.h"
#include "VSTPlugTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// Parameters of the editor fixture.
enum : std::int32_t { kGrow, kResize, kIdles, kOpens, kCloses, kZero, kAsk };

// A top-level window of the host that records the key messages it gets.
class THostWindow {
public:
    THostWindow()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PelorinEditorTestHost";
        RegisterClassW(&wc);
        Window.Reset(CreateWindowExW(0, wc.lpszClassName, L"host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 10, 10,
                                     600, 400, nullptr, nullptr, wc.hInstance, nullptr));
        Keys().clear();
    }
    HWND Get() const { return Window.Get(); }
    struct TKey {
        UINT Msg;
        WPARAM Key;
    };
    static std::vector<TKey>& Keys()
    {
        static std::vector<TKey> keys;
        return keys;
    }

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg == WM_KEYDOWN || msg == WM_KEYUP || msg == WM_CHAR) {
            Keys().push_back({msg, wParam});
            return 77;
        }
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }
    TOwnedWindow Window;
};

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

SIZE ClientSize(HWND wnd)
{
    RECT r{};
    GetClientRect(wnd, &r);
    return {r.right, r.bottom};
}

HWND PluginWindow(const TVSTPluginEditor& editor)
{
    return editor.Panel ? FindWindowExW(editor.Panel->Handle(), nullptr, L"PelorinTestEditor", nullptr) : nullptr;
}

int Count(const std::vector<VstInt32>& opcodes, VstInt32 opcode)
{
    return static_cast<int>(std::count(opcodes.begin(), opcodes.end(), opcode));
}

struct TOpenEditor {
    THostWindow Host;
    TLoaded Loaded{"vst2_editor.dll"};
    TVSTPlugin& Plugin = *Loaded.Plugin;
    TVSTPluginEditor* Editor = Plugin.Editor();
    TOpenEditor()
    {
        if (Editor == nullptr) {
            ADD_FAILURE() << "no editor object";
            return;
        }
        Editor->Open(nullptr, reinterpret_cast<TWindowHandle>(Host.Get()), 0, 0);
        Pump();
    }
};

} // namespace

TEST(VSTEditor, OpensInAPanelOfTheHostWindowAndClosesAgain)
{
    THostWindow host;
    TLoaded ed("vst2_editor.dll");
    TVSTPlugin& p = *ed.Plugin;
    ASSERT_EQ(p.EditorCount(), 1) << "an effect with an editor gets its editor object";
    EXPECT_TRUE(p.HasEditor);
    TVSTPluginEditor* editor = p.Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->CanShow);
    EXPECT_EQ(editor->ViewName, "Default");
    EXPECT_EQ(editor->Width, 0);

    int mark = ed.Fixture->Mark();
    editor->Open(nullptr, reinterpret_cast<TWindowHandle>(host.Get()), 5, 7);
    ASSERT_TRUE(editor->IsOpen);
    EXPECT_EQ(editor->ParentWnd, reinterpret_cast<TWindowHandle>(host.Get()));
    EXPECT_EQ(editor->Width, 320);
    EXPECT_EQ(editor->Height, 200);
    ASSERT_TRUE(editor->Panel);
    const HWND panel = editor->Panel->Handle();
    EXPECT_EQ(reinterpret_cast<HWND>(editor->GetWindowHandle()), panel);
    EXPECT_EQ(GetParent(panel), host.Get());
    EXPECT_EQ(editor->Panel->HostWnd, host.Get());
    EXPECT_TRUE(IsWindowVisible(panel));
    RECT r{};
    GetWindowRect(panel, &r);
    MapWindowPoints(nullptr, host.Get(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 7);
    EXPECT_EQ(ClientSize(panel).cx, 320);
    EXPECT_EQ(ClientSize(panel).cy, 200);
    EXPECT_NE(PluginWindow(*editor), nullptr) << "the plugin builds its editor inside the panel";
    std::vector<VstInt32> ops = ed.Fixture->OpcodesSince(mark);
    EXPECT_EQ(Count(ops, effEditOpen), 1);
    EXPECT_EQ(ops.back(), effSetEditKnobMode);
    EXPECT_FALSE(p.IdleSizeCheck) << "our own sizing of the panel is no size change of the plugin";

    // Moving keeps the size and is no size change either.
    editor->SetPosition(20, 30);
    GetWindowRect(panel, &r);
    MapWindowPoints(nullptr, host.Get(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 20);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(ClientSize(panel).cx, 320);
    EXPECT_FALSE(p.IdleSizeCheck);

    editor->SetVisible(false);
    EXPECT_FALSE(IsWindowVisible(panel));
    editor->SetVisible(true);
    EXPECT_TRUE(IsWindowVisible(panel));

    // Opening an open editor closes it first.
    mark = ed.Fixture->Mark();
    editor->Open(nullptr, reinterpret_cast<TWindowHandle>(host.Get()), 0, 0);
    ops = ed.Fixture->OpcodesSince(mark);
    ASSERT_EQ(Count(ops, effEditClose), 1);
    ASSERT_EQ(Count(ops, effEditOpen), 1);
    EXPECT_LT(std::find(ops.begin(), ops.end(), effEditClose), std::find(ops.begin(), ops.end(), effEditOpen));
    EXPECT_FALSE(IsWindow(panel)) << "the old panel was released";
    EXPECT_TRUE(editor->IsOpen);

    const HWND second = editor->Panel->Handle();
    mark = ed.Fixture->Mark();
    editor->Close();
    EXPECT_EQ(Count(ed.Fixture->OpcodesSince(mark), effEditClose), 1);
    EXPECT_FALSE(editor->IsOpen);
    EXPECT_EQ(editor->ParentWnd, nullptr);
    EXPECT_EQ(editor->GetWindowHandle(), nullptr);
    EXPECT_FALSE(IsWindow(second));
    mark = ed.Fixture->Mark();
    editor->Close();
    EXPECT_TRUE(ed.Fixture->OpcodesSince(mark).empty()) << "closing a closed editor calls nothing";
}

TEST(VSTEditor, EditorsThatCannotOpen)
{
    THostWindow host;
    {
        // An empty editor rectangle: a failed opening, the panel released.
        TLoaded ed("vst2_editor.dll");
        ed.Plugin->SetParamValue(kZero, false, 1.0f, false);
        TVSTPluginEditor* editor = ed.Plugin->Editor();
        ASSERT_NE(editor, nullptr);
        editor->Open(nullptr, reinterpret_cast<TWindowHandle>(host.Get()), 0, 0);
        EXPECT_FALSE(editor->IsOpen);
        EXPECT_FALSE(editor->CanShow);
        EXPECT_FALSE(editor->Panel);
        EXPECT_EQ(FindWindowExW(host.Get(), nullptr, L"TWPControl", nullptr), nullptr);
    }
    {
        // An effect without an editor gets no editor object, and one made
        // for it anyway never opens.
        TLoaded gain("vst2_gain.dll");
        EXPECT_EQ(gain.Plugin->EditorCount(), 0);
        EXPECT_FALSE(gain.Plugin->HasEditor);
        TVSTPluginEditor editor(gain.Plugin.get());
        EXPECT_FALSE(editor.CanShow);
        const int mark = gain.Fixture->Mark();
        editor.Open(nullptr, reinterpret_cast<TWindowHandle>(host.Get()), 0, 0);
        EXPECT_FALSE(editor.IsOpen);
        EXPECT_EQ(Count(gain.Fixture->OpcodesSince(mark), effEditOpen), 0);
    }
}

TEST(VSTEditor, TheHostsResizeOfThePanelIsNoSizeChangeOfThePlugin)
{
    TOpenEditor t;
    ASSERT_TRUE(t.Editor && t.Editor->IsOpen);
    // The plugin asks for a size: the panel follows under the lock, one notice.
    EXPECT_EQ(t.Loaded.Call(audioMasterSizeWindow, 400, 260), 1);
    EXPECT_EQ(t.Loaded.Host.Resizes, 1);
    EXPECT_EQ(t.Editor->Width, 400);
    EXPECT_EQ(t.Editor->Height, 260);
    EXPECT_EQ(ClientSize(t.Editor->Panel->Handle()).cx, 400);
    EXPECT_EQ(ClientSize(t.Editor->Panel->Handle()).cy, 260);
    EXPECT_FALSE(t.Plugin.IdleSizeCheck) << "the panel's resize under the lock must not ask for a size check";
    t.Plugin.Idle();
    EXPECT_EQ(t.Loaded.Host.Resizes, 1) << "no second notice";

    // The same from inside the editor's idle call, as an editor grows itself.
    t.Plugin.SetParamValue(kGrow, false, 1.0f, false);
    t.Plugin.Idle();
    EXPECT_EQ(t.Loaded.Host.Resizes, 2);
    t.Plugin.Idle();
    t.Plugin.Idle();
    EXPECT_EQ(t.Loaded.Host.Resizes, 2);
    EXPECT_EQ(ClientSize(PluginWindow(*t.Editor)).cx, 400);
}

TEST(VSTEditor, AnEditorThatResizesItselfIsNoticedOnceAtTheNextIdlePass)
{
    TOpenEditor t;
    ASSERT_TRUE(t.Editor && t.Editor->IsOpen);
    t.Plugin.SetParamValue(kResize, false, 1.0f, false);
    t.Plugin.Idle(); // the editor resizes itself and its panel, then asks for idle time
    EXPECT_EQ(t.Loaded.Host.Idles, 1);
    EXPECT_TRUE(t.Plugin.IdleSizeCheck);
    EXPECT_EQ(t.Loaded.Host.Resizes, 0);
    t.Plugin.Idle();
    EXPECT_EQ(t.Loaded.Host.Resizes, 1);
    EXPECT_EQ(t.Editor->Width, 360);
    EXPECT_EQ(t.Editor->Height, 240);
    for (int i = 0; i < 3; ++i)
        t.Plugin.Idle();
    EXPECT_EQ(t.Loaded.Host.Resizes, 1) << "exactly one notice";
}

TEST(VSTEditor, IdlePassesReachTheOpenEditorOnly)
{
    TOpenEditor t;
    ASSERT_TRUE(t.Editor && t.Editor->IsOpen);
    int mark = t.Loaded.Fixture->Mark();
    t.Plugin.Idle();
    t.Plugin.Idle();
    EXPECT_EQ(Count(t.Loaded.Fixture->OpcodesSince(mark), effEditIdle), 2);
    EXPECT_EQ(Count(t.Loaded.Fixture->OpcodesSince(mark), effIdle), 0) << "effIdle only after audioMasterNeedIdle";

    // An editor that asks for idle time from inside every idle call gets one
    // effEditIdle per pass, not an endless recursion.
    t.Plugin.SetParamValue(kAsk, false, 1.0f, false);
    mark = t.Loaded.Fixture->Mark();
    t.Plugin.Idle();
    EXPECT_EQ(Count(t.Loaded.Fixture->OpcodesSince(mark), effEditIdle), 1);
    EXPECT_TRUE(t.Plugin.IdleSizeCheck) << "the request is remembered for the next pass";
    t.Plugin.SetParamValue(kAsk, false, 0.0f, false);

    // audioMasterNeedIdle: effIdle until the plugin answers other than 1.
    mark = t.Loaded.Fixture->Mark();
    t.Loaded.Call(audioMasterNeedIdle);
    EXPECT_FALSE(t.Plugin.NeedIdle) << "the fixture answers effIdle with 0";
    EXPECT_EQ(Count(t.Loaded.Fixture->OpcodesSince(mark), effIdle), 1);

    t.Editor->Close();
    mark = t.Loaded.Fixture->Mark();
    t.Plugin.Idle();
    EXPECT_EQ(Count(t.Loaded.Fixture->OpcodesSince(mark), effEditIdle), 0) << "no idle calls after closing";
}

TEST(VSTEditor, RefreshIdlesTheOpenEditorOnlyWithPropertyEight)
{
    TOpenEditor t;
    ASSERT_TRUE(t.Editor && t.Editor->IsOpen);
    const struct {
        bool Flag, Open;
        int Calls;
    } cases[] = {{false, true, 0}, {true, true, 1}, {true, false, 0}};
    for (const auto& c : cases) {
        t.Plugin.Properties[kPropRefreshEditorsOnUpdate] = c.Flag;
        if (!c.Open)
            t.Editor->Close();
        const int mark = t.Loaded.Fixture->Mark();
        t.Editor->Refresh();
        EXPECT_EQ(Count(t.Loaded.Fixture->OpcodesSince(mark), effEditIdle), c.Calls)
            << "flag " << c.Flag << " open " << c.Open;
    }
}

TEST(VSTEditor, FocusInsideTheEditorGoesBackToTheHostWithPropertySeven)
{
    for (const bool flag : {false, true}) {
        TOpenEditor t;
        ASSERT_TRUE(t.Editor && t.Editor->IsOpen);
        const HWND inside = PluginWindow(*t.Editor);
        ASSERT_NE(inside, nullptr);
        SetForegroundWindow(t.Host.Get());
        SetFocus(inside);
        ASSERT_EQ(GetFocus(), inside);
        t.Plugin.Properties[kPropEditorIdleFlag] = flag;
        t.Plugin.Idle();
        EXPECT_EQ(GetFocus(), flag ? t.Host.Get() : inside) << "flag " << flag;
    }
}

TEST(VSTEditor, KeyMessagesWithACharacterGoToThePanelsParent)
{
    TOpenEditor t;
    ASSERT_TRUE(t.Editor && t.Editor->IsOpen);
    const HWND panel = t.Editor->Panel->Handle();
    const struct {
        UINT Msg;
        WPARAM Key;
        bool Passed;
    } cases[] = {{WM_KEYDOWN, 'A', true}, {WM_KEYUP, VK_SPACE, true}, {WM_CHAR, 'x', true}, {WM_KEYDOWN, 0, false}};
    for (const auto& c : cases) {
        THostWindow::Keys().clear();
        const LRESULT result = SendMessageW(panel, c.Msg, c.Key, 0);
        ASSERT_EQ(THostWindow::Keys().size(), c.Passed ? 1u : 0u) << c.Msg << " " << c.Key;
        if (c.Passed) {
            EXPECT_EQ(THostWindow::Keys()[0].Msg, c.Msg);
            EXPECT_EQ(THostWindow::Keys()[0].Key, c.Key);
            EXPECT_EQ(result, 77) << "the parent's answer";
        }
    }
}

TEST(VSTEditor, FreeingThePluginClosesItsOpenEditor)
{
    THostWindow host;
    TPreloaded module(FixturePath("vst2_editor.dll"));
    const TFixture fixture = module.Fixture();
    auto ed = std::make_unique<TLoaded>("vst2_editor.dll");
    TVSTPluginEditor* editor = ed->Plugin->Editor();
    ASSERT_NE(editor, nullptr);
    editor->Open(nullptr, reinterpret_cast<TWindowHandle>(host.Get()), 0, 0);
    const HWND panel = editor->Panel->Handle();
    const int mark = fixture.Mark();
    ed.reset();
    const std::vector<VstInt32> ops = fixture.OpcodesSince(mark);
    ASSERT_EQ(Count(ops, effEditClose), 1);
    EXPECT_LT(std::find(ops.begin(), ops.end(), effEditClose), std::find(ops.begin(), ops.end(), effClose));
    EXPECT_FALSE(IsWindow(panel));
}
