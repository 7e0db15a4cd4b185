// VST2 preset files without a plugin: the big-endian fields, the records the
// writer produces and the reader finds, and files that lie about their sizes.

#include "Fxb.h"
#include "LargestAllocation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const TMemoryStream& s)
{
    return std::vector<std::uint8_t>(s.Memory(), s.Memory() + s.GetSize());
}

TMemoryStream StreamOf(const std::vector<std::uint8_t>& bytes)
{
    TMemoryStream s;
    if (!bytes.empty())
        s.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    s.SetPosition(0);
    return s;
}

TFxRecordList Read(const std::vector<std::uint8_t>& bytes)
{
    TMemoryStream s = StreamOf(bytes);
    TFxRecordList list;
    ReadFxRecords(s, list);
    return list;
}

// Big-endian bytes of a hand-made file.
struct TFile {
    std::vector<std::uint8_t> B;
    TFile& I(std::int32_t v)
    {
        for (int k = 3; k >= 0; --k)
            B.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * k)));
        return *this;
    }
    TFile& Code(const char* c)
    {
        for (int k = 0; k < 4; ++k)
            B.push_back(static_cast<std::uint8_t>(c[k]));
        return *this;
    }
    TFile& Raw(std::size_t n, std::uint8_t fill)
    {
        B.insert(B.end(), n, fill);
        return *this;
    }
    // CcnK, byteSize, fxMagic, version 1, fxID, fxVersion 1, count.
    TFile& Header(const char* magic, std::int32_t byteSize, std::int32_t id, std::int32_t count)
    {
        return Code("CcnK").I(byteSize).Code(magic).I(1).I(id).I(1).I(count);
    }
};

TFxRecord Program(std::int32_t id, const std::string& name, std::vector<float> values)
{
    TFxRecord r;
    r.FxMagic = kFxProgram;
    r.Version = 1;
    r.FxID = id;
    r.FxVersion = 3;
    r.Count = static_cast<std::int32_t>(values.size());
    r.ByteSize = static_cast<std::int32_t>(FxProgramByteSize(r.Count));
    r.SetName(name);
    r.Params = std::move(values);
    return r;
}

TEST(FxbFields, BigEndianIntegersFloatsAndCodes)
{
    TMemoryStream s;
    WriteFxInt(s, 0x12345678);
    WriteFxFloat(s, 1.0f);
    WriteFxInt(s, -2);
    EXPECT_EQ(Bytes(s), (std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x78, 0x3F, 0x80, 0, 0, 0xFF, 0xFF, 0xFF, 0xFE}));
    s.SetPosition(0);
    EXPECT_EQ(ReadFxInt(s), 0x12345678);
    EXPECT_EQ(ReadFxFloat(s), 1.0f);
    EXPECT_EQ(ReadFxCode(s), -2);

    EXPECT_EQ(FxCode("CcnK"), 0x43636E4B);
    EXPECT_EQ(FxTextToCode("FxCk"), kFxProgram);
    EXPECT_EQ(FxCodeToText(kFxChunkBank), "FBCh");
    EXPECT_EQ(FxTextToCode("ab"), 0x61620000);
    EXPECT_EQ(FxTextToCode("abcdef"), FxCode("abcd"));

    // Reads past the end give zero bytes.
    TMemoryStream shortStream = StreamOf({0xAB, 0xCD});
    EXPECT_EQ(static_cast<std::uint32_t>(ReadFxInt(shortStream)), 0xABCD0000u);
    EXPECT_EQ(ReadFxInt(shortStream), 0);
}

TEST(FxbRecords, AProgramFileOfThreeValuesReadsBackUnchanged)
{
    TFxRecordList list{Program(FxCode("PtPg"), "Lead", {0.25f, 0.5f, 1.0f})};
    TMemoryStream s;
    WriteFxRecords(s, list, true);
    EXPECT_TRUE(list.empty()) << "FreeAfter";
    const auto b = Bytes(s);
    ASSERT_EQ(b.size(), 56u + 12);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "CcnK");
    EXPECT_EQ(b[7], 60) << "byteSize";
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "FxCk");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[28])), "Lead");

    const TFxRecordList back = Read(b);
    ASSERT_EQ(back.size(), 1u);
    const TFxRecord& r = back[0];
    EXPECT_EQ(r.ByteSize, 60);
    EXPECT_EQ(r.FxMagic, kFxProgram);
    EXPECT_EQ(r.Version, 1);
    EXPECT_EQ(r.FxID, FxCode("PtPg"));
    EXPECT_EQ(r.FxVersion, 3);
    EXPECT_EQ(r.Count, 3);
    EXPECT_EQ(r.Name(), "Lead");
    EXPECT_EQ(r.Params, (std::vector<float>{0.25f, 0.5f, 1.0f}));

    // Written again, the same bytes.
    TFxRecordList again = back;
    TMemoryStream s2;
    WriteFxRecords(s2, again, false);
    EXPECT_EQ(Bytes(s2), b);
    EXPECT_EQ(again.size(), 1u);
}

TEST(FxbRecords, ABankOfTwoProgramsOfThreeValues)
{
    TFxRecord bank;
    bank.FxMagic = kFxBank;
    bank.Version = 1;
    bank.FxID = 7;
    bank.Count = 2;
    bank.ByteSize = static_cast<std::int32_t>(FxBankByteSize(2, 3));
    TFxRecordList list{bank, Program(7, "One", {1, 2, 3}), Program(7, "Two", {4, 5, 6})};
    TMemoryStream s;
    WriteFxRecords(s, list, true);
    const auto b = Bytes(s);
    EXPECT_EQ(bank.ByteSize, 284);
    ASSERT_EQ(b.size(), 284u + 8) << "byteSize is the whole bank - 8";

    const TFxRecordList back = Read(b);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].FxMagic, kFxBank);
    EXPECT_EQ(back[0].Count, 2);
    EXPECT_EQ(back[2].Name(), "Two");
    EXPECT_EQ(back[2].Params, (std::vector<float>{4, 5, 6}));
}

TEST(FxbRecords, OpaqueProgramsAndBanks)
{
    TFxRecord program;
    program.FxMagic = kFxChunkProgram;
    program.Count = 1;
    program.SetName("a name longer than twenty-seven characters");
    program.Chunk = {1, 2, 3, 4, 5};
    program.ByteSize = static_cast<std::int32_t>(FxChunkProgramByteSize(5));
    TFxRecord bank;
    bank.FxMagic = kFxChunkBank;
    bank.Count = 4;
    bank.Chunk = {9, 9};
    bank.ByteSize = static_cast<std::int32_t>(FxChunkBankByteSize(2));
    TFxRecordList list{program, bank};
    TMemoryStream s;
    WriteFxRecords(s, list, false);
    EXPECT_EQ(s.GetSize(), 60 + 5 + 160 + 2);
    const TFxRecordList back = Read(Bytes(s));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].Name(), "a name longer than twenty-s") << "27 characters and the terminator";
    EXPECT_EQ(back[0].ByteSize, 57);
    EXPECT_EQ(back[0].Chunk, program.Chunk);
    EXPECT_EQ(back[1].ByteSize, 154);
    EXPECT_EQ(back[1].Chunk, bank.Chunk);
}

TEST(FxbReader, FindsRecordsThroughWhatIsNotOne)
{
    const auto program = TFile().Header("FxCk", 52, 5, 1).Raw(28, 0).I(0x3F800000).B;
    struct TCase {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::size_t records;
    };
    std::vector<std::uint8_t> garbage4 = {'j', 'u', 'n', 'k'};
    garbage4.insert(garbage4.end(), program.begin(), program.end());
    std::vector<std::uint8_t> garbage3 = {'j', 'u', 'n'};
    garbage3.insert(garbage3.end(), program.begin(), program.end());
    std::vector<std::uint8_t> unknown = TFile().Code("CcnK").I(8).Code("XyZw").B;
    unknown.insert(unknown.end(), program.begin(), program.end());
    const TCase cases[] = {
        {"four bytes of garbage before CcnK", garbage4, 1},
        {"garbage that breaks the four-byte steps", garbage3, 0},
        {"a record of another kind is skipped", unknown, 1},
        {"an empty stream", {}, 0},
        {"text that is no preset", std::vector<std::uint8_t>(100, 'x'), 0},
    };
    for (const TCase& c : cases) {
        const TFxRecordList list = Read(c.bytes);
        EXPECT_EQ(list.size(), c.records) << c.what;
        if (!list.empty()) {
            EXPECT_EQ(list[0].Params, (std::vector<float>{1.0f})) << c.what;
        }
    }
}

TEST(FxbReader, AnOpaqueProgramOfSizeZeroTakesTheRestOfTheStream)
{
    const auto b = TFile().Header("FPCh", 52, 5, 1).Raw(28, 0).I(0).Raw(13, 0xAA).B;
    const TFxRecordList list = Read(b);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Chunk, std::vector<std::uint8_t>(13, 0xAA));
}

TEST(FxbReader, FilesThatLieAboutTheirSizes)
{
    {
        SCOPED_TRACE("a parameter count of 2^31 - 1 with two values present");
        const auto b = TFile().Header("FxCk", 60, 5, 0x7FFFFFFF).Raw(28, 0).I(0x3F800000).I(0x40000000).B;
        const TFxRecordList list = Read(b);
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].Params, (std::vector<float>{1.0f, 2.0f}));
        EXPECT_LE(list[0].Params.capacity(), 2u) << "no memory for values the file does not hold";
        EXPECT_EQ(list[0].Param(2), 0.0f);
        EXPECT_EQ(list[0].Param(0x7FFFFFFE), 0.0f);
    }
    {
        SCOPED_TRACE("a truncated program: the missing bytes read as zero");
        const auto b = TFile().Header("FxCk", 60, 5, 3).Raw(28, 0).I(0x3F800000).Raw(2, 0x40).B;
        const TFxRecordList list = Read(b);
        ASSERT_EQ(list.size(), 1u);
        ASSERT_EQ(list[0].Params.size(), 2u);
        const std::uint32_t bits = 0x40400000;
        float expected;
        std::memcpy(&expected, &bits, 4);
        EXPECT_EQ(list[0].Params[1], expected);
    }
    {
        SCOPED_TRACE("a truncated header: zero fields, no name");
        const auto b = TFile().Code("CcnK").I(60).Code("FxCk").I(1).Raw(2, 0x01).B;
        const TFxRecordList list = Read(b);
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].FxID, 0x01010000);
        EXPECT_EQ(list[0].Count, 0);
        EXPECT_EQ(list[0].Name(), "");
    }
    struct TCase {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    const auto good = TFile().Header("FxCk", 52, 5, 1).Raw(28, 0).I(0x3F800000).B;
    auto then = [&](std::vector<std::uint8_t> b) {
        b.insert(b.end(), good.begin(), good.end());
        return b;
    };
    const TCase dropped[] = {
        {"an opaque program whose chunk runs past the end", TFile().Header("FPCh", 60, 5, 1).Raw(28, 0).I(1000).Raw(10, 1).B},
        {"an opaque bank of 2^31 - 1 bytes", TFile().Header("FBCh", 60, 5, 1).Raw(128, 0).I(0x7FFFFFFF).Raw(10, 1).B},
        {"an opaque program of negative size", then(TFile().Header("FPCh", 60, 5, 1).Raw(28, 0).I(-4).B)},
        {"an opaque bank of negative size", then(TFile().Header("FBCh", 60, 5, 1).Raw(128, 0).I(-1).B)},
    };
    for (const TCase& c : dropped) {
        ResetLargestAllocation();
        const TFxRecordList list = Read(c.bytes);
        EXPECT_LT(LargestAllocation(), 4096u) << c.what;
        EXPECT_TRUE(list.empty()) << c.what << ": the record is dropped and reading ends";
    }
    // What came before a broken record stays.
    std::vector<std::uint8_t> b = good;
    const auto broken = TFile().Header("FBCh", 60, 5, 1).Raw(128, 0).I(1 << 30).B;
    b.insert(b.end(), broken.begin(), broken.end());
    EXPECT_EQ(Read(b).size(), 1u);
}

} // namespace
