#include "FPUState.h"

#include <cpuid.h>

namespace {

bool HasSSE()
{
#if defined(__x86_64__)
    return true; // part of the architecture
#else
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    return (d & bit_SSE) != 0;
#endif
}

// The MXCSR_MASK of the FXSAVE area tells whether DAZ is supported: bit 6 set
// means yes; a zero mask means the default mask 0xFFBF (no DAZ).
bool HasDenormalsAreZero()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || (d & bit_FXSAVE) == 0)
        return false;
    alignas(16) unsigned char area[512] = {};
#if defined(__x86_64__)
    __asm__ volatile("fxsave64 %0" : "=m"(area));
#else
    __asm__ volatile("fxsave %0" : "=m"(area));
#endif
    std::uint32_t mask = static_cast<std::uint32_t>(area[28]) | (static_cast<std::uint32_t>(area[29]) << 8) |
                         (static_cast<std::uint32_t>(area[30]) << 16) | (static_cast<std::uint32_t>(area[31]) << 24);
    return (mask & kMXCSRDenormalsAreZero) != 0;
}

std::uint32_t ComputeDefaultMXCSR()
{
    if (!HasSSE())
        return 0;
    return HasDenormalsAreZero() ? (kDefaultMXCSR | kMXCSRDenormalsAreZero) : kDefaultMXCSR;
}

} // namespace

std::uint32_t DefaultMXCSR()
{
    static const std::uint32_t value = ComputeDefaultMXCSR();
    return value;
}

void RestoreFPUState()
{
    std::uint16_t cw = kDefaultX87ControlWord;
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(cw));
    std::uint32_t mxcsr = DefaultMXCSR();
    if (mxcsr != 0)
        __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
}

std::uint16_t CurrentX87ControlWord()
{
    std::uint16_t cw = 0;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}

std::uint32_t CurrentMXCSR()
{
    if (DefaultMXCSR() == 0)
        return 0;
    std::uint32_t v = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(v));
    return v;
}
