#include "FPUState.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>

TEST(FPUState, RestoresControlWordsAfterAPluginChangedThem)
{
    // What a careless plugin might leave behind: exceptions unmasked,
    // rounding changed, flush-to-zero off.
    std::uint16_t cw = 0x0C7F & ~0x0001; // round toward zero, invalid-operation unmasked
    __asm__ volatile("fldcw %0" : : "m"(cw));
    std::uint32_t mxcsr = 0x1F80 & ~0x0080u; // invalid unmasked, no FTZ/DAZ
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
    ASSERT_NE(CurrentX87ControlWord(), kDefaultX87ControlWord);

    RestoreFPUState();

    // Bit 6 of the x87 control word is reserved and reads back as 1 on every
    // processor since the 387, whatever was loaded.
    EXPECT_EQ(CurrentX87ControlWord() & ~0x0040, kDefaultX87ControlWord);
    const std::uint32_t expected = DefaultMXCSR();
    EXPECT_TRUE(expected == kDefaultMXCSR || expected == (kDefaultMXCSR | kMXCSRDenormalsAreZero)) << std::hex << expected;
    // The sticky exception flags (low 6 bits) may be set by later arithmetic; compare the control bits.
    EXPECT_EQ(CurrentMXCSR() & ~0x3Fu, expected);
}

TEST(FPUState, DefaultStateFlushesDenormalsAndMasksExceptions)
{
    RestoreFPUState();
    volatile float tiny = std::numeric_limits<float>::min();
    volatile float half = 0.5f;
    volatile float r = tiny * half; // a denormal result becomes 0 with flush-to-zero
    EXPECT_EQ(r, 0.0f);
    volatile float zero = 0.0f;
    volatile float q = 1.0f / zero; // masked: no trap, an infinity
    EXPECT_TRUE(std::isinf(q));
}
