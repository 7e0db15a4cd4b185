#include "FileRoutines.h"

#include <gtest/gtest.h>

#include <array>

TEST(FileRoutines, AddTrailingBackslash)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""},
        {"C:", "C:\\"},
        {"C:\\presets", "C:\\presets\\"},
        {"C:\\presets\\", "C:\\presets\\"},
        {"a/", "a/\\"}, // only a backslash counts as a separator
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddTrailingBackslash(c.in), c.out) << "input \"" << c.in << "\"";
}

TEST(FileRoutines, FillZeroClearsExactlyTheRange)
{
    std::array<unsigned char, 16> buf;
    buf.fill(0xAB);
    FillZero(buf.data() + 3, 9);
    for (std::size_t i = 0; i < buf.size(); ++i)
        EXPECT_EQ(buf[i], (i >= 3 && i < 12) ? 0 : 0xAB) << "byte " << i;
    FillZero(nullptr, 0); // a zero count touches nothing
}

TEST(FileRoutines, ExtensionRules)
{
    EXPECT_EQ(UpperExtension("Piano.vstpreset"), ".VSTPRESET");
    EXPECT_EQ(UpperExtension("a.b.fxP"), ".FXP");
    EXPECT_EQ(UpperExtension("readme"), "");
    EXPECT_EQ(UpperExtension("Sub.dir\\readme"), ""); // a dot in a folder name is no extension
    EXPECT_EQ(UpperExtension("x.\xE4t"), ".\xE4T");   // only a..z change case
    EXPECT_EQ(StripExtension("Sub\\Piano.vstpreset"), "Sub\\Piano");
    EXPECT_EQ(StripExtension("Sub.dir\\readme"), "Sub.dir\\readme");
    EXPECT_EQ(StripExtension("trailing."), "trailing");
}
