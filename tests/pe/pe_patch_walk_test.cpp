// The import redirect patcher's work on PE files built in memory: the bytes it
// changes, the lines it prints, and the rejection of malformed files with the
// buffer left as it was.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ImportPatchWalk.h"
#include "PeTestImage.h"

namespace {

struct TPatchRun {
    int Status;
    std::string Text;
    std::vector<std::uint8_t> Bytes; // the buffer afterwards
};

TPatchRun Patch(std::vector<std::uint8_t> bytes, const TPatchConfig& config = kCodecPatchConfig)
{
    bytes.shrink_to_fit();
    g_buf = bytes.data();
    g_size = static_cast<std::uint32_t>(bytes.size());
    TStringOutput out;
    const int status = PatchImage(config, out);
    return {status, out.Text, bytes};
}

TTestImageLayout Layout(std::vector<TTestImport> imports)
{
    TTestImageLayout layout;
    layout.Imports = std::move(imports);
    return layout;
}

std::string Found(std::size_t offset)
{
    char text[80];
    std::snprintf(text, sizeof text, "found KERNEL32.dll import name at file offset 0x%lX\n",
                  static_cast<unsigned long>(offset));
    return text;
}

// The input with what the patcher is to change: names, four version fields,
// the bound import entry and the checksum.
std::vector<std::uint8_t> Expected(const TTestImage& img, const std::vector<std::size_t>& names, const char* replacement)
{
    TTestImage e = img;
    for (std::size_t at : names)
        std::memcpy(&e.Bytes[at], replacement, 12);
    e.Put16(e.Nt + 0x40, 5);
    e.Put16(e.Nt + 0x42, 2);
    e.Put16(e.Nt + 0x48, 5);
    e.Put16(e.Nt + 0x4A, 2);
    e.Put32(e.Nt + 0x58, 0);
    e.Put32(e.Nt + 0xE0, 0);
    e.Put32(e.Nt + 0xE4, 0);
    return e.Bytes;
}

} // namespace

TEST(ImportPatchWalk, Rva2offFollowsTheSectionTable)
{
    g_sec = kTestSections;
    g_nsec = 4;
    for (const TRvaCase& c : kTestRvaCases)
        EXPECT_EQ(rva2off(c.Rva), c.Offset) << std::hex << c.Rva;
    g_nsec = 0;
    EXPECT_EQ(rva2off(0x1000), 0u);
}

struct TRenameCase {
    const char* Label;
    std::vector<TTestImport> Imports;
    std::vector<std::size_t> Rewritten; // indexes of the descriptors renamed
    const TPatchConfig* Config;
};

TEST(ImportPatchWalk, RenamesEveryKernel32Descriptor)
{
    const TRenameCase cases[] = {
        {"upper case", {{"msvcrt.dll", {"printf"}, {}, false}, {"KERNEL32.dll", {"GetTickCount"}, {}, false}}, {1},
         &kCodecPatchConfig},
        {"lower case", {{"kernel32.dll", {"GetTickCount"}, {}, false}}, {0}, &kCodecPatchConfig},
        {"mixed case, zip library", {{"Kernel32.DLL", {"GetTickCount"}, {}, false}}, {0}, &kZipPatchConfig},
        {"two descriptors",
         {{"KERNEL32.dll", {"GetTickCount"}, {}, false},
          {"user32.dll", {"MessageBoxA"}, {}, false},
          {"kernel32.dll", {"Sleep"}, {}, false}},
         {0, 2},
         &kZipPatchConfig},
        {"only near misses are left alone",
         {{"KERNEL32.dl", {"A"}, {}, false},
          {"KERNEL32.dllx", {"B"}, {}, false},
          {"KERNEL64.dll", {"C"}, {}, false},
          {"kernel32.dll", {"D"}, {}, false}},
         {3},
         &kCodecPatchConfig},
    };
    for (const TRenameCase& c : cases) {
        SCOPED_TRACE(c.Label);
        const TTestImage img = BuildTestImage(Layout(c.Imports));
        const TPatchRun run = Patch(img.Bytes, *c.Config);
        std::string expected;
        std::vector<std::size_t> names;
        for (std::size_t i : c.Rewritten) {
            names.push_back(img.DllNames[i]);
            expected += Found(img.DllNames[i]) + c.Config->RewriteMessage;
        }
        expected += "subsystem version 5.02 -> 5.02\n";
        EXPECT_EQ(run.Status, 0);
        EXPECT_EQ(run.Text, expected);
        EXPECT_EQ(run.Bytes, Expected(img, names, c.Config->Replacement));
    }
}

TEST(ImportPatchWalk, VersionsBoundImportsAndChecksum)
{
    TTestImageLayout layout = Layout({{"KERNEL32.dll", {"GetTickCount"}, {}, false}});
    layout.SubsystemMajor = 6;
    layout.SubsystemMinor = 0;
    layout.CheckSum = 0xCAFE;
    struct {
        std::uint32_t Rva, Size;
        bool Cleared;
    } const bound[] = {{0, 0, false}, {0x2A8, 0x20, true}, {0, 0x20, true}, {0x2A8, 0, true}};
    for (const auto& b : bound) {
        SCOPED_TRACE(b.Size);
        layout.BoundRva = b.Rva;
        layout.BoundSize = b.Size;
        const TTestImage img = BuildTestImage(layout);
        const TPatchRun run = Patch(img.Bytes);
        EXPECT_EQ(run.Status, 0);
        EXPECT_EQ(run.Text, Found(img.DllNames[0]) + "  -> rewritten to KERNXP32.dll\n" +
                                "subsystem version 6.00 -> 5.02\n" +
                                (b.Cleared ? "clearing bound import directory\n" : ""));
        EXPECT_EQ(run.Bytes, Expected(img, {img.DllNames[0]}, "KERNXP32.dll"));
    }
}

// With fewer than 12 data directories the bound import entry does not exist:
// the bytes where it would stand belong to the section table and stay.
TEST(ImportPatchWalk, ShortDirectoryTableHasNoBoundImportEntry)
{
    TTestImage img = BuildTestImage(Layout({{"KERNEL32.dll", {"GetTickCount"}, {}, false}}));
    img.Put32(img.Nt + 0x18 + 108, 11); // NumberOfRvaAndSizes
    img.Put32(img.Nt + 0xE0, 0x111);
    const TPatchRun run = Patch(img.Bytes);
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Text.find("clearing"), std::string::npos);
    std::vector<std::uint8_t> expected = Expected(img, {img.DllNames[0]}, "KERNXP32.dll");
    std::memcpy(&expected[img.Nt + 0xE0], &img.Bytes[img.Nt + 0xE0], 8);
    EXPECT_EQ(run.Bytes, expected);
}

// Two descriptors sharing one name string: the second sees the new name.
TEST(ImportPatchWalk, SharedNameIsRenamedOnce)
{
    TTestImage img = BuildTestImage(
        Layout({{"KERNEL32.dll", {"GetTickCount"}, {}, false}, {"other.dll", {"Sleep"}, {}, false}}));
    img.Put32(img.Descriptors + 20 + 12, img.Get32(img.Descriptors + 12));
    const TPatchRun run = Patch(img.Bytes);
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Text, Found(img.DllNames[0]) + "  -> rewritten to KERNXP32.dll\nsubsystem version 5.02 -> 5.02\n");
}

struct TPatchErrorCase {
    const char* Label;
    std::function<void(TTestImage&)> Break;
    std::string Message;
};

TEST(ImportPatchWalk, ErrorsLeaveTheBufferAsItWas)
{
    const TPatchErrorCase cases[] = {
        {"empty file", [](TTestImage& i) { i.Bytes.clear(); }, "ERROR: not a PE file"},
        {"no MZ", [](TTestImage& i) { i.Bytes[0] = 'N'; }, "ERROR: not a PE file"},
        {"DOS header cut", [](TTestImage& i) { i.Bytes.resize(0x30); }, "ERROR: file too short for a DOS header"},
        {"e_lfanew outside", [](TTestImage& i) { i.Put32(0x3C, 0xFFFFFFF0u); },
         "ERROR: PE header offset points outside the file"},
        {"bad signature", [](TTestImage& i) { i.Bytes[i.Nt] = 'Q'; }, "ERROR: bad PE signature"},
        {"headers cut", [](TTestImage& i) { i.Bytes.resize(i.Nt + 0x19); },
         "ERROR: PE headers cut off by the end of the file"},
        {"PE32", [](TTestImage& i) { i.Put16(i.Nt + 0x18, 0x10B); }, "ERROR: this is not a 64-bit DLL"},
        {"optional header too short", [](TTestImage& i) { i.Put16(i.Nt + 20, 0x60); },
         "ERROR: optional header too short for a 64-bit DLL"},
        {"section table outside", [](TTestImage& i) { i.Put16(i.Nt + 6, 0x4000); },
         "ERROR: section table runs past the end of the file"},
        {"file cut in the section table", [](TTestImage& i) { i.Bytes.resize(i.SectionTable + 20); },
         "ERROR: section table runs past the end of the file"},
        {"no import table", [](TTestImage& i) { i.Put32(i.ImportDirectoryEntry, 0); }, "ERROR: no import table"},
        {"directory not declared", [](TTestImage& i) { i.Put32(i.Nt + 0x18 + 108, 1); }, "ERROR: no import table"},
        {"import table in no section", [](TTestImage& i) { i.Put32(i.ImportDirectoryEntry, 0x8000); },
         "ERROR: cannot locate import table"},
        {"descriptor list runs off", [](TTestImage& i) { i.Put32(i.ImportDirectoryEntry, i.SpareRva + 4); },
         "ERROR: import descriptor list runs past the end of the file"},
        {"name in no section", [](TTestImage& i) { i.Put32(i.Descriptors + 20 + 12, 0x7000); },
         "ERROR: import name RVA 0x7000 lies in no section"},
        {"name without terminator",
         [](TTestImage& i) { i.Put32(i.Descriptors + 20 + 12, i.SpareRva + 2); },
         ""},
        {"name mapped past the end",
         [](TTestImage& i) {
             i.PutSection32(8, 0x10000);
             i.Put32(i.Descriptors + 20 + 12, i.SpareRva + 0x40);
         },
         ""},
        {"no KERNEL32.dll", [](TTestImage& i) { i.Bytes[i.DllNames[0] + 4] = 'L'; },
         "ERROR: no KERNEL32.dll import descriptor found"},
    };
    for (const TPatchErrorCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TTestImage img = BuildTestImage(
            Layout({{"KERNEL32.dll", {"GetTickCount"}, {}, false}, {"user32.dll", {"MessageBoxA"}, {}, false}}));
        c.Break(img);
        std::string message = c.Message;
        if (message.empty()) { // the name's file offset is part of the text
            const std::uint64_t name = img.Get32(img.Descriptors + 20 + 12) - img.SectionRva + img.SectionRaw;
            char text[96];
            std::snprintf(text, sizeof text, "ERROR: import name at file offset 0x%lX runs past the end of the file",
                          static_cast<unsigned long>(name));
            message = text;
        }
        const TPatchRun run = Patch(img.Bytes);
        EXPECT_EQ(run.Status, 1);
        // The one line of the error and nothing before it: the walk checks
        // every descriptor before it renames the first.
        EXPECT_EQ(run.Text, message + "\n");
        EXPECT_EQ(run.Bytes, img.Bytes);
    }
}
