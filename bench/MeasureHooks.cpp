// Linked into the measured twin of the bridge (the bridge's own sources plus
// this file) for the benchmarks and the soak:
// - counts every allocation of the process through the global operator new
//   into a named shared counter "PelorinAllocations_<process id>" (8 bytes),
//   which the benchmark reads from outside;
// - serves a bare two-event ping-pong on the events "<base>_pp_0" (request)
//   and "<base>_pp_1" (reply) when the host created them before it started
//   this process, so that the platform's floor is measured between the same
//   two processes as the bridge.
// Nothing else differs from the shipped bridge.

#include "BridgeCommandLine.h"
#include "WinHandle.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

std::atomic<std::uint64_t> g_early{0}; // allocations before the shared counter exists
std::atomic<std::atomic<std::uint64_t>*> g_counter{&g_early};

struct TMeasureHooks {
    TMeasureHooks()
    {
        const std::wstring name = L"PelorinAllocations_" + std::to_wstring(GetCurrentProcessId());
        mapping.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str()));
        if (mapping) {
            view = MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 4096);
            if (view != nullptr) {
                auto* shared = new (view) std::atomic<std::uint64_t>(g_early.load());
                g_counter.store(shared);
            }
        }
        const TBridgeCommandLineParams params = ParseBridgeCommandLine(ProcessArguments());
        if (params.Name.empty())
            return;
        request.Reset(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, (params.Name + L"_pp_0").c_str()));
        reply.Reset(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, (params.Name + L"_pp_1").c_str()));
        if (!request || !reply)
            return;
        // The floor: one wait, one reset, one set per round trip. Ends with the process.
        std::thread([r = request.Get(), a = reply.Get()] {
            while (WaitForSingleObject(r, INFINITE) == WAIT_OBJECT_0) {
                ResetEvent(r);
                SetEvent(a);
            }
        }).detach();
    }
    // The counter stays mapped until the process ends: allocations of other
    // static objects' destructors still count into it.

    TOwnedHandle mapping;
    void* view = nullptr;
    TOwnedHandle request;
    TOwnedHandle reply;
};

// Whatever the order of static initialisation, an allocation made before
// this object exists still counts (into the early counter, carried over).
TMeasureHooks g_hooks;

} // namespace

void* operator new(std::size_t size)
{
    g_counter.load(std::memory_order_relaxed)->fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
