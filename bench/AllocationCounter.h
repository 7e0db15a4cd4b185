#pragma once
// Counts every allocation of the program through the global operator new, so
// that a benchmark can show that its measured path allocates nothing.

#include <atomic>
#include <cstddef>

std::size_t AllocationCount();
