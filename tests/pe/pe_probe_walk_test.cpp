// The import probe's walk on PE files built in memory: the report in both
// styles, and the rejection of malformed files before any report line.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "ImportProbeWalk.h"
#include "PeTestImage.h"

namespace {

// The DLLs "on the system": a DLL not listed is not present.
class TFakeModules final : public TProbeModules {
public:
    std::map<std::string, std::set<std::string>> Dlls{
        {"KERNEL32.dll", {"GetTickCount", "GetCurrentProcessId"}},
        {"msvcrt.dll", {"printf"}},
    };
    std::vector<std::string> Asked;
    void* FindModule(const char* dll) override
    {
        Asked.push_back(dll);
        auto it = Dlls.find(dll);
        return it == Dlls.end() ? nullptr : &it->second;
    }
    bool HasFunction(void* module, const char* name) override
    {
        return static_cast<std::set<std::string>*>(module)->count(name) != 0;
    }
};

struct TProbeRun {
    int Status;
    std::string Text;
};

TProbeRun Probe(const std::vector<std::uint8_t>& bytes, TProbeStyle style = TProbeStyle::Summary)
{
    TFakeModules modules;
    TStringOutput out;
    const int status = ProbeImage(bytes.data(), bytes.size(), style, modules, out);
    return {status, out.Text};
}

const char* const kHeader64 = "machine: 0x8664 (x64)\nPE type: PE32+\nsubsystem version required: 5.02\n\n";
const char* const kAllResolve = ">>> All imports resolve. The load failure is elsewhere.\n";
const char* const kCannotLoad = ">>> This DLL cannot load here. It was built against a newer\n"
                                ">>> Windows SDK than this OS provides.\n";

TTestImageLayout Spec64(std::vector<TTestImport> imports)
{
    TTestImageLayout layout;
    layout.Imports = std::move(imports);
    return layout;
}

} // namespace

TEST(ImportProbeWalk, PtrFollowsTheSectionTable)
{
    std::vector<std::uint8_t> file(kTestSectionsFileSize);
    g_base = file.data();
    g_viewSize = file.size();
    g_sec = kTestSections;
    g_nsec = 4;
    for (const TRvaCase& c : kTestRvaCases) {
        SCOPED_TRACE(c.Rva);
        if (c.Offset >= file.size()) {
            EXPECT_THROW(ptr(c.Rva), Exception);
        } else {
            EXPECT_EQ(ptr(c.Rva), c.Offset == 0 ? nullptr : file.data() + c.Offset);
        }
    }
    g_nsec = 0;
    EXPECT_EQ(ptr(0x1000), nullptr);
}

struct TReportCase {
    const char* Label;
    TTestImageLayout Layout;
    TProbeStyle Style;
    int Status;
    std::string Expected;
};

TEST(ImportProbeWalk, Reports)
{
    TTestImageLayout pe32 = Spec64({{"KERNEL32.dll", {"GetTickCount", "CreateFile2"}, {7}, false}});
    pe32.Pe64 = false;
    pe32.Machine = 0x014C;
    pe32.SubsystemMajor = 4;
    pe32.SubsystemMinor = 0;
    TTestImageLayout other = Spec64({{"KERNEL32.dll", {"GetTickCount"}, {}, false}});
    other.Machine = 0x01C4;
    other.SubsystemMajor = 6;
    other.SubsystemMinor = 0;
    TTestImageLayout noTable = Spec64({{"KERNEL32.dll", {"GetTickCount"}, {}, false}});
    noTable.ImportDirectory = false;

    const TReportCase cases[] = {
        {"all present", Spec64({{"KERNEL32.dll", {"GetTickCount", "GetCurrentProcessId"}, {}, false},
                                {"msvcrt.dll", {"printf"}, {}, false}}),
         TProbeStyle::Summary, 0,
         std::string(kHeader64) + "[KERNEL32.dll]\n[msvcrt.dll]\n\n3 imported functions checked, 0 MISSING on this OS\n" +
             kAllResolve},
        {"one missing", Spec64({{"KERNEL32.dll", {"GetTickCount", "AddDllDirectory2"}, {}, false}}),
         TProbeStyle::Summary, 0,
         std::string(kHeader64) + "[KERNEL32.dll]\n    MISSING: AddDllDirectory2\n"
                                  "\n2 imported functions checked, 1 MISSING on this OS\n" + kCannotLoad},
        {"listing", Spec64({{"KERNEL32.dll", {"GetTickCount", "AddDllDirectory2"}, {}, false},
                            {"msvcrt.dll", {"printf"}, {}, false}}),
         TProbeStyle::Listing, 0,
         std::string(kHeader64) + "\n=== DLL KERNEL32.dll ===\nOK      GetTickCount\nMISSING AddDllDirectory2\n"
                                  "\n=== DLL msvcrt.dll ===\nOK      printf\n"
                                  "\n3 imported functions checked, 1 MISSING on this OS\n" + kCannotLoad},
        {"ordinals only", Spec64({{"KERNEL32.dll", {"GetTickCount"}, {}, false}, {"msvcrt.dll", {}, {5, 6}, false}}),
         TProbeStyle::Summary, 0,
         std::string(kHeader64) + "[KERNEL32.dll]\n[msvcrt.dll]\n\n1 imported functions checked, 0 MISSING on this OS\n" +
             kAllResolve},
        {"names through FirstThunk", Spec64({{"KERNEL32.dll", {"GetTickCount", "Nope"}, {}, true}}),
         TProbeStyle::Summary, 0,
         std::string(kHeader64) + "[KERNEL32.dll]\n    MISSING: Nope\n\n2 imported functions checked, 1 MISSING on this OS\n" +
             kCannotLoad},
        {"absent DLL", Spec64({{"ABSENT.dll", {"Foo", "Bar"}, {}, false}, {"KERNEL32.dll", {"GetTickCount"}, {}, false}}),
         TProbeStyle::Listing, 0,
         std::string(kHeader64) + "\n=== DLL ABSENT.dll ===\n    !! this DLL itself is not present on this system\n"
                                  "\n=== DLL KERNEL32.dll ===\nOK      GetTickCount\n"
                                  "\n1 imported functions checked, 0 MISSING on this OS\n" + kAllResolve},
        {"empty descriptor list", Spec64({}), TProbeStyle::Summary, 0,
         std::string(kHeader64) + "\n0 imported functions checked, 0 MISSING on this OS\n" + kAllResolve},
        {"PE32 with 4-byte thunks", pe32, TProbeStyle::Listing, 0,
         "machine: 0x014C (x86)\nPE type: PE32\nsubsystem version required: 4.00\n\n"
         "\n=== DLL KERNEL32.dll ===\nOK      GetTickCount\nMISSING CreateFile2\n"
         "\n2 imported functions checked, 1 MISSING on this OS\n" + std::string(kCannotLoad)},
        {"other machine, subsystem 6.00", other, TProbeStyle::Summary, 0,
         "machine: 0x01C4 (other)\nPE type: PE32+\nsubsystem version required: 6.00\n\n[KERNEL32.dll]\n"
         "\n1 imported functions checked, 0 MISSING on this OS\n" + std::string(kAllResolve)},
        {"no import table", noTable, TProbeStyle::Summary, 0, std::string(kHeader64) + "no import table\n"},
    };
    for (const TReportCase& c : cases) {
        SCOPED_TRACE(c.Label);
        const TTestImage img = BuildTestImage(c.Layout);
        const TProbeRun run = Probe(img.Bytes, c.Style);
        EXPECT_EQ(run.Status, c.Status);
        EXPECT_EQ(run.Text, c.Expected);
    }
}

// A descriptor whose name lies in no section, or that has no thunk list, is
// passed over without a line; a thunk list in no section gives the header only.
TEST(ImportProbeWalk, SkipsDescriptorsWithoutNameOrThunks)
{
    TTestImage img = BuildTestImage(Spec64({{"msvcrt.dll", {"printf"}, {}, false},
                                           {"ABSENT.dll", {"Foo"}, {}, false},
                                           {"KERNEL32.dll", {"Nope"}, {}, false}}));
    img.Put32(img.Descriptors + 12, 0x00F00000);    // first name: no section
    img.Put32(img.Descriptors + 20 + 0, 0);         // second: no thunk list at all
    img.Put32(img.Descriptors + 20 + 16, 0);
    img.Put32(img.Descriptors + 40 + 0, 0x00F00000); // third: thunk list in no section
    TFakeModules modules;
    TStringOutput out;
    EXPECT_EQ(ProbeImage(img.Bytes.data(), img.Bytes.size(), TProbeStyle::Summary, modules, out), 0);
    EXPECT_EQ(out.Text, std::string(kHeader64) + "[KERNEL32.dll]\n\n0 imported functions checked, 0 MISSING on this OS\n" +
                            kAllResolve);
    EXPECT_EQ(modules.Asked, std::vector<std::string>{"KERNEL32.dll"});
}

namespace {

std::string Hex8(std::uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

} // namespace

struct TMalformedCase {
    const char* Label;
    std::function<void(TTestImage&)> Break;
    std::function<std::string(const TTestImage&)> Message;
};

TEST(ImportProbeWalk, RejectsMalformedFilesBeforeTheReport)
{
    auto fixed = [](const char* text) { return [text](const TTestImage&) { return std::string(text); }; };
    auto ilt = [](const TTestImage& img) { return img.OffsetOf(img.Get32(img.Descriptors)); };
    const TMalformedCase cases[] = {
        {"empty file", [](TTestImage& i) { i.Bytes.clear(); }, fixed("not a PE file")},
        {"one byte", [](TTestImage& i) { i.Bytes.resize(1); }, fixed("not a PE file")},
        {"no MZ", [](TTestImage& i) { i.Bytes[1] = 'X'; }, fixed("not a PE file")},
        {"only MZ", [](TTestImage& i) { i.Bytes.resize(2); }, fixed("file too short for a DOS header")},
        {"DOS header cut", [](TTestImage& i) { i.Bytes.resize(0x3F); }, fixed("file too short for a DOS header")},
        {"e_lfanew negative", [](TTestImage& i) { i.Put32(0x3C, 0x80000000u); },
         fixed("PE header offset points outside the file")},
        {"e_lfanew past the end", [](TTestImage& i) { i.Put32(0x3C, std::uint32_t(i.Bytes.size() - 3)); },
         fixed("PE header offset points outside the file")},
        {"e_lfanew huge", [](TTestImage& i) { i.Put32(0x3C, 0x7FFFFFFF); },
         fixed("PE header offset points outside the file")},
        {"bad signature", [](TTestImage& i) { i.Bytes[i.Nt + 1] = 'X'; }, fixed("bad PE signature")},
        {"cut after the signature", [](TTestImage& i) { i.Bytes.resize(i.Nt + 8); },
         fixed("PE headers cut off by the end of the file")},
        {"cut in the optional header", [](TTestImage& i) { i.Bytes.resize(i.Nt + 0x40); },
         fixed("PE headers cut off by the end of the file")},
        {"too many sections", [](TTestImage& i) { i.Put16(i.Nt + 6, 0xFFFF); },
         fixed("section table runs past the end of the file")},
        {"optional header size past the end", [](TTestImage& i) { i.Put16(i.Nt + 20, 0xFFFF); },
         fixed("section table runs past the end of the file")},
        {"import directory in no section", [](TTestImage& i) { i.Put32(i.ImportDirectoryEntry, 0x9000); },
         fixed("cannot locate import table")},
        {"no sections", [](TTestImage& i) { i.Put16(i.Nt + 6, 0); }, fixed("cannot locate import table")},
        {"descriptor list runs off", [](TTestImage& i) { i.Put32(i.ImportDirectoryEntry, i.SpareRva + 8); },
         fixed("import descriptor list runs past the end of the file")},
        {"import directory mapped past the end",
         [](TTestImage& i) {
             i.PutSection32(8, 0x10000);
             i.Put32(i.ImportDirectoryEntry, i.SpareRva + 0x100);
         },
         [](const TTestImage& i) { return "RVA " + Hex8(i.SpareRva + 0x100) + " lies past the end of the file"; }},
        {"DLL name mapped past the end",
         [](TTestImage& i) {
             i.PutSection32(8, 0x10000);
             i.Put32(i.Descriptors + 12, i.SpareRva + 0x20);
         },
         [](const TTestImage& i) { return "RVA " + Hex8(i.SpareRva + 0x20) + " lies past the end of the file"; }},
        {"DLL name without terminator", [](TTestImage& i) { i.Put32(i.Descriptors + 12, i.SpareRva); },
         [](const TTestImage& i) { return "DLL name at RVA " + Hex8(i.SpareRva) + " runs past the end of the file"; }},
        {"thunk list runs off", [](TTestImage& i) { i.Put32(i.Descriptors, i.SpareRva + 12); },
         fixed("thunk list of KERNEL32.dll runs past the end of the file")},
        {"hint/name entry in no section", [&](TTestImage& i) { i.Put64(ilt(i), 0x00F00000); },
         fixed("import name RVA 0x00F00000 of KERNEL32.dll lies in no section")},
        {"function name without terminator", [&](TTestImage& i) { i.Put64(ilt(i), i.SpareRva + 4); },
         [](const TTestImage& i) {
             return "import name RVA " + Hex8(i.SpareRva + 4) + " of KERNEL32.dll runs past the end of the file";
         }},
        {"hint/name entry mapped past the end",
         [&](TTestImage& i) {
             i.PutSection32(8, 0x10000);
             i.Put64(ilt(i), i.SpareRva + 0x40);
         },
         [](const TTestImage& i) { return "RVA " + Hex8(i.SpareRva + 0x40) + " lies past the end of the file"; }},
        // The malformed entry comes after a good DLL: still no report line.
        {"second DLL broken",
         [&](TTestImage& i) {
             const std::size_t second = i.OffsetOf(i.Get32(i.Descriptors + 20));
             i.Put64(second, 0x00F00000);
         },
         fixed("import name RVA 0x00F00000 of msvcrt.dll lies in no section")},
    };
    for (const TMalformedCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TTestImage img = BuildTestImage(
            Spec64({{"KERNEL32.dll", {"GetTickCount"}, {}, false}, {"msvcrt.dll", {"printf"}, {}, false}}));
        c.Break(img);
        const std::string message = c.Message(img) + "\n";
        // Shrink to fit, so that a read past the new end is caught by the
        // sanitizers as well as by the checks.
        std::vector<std::uint8_t> exact(img.Bytes);
        exact.shrink_to_fit();
        const TProbeRun run = Probe(exact);
        EXPECT_EQ(run.Status, 1);
        ASSERT_GE(run.Text.size(), message.size());
        EXPECT_EQ(run.Text.substr(run.Text.size() - message.size()), message);
        EXPECT_EQ(run.Text.find('['), std::string::npos) << run.Text;
    }
}

// A function name that ends with the file's last byte is still inside it.
TEST(ImportProbeWalk, NameEndingAtTheLastByte)
{
    TTestImage img = BuildTestImage(Spec64({{"KERNEL32.dll", {"GetTickCount"}, {}, false}}));
    const std::size_t end = img.Bytes.size();
    const char name[] = "\x01\x00Nope";
    std::memcpy(&img.Bytes[end - sizeof name], name, sizeof name); // with its NUL as the last byte
    img.Put64(img.OffsetOf(img.Get32(img.Descriptors)), img.RvaOf(end - sizeof name));
    const TProbeRun run = Probe(img.Bytes);
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Text.find("    MISSING: Nope\n"), std::string::npos) << run.Text;
}
