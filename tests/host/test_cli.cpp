// The command-line host run as a program: it starts the bridge, loads our
// fixture plugins and processes files.

#include "CliRunner.h"
#include "WavFile.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

const std::string kBuild = PELORIN_BUILD_DIR;

} // namespace

TEST(CommandLineHost, ProcessesAWavFileThroughTheGainPlugin)
{
    // A 16-bit stereo input of 3000 frames, processed in odd-sized blocks.
    TWavData in;
    in.SampleRate = 48000;
    in.Channels.assign(2, std::vector<float>(3000));
    for (int f = 0; f < 3000; ++f) {
        in.Channels[0][f] = std::round(16000.0f * std::sin(f * 0.01f)) / 32768.0f;
        in.Channels[1][f] = -in.Channels[0][f];
    }
    std::vector<std::uint8_t> pcm = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                                     1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0, 0xEE, 2, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a'};
    const std::uint32_t bytes = 3000 * 4;
    for (int i = 0; i < 4; ++i)
        pcm.push_back(static_cast<std::uint8_t>(bytes >> (8 * i)));
    for (int f = 0; f < 3000; ++f)
        for (int c = 0; c < 2; ++c) {
            const auto v = static_cast<std::int16_t>(std::lround(in.Channels[c][f] * 32768.0f));
            pcm.push_back(static_cast<std::uint8_t>(v & 0xFF));
            pcm.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        }
    const std::string inPath = Temp("in.wav"), outPath = Temp("out.wav"), statePath = Temp("state.bin");
    ASSERT_TRUE(WriteFileBytes(inPath, pcm));
    const TRun r = RunHost("--block 333 --in \"" + inPath + "\" --out \"" + outPath + "\" --save-state \"" + statePath +
                       "\" \"" + kBuild + "/fixtures/vst2_gain.dll\"");
    ASSERT_EQ(r.ExitCode, 0u) << r.Out;
    EXPECT_NE(r.Out.find("Plugin:     Test Gain"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("Processed 3000 frames in 10 blocks of 333 at 48000 Hz"), std::string::npos) << r.Out;
    std::vector<std::uint8_t> outBytes;
    ASSERT_TRUE(ReadFileBytes(outPath, outBytes));
    TWavData out;
    std::string err;
    ASSERT_TRUE(ParseWav(outBytes, out, err)) << err;
    ASSERT_EQ(out.Channels.size(), 2u);
    ASSERT_EQ(out.Frames(), 3000u);
    EXPECT_EQ(out.SampleRate, 48000);
    for (int f : {0, 332, 333, 1000, 2999})
        for (int c = 0; c < 2; ++c)
            EXPECT_FLOAT_EQ(out.Channels[c][f], in.Channels[c][f]) << "unity gain, frame " << f << " channel " << c;

    // The saved state loads back.
    const TRun again = RunHost("--quiet --load-state \"" + statePath + "\" \"" + kBuild + "/fixtures/vst2_gain.dll\"");
    EXPECT_EQ(again.ExitCode, 0u) << again.Out;
    EXPECT_NE(again.Out.find("State loaded"), std::string::npos) << again.Out;
    DeleteFileA(inPath.c_str());
    DeleteFileA(outPath.c_str());
    DeleteFileA(statePath.c_str());
}

TEST(CommandLineHost, FailuresEndWithAMessageAndANonZeroStatus)
{
    const struct {
        const char* what;
        std::string args;
        const char* message;
    } cases[] = {
        {"no plugin given", "", "usage:"},
        {"missing plugin", "\"" + kBuild + "/fixtures/none.dll\"", "no such plugin file"},
        {"plugin that faults in its entry", "\"" + kBuild + "/fixtures/vst2_entry_fault.dll\"", "could not load"},
        {"missing bridge", "--bridge \"" + kBuild + "/none.exe\" \"" + kBuild + "/fixtures/vst2_gain.dll\"",
         "could not be started"},
        {"bad input file", "--in \"" + kBuild + "/fixtures/vst2_gain.dll\" \"" + kBuild + "/fixtures/vst2_gain.dll\"",
         "not a RIFF/WAVE file"},
        {"bad block size", "--block 0 x.dll", "bad value"},
    };
    for (const auto& c : cases) {
        const TRun r = RunHost(c.args);
        EXPECT_NE(r.ExitCode, 0u) << c.what;
        EXPECT_NE(r.Out.find(c.message), std::string::npos) << c.what << ": " << r.Out;
    }
}

TEST(CommandLineHost, PlaysMidiIntoTheInstrument)
{
    const std::string midiPath = Temp("notes.txt");
    const std::string text = "0 90 3C 64\n0.01s 80 3C 00\n";
    ASSERT_TRUE(WriteFileBytes(midiPath, std::vector<std::uint8_t>(text.begin(), text.end())));
    const TRun r = RunHost("--quiet --rate 44100 --midi \"" + midiPath + "\" \"" + kBuild + "/fixtures/vst2_synth.dll\"");
    ASSERT_EQ(r.ExitCode, 0u) << r.Out;
    EXPECT_NE(r.Out.find("2 MIDI events sent, 2 MIDI events and"), std::string::npos) << r.Out;
    DeleteFileA(midiPath.c_str());
}
