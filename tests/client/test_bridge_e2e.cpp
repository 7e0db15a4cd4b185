// The bridge process end to end: a host of our own starts pelorin.exe, loads
// our fixture plugins through the load block and drives them with commands.

#include "BridgeHost.h"
#include "BridgeLayouts.h"
#include "ProcessBlockBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string kBuild = PELORIN_BUILD_DIR;
const std::wstring kBridge = std::wstring(kBuild.begin(), kBuild.end()) + L"/dist/64bit/pelorin.exe";

std::string Fixture(const std::string& name) { return kBuild + "/fixtures/" + name; }

std::int32_t Bits(float f)
{
    std::int32_t v;
    std::memcpy(&v, &f, 4);
    return v;
}

// A host with a running bridge.
struct TSession {
    std::atomic<int> sysex{0};
    std::vector<std::uint8_t> lastSysex;
    std::atomic<int> paramChanged{0};
    std::unique_ptr<TBridgeHost> host;

    TSession()
    {
        TBridgeHost::TOptions o;
        o.ReplyTimeoutMs = 20000;
        o.OnHostCommand = [this](std::uint32_t code, std::int32_t&, std::int32_t&, std::int64_t&, std::int64_t&,
                                 std::wstring&, std::int64_t& dataSize, void* data) -> std::int32_t {
            if (code == kHostSysex) {
                lastSysex.assign(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + dataSize);
                ++sysex;
            }
            if (code == kHostParamChanged)
                ++paramChanged;
            return 0;
        };
        host = std::make_unique<TBridgeHost>(o);
        host->Launch(kBridge);
        host->WaitConnected(15000);
    }

    TSharedMemoryIntf& Ch() { return host->Channel(); }
    TDescriptionBlock& Desc() { return *static_cast<TDescriptionBlock*>(Ch().DescriptionBlock()); }

    // Fills the load block and waits for the answer.
    std::uint32_t Load(const std::string& path, std::int32_t kind = kKindVst2)
    {
        auto* load = static_cast<TLoadBlock*>(Ch().LoadBlock());
        std::memset(load, 0, sizeof(TLoadBlock));
        load->Kind = kind;
        std::strncpy(load->Name, "fixture", sizeof(load->Name));
        std::strncpy(load->FileName, path.c_str(), sizeof(load->FileName) - 1);
        load->Settings = {44100, 512, 120.0, 16, 4, 24};
        host->PostCode(kCodeLoadPlugin, 0);
        return host->WaitForCode(kCodePluginLoaded, 20000);
    }

    // One command on the control channel; Index and Value travel one way.
    std::int64_t Control(std::uint32_t code, std::int32_t index = 0, std::int32_t value = 0, std::int64_t p1 = 0)
    {
        std::int64_t result = -1, p2 = 0;
        std::wstring text;
        EXPECT_TRUE(Ch().SendCommandFull(code, result, index, value, p1, p2, text, 0, 0, nullptr, false))
            << std::hex << code;
        return result;
    }
};

std::string Field(const char* f, std::size_t n)
{
    const void* z = std::memchr(f, 0, n);
    return std::string(f, z ? static_cast<const char*>(z) - f : n);
}

std::vector<std::uint8_t> Block(int inChannels, int outChannels, int frames, int events = 16)
{
    return BuildProcessBlock(inChannels, outChannels, frames, events);
}

bool Process(TSession& s, std::vector<std::uint8_t>& d, std::int64_t sent)
{
    std::int64_t result = 0, p1 = 0, p2 = 0;
    std::wstring text;
    return s.Ch().SendCommandFull(kCmdProcess, result, 0, 0, p1, p2, text, sent, static_cast<std::int64_t>(d.size()),
                                  d.data(), true);
}

} // namespace

TEST(BridgeEndToEnd, GainPluginIsDescribedAndProcessesAudio)
{
    TSession s;
    ASSERT_EQ(s.Load(Fixture("vst2_gain.dll")), 1u);
    TDescriptionBlock& d = s.Desc();
    EXPECT_EQ(Field(d.Name, 64), "Test Gain");
    EXPECT_EQ(d.ParamCount, 3);
    EXPECT_EQ(Field(d.Params[0].Name, 32), "Gain");
    EXPECT_EQ(Field(d.Params[0].Display, 32), "1.00");
    EXPECT_FLOAT_EQ(d.Params[0].Value, 0.5f);
    EXPECT_EQ(d.ProgramCount, 5);
    EXPECT_EQ(Field(d.ProgramNames[2], 64), "Loud");
    ASSERT_EQ(d.InputBusCount, 1);
    ASSERT_EQ(d.OutputBusCount, 1);
    EXPECT_EQ(d.InputBuses[0].Channels, 2);
    EXPECT_EQ(d.EventInputBusCount, 0);

    s.Control(kCmdSetActive, 1);
    auto block = Block(2, 2, 256);
    auto* audio = reinterpret_cast<float*>(block.data() + sizeof(TProcessBlock));
    for (int i = 0; i < 512; ++i)
        audio[i] = std::sin(i * 0.05f);
    const auto& head = *reinterpret_cast<TProcessBlock*>(block.data());
    ASSERT_TRUE(Process(s, block, head.EventOffset));
    for (int i : {0, 100, 255, 256, 511})
        EXPECT_FLOAT_EQ(audio[512 + i], std::sin(i * 0.05f)) << "unity gain at sample " << i;

    // Gain 0.25 (x0.5): the read-back value comes back and lands in the description.
    const std::int64_t back = s.Control(kCmdSetParamValue, 0, Bits(0.25f), 0);
    EXPECT_EQ(static_cast<std::int32_t>(back), Bits(0.25f));
    EXPECT_FLOAT_EQ(d.Params[0].Value, 0.25f);
    for (int i = 0; i < 512; ++i)
        audio[i] = 0.8f;
    ASSERT_TRUE(Process(s, block, head.EventOffset));
    EXPECT_FLOAT_EQ(audio[512], 0.4f);
    EXPECT_FLOAT_EQ(audio[1023], 0.4f);

    // The description refresh brings the new display text.
    s.Control(kCmdRefreshDescription, 1);
    EXPECT_EQ(Field(d.Params[0].Display, 32), "0.50");

    s.host->Close();
    EXPECT_TRUE(s.host->WaitClosed(5000));
    DWORD code = 1;
    EXPECT_TRUE(s.host->WaitProcessExit(5000, code));
    EXPECT_EQ(code, 0u);
}

TEST(BridgeEndToEnd, InstrumentReturnsMidiWithTheBlockAndSysexOnTheHostChannel)
{
    TSession s;
    ASSERT_EQ(s.Load(Fixture("vst2_synth.dll")), 1u);
    EXPECT_EQ(s.Desc().IsSynth, 1);
    s.Control(kCmdSetActive, 1, 0);
    auto block = Block(0, 2, 128);
    auto& head = *reinterpret_cast<TProcessBlock*>(block.data());
    auto* events = reinterpret_cast<TBridgeEvent*>(block.data() + head.EventOffset);
    events[0].Type = kEventMidi;
    events[0].DeltaFrames = 3;
    events[0].Value1 = 0x643C90; // note on C4
    events[1].Type = 9;           // unknown: skipped
    events[2].Type = kEventMidi;
    events[2].DeltaFrames = 9;
    events[2].Value1 = 0x003C80; // note off
    head.EventCount = 3;
    ASSERT_TRUE(Process(s, block, head.EventOffset + 3 * 44));
    // The synth answers in the same block; the bridge returns what it queued
    // with this block or the next.
    int returned = head.EventCount;
    std::vector<TBridgeEvent> got(events, events + std::max(returned, 0));
    if (returned == 0) {
        head.EventCount = 0;
        ASSERT_TRUE(Process(s, block, head.EventOffset));
        returned = head.EventCount;
        got.assign(events, events + std::max(returned, 0));
    }
    ASSERT_EQ(returned, 2);
    EXPECT_EQ(got[0].Type, kEventMidi);
    EXPECT_EQ(got[0].Value1 & 0xFFFF, 0x4890); // an octave higher
    EXPECT_EQ(got[1].Value1 & 0xFFFF, 0x4880);
    for (int i = 0; i < 50 && s.sysex.load() == 0; ++i)
        Sleep(20);
    ASSERT_GE(s.sysex.load(), 1);
    EXPECT_EQ(s.lastSysex, (std::vector<std::uint8_t>{0xF0, 0x7D, 2, 0xF7}));
}

TEST(BridgeEndToEnd, ModulesThatDoNotLoadAnswerZeroAndLeaveTheDescriptionEmpty)
{
    TSession s;
    const struct {
        std::string path;
        std::int32_t kind;
    } cases[] = {
        {Fixture("vst2_entry_fault.dll"), kKindVst2},
        {Fixture("vst2_entry_badmagic.dll"), kKindVst2},
        {Fixture("vst2_entry_nil.dll"), kKindVst2},
        {Fixture("no-such-module.dll"), kKindVst2},
        {Fixture("vst2_gain.dll"), 5}, // an unknown kind loads nothing
    };
    for (const auto& c : cases) {
        std::memset(&s.Desc(), 0xAA, 1024);
        EXPECT_EQ(s.Load(c.path, c.kind), 0u) << c.path;
        const auto* raw = reinterpret_cast<const std::uint8_t*>(&s.Desc());
        int nonzero = 0;
        for (std::size_t i = 0; i < sizeof(TDescriptionBlock); ++i)
            nonzero += raw[i] != 0;
        EXPECT_EQ(nonzero, 0) << c.path;
    }
    // Without a plugin every plugin command does nothing and answers 0.
    EXPECT_EQ(s.Control(kCmdReset), 0);
    EXPECT_EQ(s.Control(kCmdSaveState), 0);
    EXPECT_EQ(s.Control(kCmdSetParamValue, 0, Bits(1.0f)), 0);
    EXPECT_EQ(s.Control(kCmdMouseWheel, 0, 0, -120), 0);
    EXPECT_TRUE(s.host->Connected());
    // A plugin loads after failed attempts.
    EXPECT_EQ(s.Load(Fixture("vst2_gain.dll")), 1u);
}

TEST(BridgeEndToEnd, EditorRequestWithoutAnEditorStillAnswers)
{
    TSession s;
    ASSERT_EQ(s.Load(Fixture("vst2_gain.dll")), 1u);
    THeaderBlock* header = s.Ch().Header();
    header->EditorRequest = 1;
    s.host->PostCode(kCodeEditorState, 0);
    EXPECT_EQ(s.host->WaitForCode(kCodeEditorState, 5000), 0u);
    EXPECT_EQ(header->EditorWindow, 0u);
    s.Control(kCmdUpdateEditorState);
    EXPECT_EQ(s.host->WaitForCode(kCodeEditorState, 5000), 0u);
}

TEST(BridgeEndToEnd, HostileProcessBlocksAreRefusedAndTheBridgeGoesOn)
{
    TSession s;
    ASSERT_EQ(s.Load(Fixture("vst2_gain.dll")), 1u);
    s.Control(kCmdSetActive, 1);
    auto block = Block(2, 2, 64);
    auto& head = *reinterpret_cast<TProcessBlock*>(block.data());
    const auto clean = block;
    const struct {
        const char* what;
        std::int32_t frames, offset, count;
    } cases[] = {
        {"frames far beyond the block", 1 << 26, head.EventOffset, 0},
        {"negative frames", -1, head.EventOffset, 0},
        {"event list beyond the block", 64, 1 << 30, 100},
        {"event count beyond the data", 64, head.EventOffset, 1 << 29},
    };
    for (const auto& c : cases) {
        block = clean;
        auto& h = *reinterpret_cast<TProcessBlock*>(block.data());
        h.Frames = c.frames;
        h.EventOffset = c.offset;
        h.EventCount = c.count;
        EXPECT_TRUE(Process(s, block, static_cast<std::int64_t>(block.size()))) << c.what;
        EXPECT_TRUE(s.host->Connected()) << c.what;
    }
    block = clean;
    auto* audio = reinterpret_cast<float*>(block.data() + sizeof(TProcessBlock));
    audio[0] = 0.5f;
    ASSERT_TRUE(Process(s, block, head.EventOffset));
    EXPECT_FLOAT_EQ(audio[128], 0.5f) << "a good block after the bad ones";
}

TEST(BridgeEndToEnd, ShellListTravelsBothWays)
{
    TSession s;
    auto* load = static_cast<TLoadBlock*>(s.Ch().LoadBlock());
    std::memset(load, 0, sizeof(TLoadBlock));
    const std::string path = Fixture("vst2_shell.dll");
    std::strncpy(load->FileName, path.c_str(), sizeof(load->FileName) - 1);
    load->Settings = {44100, 512, 120.0, 16, 4, 24};
    load->LoadFlags = kLoadShellSubPlugin | kLoadKnownShellList;
    load->ShellId = 2222;
    load->ShellCount = 3;
    const char* known[] = {"Shell Alpha", "Shell Beta", "Old Entry"};
    const std::int32_t ids[] = {1111, 2222, 7777};
    for (int i = 0; i < 3; ++i) {
        std::strcpy(load->Shell[i].Name, known[i]);
        load->Shell[i].Id = ids[i];
    }
    s.host->PostCode(kCodeLoadPlugin, 0);
    ASSERT_EQ(s.host->WaitForCode(kCodePluginLoaded, 20000), 1u);
    EXPECT_EQ(Field(s.Desc().Name, 64), "Shell Beta");

    // The shell itself lists its own sub-plugins, ending at the empty name.
    std::memset(load->Shell, 0, sizeof(load->Shell));
    load->LoadFlags = 0;
    load->ShellId = 0;
    load->ShellCount = 0;
    s.host->PostCode(kCodeLoadPlugin, 0);
    ASSERT_EQ(s.host->WaitForCode(kCodePluginLoaded, 20000), 1u);
    EXPECT_EQ(s.Desc().IsShell, 1);
    ASSERT_EQ(load->ShellCount, 3);
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i)
        names.push_back(Field(load->Shell[i].Name, sizeof(load->Shell[i].Name)));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Shell Alpha", "Shell Beta", "Shell Gamma"}));
}

TEST(BridgeEndToEnd, ControlCommandsReturnTheirValuesInTheRecord)
{
    TSession s;
    ASSERT_EQ(s.Load(Fixture("vst2_gain.dll")), 1u);
    s.Control(kCmdPropertyFlags, 0x40, 0x40);
    const TCommandRecord* rec = s.Ch().Channel(kControlChannel).Record();
    EXPECT_EQ(rec->Index, -1) << "every mask bit";
    EXPECT_EQ(rec->Value & 0x40, 0x40);

    s.Control(kCmdSetProgram, 2);
    EXPECT_EQ(s.Control(kCmdSaveState, 3), 0) << "kind 3 saves an empty state";

    // A program name goes out as UTF-16 and comes back as the plugin keeps it.
    std::int64_t result = 0, p1 = 0, p2 = 0;
    std::wstring text = L"Renamed";
    ASSERT_TRUE(s.Ch().SendCommandFull(kCmdSetProgramName, result, 2, 0, p1, p2, text, 0, 0, nullptr, false));
    EXPECT_EQ(text, L"Renamed");
    s.Control(kCmdRefreshDescription, 4);
    EXPECT_EQ(Field(s.Desc().ProgramNames[2], 64), "Renamed");
    EXPECT_EQ(s.Desc().CurrentProgram, 2);
}

TEST(BridgeEndToEnd, StateFramesThatLieAboutTheirSizeAreRefused)
{
    TSession s;
    ASSERT_EQ(s.Load(Fixture("vst2_gain.dll")), 1u);
    const struct {
        const char* what;
        std::int64_t count;
        std::size_t carried;
    } cases[] = {
        {"count beyond the data", 1 << 20, 16},
        {"negative count", -8, 16},
        {"no room for the count", 0, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> frame(8 + c.carried, 0x11);
        std::memcpy(frame.data(), &c.count, 8);
        std::int64_t result = 0, p1 = 0, p2 = 0;
        std::wstring text;
        const std::int64_t size = c.carried == 0 && c.count == 0 ? 4 : static_cast<std::int64_t>(frame.size());
        EXPECT_TRUE(s.Ch().SendCommandFull(kCmdLoadState, result, 0, 0, p1, p2, text, size, size, frame.data(), false))
            << c.what;
        EXPECT_TRUE(s.host->Connected()) << c.what;
    }
    // Fetching more than the record can carry stays inside the block.
    std::vector<std::uint8_t> fetch(64, 0xEE);
    const std::uint32_t wanted = 0x7FFFFFFF;
    std::memcpy(fetch.data(), &wanted, 4);
    std::int64_t result = 0, p1 = 0, p2 = 0;
    std::wstring text;
    EXPECT_TRUE(s.Ch().SendCommandFull(kCmdFetchState, result, 0, 0, p1, p2, text, 8, 64, fetch.data(), true));
    EXPECT_TRUE(s.host->Connected());
}
