#include "x32x64.h"

#include <imagehlp.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace {

// Handle is published last (release) and read first (acquire), so a window
// procedure that finds its handle also finds the callback stored before it.
struct TWindowInstanceSlot {
    std::atomic<HWND> Handle;
    TWindowInstanceCallback Callback;
};

// The slot reservation marker written while a window is being created.
const HWND kReservedHandle = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFFFFFF));

TWindowInstanceSlot g_windowInstances[kWindowInstanceSlots] = {};
// Several threads of one process may create and free window instances at
// once (a host running many bridges): slot reservation and the class
// registration happen under this lock.
std::mutex g_windowInstanceLock;

bool EnsureWindowClass(HINSTANCE instance)
{
    WNDCLASSW wc = {};
    if (GetClassInfoW(instance, kWindowInstanceClassName, &wc))
        return true;
    wc = WNDCLASSW{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowInstanceClassName;
    return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

HWND CreateWindowInstance(TWindowInstanceCallback callback) // [window thread]
{
    TWindowInstanceSlot* slot = nullptr;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    bool registered = false;
    {
        const std::lock_guard<std::mutex> hold(g_windowInstanceLock);
        for (auto& s : g_windowInstances) {
            if (s.Handle.load(std::memory_order_relaxed) == nullptr) {
                slot = &s;
                break;
            }
        }
        if (slot == nullptr)
            return nullptr; // table full: no window is created
        slot->Handle.store(kReservedHandle, std::memory_order_relaxed);
        registered = EnsureWindowClass(instance);
    }

    HWND wnd = nullptr;
    if (registered) {
        wnd = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowInstanceClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              instance, nullptr);
    }
    if (wnd != nullptr) {
        SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowInstanceProc));
        slot->Callback = callback;
    }
    slot->Handle.store(wnd, std::memory_order_release); // 0 frees the slot again
    return wnd;
}

LRESULT CALLBACK WindowInstanceProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    for (const auto& s : g_windowInstances) {
        if (wnd != nullptr && s.Handle.load(std::memory_order_acquire) == wnd)
            return s.Callback != nullptr ? s.Callback(wnd, msg, wParam, lParam) : 0;
    }
    return 0;
}

void FreeWindowInstance(HWND wnd) // [window thread]
{
    {
        const std::lock_guard<std::mutex> hold(g_windowInstanceLock);
        for (auto& s : g_windowInstances) {
            if (wnd != nullptr && s.Handle.load(std::memory_order_relaxed) == wnd) {
                s.Callback = nullptr;
                s.Handle.store(nullptr, std::memory_order_release);
                break;
            }
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
