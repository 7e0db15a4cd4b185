#include "DescriptionBlock.h"
#include "FakePlugin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

struct DescriptionTest : ::testing::Test {
    std::unique_ptr<TDescriptionBlock> block = std::make_unique<TDescriptionBlock>();
    TDescriptionWriter writer{block.get()};
    TFakePlugin plugin;
    const std::uint8_t* raw() const { return reinterpret_cast<const std::uint8_t*>(block.get()); }
    std::int32_t IntAt(std::size_t off) const
    {
        std::int32_t v;
        std::memcpy(&v, raw() + off, 4);
        return v;
    }
    void SetUp() override { std::memset(block.get(), 0xEE, sizeof(TDescriptionBlock)); }
};

} // namespace

TEST(DescriptionText, ShortTextsEndInZeroAndFullTextsAreCutWithoutOne)
{
    char field[8 + 1];
    const struct {
        const char* text;
        const char* expect; // the 8 field bytes as written, '#' for untouched
    } cases[] = {
        {"", "\0#######"},
        {"abc", "abc\0####"},
        {"1234567", "1234567\0"},
        {"12345678", "12345678"},
        {"123456789ABC", "12345678"},
    };
    for (const auto& c : cases) {
        std::memset(field, '#', sizeof(field));
        WriteFieldText(field, 8, c.text);
        EXPECT_EQ(std::memcmp(field, c.expect, 8), 0) << c.text;
        EXPECT_EQ(field[8], '#') << "nothing beyond the field for " << c.text;
    }
}

TEST_F(DescriptionTest, IdentityFieldsAtTheirOffsets)
{
    plugin.Name = "Fake Delay";
    plugin.Vendor = "Norvake Test";
    plugin.VendorURL = "http://example.invalid";
    plugin.Latency = 64;
    plugin.PluginFlags = 0x301;
    plugin.HasEditor = true;
    plugin.AcceptsMidi = true;
    plugin.IsShell = false;
    plugin.Description.ClassID[0] = 0xAB;
    writer.UpdateIdentity(&plugin);
    EXPECT_STREQ(reinterpret_cast<const char*>(raw() + 0), "Fake Delay");
    EXPECT_EQ(raw()[64], 0xAB);
    EXPECT_STREQ(reinterpret_cast<const char*>(raw() + 80), "Norvake Test");
    EXPECT_STREQ(reinterpret_cast<const char*>(raw() + 144), "http://example.invalid");
    EXPECT_STREQ(reinterpret_cast<const char*>(raw() + 664), "1.2.3");
    EXPECT_STREQ(reinterpret_cast<const char*>(raw() + 696), "Fx|Delay");
    EXPECT_EQ(IntAt(728), 0x301);
    EXPECT_EQ(IntAt(732), 64);
    EXPECT_EQ(IntAt(736), 0x41424344);
    EXPECT_EQ(raw()[740], 1);
    EXPECT_EQ(raw()[741], 0);
    EXPECT_EQ(raw()[742], 1);
    EXPECT_EQ(raw()[743], 0);
    EXPECT_EQ(raw()[744], 0xEE) << "key names are a section of their own";

    writer.UpdateKeyNames(&plugin);
    EXPECT_STREQ(reinterpret_cast<const char*>(raw() + 744 + 60 * 32), "Middle C");
    EXPECT_EQ(raw()[744], 0);
}

TEST_F(DescriptionTest, ParameterCountIsLimitedAndEveryRecordFilled)
{
    plugin.NumParams = 5000;
    writer.UpdateParams(&plugin, -1, -1);
    EXPECT_EQ(IntAt(4840), 4096);
    const TParamRecord& last = block->Params[4095];
    EXPECT_STREQ(last.Name, "Param 4095");
    EXPECT_STREQ(last.Label, "dB5");
    EXPECT_STREQ(last.Display, "8190");
    float v;
    std::memcpy(&v, raw() + 4940 + 100 * 4095, 4);
    EXPECT_FLOAT_EQ(v, 4095 / 10000.0f);
    EXPECT_EQ(std::memcmp(raw() + 4844 + 4096 * 100, "\xEE\xEE\xEE\xEE", 4), 0) << "program count untouched";
}

TEST_F(DescriptionTest, RangeOutsideTheParametersRefreshesAll)
{
    plugin.NumParams = 20;
    const struct {
        int first, last, reads;
    } cases[] = {{10, 5, 20}, {0, 9999, 20}, {-1, -1, 20}, {3, 3, 1}, {0, 19, 20}, {19, 19, 1}, {20, 20, 20}};
    for (const auto& c : cases) {
        plugin.ValueReads = 0;
        writer.UpdateParams(&plugin, c.first, c.last);
        EXPECT_EQ(plugin.ValueReads, c.reads) << c.first << ".." << c.last;
    }
}

TEST_F(DescriptionTest, LongNameIsCutAndTheLabelAfterItStaysIntact)
{
    plugin.NumParams = 1;
    plugin.LongNames = true;
    writer.UpdateParams(&plugin, -1, -1);
    EXPECT_EQ(std::string(block->Params[0].Name, 32), std::string(32, 'N'));
    EXPECT_STREQ(block->Params[0].Label, "dB0");
}

TEST_F(DescriptionTest, ProgramsBusesAndRecordValues)
{
    plugin.NumPrograms = 3000;
    writer.UpdatePrograms(&plugin);
    EXPECT_EQ(IntAt(414444), 2048);
    EXPECT_EQ(IntAt(414448), 3);
    EXPECT_STREQ(reinterpret_cast<const char*>(raw() + 414452 + 2047 * 64), "Program 2047");

    std::vector<int> many(300, 2);
    plugin.SetBuses(many, {2});
    writer.UpdateBuses(&plugin);
    EXPECT_EQ(IntAt(545524), 256);
    EXPECT_STREQ(reinterpret_cast<const char*>(raw() + 545528 + 255 * 69), "in255");
    EXPECT_EQ(IntAt(545528 + 255 * 69 + 64), 2);
    EXPECT_EQ(IntAt(563192), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(raw() + 563196), "out0");
    writer.UpdateEventBuses(&plugin);
    EXPECT_EQ(IntAt(580860), 0);
    EXPECT_EQ(IntAt(616192), 0);

    plugin.NumParams = 4;
    writer.UpdateParams(&plugin, -1, -1);
    writer.SetParamRecordValue(2, 0.75f);
    writer.SetParamRecordValue(4, 0.5f);  // equal to the count: ignored
    writer.SetParamRecordValue(-1, 0.5f); // negative: ignored
    EXPECT_FLOAT_EQ(block->Params[2].Value, 0.75f);
    EXPECT_EQ(std::memcmp(&block->Params[4], "\xEE\xEE\xEE\xEE", 4), 0);
}

TEST_F(DescriptionTest, NothingHappensWithoutAPlugin)
{
    writer.UpdateIdentity(nullptr);
    writer.UpdateParams(nullptr, -1, -1);
    writer.UpdatePrograms(nullptr);
    writer.UpdateBuses(nullptr);
    for (std::size_t i = 0; i < sizeof(TDescriptionBlock); i += 4099)
        ASSERT_EQ(raw()[i], 0xEE) << i;
}
