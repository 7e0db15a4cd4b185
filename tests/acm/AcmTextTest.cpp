// The text and size rules of the codec tools: pointer text, format buffer size
// and the bounded reading of driver-filled character fields.

#include "AcmText.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(AcmText, PointerTextIsZeroPaddedLowercaseHexWithoutPrefix)
{
    struct TCase {
        std::uintptr_t Value;
        std::size_t Bytes;
        const char* Text;
    };
    const TCase cases[] = {
        {0, 4, "00000000"},
        {0, 8, "0000000000000000"},
        {0xABCDEF, 4, "00abcdef"},
        {0x10000000, 4, "10000000"},
        {0xFFFFFFFFu, 4, "ffffffff"},
        {0x12340000, 8, "0000000012340000"},
        {UINTPTR_MAX, sizeof(std::uintptr_t), sizeof(std::uintptr_t) == 8 ? "ffffffffffffffff" : "ffffffff"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(PointerText(c.Value, c.Bytes), c.Text) << "value " << c.Value << ", " << c.Bytes << " bytes";
}

TEST(AcmText, PointerTextDefaultsToThisBuildsPointerSize)
{
    EXPECT_EQ(PointerText(0x1234).size(), 2 * sizeof(void*));
}

TEST(AcmText, FormatBufferFallsBackTo274WhenTheDriverCannotSay)
{
    struct TCase {
        bool Queried;
        std::uint32_t Reported;
        std::uint32_t Size;
    };
    const TCase cases[] = {
        {false, 0, 274},   {false, 40, 274},  // query failed: whatever it left behind is ignored
        {true, 0, 274},    {true, 17, 274},   // less than a WAVEFORMATEX
        {true, 18, 18},    {true, 20, 20},    {true, 274, 274}, {true, 1000, 1000},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(FormatBufferSize(c.Queried, c.Reported), c.Size) << c.Queried << " " << c.Reported;
    EXPECT_EQ(kFallbackFormatSize - kWaveFormatSize, 256u);
}

TEST(AcmText, FieldTextStopsAtTheZeroOrAtTheEndOfTheField)
{
    const char terminated[8] = {'a', 'b', 0, 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(FieldText(terminated), "ab");
    const char full[4] = {'w', 'x', 'y', 'z'}; // a driver that filled the whole field
    EXPECT_EQ(FieldText(full), "wxyz");
    const char empty[3] = {0, 'q', 'q'};
    EXPECT_EQ(FieldText(empty), "");
}
