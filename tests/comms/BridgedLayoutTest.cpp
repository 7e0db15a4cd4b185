// The two text rules of the command record and the channel of a code. The
// byte layout itself is fixed by static_asserts in the header.

#include "BridgedLayout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(BridgedLayout, RequestTextIsCutTo129UnitsAndReadUpToItsZeroUnit)
{
    struct TCase {
        std::size_t Length;
        std::size_t Arrives;
    };
    const TCase cases[] = {{0, 0}, {1, 1}, {128, 128}, {129, 129}, {130, 129}, {200, 129}};
    for (const auto& c : cases) {
        TCommandRecord rec;
        std::memset(&rec, 0xAB, sizeof(rec));
        std::u16string text;
        for (std::size_t i = 0; i < c.Length; ++i)
            text.push_back(static_cast<char16_t>(0x0410 + i % 32)); // both bytes matter
        WriteRequestText(rec, text.data(), text.size());
        // Little-endian, zero unit after the text.
        if (c.Length > 0) {
            EXPECT_EQ(rec.Text[0], 0x10);
            EXPECT_EQ(rec.Text[1], 0x04);
        }
        EXPECT_EQ(rec.Text[2 * c.Arrives], 0);
        EXPECT_EQ(rec.Text[2 * c.Arrives + 1], 0);
        std::u16string back;
        ReadRequestText(rec, back);
        EXPECT_EQ(back, text.substr(0, c.Arrives)) << c.Length;
    }
}

TEST(BridgedLayout, AServerReadsAFullTextFieldAsAtMost130Units)
{
    TCommandRecord rec;
    for (std::size_t i = 0; i < kRecordTextBytes; i += 2) {
        rec.Text[i] = 'z';
        rec.Text[i + 1] = 0;
    }
    std::u16string back;
    ReadRequestText(rec, back);
    EXPECT_EQ(back, std::u16string(130, u'z'));
}

TEST(BridgedLayout, ResultTextIsCutTo259BytesAndZeroTerminated)
{
    struct TCase {
        std::size_t Length;
        std::size_t Returned;
    };
    const TCase cases[] = {{0, 0}, {5, 5}, {259, 259}, {260, 259}, {300, 259}};
    for (const auto& c : cases) {
        TCommandRecord rec;
        std::memset(&rec, 0xCD, sizeof(rec));
        const std::string text(c.Length, 'x');
        WriteResultText(rec, text.data(), text.size());
        EXPECT_EQ(rec.Text[c.Returned], 0);
        EXPECT_EQ(ResultTextLength(rec), c.Returned) << c.Length;
        const std::uint64_t result = rec.Result; // a copy: the field is unaligned
        EXPECT_EQ(result, 0xCDCDCDCDCDCDCDCDull) << "nothing written past the field";
    }
    TCommandRecord full;
    std::memset(full.Text, 'y', sizeof(full.Text));
    EXPECT_EQ(ResultTextLength(full), 260u); // no zero byte: the whole field
}

TEST(BridgedLayout, TheTopByteOfACodeSelectsItsChannel)
{
    struct TCase {
        std::uint32_t Code;
        int Channel;
    };
    const TCase cases[] = {{0x00000001, -1}, {0x01000000, 1}, {0x02FFFFFF, 2}, {0x03000009, 3},
                           {0x04000000, 4},  {0x05000000, -1}, {0xFF000001, -1}, {0xFFFFFFFF, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(ChannelOfCode(c.Code), c.Channel) << std::hex << c.Code;
}

} // namespace
