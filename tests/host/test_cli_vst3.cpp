// The command-line host with our VST3 test modules: plain module files,
// bundle folders, modules with several classes.

#include "CliRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kVst3 = std::string(PELORIN_BUILD_DIR) + "/fixtures/vst3/";

std::string Quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

bool Has(const TRun& r, const std::string& text)
{
    return r.Out.find(text) != std::string::npos;
}

} // namespace

TEST(CommandLineHostVst3, DescribesEachModuleFromAFileOrABundleFolder)
{
    const struct {
        const char* what;
        std::string args;
        std::vector<std::string> lines;
    } cases[] = {
        {"plain module file", Quoted(kVst3 + "PelorinEcho.vst3"),
         {"Plugin:     Pelorin Echo", "Vendor:     Pelorin Test Works", "Category:   Fx|Delay",
          "Latency:    64 samples", "Parameters: 2", "Gain", "0.50 #100", "Input buses:  1", "Output buses: 1"}},
        {"bundle folder", Quoted(kVst3 + "PelorinSynth.vst3"),
         {"Plugin:     Pelorin Synth", " instrument", "Parameters: 3", "5000 Hz", "Programs:   3", "Lead",
          "Output buses: 2", "Aux Out", "Event inputs: 1", "MIDI In", "16 channel(s)", "Event outputs: 1"}},
        {"bundle folder with a trailing separator", Quoted(kVst3 + "PelorinSynth.vst3/"),
         {"Plugin:     Pelorin Synth"}},
        {"kind given explicitly", "--kind vst3 " + Quoted(kVst3 + "PelorinEcho.vst3"),
         {"Plugin:     Pelorin Echo"}},
        {"two thousand parameters", Quoted(kVst3 + "PelorinMany.vst3"), {"Parameters: 2000", "Param 1999"}},
        {"shell, first class by default", Quoted(kVst3 + "PelorinDuo.vst3"), {"Plugin:     Pelorin Echo"}},
        {"shell, class by position", "--class 1 " + Quoted(kVst3 + "PelorinDuo.vst3"),
         {"Plugin:     Pelorin Synth", "Event inputs: 1"}},
        {"shell, class by name", "--class \"pelorin synth\" " + Quoted(kVst3 + "PelorinDuo.vst3"),
         {"Plugin:     Pelorin Synth"}},
        {"audio blocks pass through the bridge", "--tone 0.05 " + Quoted(kVst3 + "PelorinSynth.vst3"), {"Processed 2205 frames"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TRun r = RunHost(c.args);
        EXPECT_EQ(r.ExitCode, 0u) << r.Out;
        for (const std::string& line : c.lines)
            EXPECT_TRUE(Has(r, line)) << line << "\n" << r.Out;
    }
}

TEST(CommandLineHostVst3, ListsTheClassesOfAModule)
{
    const TRun shell = RunHost("--list-classes " + Quoted(kVst3 + "PelorinDuo.vst3"));
    EXPECT_EQ(shell.ExitCode, 0u) << shell.Out;
    EXPECT_TRUE(Has(shell, "Classes:    2")) << shell.Out;
    EXPECT_TRUE(Has(shell, "Pelorin Echo")) << shell.Out;
    EXPECT_TRUE(Has(shell, "50454C4F52494E314543483000000001")) << shell.Out;
    EXPECT_TRUE(Has(shell, "instrument")) << shell.Out;
    EXPECT_TRUE(Has(shell, "50454C4F52494E3253594E3000000002")) << shell.Out;
    EXPECT_FALSE(Has(shell, "Controller")) << shell.Out;
    EXPECT_FALSE(Has(shell, "Parameters:")) << shell.Out;

    const TRun single = RunHost("--list-classes " + Quoted(kVst3 + "PelorinSynth.vst3"));
    EXPECT_EQ(single.ExitCode, 0u) << single.Out;
    EXPECT_TRUE(Has(single, "Classes:    1")) << single.Out;
    EXPECT_TRUE(Has(single, "50454C4F52494E3253594E3000000002")) << single.Out;
}

TEST(CommandLineHostVst3, FailuresEndWithAMessageAndANonZeroStatus)
{
    const struct {
        const char* what;
        std::string args;
        const char* message;
    } cases[] = {
        {"class position past the end", "--class 2 " + Quoted(kVst3 + "PelorinDuo.vst3"), "has no class"},
        {"unknown class name", "--class Nothing " + Quoted(kVst3 + "PelorinDuo.vst3"), "has no class \"Nothing\""},
        {"folder without a module", "--kind vst3 " + Quoted(std::string(PELORIN_BUILD_DIR) + "/fixtures/vst3"), "holds no module"},
        {"module that faults", Quoted(kVst3 + "PelorinFault.vst3"), "could not load"},
        {"class choice for VST2", "--class 1 --kind vst2 " + Quoted(kVst3 + "PelorinEcho.vst3"), "VST3 modules only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TRun r = RunHost(c.args);
        EXPECT_EQ(r.ExitCode, 1u) << r.Out;
        EXPECT_TRUE(Has(r, c.message)) << r.Out;
    }
}
