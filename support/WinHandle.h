#pragma once
// Small owning types for Win32 handles. [Windows builds only]

#include <windows.h>

#include <atomic>
#include <utility>

// One owned value of type T, released by Traits::Close when it is valid.
template <class T, class Traits>
class TOwned {
public:
    TOwned() = default;
    explicit TOwned(T v) : v_(v) {}
    ~TOwned() { Reset(); }
    TOwned(const TOwned&) = delete;
    TOwned& operator=(const TOwned&) = delete;
    TOwned(TOwned&& o) noexcept : v_(std::exchange(o.v_, T{})) {}
    TOwned& operator=(TOwned&& o) noexcept
    {
        if (this != &o) {
            Reset();
            v_ = std::exchange(o.v_, T{});
        }
        return *this;
    }
    T Get() const { return v_; }
    explicit operator bool() const { return Traits::Valid(v_); }
    T Release() { return std::exchange(v_, T{}); }
    // Releases the current value and takes v; false when the release failed.
    bool Reset(T v = T{})
    {
        bool ok = true;
        if (Traits::Valid(v_))
            ok = Traits::Close(v_);
        v_ = v;
        return ok;
    }

private:
    T v_{};
};

struct TKernelHandleTraits {
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE h) { return CloseHandle(h) != 0; }
};
// Once the process is ending, modules are no longer unloaded: a plugin may
// leave a thread of its own running, which would then execute unmapped code
// and crash the process on its way out. The system unmaps them at exit.
inline std::atomic<bool> g_keepModulesUntilExit{false};
inline void KeepModulesUntilExit() { g_keepModulesUntilExit.store(true); }

struct TModuleTraits {
    static bool Valid(HMODULE m) { return m != nullptr; }
    static bool Close(HMODULE m) { return g_keepModulesUntilExit.load() || FreeLibrary(m) != 0; }
};
struct TWindowTraits {
    static bool Valid(HWND w) { return w != nullptr; }
    static bool Close(HWND w) { return DestroyWindow(w) != 0; }
};

using TOwnedHandle = TOwned<HANDLE, TKernelHandleTraits>; // events, mappings, threads
using TOwnedModule = TOwned<HMODULE, TModuleTraits>;      // LoadLibrary results
using TOwnedWindow = TOwned<HWND, TWindowTraits>;         // windows of this thread
