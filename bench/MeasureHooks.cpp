// Linked into the measured twin of the bridge (the bridge's own sources plus
// this file) for the benchmarks and the soak:
// - counts every allocation of the process through the global operator new
//   into a named shared counter "PelorinAllocations_<process id>" (8 bytes),
//   which the benchmark reads from outside;
// - serves a bare two-event ping-pong on the events "<base>_pp_0" (request)
//   and "<base>_pp_1" (reply) when the host created them before it started
//   this process, so that the platform's floor is measured between the same
//   two processes as the bridge;
// - samples its own handle count, private bytes and thread count into the
//   same shared block (offsets 8, 16, 24) when the host sets "<base>_fig_0",
//   and sets "<base>_fig_1" when they are there (the host cannot read all of
//   them from outside under every system).
// Nothing else differs from the shipped bridge.

#include "BridgeCommandLine.h"
#include "WinHandle.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

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

// This process's handles, from the system's handle table when the process
// query gives none. The buffer comes from VirtualAlloc: sampling neither
// allocates through operator new nor grows the heap.
std::uint64_t OwnHandleCount()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0)
        return count;
    struct TEntry {
        ULONG OwnerPid;
        BYTE ObjectType;
        BYTE Flags;
        USHORT Handle;
        void* Object;
        ACCESS_MASK Access;
    };
    struct TTable {
        ULONG Count;
        TEntry Entries[1];
    };
    using TQuery = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<TQuery>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return 0;
    for (SIZE_T size = 1 << 20; size <= (SIZE_T{1} << 28); size *= 4) {
        void* buffer = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (buffer == nullptr)
            return 0;
        ULONG needed = 0;
        const LONG status = query(16 /* handle table */, buffer, static_cast<ULONG>(size), &needed);
        std::uint64_t own = 0;
        if (status >= 0) {
            const auto* table = static_cast<const TTable*>(buffer);
            const DWORD pid = GetCurrentProcessId();
            for (ULONG i = 0; i < table->Count; ++i)
                if (table->Entries[i].OwnerPid == pid)
                    ++own;
        }
        VirtualFree(buffer, 0, MEM_RELEASE);
        if (status >= 0)
            return own;
    }
    return 0;
}

void SampleFigures(std::uint64_t* figures)
{
    figures[1] = OwnHandleCount();
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc)))
        figures[2] = pmc.PrivateUsage;
    if (figures[2] == 0) {
        // The same figure from the address space: committed private regions.
        std::uint64_t bytes = 0;
        MEMORY_BASIC_INFORMATION mbi = {};
        for (auto* p = static_cast<const char*>(nullptr); VirtualQuery(p, &mbi, sizeof(mbi)) == sizeof(mbi);
             p = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize) {
            if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE)
                bytes += mbi.RegionSize;
            if (mbi.RegionSize == 0)
                break;
        }
        figures[2] = bytes;
    }
    std::uint64_t threads = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap != INVALID_HANDLE_VALUE) {
        THREADENTRY32 te = {};
        te.dwSize = sizeof(te);
        for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
            if (te.th32OwnerProcessID == GetCurrentProcessId())
                ++threads;
        CloseHandle(snap);
    }
    figures[3] = threads;
}

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
        if (request && reply) {
            // The floor: one wait, one reset, one set per round trip. Ends with the process.
            std::thread([r = request.Get(), a = reply.Get()] {
                while (WaitForSingleObject(r, INFINITE) == WAIT_OBJECT_0) {
                    ResetEvent(r);
                    SetEvent(a);
                }
            }).detach();
        }
        figuresRequest.Reset(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, (params.Name + L"_fig_0").c_str()));
        figuresReply.Reset(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, (params.Name + L"_fig_1").c_str()));
        if (figuresRequest && figuresReply && view != nullptr) {
            std::thread([r = figuresRequest.Get(), a = figuresReply.Get(), v = static_cast<std::uint64_t*>(view)] {
                while (WaitForSingleObject(r, INFINITE) == WAIT_OBJECT_0) {
                    SampleFigures(v);
                    SetEvent(a);
                }
            }).detach();
        }
    }
    // The counter stays mapped until the process ends: allocations of other
    // static objects' destructors still count into it.

    TOwnedHandle mapping;
    void* view = nullptr;
    TOwnedHandle request;
    TOwnedHandle reply;
    TOwnedHandle figuresRequest;
    TOwnedHandle figuresReply;
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
