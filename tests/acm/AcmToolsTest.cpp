// codecprobe and codeclist run as programs, with their output and exit status
// checked. codecprobe loads "vorbis.acm" from the directory it runs in: each
// case copies one behaviour of the test ACM driver there under that name. The
// driver appends its messages and its unloading to a trace file named in the
// environment, which shows what the probe cleaned up.

#include "ChildProcess.h"
#include "TestAcmTable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <vector>

namespace {

const std::filesystem::path kBuildDir = PELORIN_BUILD_DIR;
#if PELORIN_BITS == 64
const std::filesystem::path kProbe = kBuildDir / "dist/64bit/codecprobe64.exe";
const std::filesystem::path kList = kBuildDir / "dist/64bit/codeclist.exe";
constexpr const char* kPointerSizeLine = "pointer size: 8 bytes (64-bit process)\n";
#else
const std::filesystem::path kProbe = kBuildDir / "dist/32bit/codecprobe.exe";
const std::filesystem::path kList = kBuildDir / "dist/32bit/codeclist.exe";
constexpr const char* kPointerSizeLine = "pointer size: 4 bytes (32-bit process)\n";
#endif
constexpr std::size_t kPointerDigits = 2 * sizeof(void*);

std::filesystem::path Fixture(const char* name)
{
    return kBuildDir / "fixtures" / name;
}

// The programs write text-mode output: every line ends in "\r\n" on a pipe.
std::string Unix(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i];
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Printf(const char* format, auto... args)
{
    char text[512];
    std::snprintf(text, sizeof(text), format, args...);
    return text;
}

// ---- codecprobe ----

const std::string kStep1Ok = "[1] LoadLibrary(\"vorbis.acm\") ... OK, base=<ptr>\n";
const std::string kStep2Ok = "[2] GetProcAddress(\"DriverProc\") ... OK, addr=<ptr>\n";
const std::string kStep3Ok = "[3] acmDriverAdd(ACM_DRIVERADDF_FUNCTION) ... OK\n";
const std::string kStep4Ok = "[4] acmDriverOpen ... OK\n";
const std::string kLoadHint =
    "    (193 = bad EXE format / wrong architecture, 126 = module or a dependency not found)\n";
const std::string kVerdict = "\n>>> The codec WORKS in a 64-bit process when registered by hand.\n"
                             ">>> The problem is registration/discovery, not the codec itself.\n";

std::string DriverLine()
{
    return Printf("    driver: %s | %s  (%u format tags)\n", kTestAcmShortName, kTestAcmLongName,
                  static_cast<unsigned>(kTestAcmTags.size()));
}

// The listing of step [5] for a format buffer of `bufferSize` bytes. The tools
// restrict the format enumeration by no flag, so the ACM lists every format of
// the driver under each of its tags.
std::string ProbeListing(std::uint32_t bufferSize)
{
    std::string formats;
    for (const TTestAcmTag& tag : kTestAcmTags)
        for (const TTestAcmFormat& f : tag.Formats)
            formats += Printf("      tag 0x%04X  %7lu Hz  %u ch  %2u bit  %7lu B/s  \"%s\"\n", unsigned(tag.Tag),
                              static_cast<unsigned long>(f.SamplesPerSec), unsigned(f.Channels),
                              unsigned(f.BitsPerSample), static_cast<unsigned long>(f.AvgBytesPerSec),
                              TestAcmFormatText(f, bufferSize, static_cast<std::uint16_t>(bufferSize - 18)).c_str());
    std::string listing = "[5] enumerating formats:\n";
    for (const TTestAcmTag& tag : kTestAcmTags)
        listing += Printf("    >>> FORMAT TAG 0x%04X  \"%s\"  (%u standard formats)\n", unsigned(tag.Tag), tag.Name,
                          static_cast<unsigned>(tag.Formats.size())) +
                   formats;
    return listing;
}

struct TProbeCase {
    const char* Name;
    const char* Fixture; // copied in as "vorbis.acm"; null: no such file
    DWORD ExitCode;
    std::string Output;    // "<ptr>" stands for a printed pointer
    const char* LastTrace; // the driver's last trace line; null: no trace at all
};

std::vector<TProbeCase> ProbeCases()
{
    const std::string head = std::string(kPointerSizeLine) + "\n";
    const std::string opened = head + kStep1Ok + kStep2Ok + kStep3Ok;
    return {
        {"no file", nullptr, 1, head + "[1] LoadLibrary(\"vorbis.acm\") ... FAILED, GetLastError=126\n" + kLoadHint,
         nullptr},
        {"other processor", "testacm_otherbits.acm", 1,
         head + "[1] LoadLibrary(\"vorbis.acm\") ... FAILED, GetLastError=193\n" + kLoadHint, nullptr},
        // The module is left loaded: it goes only when the process ends.
        {"no DriverProc", "testacm_noentry.acm", 1,
         head + kStep1Ok + "[2] GetProcAddress(\"DriverProc\") ... FAILED, GetLastError=127\n" +
             "    The DLL loaded but exports no DriverProc - it is not a usable ACM driver.\n",
         "exitunload"},
        // The ACM registers a function driver only when it can read its details
        // (Wine then answers MMSYSERR_INVALPARAM).
        {"registration refused", "testacm_nodetails.acm", 1,
         head + kStep1Ok + kStep2Ok + "[3] acmDriverAdd(ACM_DRIVERADDF_FUNCTION) ... FAILED, MMRESULT=11\n" +
             "    (1 = MMSYSERR_ERROR, 7 = MMSYSERR_NOMEM, 8 = MMSYSERR_NOTSUPPORTED, 10 = MMSYSERR_INVALFLAG, "
             "11 = MMSYSERR_INVALPARAM, 512 = ACMERR_NOTPOSSIBLE)\n" +
             "\n>>> The 64-bit ACM REJECTS this codec. No registry change will fix that.\n",
         "unload"},
        // The ACM passes on the error that the driver set in its open description.
        {"open refused", "testacm_openstwice.acm", 1,
         opened + DriverLine() + "[4] acmDriverOpen ... FAILED, MMRESULT=4\n", "unload"},
        {"details refused", "testacm_detailsonce.acm", 0,
         opened + kStep4Ok + ProbeListing(TestAcmLargestFormatSize()) + kVerdict, "unload"},
        {"working", "testacm_working.acm", 0,
         opened + DriverLine() + kStep4Ok + ProbeListing(TestAcmLargestFormatSize()) + kVerdict, "unload"},
        {"format size too small", "testacm_smallformats.acm", 0,
         opened + DriverLine() + kStep4Ok + ProbeListing(274) + kVerdict, "unload"},
    };
}

// Checks every printed pointer (digits only, this build's width) and replaces it
// by "<ptr>"; the entry point must lie inside the module.
std::string MaskPointers(const std::string& output)
{
    const std::regex pointer("(base|addr)=([0-9a-f]+)\n");
    std::map<std::string, unsigned long long> values;
    for (auto it = std::sregex_iterator(output.begin(), output.end(), pointer); it != std::sregex_iterator(); ++it) {
        EXPECT_EQ((*it)[2].length(), static_cast<long>(kPointerDigits)) << (*it)[0];
        values[(*it)[1]] = std::stoull((*it)[2], nullptr, 16);
    }
    if (values.count("base") && values.count("addr")) {
        EXPECT_GT(values["addr"], values["base"]);
        EXPECT_LT(values["addr"] - values["base"], 0x1000000ull);
    }
    return std::regex_replace(output, std::regex("(base|addr)=[0-9a-f]+\n"), "$1=<ptr>\n");
}

std::vector<std::string> ReadTrace(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void PrintTo(const TProbeCase& c, std::ostream* os)
{
    *os << c.Name;
}

class CodecProbe : public ::testing::TestWithParam<TProbeCase> {};

TEST_P(CodecProbe, PrintsItsStepsAndEndsWithItsStatus)
{
    const TProbeCase& c = GetParam();
    TTempDir dir;
    if (c.Fixture) {
        ASSERT_TRUE(std::filesystem::exists(Fixture(c.Fixture))) << Fixture(c.Fixture);
        std::filesystem::copy_file(Fixture(c.Fixture), dir.Path() / "vorbis.acm");
    }
    const std::filesystem::path trace = dir.Path() / "trace.txt";
    TScopedEnv env(L"PELORIN_TESTACM_TRACE", trace.wstring());

    const TChildResult run = RunChild(kProbe, dir.Path());

    EXPECT_EQ(MaskPointers(Unix(run.Output)), c.Output);
    EXPECT_EQ(run.ExitCode, c.ExitCode);
    const std::vector<std::string> lines = ReadTrace(trace);
    if (!c.LastTrace) {
        EXPECT_THAT(lines, ::testing::IsEmpty());
        return;
    }
    ASSERT_THAT(lines, ::testing::Not(::testing::IsEmpty()));
    EXPECT_EQ(lines.back(), c.LastTrace);
    // Nothing reaches the driver after it was unloaded.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(c.LastTrace)), 1);
    if (c.ExitCode == 0) {
        // The listing is over and the driver closed before the module went.
        const auto lastFormat = std::find(lines.rbegin(), lines.rend(), "formatdetails");
        const auto lastClose = std::find(lines.rbegin(), lines.rend(), "close");
        ASSERT_NE(lastFormat, lines.rend());
        ASSERT_NE(lastClose, lines.rend());
        EXPECT_LT(lastClose - lines.rbegin(), lastFormat - lines.rbegin());
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, CodecProbe, ::testing::ValuesIn(ProbeCases()),
                         [](const auto& info) {
                             std::string name;
                             for (char ch : std::string(info.param.Name))
                                 if (std::isalnum(static_cast<unsigned char>(ch)))
                                     name += ch;
                             return name;
                         });

// ---- codeclist ----

// One driver block of the listing: its header line, its line of counts and the
// lines under it.
struct TDriverBlock {
    std::string Header;
    std::string Counts;
    std::vector<std::string> Body;
};

class CodecList : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        TTempDir dir;
        const TChildResult run = RunChild(kList, dir.Path());
        exitCode_ = run.ExitCode;
        lines_ = Lines(Unix(run.Output));
    }
    static const TDriverBlock* Find(const std::string& shortName, const std::vector<TDriverBlock>& blocks)
    {
        for (const TDriverBlock& b : blocks)
            if (b.Header.rfind("[driver] " + shortName + " | ", 0) == 0)
                return &b;
        return nullptr;
    }
    // Splits the lines between the header lines and the closing line into
    // driver blocks, each introduced by a blank line.
    static std::vector<TDriverBlock> Blocks()
    {
        std::vector<TDriverBlock> blocks;
        for (std::size_t i = 4; i + 2 < lines_.size(); ++i) {
            if (lines_[i].empty()) {
                blocks.push_back({lines_[i + 1], lines_[i + 2], {}});
                i += 2;
            } else if (!blocks.empty()) {
                blocks.back().Body.push_back(lines_[i]);
            }
        }
        return blocks;
    }
    static inline DWORD exitCode_ = 0;
    static inline std::vector<std::string> lines_;
};

TEST_F(CodecList, PrintsTheHeaderLinesAndEndsWithDone)
{
    EXPECT_EQ(exitCode_, 0u);
    ASSERT_GE(lines_.size(), 6u);
    EXPECT_EQ(lines_[0] + "\n", kPointerSizeLine);
    EXPECT_TRUE(std::regex_match(lines_[1], std::regex("MSACM version: [0-9]+\\.[0-9]{2} build [0-9]+"))) << lines_[1];
    EXPECT_TRUE(std::regex_match(lines_[2], std::regex("enabled ACM drivers: [0-9]+"))) << lines_[2];
    EXPECT_TRUE(std::regex_match(lines_[3], std::regex("codecs: [0-9]+"))) << lines_[3];
    EXPECT_EQ(lines_[lines_.size() - 2], "");
    EXPECT_EQ(lines_.back(), "--- done ---");
}

// Every line has one of the listing's shapes, each driver shows as many format
// tags as it reports, and there is one block per enabled driver.
TEST_F(CodecList, ListsEveryEnabledDriverInNestedShape)
{
    const std::regex header(R"(\[driver\] .* \| .*)");
    const std::regex counts(R"(  driver reports: ([0-9]+) format tags, [0-9]+ filter tags, fdwSupport = 0x[0-9A-F]{8})");
    const std::regex tag(R"(    format tag 0x[0-9A-F]{4}  ".*"  \([0-9]+ standard formats\))");
    const std::regex format(
        R"(      tag 0x[0-9A-F]{4}  [ 0-9]{7} Hz  [0-9]+ ch  [ 0-9]{2} bit  [ 0-9]{7} B/s  block [0-9]+  cbSize [0-9]+  ".*")");
    const std::vector<TDriverBlock> blocks = Blocks();
    ASSERT_GE(lines_.size(), 3u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines_[2], m, std::regex("enabled ACM drivers: ([0-9]+)")));
    EXPECT_EQ(blocks.size(), std::stoul(m[1]));
    for (const TDriverBlock& b : blocks) {
        EXPECT_TRUE(std::regex_match(b.Header, header)) << b.Header;
        ASSERT_TRUE(std::regex_match(b.Counts, m, counts)) << b.Counts;
        const unsigned long reported = std::stoul(m[1]);
        unsigned long tags = 0;
        for (const std::string& line : b.Body) {
            if (std::regex_match(line, tag))
                ++tags;
            else
                EXPECT_TRUE(std::regex_match(line, format)) << b.Header << ": " << line;
        }
        EXPECT_EQ(tags, reported) << b.Header;
    }
}

// Wine's own drivers, each with one format tag line and one format line of its
// block. The cbSize printed is the one the listing prepared in its format
// buffer (these drivers leave it alone): the driver's largest format size less
// 18, and 256 for the PCM converter, which reports no usable size.
TEST_F(CodecList, ShowsWinesDriversWithTheirFormats)
{
    struct TCase {
        const char* ShortName;
        const char* Counts;
        const char* TagLine;
        const char* FormatLine;
    };
    const TCase cases[] = {
        {"Microsoft IMA ADPCM", "  driver reports: 2 format tags, 0 filter tags, fdwSupport = 0x00000001",
         "    format tag 0x0011  \"IMA ADPCM\"  (8 standard formats)",
         "      tag 0x0011     8000 Hz  1 ch   4 bit     4055 B/s  block 256  cbSize 2  \"8000 Hz; 4 bits; Mono\""},
        {"MS-ADPCM", "  driver reports: 2 format tags, 0 filter tags, fdwSupport = 0x00000001",
         "    format tag 0x0002  \"Microsoft ADPCM\"  (8 standard formats)",
         "      tag 0x0002    44100 Hz  2 ch   4 bit    44359 B/s  block 2048  cbSize 32  \"44100 Hz; 4 bits; Stereo\""},
        {"Microsoft CCITT G.711", "  driver reports: 3 format tags, 0 filter tags, fdwSupport = 0x00000001",
         "    format tag 0x0007  \"U-Law\"  (8 standard formats)",
         "      tag 0x0007     8000 Hz  1 ch   8 bit     8000 B/s  block 1  cbSize 0  \"8000 Hz; 8 bits; Mono\""},
        {"MPEG Layer-3 Codec", "  driver reports: 3 format tags, 0 filter tags, fdwSupport = 0x00000001",
         "    format tag 0x0055  \"MPeg3\"  (0 standard formats)",
         "      tag 0x0001    48000 Hz  2 ch  16 bit   192000 B/s  block 4  cbSize 22  \"48000 Hz; 16 bits; Stereo\""},
        {"Microsoft GSM 6.10", "  driver reports: 2 format tags, 0 filter tags, fdwSupport = 0x00000001",
         "    format tag 0x0031  \"GSM 6.10\"  (6 standard formats)",
         "      tag 0x0031     8000 Hz  1 ch   0 bit     1625 B/s  block 65  cbSize 2  \"8000 Hz; Mono\""},
        {"MS-PCM", "  driver reports: 1 format tags, 0 filter tags, fdwSupport = 0x00000002",
         "    format tag 0x0001  \"PCM\"  (36 standard formats)",
         "      tag 0x0001    44100 Hz  2 ch  16 bit   176400 B/s  block 4  cbSize 256  \"44100 Hz; 16 bits; Stereo\""},
    };
    const std::vector<TDriverBlock> blocks = Blocks();
    for (const TCase& c : cases) {
        const TDriverBlock* b = Find(c.ShortName, blocks);
        ASSERT_NE(b, nullptr) << c.ShortName;
        EXPECT_EQ(b->Counts, c.Counts) << c.ShortName;
        EXPECT_THAT(b->Body, ::testing::Contains(std::string(c.TagLine))) << c.ShortName;
        EXPECT_THAT(b->Body, ::testing::Contains(std::string(c.FormatLine))) << c.ShortName;
    }
}

TEST_F(CodecList, DriverWithoutAFormatSizeGetsThe274ByteBuffer)
{
    const std::vector<TDriverBlock> blocks = Blocks();
    const TDriverBlock* pcm = Find("MS-PCM", blocks);
    ASSERT_NE(pcm, nullptr);
    std::size_t formats = 0;
    for (const std::string& line : pcm->Body) {
        if (line.rfind("      tag ", 0) != 0)
            continue;
        ++formats;
        EXPECT_THAT(line, ::testing::HasSubstr("  cbSize 256  ")) << line;
    }
    EXPECT_EQ(formats, 36u);
}

} // namespace
