#include "LargestAllocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

// malloc with free, which the compiler cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<std::size_t> g_largest{0};
}

std::size_t LargestAllocation()
{
    return g_largest.load();
}

void ResetLargestAllocation()
{
    g_largest.store(0);
}

void* operator new(std::size_t size)
{
    std::size_t seen = g_largest.load();
    while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
    }
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
