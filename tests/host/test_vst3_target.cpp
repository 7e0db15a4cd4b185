// The command-line host's choice of a VST3 module and class.

#include "Vst3Target.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Vst3Target, BundleFolderResolvesToTheModuleOfEachBitness)
{
    struct Case {
        std::string bundle;
        bool is64;
        std::string module;
    };
    const Case cases[] = {
        {"C:\\Plugins\\Synth.vst3", true, "C:\\Plugins\\Synth.vst3\\Contents\\x86_64-win\\Synth.vst3"},
        {"C:\\Plugins\\Synth.vst3", false, "C:\\Plugins\\Synth.vst3\\Contents\\x86-win\\Synth.vst3"},
        {"C:\\Plugins\\Synth.vst3\\", true, "C:\\Plugins\\Synth.vst3\\Contents\\x86_64-win\\Synth.vst3"},
        {"Z:/tmp/My Synth.VST3/", true, "Z:/tmp/My Synth.VST3/Contents/x86_64-win/My Synth.vst3"},
        {"Z:/tmp/Folder", true, "Z:/tmp/Folder/Contents/x86_64-win/Folder.vst3"},
        {"Synth.vst3", false, "Synth.vst3\\Contents\\x86-win\\Synth.vst3"},
        {"", true, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Vst3BundleModulePath(c.bundle, c.is64), c.module) << c.bundle;
}

TEST(Vst3Target, ExtensionIsRecognisedInAnyCaseAndWithATrailingSeparator)
{
    struct Case {
        std::string path;
        bool vst3;
    };
    const Case cases[] = {{"a.vst3", true},   {"A.VST3", true},  {"Z:/x/b.Vst3/", true}, {"c.dll", false},
                          {"d.vst3.dll", false}, {".vst3", false}, {"Z:/x/.vst3", false}, {"vst3", false}};
    for (const Case& c : cases)
        EXPECT_EQ(HasVst3Extension(c.path), c.vst3) << c.path;
}

TEST(Vst3Target, ClassIdTextIsTheFormThatTheTextReaderTakes)
{
    // The bytes that the text 0123456789ABCDEF0123456789ABCDEF gives.
    const std::array<std::uint8_t, 16> id = {0x67, 0x45, 0x23, 0x01, 0xAB, 0x89, 0xEF, 0xCD,
                                             0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(ClassIdText(id), "0123456789ABCDEF0123456789ABCDEF");
    EXPECT_EQ(ClassIdText({}), std::string(32, '0'));
}

TEST(Vst3Target, ClassChoiceByPositionOrName)
{
    std::vector<TVst3ClassEntry> list(3);
    list[0].Name = "Alpha";
    list[1].Name = "beta";
    list[2].Name = "Beta";
    struct Case {
        const char* given; // null: no choice
        std::int32_t index;
    };
    const Case cases[] = {
        {nullptr, 0}, {"0", 0},      {"2", 2},  {"3", -1},        {"Beta", 2},
        {"beta", 1},  {"ALPHA", 0},  {"Gamma", -1}, {"", -1}, {"99999999999", -1},
    };
    for (const Case& c : cases) {
        const TClassChoice choice = c.given ? TClassChoice::Parse(c.given) : TClassChoice{};
        EXPECT_EQ(PickClass(list, choice), c.index) << (c.given ? c.given : "(none)");
    }
    EXPECT_EQ(PickClass({}, TClassChoice{}), -1);
}
