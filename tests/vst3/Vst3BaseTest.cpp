// The VST 3 identifiers and FUID: every declared interface identifier against
// the published values (text form and the 16 bytes in memory), and the text
// form reader with its edge cases.

#include "VST3_IPSLHostCommands.h"
#include "Vst3Base.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace Vst3;

namespace {

// "DB 8D 88 22 ..." -> 16 bytes.
std::vector<std::uint8_t> ParseBytes(const char* text)
{
    std::vector<std::uint8_t> out;
    unsigned v = 0;
    int n = 0;
    while (std::sscanf(text, "%2x%n", &v, &n) == 1) {
        out.push_back(static_cast<std::uint8_t>(v));
        text += n;
        while (*text == ' ')
            ++text;
    }
    return out;
}

std::vector<std::uint8_t> BytesOf(const TUID& t) { return {t.Bytes, t.Bytes + 16}; }

struct IdCase {
    const char* Name;
    const TUID& Declared;
    const char* Text;  // the 32-character form
    const char* Bytes; // the TUID in memory
};

// The published identifiers: text form and memory bytes as the API gives them.
const IdCase kIds[] = {
    {"FUnknown", FUnknown::iid, "0000000000000000C000000000000046", "00 00 00 00 00 00 00 00 C0 00 00 00 00 00 00 46"},
    {"IPluginBase", IPluginBase::iid, "22888DDB156E45AE8358B34808190625",
     "DB 8D 88 22 6E 15 AE 45 83 58 B3 48 08 19 06 25"},
    {"IPluginFactory", IPluginFactory::iid, "7A4D811C52114A1FAED9D2EE0B43BF9F",
     "1C 81 4D 7A 11 52 1F 4A AE D9 D2 EE 0B 43 BF 9F"},
    {"IPluginFactory2", IPluginFactory2::iid, "0007B650F24B4C0BA464EDB9F00B2ABB",
     "50 B6 07 00 4B F2 0B 4C A4 64 ED B9 F0 0B 2A BB"},
    {"IPluginFactory3", IPluginFactory3::iid, "4555A2ABC1234E579B12291036878931",
     "AB A2 55 45 23 C1 57 4E 9B 12 29 10 36 87 89 31"},
    {"IComponent", IComponent::iid, "E831FF31F2D54301928EBBEE25697802",
     "31 FF 31 E8 D5 F2 01 43 92 8E BB EE 25 69 78 02"},
    {"IAudioProcessor", IAudioProcessor::iid, "42043F99B7DA453CA569E79D9AAEC33D",
     "99 3F 04 42 DA B7 3C 45 A5 69 E7 9D 9A AE C3 3D"},
    {"IAudioPresentationLatency", IAudioPresentationLatency::iid, "309ECE78EB7D4FAE8B2225D909FD08B6",
     "78 CE 9E 30 7D EB AE 4F 8B 22 25 D9 09 FD 08 B6"},
    {"IEditController", IEditController::iid, "DCD7BBE37742448DA874AACC979C759E",
     "E3 BB D7 DC 42 77 8D 44 A8 74 AA CC 97 9C 75 9E"},
    {"IEditController2", IEditController2::iid, "7F4EFE59F3204967AC27A3AEAFB63038",
     "59 FE 4E 7F 20 F3 67 49 AC 27 A3 AE AF B6 30 38"},
    {"IConnectionPoint", IConnectionPoint::iid, "70A4156F6E6E4026989148BFAA60D8D1",
     "6F 15 A4 70 6E 6E 26 40 98 91 48 BF AA 60 D8 D1"},
    {"IUnitInfo", IUnitInfo::iid, "3D4BD6B5913A4FD2A886E768A5EB92C1",
     "B5 D6 4B 3D 3A 91 D2 4F A8 86 E7 68 A5 EB 92 C1"},
    {"IProgramListData", IProgramListData::iid, "8683B01F7B354F70A2651DEC353AF4FF",
     "1F B0 83 86 35 7B 70 4F A2 65 1D EC 35 3A F4 FF"},
    {"IMidiMapping", IMidiMapping::iid, "DF0FF9F749B74669B63AB7327ADBF5E5",
     "F7 F9 0F DF B7 49 69 46 B6 3A B7 32 7A DB F5 E5"},
    {"IBStream", IBStream::iid, "C3BF6EA2309947529B6BF9901EE33E9B", "A2 6E BF C3 99 30 52 47 9B 6B F9 90 1E E3 3E 9B"},
    {"IPlugFrame", IPlugFrame::iid, "367FAF01AFA946938D4DA2A0ED0882A3",
     "01 AF 7F 36 A9 AF 93 46 8D 4D A2 A0 ED 08 82 A3"},
    {"IPlugView", IPlugView::iid, "5BC32507D06049EAA6151B522B755B29", "07 25 C3 5B 60 D0 EA 49 A6 15 1B 52 2B 75 5B 29"},
    {"IAttributeList", IAttributeList::iid, "1E5F0AEBCC7F4533A254401138AD5EE4",
     "EB 0A 5F 1E 7F CC 33 45 A2 54 40 11 38 AD 5E E4"},
    {"IParamValueQueue", IParamValueQueue::iid, "01263A18ED074F6F98C9D3564686F9BA",
     "18 3A 26 01 07 ED 6F 4F 98 C9 D3 56 46 86 F9 BA"},
    {"IParameterChanges", IParameterChanges::iid, "A47796630BB64A56B44384A8466FEB9D",
     "63 96 77 A4 B6 0B 56 4A B4 43 84 A8 46 6F EB 9D"},
    {"IEventList", IEventList::iid, "3A2C4214346349FEB2C4F397B9695A44",
     "14 42 2C 3A 63 34 FE 49 B2 C4 F3 97 B9 69 5A 44"},
    {"IMessage", IMessage::iid, "936F033BC6C047DBBB0882F813C1E613", "3B 03 6F 93 C0 C6 DB 47 BB 08 82 F8 13 C1 E6 13"},
    {"IHostApplication", IHostApplication::iid, "58E595CCDB2D49698B6AAF8C36A664E5",
     "CC 95 E5 58 2D DB 69 49 8B 6A AF 8C 36 A6 64 E5"},
    {"IComponentHandler", IComponentHandler::iid, "93A0BEA30BD045DB8E890B0CC1E46AC6",
     "A3 BE A0 93 D0 0B DB 45 8E 89 0B 0C C1 E4 6A C6"},
    {"IComponentHandler2", IComponentHandler2::iid, "F040B4B3A36045ECABCDC045B4D5A2CC",
     "B3 B4 40 F0 60 A3 EC 45 AB CD C0 45 B4 D5 A2 CC"},
    {"IUnitHandler", IUnitHandler::iid, "4B5147F84654486B8DAB30BA163A3C56",
     "F8 47 51 4B 54 46 6B 48 8D AB 30 BA 16 3A 3C 56"},
    {"IContextMenuTarget", IContextMenuTarget::iid, "3CDF2E7585D34144BF86D36BD7C4894D",
     "75 2E DF 3C D3 85 44 41 BF 86 D3 6B D7 C4 89 4D"},
    {"IContextMenu", IContextMenu::iid, "2E93C8630C9C458897DBECF5AD17817D",
     "63 C8 93 2E 9C 0C 88 45 97 DB EC F5 AD 17 81 7D"},
    {"IComponentHandler3", IComponentHandler3::iid, "69F11617D26B400DA4B6B9647B6EBBAB",
     "17 16 F1 69 6B D2 0D 40 A4 B6 B9 64 7B 6E BB AB"},
    // The host-command extension, given in GUID text form:
    // {C5A687DB-82F3-44E9-B378-254A47C4D712}, {F92032CD-7A84-407C-ABE6-F863058EA6C2}.
    {"ICommandList", Presonus::ICommandList::iid, "C5A687DB82F344E9B378254A47C4D712",
     "DB 87 A6 C5 F3 82 E9 44 B3 78 25 4A 47 C4 D7 12"},
    {"IHostCommandHandler", Presonus::IHostCommandHandler::iid, "F92032CD7A84407CABE6F863058EA6C2",
     "CD 32 20 F9 84 7A 7C 40 AB E6 F8 63 05 8E A6 C2"},
};

TEST(Vst3Identifiers, DeclaredIdentifiersHaveThePublishedBytes)
{
    for (const IdCase& c : kIds) {
        SCOPED_TRACE(c.Name);
        const auto expected = ParseBytes(c.Bytes);
        ASSERT_EQ(expected.size(), 16u);
        EXPECT_EQ(BytesOf(c.Declared), expected);
    }
}

TEST(Vst3Identifiers, TextFormReadsToThePublishedBytes)
{
    for (const IdCase& c : kIds) {
        SCOPED_TRACE(c.Name);
        FUID f;
        ASSERT_TRUE(f.fromString(c.Text));
        EXPECT_EQ(BytesOf(f.GetTUID()), ParseBytes(c.Bytes));
        EXPECT_TRUE(f.isEqual(c.Declared));
    }
}

TEST(Vst3Identifiers, AllDistinct)
{
    for (std::size_t i = 0; i < std::size(kIds); ++i)
        for (std::size_t j = i + 1; j < std::size(kIds); ++j)
            EXPECT_FALSE(kIds[i].Declared == kIds[j].Declared) << kIds[i].Name << " / " << kIds[j].Name;
}

TEST(Vst3Fuid, StartsZero)
{
    FUID f;
    EXPECT_TRUE(f.GetTUID().IsZero());
    TUID zero{};
    EXPECT_TRUE(f.isEqual(zero));
}

TEST(Vst3Fuid, ReadsTheTextFormGroupByGroup)
{
    FUID f;
    ASSERT_TRUE(f.fromString("0123456789ABCDEF0123456789ABCDEF"));
    EXPECT_EQ(BytesOf(f.GetTUID()), ParseBytes("67 45 23 01 AB 89 EF CD 01 23 45 67 89 AB CD EF"));
    FUID lower;
    ASSERT_TRUE(lower.fromString("0123456789abcdef0123456789abcdef"));
    EXPECT_TRUE(lower.isEqual(f.GetTUID()));
    TUID out{};
    f.toTUID(out);
    EXPECT_EQ(out, f.GetTUID());
}

TEST(Vst3Fuid, WrongLengthLeavesTheValueUnchanged)
{
    const char* kBad[] = {
        "0123456789ABCDEF0123456789ABCDE",   // 31
        "0123456789ABCDEF0123456789ABCDEF0", // 33
        "",
        "{C5A687DB-82F3-44E9-B378-254A47C4D712}",
    };
    for (const char* text : kBad) {
        SCOPED_TRACE(text);
        FUID f;
        ASSERT_TRUE(f.fromString("E831FF31F2D54301928EBBEE25697802"));
        EXPECT_FALSE(f.fromString(text));
        EXPECT_TRUE(f.isEqual(IComponent::iid));
    }
    FUID f(IComponent::iid);
    EXPECT_FALSE(f.fromString(static_cast<const char*>(nullptr)));
    EXPECT_TRUE(f.isEqual(IComponent::iid));
}

TEST(Vst3Fuid, NonHexGroupsBecomeZero)
{
    struct Case {
        const char* Text;
        const char* Bytes;
    };
    const Case kCases[] = {
        // first 32-bit group spoiled
        {"0123456X89ABCDEF0123456789ABCDEF", "00 00 00 00 AB 89 EF CD 01 23 45 67 89 AB CD EF"},
        // first 16-bit group
        {"0123456789AGCDEF0123456789ABCDEF", "67 45 23 01 00 00 EF CD 01 23 45 67 89 AB CD EF"},
        // second 16-bit group (a sign is not a digit either)
        {"0123456789AB-DEF0123456789ABCDEF", "67 45 23 01 AB 89 00 00 01 23 45 67 89 AB CD EF"},
        // one byte pair
        {"0123456789ABCDEF01234567 9ABCDEF", "67 45 23 01 AB 89 EF CD 01 23 45 67 00 AB CD EF"},
        // all of it
        {"zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz", "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Text);
        FUID f(IComponent::iid);
        ASSERT_TRUE(f.fromString(c.Text));
        EXPECT_EQ(BytesOf(f.GetTUID()), ParseBytes(c.Bytes));
    }
}

TEST(Vst3Fuid, FromBytesAndFidString)
{
    const auto raw = ParseBytes("31 FF 31 E8 D5 F2 01 43 92 8E BB EE 25 69 78 02");
    const TUID t = TUID::FromBytes(raw.data());
    EXPECT_EQ(t, IComponent::iid);
    EXPECT_EQ(0, std::memcmp(t.AsFIDString(), raw.data(), 16));
}

} // namespace
