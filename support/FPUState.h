#pragma once
// The process's default floating-point state, restored before and after calls
// into plugin code and at the start of every channel thread.

#include <cstdint>

inline constexpr std::uint16_t kDefaultX87ControlWord = 0x033F; // all masked, 64-bit precision, nearest
inline constexpr std::uint32_t kDefaultMXCSR = 0x9F80;          // all masked, flush-to-zero
inline constexpr std::uint32_t kMXCSRDenormalsAreZero = 0x0040;

// Clears pending x87 exceptions, loads the x87 control word 0x033F and, on
// processors with SSE, the MXCSR 0x9F80 (plus denormals-are-zero where the
// processor supports it). [any thread: affects the calling thread only]
void RestoreFPUState();

// The MXCSR value RestoreFPUState loads on this processor (0 without SSE).
std::uint32_t DefaultMXCSR();

// The current x87 control word and MXCSR of the calling thread.
std::uint16_t CurrentX87ControlWord();
std::uint32_t CurrentMXCSR();
