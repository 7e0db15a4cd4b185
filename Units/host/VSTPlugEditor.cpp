#include "VSTPlugEditor.h"

#include <cstdio>

namespace {

// Raises a resize lock for the lifetime of the scope.
class TResizeLockScope {
public:
    explicit TResizeLockScope(std::int32_t& lock) : Lock(lock) { ++Lock; }
    ~TResizeLockScope() { --Lock; }
    TResizeLockScope(const TResizeLockScope&) = delete;
    TResizeLockScope& operator=(const TResizeLockScope&) = delete;

private:
    std::int32_t& Lock;
};

bool IsKeyMessage(UINT msg)
{
    switch (msg) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
        return true;
    default:
        return false;
    }
}

struct TFocusSearch {
    HWND Focused;
    bool Found;
};

BOOL CALLBACK FindFocused(HWND child, LPARAM param)
{
    auto* search = reinterpret_cast<TFocusSearch*>(param);
    if (child == search->Focused) {
        search->Found = true;
        return FALSE;
    }
    return TRUE;
}

} // namespace

// ---------------------------------------------------------------------------
// TVSTPanel

bool TVSTPanel::HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result)
{
    if (IsKeyMessage(Msg) && WParam != 0) {
        Result = SendMessageW(GetParent(Handle()), Msg, WParam, LParam);
        return true;
    }
    return TWPControl::HandleMessage(Msg, WParam, LParam, Result);
}

// ---------------------------------------------------------------------------
// TVSTPluginEditor

TVSTPluginEditor::TVSTPluginEditor(TVSTPlugin* APlugin) : TBaseAudioPluginEditor(APlugin), VstPlugin(APlugin)
{
    CanShow = APlugin->Effect != nullptr && (APlugin->Effect->flags & effFlagsHasEditor) != 0;
    ViewName = "Default";
}

TVSTPluginEditor::~TVSTPluginEditor()
{
    try {
        if (IsOpen)
            Close();
    } catch (...) {
    }
    Panel.reset();
}

void TVSTPluginEditor::CreatePanel(HWND AParent) // [main thread]
{
    ReleasePanel();
    auto panel = std::make_unique<TVSTPanel>();
    panel->SetColor(RGB(0, 0, 0));
    panel->SetParentWindow(AParent);
    panel->HostWnd = AParent;
    panel->SetOnResize(&TVSTPluginEditor::PanelResized, this);
    panel->SetShowHint(false);
    Panel = std::move(panel);
}

void TVSTPluginEditor::ReleasePanel() // [main thread]
{
    if (!Panel)
        return;
    Panel->SetOnResize(nullptr, nullptr);
    Panel->SetParentWindow(nullptr);
    Panel.reset();
}

void TVSTPluginEditor::SetPanelBounds(std::int32_t AX, std::int32_t AY, std::int32_t AWidth, std::int32_t AHeight)
{
    TResizeLockScope lock(ResizeLock);
    Panel->SetBounds(AX, AY, AWidth, AHeight);
}

void TVSTPluginEditor::PanelResized(void* User, TWPControl&)
{
    auto* self = static_cast<TVSTPluginEditor*>(User);
    if (self->ResizeLock <= 0)
        self->VstPlugin->IdleSizeCheck = true;
}

void TVSTPluginEditor::Open(void* Owner, TWindowHandle AParent, std::int32_t AX, std::int32_t AY)
{
    TBaseAudioPluginEditor::Open(Owner, AParent, AX, AY);
    if (VstPlugin->Effect == nullptr)
        return;
    char line[96];
    std::snprintf(line, sizeof line, "(VST) Editor.Open (parent=%.8llx handle=%.8llx)",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(Owner)),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(AParent)));
    VstPlugin->Log(line, 1, 1, false);
    CreatePanel(reinterpret_cast<HWND>(AParent));
    HWND target = Panel ? Panel->Handle() : reinterpret_cast<HWND>(AParent);
    VstPlugin->Log("(VST) 1", 1, 0, false);
    if ((VstPlugin->Effect->flags & effFlagsHasEditor) != 0) {
        VstPlugin->Log("(VST) 2", 1, 0, false);
        VstPlugin->Dispatch(effEditOpen, 0, 0, target);
        VstPlugin->Log("(VST) 3", 1, 0, false);
        UpdateSize();
        VstPlugin->Log("(VST) 4", 1, 0, false);
        if (Width != 0 && Height != 0) {
            if (Panel) {
                SetPanelBounds(AX, AY, Width, Height);
                Panel->BringToFront();
                Panel->SetVisible(true);
            } else {
                SetPosition(AX, AY);
            }
            CanShow = true;
            IsOpen = true;
            VstPlugin->Dispatch(effSetEditKnobMode, 0, 2);
        } else {
            CanShow = false;
            IsOpen = false;
            ReleasePanel();
        }
        VstPlugin->Log("(VST) 5", 1, 0, false);
    }
    VstPlugin->Log("(VST) done", 1, -1, false);
}

void TVSTPluginEditor::Close()
{
    if (!IsOpen)
        return;
    IsOpen = false;
    if (VstPlugin->Effect == nullptr)
        return;
    if (Panel)
        Panel->SetVisible(false);
    VstPlugin->Dispatch(effEditClose);
    ReleasePanel();
    TBaseAudioPluginEditor::Close();
}

void TVSTPluginEditor::SetVisible(bool Value)
{
    TBaseAudioPluginEditor::SetVisible(Value);
    if (Panel)
        Panel->SetVisible(Value);
}

void TVSTPluginEditor::SetPosition(std::int32_t AX, std::int32_t AY)
{
    TBaseAudioPluginEditor::SetPosition(AX, AY);
    if (Panel)
        SetPanelBounds(AX, AY, Width, Height);
    else if (VstPlugin->Effect != nullptr)
        VstPlugin->Dispatch(effSetViewPosition, AX, AY);
    UpdateSize();
}

void TVSTPluginEditor::UpdateSize()
{
    Width = 0;
    Height = 0;
    if (VstPlugin->Effect == nullptr)
        return;
    ERect* rect = nullptr;
    VstPlugin->Dispatch(effEditGetRect, 0, 0, &rect);
    if (rect != nullptr) {
        Width = rect->right - rect->left;
        Height = rect->bottom - rect->top;
    }
}

TWindowHandle TVSTPluginEditor::GetWindowHandle()
{
    return Panel ? reinterpret_cast<TWindowHandle>(Panel->Handle()) : nullptr;
}

void TVSTPluginEditor::Refresh()
{
    if (IsOpen && VstPlugin->Properties[kPropRefreshEditorsOnUpdate])
        VstPlugin->Dispatch(effEditIdle);
}

void TVSTPluginEditor::ResizePanel(std::int32_t AWidth, std::int32_t AHeight)
{
    if (Panel)
        SetPanelBounds(Panel->Left(), Panel->Top(), AWidth, AHeight);
}

void TVSTPluginEditor::ReturnFocus(bool Flag)
{
    if (!Flag || !IsOpen || !Panel || Panel->Handle() == nullptr)
        return;
    TFocusSearch search{GetFocus(), false};
    if (search.Focused == nullptr)
        return;
    EnumChildWindows(Panel->Handle(), &FindFocused, reinterpret_cast<LPARAM>(&search));
    if (search.Found)
        SetFocus(Panel->HostWnd);
}

// ---------------------------------------------------------------------------
// TVSTPlugin: the editor's side of the plugin

void TVSTPlugin::CreateEditor() // [main thread]
{
    AddEditor(std::make_unique<TVSTPluginEditor>(this));
}

TVSTPluginEditor* TVSTPlugin::Editor() const
{
    return EditorCount() > 0 ? dynamic_cast<TVSTPluginEditor*>(GetEditors(0)) : nullptr;
}

void TVSTPlugin::Idle() // [main thread]
{
    // Marks the pass, so that the plugin's idle requests from inside it do
    // not start another one (a plugin that asks for idle time while idling
    // would otherwise recurse without end).
    struct TIdleScope {
        bool& Flag;
        bool Was;
        explicit TIdleScope(bool& flag) : Flag(flag), Was(flag) { Flag = true; }
        ~TIdleScope() { Flag = Was; }
    } running(InIdle);
    TVSTPluginEditor* editor = Editor();
    if (IdleSizeCheck) {
        IdleSizeCheck = false;
        if (editor != nullptr) {
            const std::int32_t oldWidth = editor->Width, oldHeight = editor->Height;
            editor->UpdateSize();
            if (editor->Width != oldWidth || editor->Height != oldHeight)
                EditorResized(false);
        }
    }
    if (editor != nullptr)
        editor->ReturnFocus(Properties[kPropEditorIdleFlag]);
    if (NeedIdle)
        NeedIdle = Dispatch(effIdle) == 1;
    if (editor != nullptr && editor->IsOpen)
        Dispatch(effEditIdle);
}
