#include "WPControl.h"

#include "Exception.h"

#include <string>

namespace {

const wchar_t kClassName[] = L"TWPControl";

// The module this code lives in: the window class belongs to it.
HINSTANCE OwnModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

} // namespace

TWPControl::~TWPControl()
{
    // The window procedure must not reach a half-destroyed object.
    if (Window)
        SetWindowLongPtrW(Window.Get(), GWLP_USERDATA, 0);
    Window.Reset();
}

void TWPControl::SetParentWindow(HWND AParent) // [main thread]
{
    if (AParent == nullptr) {
        if (Window) {
            SetWindowLongPtrW(Window.Get(), GWLP_USERDATA, 0);
            ShowWindow(Window.Get(), SW_HIDE);
            SetParent(Window.Get(), nullptr);
        }
        Window.Reset();
        Parent = nullptr;
        return;
    }
    if (Window) {
        SetParent(Window.Get(), AParent);
        Parent = AParent;
        return;
    }
    const HINSTANCE instance = OwnModule();
    WNDCLASSW wc{};
    if (!GetClassInfoW(instance, kClassName, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = &TWPControl::WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpszClassName = kClassName;
        RegisterClassW(&wc);
    }
    const DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (IsVisible ? WS_VISIBLE : 0);
    HWND wnd = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"", style, BoundsX, BoundsY, BoundsW, BoundsH,
                               AParent, nullptr, instance, this);
    if (wnd == nullptr)
        throw Exception("Could not create the control window (error " + std::to_string(GetLastError()) + ")");
    Window.Reset(wnd);
    Parent = AParent;
}

void TWPControl::SetColor(COLORREF Value)
{
    Background = Value;
    if (Window)
        InvalidateRect(Window.Get(), nullptr, TRUE);
}

void TWPControl::SetBounds(std::int32_t X, std::int32_t Y, std::int32_t AWidth, std::int32_t AHeight)
{
    BoundsX = X;
    BoundsY = Y;
    BoundsW = AWidth < 0 ? 0 : AWidth;
    BoundsH = AHeight < 0 ? 0 : AHeight;
    if (Window)
        SetWindowPos(Window.Get(), nullptr, BoundsX, BoundsY, BoundsW, BoundsH, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWPControl::SetVisible(bool Value)
{
    IsVisible = Value;
    if (Window)
        ShowWindow(Window.Get(), Value ? SW_SHOWNA : SW_HIDE);
}

void TWPControl::BringToFront()
{
    if (Window)
        SetWindowPos(Window.Get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TWPControl::SizeChanged(std::int32_t AWidth, std::int32_t AHeight)
{
    BoundsW = AWidth;
    BoundsH = AHeight;
    if (AWidth == ReportedW && AHeight == ReportedH)
        return;
    ReportedW = AWidth;
    ReportedH = AHeight;
    if (OnResize != nullptr)
        OnResize(OnResizeUser, *this);
}

bool TWPControl::HandleMessage(UINT Msg, WPARAM WParam, LPARAM, LRESULT& Result)
{
    switch (Msg) {
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(Window.Get(), &r);
        HBRUSH brush = CreateSolidBrush(Background);
        FillRect(reinterpret_cast<HDC>(WParam), &r, brush);
        DeleteObject(brush);
        Result = 1;
        return true;
    }
    default:
        return false;
    }
}

LRESULT CALLBACK TWPControl::WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam)
{
    if (Msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(LParam);
        SetWindowLongPtrW(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TWPControl*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(Wnd, Msg, WParam, LParam);
    switch (Msg) {
    case WM_SIZE:
        self->SizeChanged(LOWORD(LParam), HIWORD(LParam));
        break;
    case WM_NCDESTROY:
        // Destroyed with its parent: the handle is gone, nothing to free.
        SetWindowLongPtrW(Wnd, GWLP_USERDATA, 0);
        self->Window.Release();
        self->Parent = nullptr;
        return DefWindowProcW(Wnd, Msg, WParam, LParam);
    case WM_MOVE:
        self->BoundsX = static_cast<std::int16_t>(LOWORD(LParam));
        self->BoundsY = static_cast<std::int16_t>(HIWORD(LParam));
        break;
    default:
        break;
    }
    LRESULT result = 0;
    if (self->HandleMessage(Msg, WParam, LParam, result))
        return result;
    return DefWindowProcW(Wnd, Msg, WParam, LParam);
}
