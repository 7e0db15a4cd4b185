#pragma once
// The largest request made through the global operator new since the last
// reset: a test shows with it that a count read from untrusted bytes did not
// decide how much memory was taken.

#include <cstddef>

std::size_t LargestAllocation();
void ResetLargestAllocation();
