#pragma once
// TWPControl: a borderless child window with a background colour, bounds and
// visibility, that can live in a window of anyone (another toolkit, another
// module) and reports its own resizing through a callback. The window exists
// while the control has a parent window; the control owns it.
// [Windows builds only; main thread: the window belongs to the creating thread]

#include "WinHandle.h"

#include <cstdint>

class TWPControl {
public:
    // Called whenever the control's client size changed (by anyone).
    using TResizeEvent = void (*)(void* User, TWPControl& Sender);

    TWPControl() = default; // no owner, no window yet
    virtual ~TWPControl();
    TWPControl(const TWPControl&) = delete;
    TWPControl& operator=(const TWPControl&) = delete;

    // Places the control into Parent: creates its window there, or moves the
    // existing one. Null detaches the control and destroys its window. Throws
    // Exception when the window cannot be created. [main thread]
    void SetParentWindow(HWND Parent);
    HWND ParentWindow() const { return Parent; }
    // The control's window; null while it has no parent.
    HWND Handle() const { return Window.Get(); }

    void SetColor(COLORREF Value);
    COLORREF Color() const { return Background; }
    // Position in the parent's client coordinates and size.
    void SetBounds(std::int32_t X, std::int32_t Y, std::int32_t Width, std::int32_t Height);
    std::int32_t Left() const { return BoundsX; }
    std::int32_t Top() const { return BoundsY; }
    std::int32_t Width() const { return BoundsW; }
    std::int32_t Height() const { return BoundsH; }
    void SetVisible(bool Value);
    bool Visible() const { return IsVisible; }
    // Top of its siblings.
    void BringToFront();
    // Tool tips of the control (the control shows none of its own).
    void SetShowHint(bool Value) { ShowHint = Value; }
    bool GetShowHint() const { return ShowHint; }
    void SetOnResize(TResizeEvent Event, void* User)
    {
        OnResize = Event;
        OnResizeUser = User;
    }

protected:
    // A message of the control's window; true when handled (Result is then
    // the answer). The base paints the background and tracks the size.
    virtual bool HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result);

private:
    static LRESULT CALLBACK WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
    void SizeChanged(std::int32_t Width, std::int32_t Height);

    TOwnedWindow Window;
    HWND Parent = nullptr;
    COLORREF Background = RGB(0, 0, 0);
    std::int32_t BoundsX = 0, BoundsY = 0, BoundsW = 0, BoundsH = 0;
    std::int32_t ReportedW = 0, ReportedH = 0; // the size last handed to OnResize
    bool IsVisible = true;
    bool ShowHint = true;
    TResizeEvent OnResize = nullptr;
    void* OnResizeUser = nullptr;
};
