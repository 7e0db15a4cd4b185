#include "x32x64.h"

#include <imagehlp.h>

#include <vector>

namespace {

struct TWindowInstanceSlot {
    HWND Handle;
    TWindowInstanceCallback Callback;
};

// The slot reservation marker written while a window is being created.
const HWND kReservedHandle = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFFFFFF));

TWindowInstanceSlot g_windowInstances[kWindowInstanceSlots] = {};

bool EnsureWindowClass(HINSTANCE instance)
{
    WNDCLASSW wc = {};
    if (GetClassInfoW(instance, kWindowInstanceClassName, &wc))
        return true;
    wc = WNDCLASSW{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowInstanceClassName;
    return RegisterClassW(&wc) != 0;
}

} // namespace

HWND CreateWindowInstance(TWindowInstanceCallback callback) // [window thread]
{
    TWindowInstanceSlot* slot = nullptr;
    for (auto& s : g_windowInstances) {
        if (s.Handle == nullptr) {
            slot = &s;
            break;
        }
    }
    if (slot == nullptr)
        return nullptr; // table full: no window is created
    slot->Handle = kReservedHandle;

    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND wnd = nullptr;
    if (EnsureWindowClass(instance)) {
        wnd = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowInstanceClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              instance, nullptr);
    }
    if (wnd != nullptr) {
        SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowInstanceProc));
        slot->Callback = callback;
    }
    slot->Handle = wnd; // 0 frees the slot again
    return wnd;
}

LRESULT CALLBACK WindowInstanceProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    for (const auto& s : g_windowInstances) {
        if (s.Handle == wnd && wnd != nullptr)
            return s.Callback != nullptr ? s.Callback(wnd, msg, wParam, lParam) : 0;
    }
    return 0;
}

void FreeWindowInstance(HWND wnd) // [window thread]
{
    for (auto& s : g_windowInstances) {
        if (s.Handle == wnd && wnd != nullptr) {
            s.Handle = nullptr;
            s.Callback = nullptr;
            break;
        }
    }
    DestroyWindow(wnd);
}

int GetModuleBitness(const std::wstring& path)
{
    // ImageLoad takes an ANSI path.
    int len = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (len <= 0)
        return 0;
    std::vector<char> ansi(static_cast<size_t>(len));
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, ansi.data(), len, nullptr, nullptr);
    char emptyPath[1] = "";
    PLOADED_IMAGE image = ImageLoad(ansi.data(), emptyPath);
    if (image == nullptr)
        return 0;
    int result = 0;
    if (image->FileHeader != nullptr) {
        switch (image->FileHeader->FileHeader.Machine) {
        case 0x014C: result = 1; break;
        case 0x0200:
        case 0x8664: result = 2; break;
        default: result = 0; break;
        }
    }
    ImageUnload(image);
    return result;
}

bool IsModule64Bit(const std::wstring& path)
{
    return GetModuleBitness(path) == 2;
}
