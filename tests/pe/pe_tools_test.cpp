// The import tools as programs under Wine: importprobe (summary and listing
// builds) and importpatch (codec and zip-library configurations) on fixture
// DLLs, copies of them with single fields changed, our own programs and Wine's
// system DLLs. The patched files are compared byte for byte with what an
// independent walk (dbghelp) expects, and loaded with a replacement DLL.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "PeToolRunner.h"

namespace {

const std::string kProbe = ProductPath("importprobe.exe");
const std::string kProbeList = ProductPath("importprobe-list.exe");
const std::string kPatchCodec = ProductPath("importpatch-codec.exe");
const std::string kPatchZip = ProductPath("importpatch-zip.exe");

const char* const kHeader64 = "machine: 0x8664 (x64)\nPE type: PE32+\nsubsystem version required: 5.02\n\n";
const char* const kHeader86 = "machine: 0x014C (x86)\nPE type: PE32\nsubsystem version required: 4.00\n\n";
const char* const kAllResolve = ">>> All imports resolve. The load failure is elsewhere.\n";
const char* const kCannotLoad = ">>> This DLL cannot load here. It was built against a newer\n"
                                ">>> Windows SDK than this OS provides.\n";

std::string ProbeStart(const std::string& path) { return "checking: " + path + "\nhost process: 64-bit\n\n"; }

std::string Counts(int checked, int missing)
{
    return "\n" + std::to_string(checked) + " imported functions checked, " + std::to_string(missing) +
           " MISSING on this OS\n";
}

} // namespace

struct TProbeCase {
    const char* Fixture;
    bool Listing;
    std::string Report; // everything after the "host process" line
};

TEST(ImportProbe, ReportsOnFixtures)
{
    const TProbeCase cases[] = {
        {"pefix_named.dll", false, std::string(kHeader64) + "[KERNEL32.dll]\n" + Counts(2, 0) + kAllResolve},
        {"pefix_named.dll", true,
         std::string(kHeader64) + "\n=== DLL KERNEL32.dll ===\nOK      GetCurrentProcessId\nOK      GetTickCount\n" +
             Counts(2, 0) + kAllResolve},
        {"pefix_missingfn.dll", false,
         std::string(kHeader64) + "[KERNEL32.dll]\n    MISSING: PelorinNoSuchFunction\n" + Counts(2, 1) + kCannotLoad},
        {"pefix_missingfn.dll", true,
         std::string(kHeader64) + "\n=== DLL KERNEL32.dll ===\nOK      GetTickCount\nMISSING PelorinNoSuchFunction\n" +
             Counts(2, 1) + kCannotLoad},
        // x86 files: 4-byte thunks, names looked up in the 64-bit system DLLs.
        {"pefix_missingfn32.dll", false,
         std::string(kHeader86) + "[KERNEL32.dll]\n    MISSING: PelorinNoSuchFunction\n" + Counts(2, 1) + kCannotLoad},
        {"pefix_named32.dll", true,
         std::string(kHeader86) + "\n=== DLL KERNEL32.dll ===\nOK      GetCurrentProcessId\nOK      GetTickCount\n" +
             Counts(2, 0) + kAllResolve},
        // pefix_ordtarget.dll is found (no "not present" line), nothing counted.
        {"pefix_ordinal.dll", false,
         std::string(kHeader64) + "[KERNEL32.dll]\n[pefix_ordtarget.dll]\n" + Counts(1, 0) + kAllResolve},
        {"pefix_missingdll.dll", false,
         std::string(kHeader64) + "[KERNEL32.dll]\n[pefix_absent.dll]\n"
                                  "    !! this DLL itself is not present on this system\n" +
             Counts(1, 0) + kAllResolve},
        {"pefix_emptyimports.dll", false, std::string(kHeader64) + Counts(0, 0) + kAllResolve},
        {"pefix_sub60.dll", false,
         "machine: 0x8664 (x64)\nPE type: PE32+\nsubsystem version required: 6.00\n\n[KERNEL32.dll]\n" + Counts(2, 0) +
             kAllResolve},
        {"pefix_twok32.dll", true,
         std::string(kHeader64) + "\n=== DLL kernel32.dll ===\nOK      GetCurrentProcessId\n"
                                  "\n=== DLL KERNEL32.dll ===\nOK      GetTickCount\n" +
             Counts(2, 0) + kAllResolve},
    };
    for (const TProbeCase& c : cases) {
        SCOPED_TRACE(std::string(c.Fixture) + (c.Listing ? " (listing)" : " (summary)"));
        const std::string path = FixturePath(c.Fixture);
        // In the fixture folder, so that LoadLibraryA finds pefix_ordtarget.dll.
        const TToolRun run = RunTool(c.Listing ? kProbeList : kProbe, {path}, PELORIN_BUILD_DIR "/fixtures");
        EXPECT_EQ(run.Status, 0u);
        EXPECT_EQ(run.Out, ProbeStart(path) + c.Report);
        EXPECT_EQ(run.Err, "");
    }
}

struct TProbeEditCase {
    const char* Label;
    const char* Fixture;
    void (*Edit)(TPeFile&);
    DWORD Status;
    std::string Report;
};

// Copies of real fixtures with one field changed.
TEST(ImportProbe, ReportsOnEditedCopies)
{
    TPeFile named(ReadAll(FixturePath("pefix_named.dll")));
    ASSERT_EQ(named.Imports().size(), 1u);
    char nameRva[16];
    std::snprintf(nameRva, sizeof nameRva, "0x%08lX", static_cast<unsigned long>(named.Imports()[0]->Name));
    const TProbeEditCase cases[] = {
        {"import directory 0", "pefix_named.dll",
         [](TPeFile& f) { f.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress = 0; }, 0,
         std::string(kHeader64) + "no import table\n"},
        {"OriginalFirstThunk 0", "pefix_missingfn.dll",
         [](TPeFile& f) {
             for (IMAGE_IMPORT_DESCRIPTOR* d : f.Imports())
                 d->OriginalFirstThunk = 0;
         },
         0, std::string(kHeader64) + "[KERNEL32.dll]\n    MISSING: PelorinNoSuchFunction\n" + Counts(2, 1) + kCannotLoad},
        {"other machine", "pefix_named.dll", [](TPeFile& f) { f.Nt64()->FileHeader.Machine = 0x01C4; }, 0,
         "machine: 0x01C4 (other)\nPE type: PE32+\nsubsystem version required: 5.02\n\n[KERNEL32.dll]\n" + Counts(2, 0) +
             kAllResolve},
        {"import directory in no section", "pefix_named.dll",
         [](TPeFile& f) { f.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress = 0x00F00000; }, 1,
         std::string(kHeader64) + "cannot locate import table\n"},
        {"cut inside the optional header", "pefix_named.dll",
         [](TPeFile& f) { f.Bytes.resize(f.OffsetOf(f.Nt64()) + 0x60); }, 1,
         "PE headers cut off by the end of the file\n"},
        {"e_lfanew past the end", "pefix_named.dll",
         [](TPeFile& f) { reinterpret_cast<IMAGE_DOS_HEADER*>(f.Bytes.data())->e_lfanew = 0x40000000; }, 1,
         "PE header offset points outside the file\n"},
        {"cut inside the import names", "pefix_named.dll",
         [](TPeFile& f) { f.Bytes.resize(f.OffsetOf(f.DllName(f.Imports()[0])) + 4); }, 1,
         std::string(kHeader64) + "DLL name at RVA " + nameRva + " runs past the end of the file\n"},
    };
    for (const TProbeEditCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TTempDir dir;
        TPeFile file(ReadAll(FixturePath(c.Fixture)));
        ASSERT_FALSE(file.Bytes.empty());
        c.Edit(file);
        const std::string path = dir.File(c.Fixture);
        WriteAll(path, file.Bytes);
        const TToolRun run = RunTool(kProbe, {path});
        EXPECT_EQ(run.Status, c.Status);
        EXPECT_EQ(run.Out, ProbeStart(path) + c.Report);
    }
}

// Wine's system DLLs and our own programs: every function imported by name is
// counted, and the verdict follows the MISSING lines.
TEST(ImportProbe, SystemDllsAndOurPrograms)
{
    const std::string files[] = {
        "C:\\windows\\system32\\kernel32.dll", "C:\\windows\\system32\\msacm32.dll",
        "C:\\windows\\system32\\ntdll.dll",    "C:\\windows\\system32\\user32.dll",
        kPatchCodec,                           FixturePath("pefix_hello32.exe"),
    };
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        TPeFile file(ReadAll(path));
        ASSERT_FALSE(file.Bytes.empty());
        const int named = file.NamedImports();
        for (bool listing : {false, true}) {
            const TToolRun run = RunTool(listing ? kProbeList : kProbe, {path});
            EXPECT_EQ(run.Status, 0u);
            int missing = 0, ok = 0;
            for (std::size_t at = 0; (at = run.Out.find(listing ? "\nMISSING " : "\n    MISSING: ", at)) != std::string::npos; ++at)
                ++missing;
            for (std::size_t at = 0; (at = run.Out.find("\nOK      ", at)) != std::string::npos; ++at)
                ++ok;
            const std::string tail = Counts(named, missing) + (missing ? kCannotLoad : kAllResolve);
            ASSERT_GE(run.Out.size(), tail.size()) << run.Out;
            EXPECT_EQ(run.Out.substr(run.Out.size() - tail.size()), tail);
            if (listing) {
                EXPECT_EQ(ok + missing, named);
            }
            for (IMAGE_IMPORT_DESCRIPTOR* d : file.Imports()) {
                const std::string header = listing ? "\n=== DLL " + std::string(file.DllName(d)) + " ===\n"
                                                   : "\n[" + std::string(file.DllName(d)) + "]\n";
                EXPECT_NE(run.Out.find(header), std::string::npos) << header;
            }
        }
    }
    // Wine's own DLLs import only what Wine has.
    const TToolRun kernel = RunTool(kProbe, {"C:\\windows\\system32\\kernel32.dll"});
    EXPECT_NE(kernel.Out.find(" checked, 0 MISSING on this OS\n"), std::string::npos) << kernel.Out;
}

TEST(ImportProbe, FilesThatCannotBeExamined)
{
    TTempDir dir;
    WriteAll(dir.File("empty.dll"), {});
    WriteAll(dir.File("text.dll"), {'h', 'e', 'l', 'l', 'o'});
    struct {
        std::string Path;
        std::string Report;
    } const cases[] = {
        {dir.File("absent.dll"), "cannot open file, GetLastError=2\n"},
        {dir.File("empty.dll"), "CreateFileMapping failed\n"},
        {dir.File("text.dll"), "not a PE file\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        // A second argument is ignored.
        const TToolRun run = RunTool(kProbe, {c.Path, "ignored"});
        EXPECT_EQ(run.Status, 1u);
        EXPECT_EQ(run.Out, ProbeStart(c.Path) + c.Report);
        EXPECT_EQ(run.Err, "");
    }
}

TEST(ImportProbe, DefaultTarget)
{
    const std::string target = "C:\\WINDOWS\\system32\\vorbis.acm";
    const TToolRun run = RunTool(kProbe, {});
    ASSERT_EQ(run.Out.rfind(ProbeStart(target), 0), 0u) << run.Out;
    if (!FileExists(target)) {
        EXPECT_EQ(run.Status, 1u);
        EXPECT_EQ(run.Out, ProbeStart(target) + "cannot open file, GetLastError=2\n");
    }
}

// ---------------------------------------------------------------------------
// importpatch

namespace {

struct TPatchConfigText {
    const std::string& Exe;
    const char* Replacement;
    const char* DefaultInput;
    const char* DefaultOutput;
    std::string Steps(const std::string& output) const
    {
        if (std::string(Replacement) == "KERNXP32.dll")
            return "\nNext steps:\n"
                   "  1. copy KERNXP32.dll     -> C:\\WINDOWS\\system32\\\n"
                   "  2. back up the original  -> copy C:\\WINDOWS\\system32\\vorbis.acm vorbis.acm.bak\n"
                   "  3. copy " + output + " -> C:\\WINDOWS\\system32\\vorbis.acm\n"
                   "  4. run codecprobe64.exe - the Ogg Vorbis driver should now appear\n";
        return "\nNext steps:\n"
               "  1. copy DELZXP32.dll -> C:\\WINDOWS\\system32\\\n"
               "  2. back up the original DelZip64.dll somewhere safe\n"
               "  3. copy " + output + " over C:\\Program Files (x86)\\Norvake\\Shared\\DelZip64.dll\n"
               "  4. in Corvane 64-bit, try File > Save as > .zip\n";
    }
};

const TPatchConfigText kCodec{kPatchCodec, "KERNXP32.dll", "C:\\WINDOWS\\system32\\vorbis.acm", "vorbis_xp.acm"};
const TPatchConfigText kZip{kPatchZip, "DELZXP32.dll", "C:\\Program Files (x86)\\Norvake\\Shared\\DelZip64.dll",
                            "DelZip64_xp.dll"};

// What the patch must make of `input`, found with dbghelp: every KERNEL32.dll
// name renamed, the four version fields 5.02, the bound import entry and the
// checksum 0. Gives the file offsets of the renamed names in `names`.
std::vector<std::uint8_t> ExpectedPatch(const std::vector<std::uint8_t>& input, const char* replacement,
                                        std::vector<std::size_t>& names)
{
    TPeFile f(input);
    for (IMAGE_IMPORT_DESCRIPTOR* d : f.Imports()) {
        char* name = reinterpret_cast<char*>(f.At(d->Name));
        if (_stricmp(name, "KERNEL32.dll") == 0) {
            names.push_back(f.OffsetOf(name));
            std::memcpy(name, replacement, 12);
        }
    }
    IMAGE_OPTIONAL_HEADER64& o = f.Nt64()->OptionalHeader;
    o.MajorOperatingSystemVersion = 5;
    o.MinorOperatingSystemVersion = 2;
    o.MajorSubsystemVersion = 5;
    o.MinorSubsystemVersion = 2;
    o.CheckSum = 0;
    o.DataDirectory[IMAGE_DIRECTORY_ENTRY_BOUND_IMPORT] = {0, 0};
    return f.Bytes;
}

std::string FoundLines(const std::vector<std::size_t>& names, const char* replacement)
{
    std::string s;
    for (std::size_t at : names) {
        char text[80];
        std::snprintf(text, sizeof text, "found KERNEL32.dll import name at file offset 0x%lX\n",
                      static_cast<unsigned long>(at));
        s += text + std::string("  -> rewritten to ") + replacement + "\n";
    }
    return s;
}

// Writes a bound import table (one entry for KERNEL32.dll) into the zero
// padding after the section table, where linkers that bind put it, and points
// data directory 11 at it.
void AddBoundImports(TPeFile& f)
{
    IMAGE_NT_HEADERS64* nt = f.Nt64();
    const std::size_t at = (f.OffsetOf(IMAGE_FIRST_SECTION(nt) + nt->FileHeader.NumberOfSections) + 15) & ~std::size_t(15);
    ASSERT_LE(at + 48, nt->OptionalHeader.SizeOfHeaders);
    IMAGE_BOUND_IMPORT_DESCRIPTOR bound[2] = {{0x5F5E0FF, 16, 0}, {0, 0, 0}};
    std::memcpy(&f.Bytes[at], bound, sizeof bound);
    std::memcpy(&f.Bytes[at + 16], "KERNEL32.dll", 13);
    f.Nt64()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BOUND_IMPORT] = {static_cast<DWORD>(at), 32};
}

using TFixtureCall = DWORD (*)();

TFixtureCall Export(HMODULE module, const char* name)
{
    return reinterpret_cast<TFixtureCall>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loads the patched DLL from a folder that holds the replacement DLL beside
// it and calls its two exports.
void ExpectLoadsWithReplacement(const std::string& patched, const char* replacement)
{
    TTempDir dir;
    const std::string dll = dir.File("patched_fixture.dll");
    ASSERT_TRUE(CopyFileA(patched.c_str(), dll.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(FixturePath(replacement).c_str(), dir.File(replacement).c_str(), FALSE));
    {
        TOwnedModule module(LoadLibraryExA(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        ASSERT_TRUE(module) << "GetLastError=" << GetLastError();
        auto ticks = Export(module.Get(), "FixtureTicks");
        auto pid = Export(module.Get(), "FixturePid");
        ASSERT_TRUE(ticks && pid);
        EXPECT_EQ(ticks(), 0x7E57C0DEu);
        EXPECT_EQ(pid(), 0xBEEFu);
    }
    // The replacement must not stay loaded: the folder is removed next.
    HMODULE stale = GetModuleHandleA(replacement);
    EXPECT_EQ(stale, nullptr);
}

} // namespace

// The unpatched fixtures reach the system DLL: the markers above come from the
// replacement only.
TEST(ImportPatch, UnpatchedFixturesCallKernel32)
{
    for (const char* fixture : {"pefix_named.dll", "pefix_twok32.dll"}) {
        TOwnedModule module(LoadLibraryA(FixturePath(fixture).c_str()));
        ASSERT_TRUE(module) << fixture;
        auto pid = Export(module.Get(), "FixturePid");
        ASSERT_TRUE(pid);
        EXPECT_EQ(pid(), GetCurrentProcessId());
    }
}

struct TPatchCase {
    const char* Label;
    const TPatchConfigText& Config;
    const char* Fixture;
    void (*Edit)(TPeFile&); // optional change of the input first
    const char* Subsystem;  // the old subsystem version as printed
    bool Bound;             // a "clearing" line
    bool Loads;             // load it with the replacement and call it
};

TEST(ImportPatch, PatchesExactlyTheNamedBytes)
{
    const TPatchCase cases[] = {
        {"codec, one descriptor", kCodec, "pefix_named.dll", nullptr, "5.02", false, true},
        {"zip, two descriptors in different case", kZip, "pefix_twok32.dll", nullptr, "5.02", false, true},
        {"subsystem 6.00", kCodec, "pefix_sub60.dll", nullptr, "6.00", false, true},
        {"bound import directory", kZip, "pefix_named.dll", [](TPeFile& f) { AddBoundImports(f); }, "5.02", true, true},
        {"Wine's msacm32.dll (kernel32.dll in lower case)", kCodec, "C:\\windows\\system32\\msacm32.dll", nullptr, "5.02",
         false, false},
    };
    for (const TPatchCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TTempDir dir;
        std::string input = c.Fixture[1] == ':' ? std::string(c.Fixture) : FixturePath(c.Fixture);
        TPeFile source(ReadAll(input));
        ASSERT_FALSE(source.Bytes.empty());
        if (c.Edit) {
            c.Edit(source);
            input = dir.File("input.dll");
            WriteAll(input, source.Bytes);
        }
        std::vector<std::size_t> names;
        const std::vector<std::uint8_t> expected = ExpectedPatch(source.Bytes, c.Config.Replacement, names);
        ASSERT_FALSE(names.empty());
        ASSERT_NE(expected, source.Bytes);

        const std::string output = dir.File("patched.dll");
        const TToolRun run = RunTool(c.Config.Exe, {input, output});
        EXPECT_EQ(run.Status, 0u);
        const std::string size = std::to_string(source.Bytes.size());
        EXPECT_EQ(run.Out, "input : " + input + "\noutput: " + output + "\n\nread " + size + " bytes\n" +
                               FoundLines(names, c.Config.Replacement) + "subsystem version " + c.Subsystem +
                               " -> 5.02\n" + (c.Bound ? "clearing bound import directory\n" : "") + "\nwrote " + size +
                               " bytes to " + output + "\n" + c.Config.Steps(output));
        EXPECT_EQ(run.Err, "");
        const std::vector<std::uint8_t> written = ReadAll(output);
        EXPECT_EQ(written.size(), source.Bytes.size());
        EXPECT_TRUE(written == expected);
        if (c.Loads)
            ExpectLoadsWithReplacement(output, c.Config.Replacement);
    }
}

struct TPatchFailure {
    const char* Label;
    const char* Fixture;
    void (*Edit)(TPeFile&);
    std::string Error; // the last line
};

// Every failure exits 1, creates no output and leaves an existing one as it was.
TEST(ImportPatch, FailuresWriteNothing)
{
    const TPatchFailure cases[] = {
        {"32-bit DLL", "pefix_named32.dll", nullptr, "ERROR: this is not a 64-bit DLL\n"},
        {"no KERNEL32.dll import", "pefix_emptyimports.dll", nullptr,
         "ERROR: no KERNEL32.dll import descriptor found\n"},
        {"only other DLLs", "pefix_ordinal.dll",
         [](TPeFile& f) { std::memcpy(f.At(f.Imports()[0]->Name), "KERNEL33", 8); },
         "ERROR: no KERNEL32.dll import descriptor found\n"},
        {"no import table", "pefix_named.dll",
         [](TPeFile& f) { f.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress = 0; }, "ERROR: no import table\n"},
        {"not a PE file", "pefix_named.dll", [](TPeFile& f) { f.Bytes[0] = 'X'; }, "ERROR: not a PE file\n"},
        {"bad signature", "pefix_named.dll", [](TPeFile& f) { f.Nt64()->Signature = 0x00004551; },
         "ERROR: bad PE signature\n"},
        {"cut inside the section table", "pefix_named.dll",
         [](TPeFile& f) { f.Bytes.resize(f.OffsetOf(IMAGE_FIRST_SECTION(f.Nt64())) + 50); },
         "ERROR: section table runs past the end of the file\n"},
        {"empty file", "pefix_named.dll", [](TPeFile& f) { f.Bytes.clear(); }, "ERROR: not a PE file\n"},
    };
    for (const TPatchFailure& c : cases) {
        SCOPED_TRACE(c.Label);
        TTempDir dir;
        std::string input = FixturePath(c.Fixture);
        if (c.Edit) {
            TPeFile f(ReadAll(input));
            c.Edit(f);
            input = dir.File("input.dll");
            WriteAll(input, f.Bytes);
        }
        const std::string fresh = dir.File("fresh.dll"), existing = dir.File("existing.dll");
        const std::vector<std::uint8_t> old{'o', 'l', 'd'};
        WriteAll(existing, old);
        for (const std::string& output : {fresh, existing}) {
            const TToolRun run = RunTool(kPatchCodec, {input, output});
            EXPECT_EQ(run.Status, 1u);
            ASSERT_GE(run.Out.size(), c.Error.size());
            EXPECT_EQ(run.Out.substr(run.Out.size() - c.Error.size()), c.Error);
            EXPECT_NE(run.Out.find("\nread " + std::to_string(ReadAll(input).size()) + " bytes\n"), std::string::npos);
        }
        EXPECT_FALSE(FileExists(fresh));
        EXPECT_EQ(ReadAll(existing), old);
    }
}

TEST(ImportPatch, OpenAndCreateFailures)
{
    TTempDir dir;
    const std::string missing = dir.File("absent.dll");
    TToolRun run = RunTool(kPatchCodec, {missing, dir.File("out.dll")});
    EXPECT_EQ(run.Status, 1u);
    EXPECT_EQ(run.Out, "input : " + missing + "\noutput: " + dir.File("out.dll") +
                           "\n\nERROR: cannot open input, GetLastError=2\n");

    const std::string input = FixturePath("pefix_named.dll");
    const std::string unwritable = dir.File("no-such-folder\\out.dll");
    run = RunTool(kPatchCodec, {input, unwritable});
    EXPECT_EQ(run.Status, 1u);
    const std::string error = "subsystem version 5.02 -> 5.02\nERROR: cannot create output, GetLastError=3\n";
    ASSERT_GE(run.Out.size(), error.size());
    EXPECT_EQ(run.Out.substr(run.Out.size() - error.size()), error);
}

// One argument: the default output name in the current folder. The output may
// name the input: it is read whole and closed first.
TEST(ImportPatch, DefaultOutputAndPatchInPlace)
{
    const std::vector<std::uint8_t> source = ReadAll(FixturePath("pefix_named.dll"));
    for (const TPatchConfigText* config : {&kCodec, &kZip}) {
        SCOPED_TRACE(config->Replacement);
        std::vector<std::size_t> names;
        const std::vector<std::uint8_t> expected = ExpectedPatch(source, config->Replacement, names);
        TTempDir dir;
        const TToolRun run = RunTool(config->Exe, {FixturePath("pefix_named.dll")}, dir.Path());
        EXPECT_EQ(run.Status, 0u);
        EXPECT_NE(run.Out.find(std::string("\noutput: ") + config->DefaultOutput + "\n\n"), std::string::npos);
        EXPECT_TRUE(ReadAll(dir.File(config->DefaultOutput)) == expected);

        const std::string copy = dir.File("inplace.dll");
        WriteAll(copy, source);
        EXPECT_EQ(RunTool(config->Exe, {copy, copy}).Status, 0u);
        EXPECT_TRUE(ReadAll(copy) == expected);
    }
}

TEST(ImportPatch, DefaultPaths)
{
    for (const TPatchConfigText* config : {&kCodec, &kZip}) {
        SCOPED_TRACE(config->Replacement);
        TTempDir dir;
        const TToolRun run = RunTool(config->Exe, {}, dir.Path());
        const std::string start =
            std::string("input : ") + config->DefaultInput + "\noutput: " + config->DefaultOutput + "\n\n";
        ASSERT_EQ(run.Out.rfind(start, 0), 0u) << run.Out;
        if (!FileExists(config->DefaultInput)) {
            EXPECT_EQ(run.Status, 1u);
            EXPECT_EQ(run.Out.substr(start.size()).rfind("ERROR: cannot open input, GetLastError=", 0), 0u) << run.Out;
            EXPECT_FALSE(FileExists(dir.File(config->DefaultOutput)));
        }
    }
}
