#pragma once
// The VST2 editor: TVSTPanel, the borderless child window that a plugin
// builds its editor in, and TVSTPluginEditor, which opens the plugin's editor
// inside it, keeps the panel's size in step with the plugin's and returns the
// keyboard focus to the host. [Windows builds only; main thread]

#include "VSTPlug.h"
#include "WPControl.h"

#include <cstdint>
#include <memory>

// The dispatcher opcode that moves an editor without a panel of ours.
inline constexpr VstInt32 effSetViewPosition = 55;

class TVSTPanel : public TWPControl {
public:
    HWND HostWnd = nullptr; // where keyboard focus goes back to

protected:
    // Key messages with a character code go to the parent window unchanged.
    bool HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) override;
};

class TVSTPluginEditor : public TBaseAudioPluginEditor {
public:
    // CanShow: the effect declares an editor; ViewName "Default".
    explicit TVSTPluginEditor(TVSTPlugin* Plugin);
    ~TVSTPluginEditor() override; // closes an open editor, frees the panel

    void Open(void* Owner, TWindowHandle Parent, std::int32_t X, std::int32_t Y) override;
    void Close() override;
    void SetVisible(bool Value) override;
    void SetPosition(std::int32_t X, std::int32_t Y) override;
    void UpdateSize() override;
    TWindowHandle GetWindowHandle() override;
    void Refresh() override;

    // The plugin asked for a new size: the panel follows, under the resize
    // lock, at its current place.
    void ResizePanel(std::int32_t AWidth, std::int32_t AHeight);
    // With Flag set: when a window inside the open editor has the keyboard
    // focus, it goes to the panel's HostWnd.
    void ReturnFocus(bool Flag);

    std::int32_t ResizeLock = 0; // > 0 while the bridge itself sizes the panel
    std::unique_ptr<TVSTPanel> Panel;

private:
    static void PanelResized(void* User, TWPControl& Sender);
    void CreatePanel(HWND Parent);
    void ReleasePanel();
    void SetPanelBounds(std::int32_t AX, std::int32_t AY, std::int32_t AWidth, std::int32_t AHeight);

    TVSTPlugin* VstPlugin;
};
