// The command-line host run as a program: it starts the bridge, loads our
// fixture plugins and processes files.

#include "WavFile.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

const std::string kBuild = PELORIN_BUILD_DIR;

struct TRun {
    DWORD ExitCode = 0xFFFFFFFF;
    std::string Out; // standard output and error together
};

TRun RunHost(const std::string& arguments)
{
    TRun r;
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0))
        return r;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string cmd = "\"" + kBuild + "/dist/64bit/pelorin-host.exe\" " + arguments;
    const BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return r;
    }
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buf, sizeof(buf), &n, nullptr) && n > 0)
        r.Out.append(buf, n);
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &r.ExitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(readEnd);
    return r;
}

std::string Temp(const std::string& name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "pelorin-cli-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

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
