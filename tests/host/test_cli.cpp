// The command-line host run as a program: it starts the bridge, loads our
// fixture plugins and processes files.

#include "CliRunner.h"
#include "WavFile.h"

#include <nlohmann/json.hpp>

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
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

TEST(CommandLineHost, TheExampleChainSoundsAndIsDrawn)
{
    // The main job's two steps: the example instrument plays the arpeggio,
    // its output goes through the example echo; both are drawn.
    const std::string synthWav = Temp("synth.wav"), synthPng = Temp("synth.png");
    const std::string echoWav = Temp("echo.wav"), echoPng = Temp("echo.png");
    TRun synth = RunHost("--quiet --block 256 --midi \"" + kBuild + "/../../examples/arpeggio.txt\" --out \"" +
                         synthWav + "\" --plot \"" + synthPng + "\" \"" + kBuild + "/examples/ExampleSynth.dll\"");
    ASSERT_EQ(synth.ExitCode, 0u) << synth.Out;
    TRun echo = RunHost("--quiet --in \"" + synthWav + "\" --out \"" + echoWav + "\" --plot \"" + echoPng + "\" \"" +
                        kBuild + "/examples/ExampleEcho.dll\"");
    ASSERT_EQ(echo.ExitCode, 0u) << echo.Out;

    auto load = [](const std::string& path) {
        std::vector<std::uint8_t> bytes;
        TWavData w;
        std::string err;
        EXPECT_TRUE(ReadFileBytes(path, bytes) && ParseWav(bytes, w, err)) << path << ": " << err;
        return w;
    };
    const TWavData dry = load(synthWav), wet = load(echoWav);
    ASSERT_EQ(dry.Channels.size(), 2u);
    ASSERT_EQ(wet.Channels.size(), 2u);
    ASSERT_EQ(dry.Frames(), wet.Frames());
    // Windowed RMS of one channel around a time in seconds.
    auto rms = [](const TWavData& w, int channel, double at) {
        const std::size_t from = static_cast<std::size_t>(at * w.SampleRate);
        double sum = 0;
        for (std::size_t f = from; f < from + 2048 && f < w.Frames(); ++f)
            sum += static_cast<double>(w.Channels[channel][f]) * w.Channels[channel][f];
        return std::sqrt(sum / 2048);
    };
    // The instrument sounds while the notes play, not clipped, and is silent
    // at the end, after the chord's release.
    double peak = 0;
    for (const auto& c : dry.Channels)
        for (float v : c)
            peak = std::max(peak, std::fabs(static_cast<double>(v)));
    EXPECT_GT(peak, 0.1);
    EXPECT_LT(peak, 1.0);
    EXPECT_GT(rms(dry, 0, 1.0), 0.02);
    EXPECT_GT(rms(dry, 1, 5.0), 0.02);
    const double endTime = static_cast<double>(dry.Frames()) / dry.SampleRate - 0.1;
    EXPECT_LT(rms(dry, 0, endTime), 1e-4);
    // The echo changes the sound and carries it past the instrument's end.
    EXPECT_GT(rms(wet, 1, endTime - 0.3), rms(dry, 1, endTime - 0.3) + 1e-3);

    for (const std::string& png : {synthPng, echoPng}) {
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(ReadFileBytes(png, bytes)) << png;
        ASSERT_GT(bytes.size(), 1000u);
        EXPECT_EQ(0, std::memcmp(bytes.data(), "\x89PNG", 4));
    }
    for (const std::string& f : {synthWav, synthPng, echoWav, echoPng})
        DeleteFileA(f.c_str());
}

TEST(CommandLineHost, ScanGivesARowForEveryPluginAndEveryFailure)
{
    // A folder as users have them: plugins, a shell, a module that is no
    // plugin, one that hangs, one that brings its process down, and a VST3
    // bundle folder whose module is not a VST3 plugin.
    const std::string dir = Temp("scan");
    const std::string fixtures = kBuild + "/fixtures/";
    CreateDirectoryA(dir.c_str(), nullptr);
    CreateDirectoryA((dir + "/sub").c_str(), nullptr);
    const std::string bundle = dir + "/Fake.vst3";
    for (const std::string& d : {bundle, bundle + "/Contents", bundle + "/Contents/x86_64-win"})
        CreateDirectoryA(d.c_str(), nullptr);
    const std::vector<std::pair<std::string, std::string>> copies = {
        {"vst2_gain.dll", "gain.dll"},
        {"vst2_synth.dll", "sub/synth.dll"},
        {"vst2_shell.dll", "shell.dll"},
        {"vst2_entry_nil.dll", "nil.dll"},
        {"vst2_entry_hang.dll", "hang.dll"},
        {"vst2_entry_threadcrash.dll", "threadcrash.dll"},
        {"vst2_gain.dll", "Fake.vst3/Contents/x86_64-win/Fake.vst3"},
        {"vst3/PelorinDuo.vst3", "duo.vst3"},
    };
    for (const auto& [from, to] : copies)
        ASSERT_TRUE(CopyFileA((fixtures + from).c_str(), (dir + "/" + to).c_str(), FALSE)) << from;
    const std::string json = Temp("scan.json");
    TRun run = RunHost("scan \"" + dir + "\" -j 3 --timeout 8000 --json \"" + json + "\"");
    ASSERT_EQ(run.ExitCode, 0u) << run.Out;
    EXPECT_NE(run.Out.find("8 modules, 11 rows: 7 ok, 2 refused, 1 crashed, 1 hung, 0 failed"), std::string::npos)
        << run.Out;

    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(json, bytes));
    const nlohmann::json rows = nlohmann::json::parse(bytes.begin(), bytes.end());
    ASSERT_TRUE(rows.is_array());
    ASSERT_EQ(rows.size(), 11u) << rows.dump(1);
    auto row = [&](const std::string& file, const std::string& name = "") -> nlohmann::json {
        for (const auto& r : rows) {
            const std::string module = r["module"];
            if (module.size() >= file.size() && module.compare(module.size() - file.size(), file.size(), file) == 0 &&
                (name.empty() || r.value("name", "") == name))
                return r;
        }
        ADD_FAILURE() << "no row for " << file << " " << name;
        return nlohmann::json::object();
    };
    const auto gain = row("gain.dll");
    EXPECT_EQ(gain["status"], "ok");
    EXPECT_EQ(gain["format"], "VST2");
    EXPECT_EQ(gain["kind"], "effect");
    EXPECT_EQ(gain["name"], "Test Gain");
    EXPECT_EQ(gain["id"], "0x5074476E"); // "PtGn"
    EXPECT_EQ(gain["audio_inputs"], 2);
    EXPECT_EQ(gain["audio_outputs"], 2);
    EXPECT_EQ(gain["parameters"], 3);
    EXPECT_EQ(gain["programs"], 5);
    EXPECT_EQ(gain["editor"], false);
    const auto synth = row("synth.dll");
    EXPECT_EQ(synth["kind"], "instrument");
    EXPECT_EQ(synth["audio_inputs"], 0);
    // The shell is shown as its sub-plugins, each loaded on its own.
    for (const char* sub : {"Shell Alpha", "Shell Beta", "Shell Gamma"})
        EXPECT_EQ(row("shell.dll", sub)["status"], "ok") << sub;
    EXPECT_EQ(row("nil.dll")["status"], "refused");
    EXPECT_EQ(row("hang.dll")["status"], "hung");
    EXPECT_EQ(row("threadcrash.dll")["status"], "crashed");
    // A VST3 module with two classes: one row per class, each loaded by its identifier.
    const auto echo = row("duo.vst3", "Pelorin Echo");
    const auto synthClass = row("duo.vst3", "Pelorin Synth");
    EXPECT_EQ(echo["status"], "ok");
    EXPECT_EQ(echo["format"], "VST3");
    EXPECT_EQ(echo["kind"], "effect");
    EXPECT_EQ(synthClass["status"], "ok");
    EXPECT_EQ(synthClass["kind"], "instrument");
    EXPECT_EQ(echo["id"].get<std::string>().size(), 32u);
    EXPECT_NE(echo["id"], synthClass["id"]);
    const auto fake = row("Fake.vst3");
    EXPECT_EQ(fake["format"], "VST3");
    EXPECT_EQ(fake["status"], "refused");
    // The table says the same.
    for (const char* text : {"Test Gain", "Shell Beta", "hung", "crashed", "threadcrash.dll"})
        EXPECT_NE(run.Out.find(text), std::string::npos) << text;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    DeleteFileA(json.c_str());
}
TEST(CommandLineHost, SavesAndLoadsStatesAndPresetFiles)
{
    const std::string plugin = "\"" + kBuild + "/fixtures/vst2_programs.dll\"";
    const std::string fxp = Temp("a.fxp"), fxb = Temp("b.fxb"), state = Temp("s.bin"), forced = Temp("c.preset");
    const TRun first = RunHost("--quiet --save-preset \"" + fxp + "\" " + plugin);
    ASSERT_EQ(first.ExitCode, 0u) << first.Out;
    std::vector<std::uint8_t> program;
    ASSERT_TRUE(ReadFileBytes(fxp, program));
    ASSERT_EQ(program.size(), 56u + 12) << "a program of three values";
    EXPECT_EQ(std::string(program.begin() + 8, program.begin() + 12), "FxCk");

    // Parameter 0 of the file becomes 0.5 (big-endian 3F 00 00 00); loaded, it
    // shows in the description and goes into the saved state and bank.
    program[56] = 0x3F;
    program[57] = program[58] = program[59] = 0;
    ASSERT_TRUE(WriteFileBytes(fxp, program));
    const TRun second = RunHost("--load-preset \"" + fxp + "\" --save-state \"" + state + "\" --save-preset \"" + fxb +
                                "\" " + plugin);
    ASSERT_EQ(second.ExitCode, 0u) << second.Out;
    EXPECT_NE(second.Out.find("Preset loaded: 68 bytes"), std::string::npos) << second.Out;
    const std::size_t after = second.Out.find("After loading:");
    ASSERT_NE(after, std::string::npos) << second.Out;
    EXPECT_NE(second.Out.find("(0.500000)", after), std::string::npos) << second.Out;
    std::vector<std::uint8_t> bank;
    ASSERT_TRUE(ReadFileBytes(fxb, bank));
    EXPECT_EQ(bank.size(), 156u + 32 * 68) << "a bank of the 32 programs";
    EXPECT_EQ(std::string(bank.begin() + 8, bank.begin() + 12), "FxBk");

    const TRun third = RunHost("--load-state \"" + state + "\" --preset-kind bank --save-preset \"" + forced + "\" " +
                               plugin);
    ASSERT_EQ(third.ExitCode, 0u) << third.Out;
    EXPECT_NE(third.Out.find("State loaded"), std::string::npos) << third.Out;
    EXPECT_NE(third.Out.find("(0.500000)", third.Out.find("After loading:")), std::string::npos) << third.Out;
    std::vector<std::uint8_t> again;
    ASSERT_TRUE(ReadFileBytes(forced, again));
    EXPECT_EQ(again, bank) << "--preset-kind bank, whatever the extension";

    const TRun bad = RunHost("--preset-kind both --save-preset \"" + fxp + "\" " + plugin);
    EXPECT_NE(bad.ExitCode, 0u);
    EXPECT_NE(bad.Out.find("unknown preset kind"), std::string::npos) << bad.Out;
    for (const std::string& f : {fxp, fxb, state, forced})
        DeleteFileA(f.c_str());
}
