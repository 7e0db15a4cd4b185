#pragma once
// Counts every allocation of the program through the global operator new, so
// that a benchmark or a test can show that a path allocates nothing.

#include <atomic>
#include <cstddef>

std::size_t AllocationCount();
