#include "AudioPlug.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

// A host that writes one line per call it receives.
class TRecordingHost : public TBaseAudioPluginHost {
public:
    ~TRecordingHost() override
    {
        if (destroyed)
            *destroyed = true;
    }
    template <class... A>
    void Rec(const char* op, A... args)
    {
        std::ostringstream s;
        s << op;
        ((s << ' ' << args), ...);
        calls.push_back(s.str());
    }
    void ParamChanged(std::int32_t i, float v) override { Rec("ParamChanged", i, v); }
    void EditorResized(bool f) override { Rec("EditorResized", f); }
    void ShowMessage(const std::string& t, std::uint8_t f) override { Rec("ShowMessage", t, int(f)); }
    void MidiOut(std::int32_t m, bool f) override { Rec("MidiOut", m, f); }
    void SysexOut(std::int32_t r, std::int32_t n, const void* d) override
    {
        Rec("SysexOut", r, n, std::string(static_cast<const char*>(d), static_cast<std::size_t>(n)));
    }
    void Signal() override { Rec("Signal"); }
    std::int32_t ConvertTime(bool toSamples, std::int32_t v) override
    {
        Rec("ConvertTime", toSamples, v);
        return v * 2;
    }
    void Log(const std::string& t, std::uint8_t level, std::int32_t indent) override
    {
        Rec("Log", t, int(level), indent);
    }
    void Lock(bool l) override { Rec("Lock", l); }
    bool CanAutomate(std::int32_t i) override
    {
        Rec("CanAutomate", i);
        return automate;
    }
    void UpdateDisplay(std::int32_t w, bool f) override { Rec("UpdateDisplay", w, f); }
    bool IsPinConnected(std::int32_t i, bool in) override
    {
        Rec("IsPinConnected", i, in);
        return true;
    }
    void LatencyChanged(std::int32_t f) override { Rec("LatencyChanged", f); }
    void Idle() override { Rec("Idle"); }
    void IOChanged() override { Rec("IOChanged"); }
    std::int32_t MessageBox(const std::string& t, std::int32_t f) override
    {
        Rec("MessageBox", f);
        lastMessage = t;
        return 6;
    }

    std::vector<std::string> calls;
    std::string lastMessage;
    bool automate = true;
    bool* destroyed = nullptr;
};

TPluginSettings Settings(std::int32_t rate = 44100, double tempo = 120.0, std::int32_t stepsPerBeat = 4,
                         std::int32_t ticksPerBeat = 96)
{
    return TPluginSettings{rate, 512, tempo, 16, stepsPerBeat, ticksPerBeat};
}

// A plugin that records the base operations its overrides stand for.
class TProbePlugin : public TBaseAudioPlugin {
public:
    using TBaseAudioPlugin::TBaseAudioPlugin;
    void MidiMessage(std::int32_t port, std::int32_t msg, std::int32_t delta) override
    {
        if (auto* h = dynamic_cast<TRecordingHost*>(Host))
            h->Rec("MidiMessage", port, msg, delta);
        messages.push_back(msg);
    }
    void SetProperties(std::int32_t index, bool value) override
    {
        ++setPropertiesCalls;
        TBaseAudioPlugin::SetProperties(index, value);
    }
    void UpdateInfo() override { ++updateInfoCalls; }

    std::vector<std::int32_t> messages;
    int setPropertiesCalls = 0;
    int updateInfoCalls = 0;
};

// --- Host interface ---------------------------------------------------------------

TEST(HostInterface, PluginWithoutHostAnswersNeutralValues)
{
    TBaseAudioPlugin plugin(nullptr, nullptr, Settings());
    ASSERT_NE(plugin.Host, nullptr);
    EXPECT_NE(dynamic_cast<TDummyHost*>(plugin.Host), nullptr);
    EXPECT_TRUE(plugin.Host->CanAutomate(3));
    EXPECT_TRUE(plugin.CanAutomate(3));
    EXPECT_FALSE(plugin.Host->IsPinConnected(0, true));
    EXPECT_FALSE(plugin.IsPinConnected(1, false));
    EXPECT_TRUE(plugin.Host->CanResizeEditor(false));
    EXPECT_TRUE(plugin.Host->CanResizeEditor(true));
    EXPECT_EQ(plugin.Host->ConvertTime(false, 44100), 0);
    EXPECT_EQ(plugin.ConvertTime(true, 960), 0);
    EXPECT_EQ(plugin.Host->MessageBox("hello", 0x30), 0);
    EXPECT_EQ(plugin.Host->HostReservedD(), 0);

    THostTimeInfo info;
    std::memset(&info, 0xAB, sizeof(info));
    plugin.Host->GetTimeInfo(0x0B, info);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
    EXPECT_EQ(sizeof(info), 44u);
    for (std::size_t i = 0; i < sizeof(info); ++i)
        EXPECT_EQ(bytes[i], 0) << "byte " << i;

    // The notices have no effect and do not fail.
    plugin.Log("trace", 1, 1, true);
    plugin.ShowCrashWarning("boom");
    plugin.ParamChanged(0, 0.5f);
    plugin.MidiOut(0x90, true);
}

TEST(HostInterface, OperationsWithoutNeutralAnswerFailLoudly)
{
    TDummyHost host;
    THostMenuItem item{nullptr, 0, 0};
    TMenuItemList menu;
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"HostReservedA", [&] { host.HostReservedA(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11); }},
        {"HostReservedB", [&] { host.HostReservedB(1, 2, 3, 4, 5, 6, 7, 8); }},
        {"HostReservedC", [&] { host.HostReservedC(1, 2, 3, 4, 5); }},
        {"HostReservedE", [&] { host.HostReservedE(); }},
        {"HostReservedF", [&] { host.HostReservedF(); }},
        {"GetMenuItem", [&] { host.GetMenuItem(1, 0, item); }},
        {"MenuItemClicked", [&] { host.MenuItemClicked(1, 2); }},
        {"HostReservedG", [&] { host.HostReservedG(); }},
        {"PopupMenu", [&] { host.PopupMenu(&menu, 10, 20); }},
    };
    for (const auto& [name, call] : cases) {
        SCOPED_TRACE(name);
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), std::string("Abstract host operation called: ") + name);
        }
    }
}

TEST(HostInterface, GivenHostIsUsedAndNeverFreed)
{
    bool destroyed = false;
    {
        TRecordingHost host;
        host.destroyed = &destroyed;
        {
            TBaseAudioPlugin plugin(&host, nullptr, Settings());
            EXPECT_EQ(plugin.Host, &host);
        }
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
}

// Every forwarding operation reaches the host operation of its name with its
// arguments unchanged.
TEST(HostInterface, PluginForwardsToTheHost)
{
    static const char sysex[] = "\xF0\x01\xF7";
    const std::pair<std::function<void(TBaseAudioPlugin&)>, std::string> cases[] = {
        {[](TBaseAudioPlugin& p) { p.EditorResized(true); }, "EditorResized 1"},
        {[](TBaseAudioPlugin& p) { p.ParamChanged(7, 0.25f); }, "ParamChanged 7 0.25"},
        {[](TBaseAudioPlugin& p) { p.HostIdle(); }, "Idle"},
        {[](TBaseAudioPlugin& p) { p.ShowMessage("hi there", 1); }, "ShowMessage hi there 1"},
        {[](TBaseAudioPlugin& p) { p.UpdateDisplay(5, true); }, "UpdateDisplay 5 1"},
        {[](TBaseAudioPlugin& p) { p.MidiOut(0x403C90, false); }, "MidiOut 4209808 0"},
        {[](TBaseAudioPlugin& p) { p.SysexOut(0, 3, sysex); }, std::string("SysexOut 0 3 ") + sysex},
        {[](TBaseAudioPlugin& p) { p.HostSignal(); }, "Signal"},
        {[](TBaseAudioPlugin& p) { EXPECT_EQ(p.ConvertTime(false, 21), 42); }, "ConvertTime 0 21"},
        {[](TBaseAudioPlugin& p) { p.Log("open", 1, -1, true); }, "Log open 1 -1"},
        {[](TBaseAudioPlugin& p) { p.IOChanged(); }, "IOChanged"},
        {[](TBaseAudioPlugin& p) { p.LockHost(true); }, "Lock 1"},
        {[](TBaseAudioPlugin& p) { p.LatencyChanged(3); }, "LatencyChanged 3"},
        {[](TBaseAudioPlugin& p) { EXPECT_TRUE(p.IsPinConnected(2, true)); }, "IsPinConnected 2 1"},
        {[](TBaseAudioPlugin& p) { p.NotifyParamValue(4, 0.5f); }, "ParamChanged 4 0.5"},
        {[](TBaseAudioPlugin& p) { p.SetParamValue(5, true, 0.75f, true); }, "ParamChanged 5 0.75"},
        {[](TBaseAudioPlugin& p) {
             std::string name = "x";
             p.SetProgramName(2, name, true);
         },
         "UpdateDisplay 1 1"},
        {[](TBaseAudioPlugin& p) { p.ShowCrashWarning("m"); }, "MessageBox 48"},
    };
    for (const auto& [call, expected] : cases) {
        SCOPED_TRACE(expected);
        TRecordingHost host;
        TBaseAudioPlugin plugin(&host, nullptr, Settings());
        call(plugin);
        EXPECT_EQ(host.calls, std::vector<std::string>{expected});
    }
}

TEST(HostInterface, QuietOperationsDoNotReachTheHost)
{
    TRecordingHost host;
    TBaseAudioPlugin plugin(&host, nullptr, Settings());
    plugin.Log("hidden", 1, 0, false);
    plugin.SetParamValue(1, true, 0.5f, false);
    std::string name = "n";
    plugin.SetProgramName(0, name, false);
    plugin.MidiMessage(0, 0x90, 0);
    plugin.SetActive(true);
    plugin.Idle();
    EXPECT_TRUE(host.calls.empty());
}

TEST(HostInterface, CanAutomateNeedsHostAndFlagOne)
{
    const struct {
        bool host, flag, expected;
    } cases[] = {{true, true, true}, {true, false, false}, {false, true, false}, {false, false, false}};
    for (const auto& c : cases) {
        TRecordingHost host;
        host.automate = c.host;
        TBaseAudioPlugin plugin(&host, nullptr, Settings());
        plugin.Properties[kPropReportParamChanges] = c.flag;
        EXPECT_EQ(plugin.CanAutomate(9), c.expected) << "host " << c.host << " flag " << c.flag;
    }
}

TEST(HostInterface, ShowCrashWarningText)
{
    TRecordingHost host;
    TBaseAudioPlugin plugin(&host, nullptr, Settings());
    plugin.ShowCrashWarning("The plugin crashed at 50%s");
    EXPECT_EQ(host.calls, std::vector<std::string>{"MessageBox 48"});
    EXPECT_EQ(host.lastMessage, "The plugin crashed at 50%s\r\nYou are advised to restart Corvane.\r\n"
                                "Don't save your song now, or make sure you have a backup!");
}

// --- Plugin base ---------------------------------------------------------------------

TPluginDescription MakeDescription(const char* name)
{
    TPluginDescription d;
    std::memset(&d, 0, sizeof(d));
    d.Kind = kKindVst3Instrument;
    std::strncpy(d.Name, name, sizeof(d.Name) - 1);
    std::strcpy(d.FileName, "C:\\Plugins\\synth.vst3");
    for (int i = 0; i < 16; ++i)
        d.ClassID[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0xA0 + i);
    d.LoadFlags = kLoadShellSubPlugin;
    d.ShellId = 1234;
    return d;
}

TEST(PluginBase, ConstructionCopiesDescriptionAndSettings)
{
    const TPluginDescription d = MakeDescription("My Synth");
    const TPluginSettings s = Settings(48000, 133.5, 4, 96);
    TBaseAudioPlugin plugin(nullptr, &d, s);
    EXPECT_EQ(plugin.Name, "My Synth");
    EXPECT_EQ(plugin.InitialName, "My Synth");
    EXPECT_EQ(std::memcmp(&plugin.Description, &d, sizeof(d)), 0);
    EXPECT_EQ(plugin.SampleRate, 48000);
    EXPECT_EQ(plugin.BlockSize, 512);
    EXPECT_EQ(plugin.Tempo, 133.5);
    EXPECT_EQ(plugin.StepsPerBar, 16);
    EXPECT_EQ(plugin.StepsPerBeat, 4);
    EXPECT_EQ(plugin.TicksPerBeat, 96);
    // The copy does not recompute the derived timing.
    EXPECT_EQ(plugin.SamplesPerTick, 1.0);
    EXPECT_EQ(plugin.TicksPerStep, 1.0);
    EXPECT_EQ(plugin.ProcessFlags, 0x200);
    EXPECT_EQ(plugin.PluginFlags, 0);
    EXPECT_FALSE(plugin.IsValid || plugin.Active || plugin.NoEditor || plugin.Playing || plugin.PositionJumped);
    EXPECT_FALSE(plugin.HasEditor || plugin.AcceptsMidi || plugin.IsEffect || plugin.IsSynth || plugin.IsShell);
    EXPECT_EQ(plugin.NumParams + plugin.NumPrograms + plugin.NumInputBuses + plugin.NumOutputBuses, 0);
    EXPECT_EQ(plugin.EditorCount(), 0);
    EXPECT_EQ(plugin.ShellPlugins.Count(), 0);
    const bool defaults[kPropertyCount] = {false, true, true, false, false, false, false, false,
                                           true,  true, false, false, false, false, false, false};
    for (int i = 0; i < kPropertyCount; ++i)
        EXPECT_EQ(plugin.GetProperties(i), defaults[i]) << "flag " << i;
}

TEST(PluginBase, NameStopsAtTheEndOfAFullField)
{
    TPluginDescription d = MakeDescription("");
    std::memset(d.Name, 'n', sizeof(d.Name)); // no terminator
    TBaseAudioPlugin plugin(nullptr, &d, Settings());
    EXPECT_EQ(plugin.Name, std::string(261, 'n'));
}

TEST(PluginBase, FreshPropertyFlags)
{
    TBaseAudioPlugin plugin(nullptr, nullptr, Settings());
    std::int32_t mask = 0, values = 0;
    plugin.GetPropertyFlags(mask, values);
    EXPECT_EQ(static_cast<std::uint32_t>(mask), 0xFFFFFFFFu);
    EXPECT_EQ(values, 0x306);
}

TEST(PluginBase, SetPropertyFlagsWritesTheMaskedFlagsDirectly)
{
    const struct {
        std::uint32_t mask, values, expected;
    } cases[] = {
        {0x40, 0x40, 0x346},             // flag 6 on
        {0x306, 0x000, 0x000},           // the default flags off
        {0x002, 0x7FF, 0x306},           // only masked bits change; flag 1 stays on
        {0xFFFFFFFF, 0xFFFFFFFF, 0x7FF}, // bits above 10 are not reachable
        {0x800, 0x800, 0x306},
        {0x000, 0xFFFF, 0x306},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "mask " << c.mask << " values " << c.values);
        TProbePlugin plugin(nullptr, nullptr, Settings());
        plugin.SetPropertyFlags(static_cast<std::int32_t>(c.mask), static_cast<std::int32_t>(c.values));
        std::int32_t mask = 0, values = 0;
        plugin.GetPropertyFlags(mask, values);
        EXPECT_EQ(static_cast<std::uint32_t>(values), c.expected);
        EXPECT_FALSE(plugin.Properties[11]);
        EXPECT_EQ(plugin.setPropertiesCalls, 0);
    }
}

TEST(PluginBase, PropertiesOutsideTheArrayAreIgnored)
{
    TBaseAudioPlugin plugin(nullptr, nullptr, Settings());
    plugin.SetProperties(16, true);
    plugin.SetProperties(-1, true);
    EXPECT_FALSE(plugin.GetProperties(16));
    EXPECT_FALSE(plugin.GetProperties(-1));
    plugin.SetProperties(15, true);
    EXPECT_TRUE(plugin.GetProperties(15));
}

struct TimingCase {
    std::int32_t rate;
    double tempo;
    std::int32_t stepsPerBeat, ticksPerBeat;
    double ticksPerStep, samplesPerTick;
};

TEST(PluginBase, DerivedTiming)
{
    const TimingCase cases[] = {
        {44100, 120.0, 4, 96, 24.0, 229.6875},
        {48000, 60.0, 4, 96, 24.0, 500.0},
        {44100, 120.0, 3, 100, 33.0, 661500.0 / (120.0 * 33.0)}, // integer quotient 100 div 3
        {96000, 90.0, 8, 960, 120.0, 1440000.0 / (90.0 * 120.0)},
        // No steps per beat: the whole beat counts as one step.
        {44100, 120.0, 0, 96, 96.0, 661500.0 / (120.0 * 96.0)},
    };
    for (const TimingCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz " << c.tempo << " bpm " << c.stepsPerBeat << "/"
                                        << c.ticksPerBeat);
        TBaseAudioPlugin plugin(nullptr, nullptr, Settings(1, 1.0, 1, 1));
        plugin.SetSampleRate(c.rate);
        plugin.SetTempo(c.tempo);
        plugin.SetTimeFormat(TTimeFormat{16, c.stepsPerBeat, c.ticksPerBeat});
        EXPECT_EQ(plugin.StepsPerBeat, c.stepsPerBeat);
        EXPECT_EQ(plugin.TicksPerBeat, c.ticksPerBeat);
        EXPECT_EQ(plugin.TicksPerStep, c.ticksPerStep);
        EXPECT_DOUBLE_EQ(plugin.SamplesPerTick, c.samplesPerTick);
    }
}

TEST(PluginBase, EachSetterRecomputesSamplesPerTick)
{
    TBaseAudioPlugin plugin(nullptr, nullptr, Settings(44100, 120.0, 4, 96));
    plugin.SetTimeFormat(TTimeFormat{16, 4, 96});
    EXPECT_DOUBLE_EQ(plugin.SamplesPerTick, 229.6875);
    plugin.SetSampleRate(88200);
    EXPECT_DOUBLE_EQ(plugin.SamplesPerTick, 459.375);
    plugin.SetTempo(240.0);
    EXPECT_DOUBLE_EQ(plugin.SamplesPerTick, 229.6875);
}

TEST(PluginBase, TimingWithoutAUsableDivisorKeepsTheLastValue)
{
    TBaseAudioPlugin plugin(nullptr, nullptr, Settings(44100, 120.0, 4, 96));
    plugin.SetTimeFormat(TTimeFormat{16, 4, 96});
    plugin.SetTempo(0.0);
    EXPECT_EQ(plugin.Tempo, 0.0);
    EXPECT_DOUBLE_EQ(plugin.SamplesPerTick, 229.6875);
    plugin.SetTempo(120.0);
    plugin.SetTimeFormat(TTimeFormat{16, 4, 2}); // 2 div 4 = 0 ticks per step
    EXPECT_EQ(plugin.TicksPerStep, 0.0);
    EXPECT_DOUBLE_EQ(plugin.SamplesPerTick, 229.6875);
    plugin.SetTimeFormat(TTimeFormat{16, -1, INT32_MIN}); // would trap in 32-bit division
    EXPECT_EQ(plugin.TicksPerStep, 2147483648.0);
}

TEST(PluginBase, PositionJumpedStaysSetUntilConsumed)
{
    TBaseAudioPlugin plugin(nullptr, nullptr, Settings());
    plugin.SetSongPosition(1000, true, 1);
    plugin.SetSongPosition(2000, false, 1);
    EXPECT_EQ(plugin.SongPosition, 2000);
    EXPECT_TRUE(plugin.PositionJumped);
    plugin.PositionJumped = false; // the time query consumes it
    plugin.SetSongPosition(3000, false, 1);
    EXPECT_FALSE(plugin.PositionJumped);
}

struct NoteCase {
    bool on;
    float pitch; // Pitch2 for a note-on, Pitch for a note-off
    std::uint8_t velocity, channel;
    std::int32_t expected;
};

TEST(PluginBase, NotesBecomeMidiMessagesUnderTheHostLock)
{
    const NoteCase cases[] = {
        {true, 130.4f, 100, 0, 0x90 | (127 << 8) | (100 << 16)},
        {true, -3.0f, 100, 0, 0x90 | (0 << 8) | (100 << 16)},
        {true, 60.5f, 1, 2, 0x92 | (60 << 8) | (1 << 16)}, // half to even
        {true, 61.5f, 1, 2, 0x92 | (62 << 8) | (1 << 16)},
        {true, 64.49f, 127, 15, 0x9F | (64 << 8) | (127 << 16)},
        {false, 64.6f, 64, 3, 0x83 | (65 << 8) | (64 << 16)},
        {false, 200.0f, 0, 0, 0x80 | (127 << 8)},
    };
    for (const NoteCase& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.on ? "on " : "off ") << c.pitch);
        TRecordingHost host;
        TProbePlugin plugin(&host, nullptr, Settings());
        if (c.on)
            plugin.NoteOn(1, c.velocity, 77, /*Pitch*/ 10.0f, c.pitch, c.channel, 480, true, 33, 0);
        else
            plugin.NoteOff(1, c.velocity, 77, c.pitch, c.channel, true, 33);
        EXPECT_EQ(host.calls, (std::vector<std::string>{"Lock 1", "MidiMessage 0 " + std::to_string(c.expected) + " 33",
                                                        "Lock 0"}));
    }
}

TEST(PluginBase, RoundHalfEvenAndNoteLimits)
{
    const std::pair<double, double> rounding[] = {{0.5, 0.0}, {1.5, 2.0},   {2.5, 2.0},  {-0.5, -0.0},
                                                  {-1.5, -2.0}, {2.49, 2.0}, {2.51, 3.0}, {-2.6, -3.0}};
    for (const auto& [in, out] : rounding)
        EXPECT_EQ(RoundHalfEven(in), out) << in;
    EXPECT_EQ(RoundHalfEven(std::nan("")), 0.0);
    EXPECT_EQ(ClampMidiNote(-1.0), 0);
    EXPECT_EQ(ClampMidiNote(128.0), 127);
    EXPECT_EQ(ClampMidiNote(1e30), 127);
    EXPECT_EQ(ClampMidiNote(std::nan("")), 0);
    EXPECT_EQ(ClampMidiNote(64.0), 64);
}

TEST(PluginBase, RefreshInfoRunsUpdateInfoOnlyWhenForced)
{
    TProbePlugin plugin(nullptr, nullptr, Settings());
    plugin.RefreshInfo(false);
    EXPECT_EQ(plugin.updateInfoCalls, 0);
    plugin.RefreshInfo(true);
    EXPECT_EQ(plugin.updateInfoCalls, 1);
}

TEST(PluginBase, StoringSetters)
{
    TBaseAudioPlugin plugin(nullptr, nullptr, Settings());
    plugin.SetBlockSize(1024);
    plugin.SetPlaying(true);
    plugin.SetProcessFlags(0x12);
    plugin.SetLatencies(64, 128);
    plugin.SetActive(true);
    EXPECT_EQ(plugin.BlockSize, 1024);
    EXPECT_TRUE(plugin.Playing);
    EXPECT_EQ(plugin.ProcessFlags, 0x12);
    EXPECT_TRUE(plugin.IsOffline());
    EXPECT_EQ(plugin.InputLatency, 64);
    EXPECT_EQ(plugin.OutputLatency, 128);
    EXPECT_TRUE(plugin.Active);
    plugin.SetProcessFlags(0x200);
    EXPECT_FALSE(plugin.IsOffline());
}

TEST(PluginBase, QueriesAnswerEmptyResults)
{
    TBaseAudioPlugin plugin(nullptr, nullptr, Settings());
    std::string text = "stale";
    plugin.GetParamName(0, text);
    EXPECT_EQ(text, "");
    text = "stale";
    plugin.GetParamLabel(0, text);
    EXPECT_EQ(text, "");
    text = "stale";
    plugin.GetProgramName(0, 0, text);
    EXPECT_EQ(text, "");
    text = "stale";
    plugin.GetMidiKeyName(60, text);
    EXPECT_EQ(text, "");
    text = "stale";
    plugin.GetCategoryString(text);
    EXPECT_EQ(text, "");
    plugin.GetVersionString(text);
    EXPECT_EQ(text, "1");
    std::u16string display = u"stale";
    plugin.GetParamDisplay(0, true, display);
    EXPECT_EQ(display, u"");
    EXPECT_EQ(plugin.GetParamValue(0), 0.0f);
    EXPECT_EQ(plugin.GetCurrentProgram(), 0);
    EXPECT_EQ(plugin.GetUniqueID(), 0);
    EXPECT_FALSE(plugin.MatchesDescription(plugin.Description));
    EXPECT_FALSE(plugin.KeyDown(65, 0));
    EXPECT_FALSE(plugin.KeyUp(65, 0));
    EXPECT_FALSE(plugin.MouseWheel(-120));
}

// A plugin with buses named in0.., DefaultActive alternating true/false.
void AddBuses(TBaseAudioPlugin& plugin, bool input, std::int32_t count)
{
    const std::int32_t old = input ? plugin.NumInputBuses : plugin.NumOutputBuses;
    plugin.SetBusCount(input, count);
    auto& buses = input ? plugin.InputBuses : plugin.OutputBuses;
    for (std::int32_t i = old; i < count; ++i) {
        std::snprintf(buses[static_cast<std::size_t>(i)].Name, 64, "%s%d", input ? "in" : "out", i);
        buses[static_cast<std::size_t>(i)].Channels = 2;
        buses[static_cast<std::size_t>(i)].DefaultActive = (i % 2) == 0;
    }
}

TEST(PluginBase, ResetBusStatesKeepsTheStatesOfExistingBuses)
{
    TBaseAudioPlugin plugin(nullptr, nullptr, Settings());
    AddBuses(plugin, true, 2);
    AddBuses(plugin, false, 1);
    plugin.ResetBusStates(0, 0);
    EXPECT_TRUE(plugin.InputBusStates[0].Active);
    EXPECT_FALSE(plugin.InputBusStates[1].Active);
    EXPECT_TRUE(plugin.OutputBusStates[0].Active);

    // The host switches the existing buses; then the plugin grows by one
    // input and two outputs and the information is read again.
    plugin.SetBusActive(true, 0, false);
    plugin.SetBusActive(true, 1, true);
    plugin.SetBusActive(false, 0, false);
    const std::int32_t oldInputs = plugin.NumInputBuses, oldOutputs = plugin.NumOutputBuses;
    AddBuses(plugin, true, 3);
    AddBuses(plugin, false, 3);
    plugin.ResetBusStates(oldInputs, oldOutputs);

    const bool inputs[] = {false, true, true};
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(plugin.InputBusStates[i].Active, inputs[i]) << "input " << i;
    const bool outputs[] = {false, false, true};
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(plugin.OutputBusStates[i].Active, outputs[i]) << "output " << i;
    for (const TBusState& s : plugin.InputBusStates)
        EXPECT_EQ(s.Value, 0);
    EXPECT_STREQ(plugin.InputBuses[2].Name, "in2");
}

TEST(PluginBase, BusIndicesOutsideTheArraysAreIgnored)
{
    TBaseAudioPlugin plugin(nullptr, nullptr, Settings());
    AddBuses(plugin, true, 1);
    plugin.SetBusActive(true, 1, true);
    plugin.SetBusActive(true, -1, true);
    plugin.SetBusActive(false, 0, true);
    plugin.ResetBusStates(5, -3); // first beyond the end, negative first
    EXPECT_FALSE(plugin.InputBusStates[0].Active);
    // Shrinking drops the states of the removed buses.
    plugin.SetBusCount(true, 0);
    EXPECT_EQ(plugin.NumInputBuses, 0);
    EXPECT_TRUE(plugin.InputBusStates.empty());
    plugin.SetEventBusCount(false, 2);
    EXPECT_EQ(plugin.NumEventOutputBuses, 2);
    EXPECT_EQ(plugin.EventOutputBuses.size(), 2u);
}

// --- Editors --------------------------------------------------------------------------

class TProbeEditor : public TBaseAudioPluginEditor {
public:
    TProbeEditor(TBaseAudioPlugin* plugin, std::vector<std::string>* log) : TBaseAudioPluginEditor(plugin), log(log) {}
    ~TProbeEditor() override { log->push_back("destroyed"); }
    void Close() override
    {
        log->push_back("Close");
        TBaseAudioPluginEditor::Close();
    }
    void Refresh() override { log->push_back("Refresh"); }
    std::vector<std::string>* log;
};

TEST(Editor, FreshEditor)
{
    TBaseAudioPlugin plugin(nullptr, nullptr, Settings());
    TBaseAudioPluginEditor editor(&plugin);
    EXPECT_EQ(editor.Plugin, &plugin);
    EXPECT_EQ(editor.ParentWnd, nullptr);
    EXPECT_FALSE(editor.IsOpen);
    EXPECT_FALSE(editor.CanShow);
    EXPECT_TRUE(editor.ViewName.empty());
    EXPECT_EQ(editor.X + editor.Y, 0);
    EXPECT_EQ(editor.Width, 0);
    EXPECT_EQ(editor.Height, 0);
    editor.UpdateSize();
    EXPECT_EQ(editor.Width, 0);
    EXPECT_EQ(editor.Height, 0);
    EXPECT_TRUE(editor.SuppressRefresh);
    EXPECT_TRUE(editor.Visible);
    EXPECT_EQ(editor.GetWindowHandle(), nullptr);
    TRect limits{1, 2, 3, 4};
    TPoint origin{5, 6};
    editor.GetSizeLimits(limits, origin);
    EXPECT_EQ(limits.Left, 0);
    EXPECT_EQ(limits.Top, 0);
    EXPECT_EQ(limits.Right, INT32_MAX);
    EXPECT_EQ(limits.Bottom, INT32_MAX);
    EXPECT_EQ(origin.X, 0);
    EXPECT_EQ(origin.Y, 0);
}

TEST(Editor, SetRectTakesHeightBeforeWidth)
{
    TBaseAudioPluginEditor editor(nullptr);
    editor.SetRect(10, 20, 300, 400);
    EXPECT_EQ(editor.X, 10);
    EXPECT_EQ(editor.Y, 20);
    EXPECT_EQ(editor.Width, 400);
    EXPECT_EQ(editor.Height, 300);
    editor.SetPosition(-5, 7);
    EXPECT_EQ(editor.X, -5);
    EXPECT_EQ(editor.Y, 7);
    EXPECT_EQ(editor.Width, 400);
    editor.SetVisible(false);
    EXPECT_FALSE(editor.Visible);
}

TEST(Editor, OpenClosesAnOpenEditorFirst)
{
    std::vector<std::string> log;
    TProbeEditor editor(nullptr, &log);
    auto* first = reinterpret_cast<TWindowHandle>(std::uintptr_t{0x1000});
    auto* second = reinterpret_cast<TWindowHandle>(std::uintptr_t{0x2000});
    editor.Open(nullptr, first, 0, 0);
    EXPECT_TRUE(log.empty()); // closed editor: no Close
    EXPECT_EQ(editor.ParentWnd, first);
    editor.IsOpen = true; // as a format's Open leaves it
    editor.Open(nullptr, second, 0, 0);
    EXPECT_EQ(log, std::vector<std::string>{"Close"});
    EXPECT_EQ(editor.ParentWnd, second);
    EXPECT_FALSE(editor.IsOpen);
    editor.Close();
    EXPECT_EQ(editor.ParentWnd, nullptr);
}

TEST(Editor, PluginOwnsItsEditors)
{
    std::vector<std::string> log;
    {
        TBaseAudioPlugin plugin(nullptr, nullptr, Settings());
        auto owned = std::make_unique<TProbeEditor>(&plugin, &log);
        TProbeEditor* editor = owned.get();
        plugin.AddEditor(std::move(owned));
        plugin.AddEditor(std::unique_ptr<TBaseAudioPluginEditor>(editor)); // already there
        plugin.AddEditor(nullptr);
        EXPECT_EQ(plugin.EditorCount(), 1);
        EXPECT_EQ(plugin.GetEditors(0), editor);
        EXPECT_THROW(plugin.GetEditors(1), Exception);
        EXPECT_THROW(plugin.GetEditors(-1), Exception);
        plugin.FreeEditors();
        EXPECT_EQ(log, std::vector<std::string>{"destroyed"});
        EXPECT_EQ(plugin.EditorCount(), 0);
        plugin.AddEditor(std::make_unique<TProbeEditor>(&plugin, &log));
    }
    EXPECT_EQ(log, (std::vector<std::string>{"destroyed", "destroyed"})); // freed with the plugin
}

TEST(Editor, RefreshEditorsHonoursSuppression)
{
    const struct {
        bool suppress, force, refreshed;
    } cases[] = {{true, false, false}, {true, true, true}, {false, false, true}, {false, true, true}};
    for (const auto& c : cases) {
        std::vector<std::string> log;
        TBaseAudioPlugin plugin(nullptr, nullptr, Settings());
        auto editor = std::make_unique<TProbeEditor>(&plugin, &log);
        editor->SuppressRefresh = c.suppress;
        plugin.AddEditor(std::move(editor));
        plugin.RefreshEditors(c.force);
        EXPECT_EQ(!log.empty() && log[0] == "Refresh", c.refreshed)
            << "suppress " << c.suppress << " force " << c.force;
        plugin.FreeEditors();
    }
}

// --- Shell list ----------------------------------------------------------------------

TClassID Id(std::uint8_t first)
{
    TClassID id{};
    id[0] = first;
    id[15] = static_cast<std::uint8_t>(~first);
    return id;
}

TEST(ShellList, NamesDifferingInCaseShareOneEntryWithTheLastFields)
{
    TShellPluginInfoList list;
    TShellPluginInfo* a = list.AddOrUpdate("Synth A", 0, Id(1), 100);
    TShellPluginInfo* b = list.AddOrUpdate("synth a", 4, Id(2), 200);
    EXPECT_EQ(a, b);
    ASSERT_EQ(list.Count(), 1);
    const TShellPluginInfo* item = list.GetItems(0);
    EXPECT_EQ(item->Name, "Synth A");
    EXPECT_EQ(item->Kind, 4);
    EXPECT_EQ(item->Id, 200);
    EXPECT_EQ(item->ClassID, Id(2));
    EXPECT_EQ(list.IndexOf("SYNTH A"), 0);
    EXPECT_EQ(list.IndexOf("Synth B"), -1);
}

TEST(ShellList, ItemsAreSortedByNameAndRangeChecked)
{
    TShellPluginInfoList list;
    list.AddOrUpdate("Reverb", 0, TClassID{}, 3);
    list.AddOrUpdate("delay", 0, TClassID{}, 2);
    list.AddOrUpdate("Chorus", 0, TClassID{}, 1);
    EXPECT_EQ(list.AddOrUpdate("", 0, TClassID{}, 9), nullptr); // an empty name is no key
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.GetItems(0)->Name, "Chorus");
    EXPECT_EQ(list.GetItems(1)->Name, "delay");
    EXPECT_EQ(list.GetItems(2)->Name, "Reverb");
    EXPECT_EQ(list.GetItems(-1), nullptr);
    EXPECT_EQ(list.GetItems(list.Count()), nullptr);
}

TEST(ShellList, AssignCopiesAndAssignNullEmpties)
{
    TShellPluginInfoList source;
    source.AddOrUpdate("B plugin", 0, Id(7), 2);
    source.AddOrUpdate("A plugin", 7, Id(8), 1);

    TShellPluginInfoList copy;
    copy.AddOrUpdate("Old", 0, TClassID{}, 5);
    copy.Assign(&source);
    ASSERT_EQ(copy.Count(), 2);
    for (std::int32_t i = 0; i < 2; ++i) {
        const TShellPluginInfo* s = source.GetItems(i);
        const TShellPluginInfo* c = copy.GetItems(i);
        EXPECT_NE(s, c); // own items
        EXPECT_EQ(c->Name, s->Name);
        EXPECT_EQ(c->Kind, s->Kind);
        EXPECT_EQ(c->Id, s->Id);
        EXPECT_EQ(c->ClassID, s->ClassID);
    }
    EXPECT_EQ(copy.IndexOf("Old"), -1);
    source.Clear();
    EXPECT_EQ(copy.GetItems(0)->Name, "A plugin");

    copy.Assign(&copy);
    EXPECT_EQ(copy.Count(), 2);
    copy.Assign(nullptr);
    EXPECT_EQ(copy.Count(), 0);
}

// --- Menu list -----------------------------------------------------------------------

class TCountedItem : public TParamMenuInfo {
public:
    explicit TCountedItem(int* alive) : alive(alive) { ++*alive; }
    ~TCountedItem() override { --*alive; }
    int* alive;
};

// Counts its live entries in *alive.
class TProbeMenu : public TMenuItemList {
public:
    explicit TProbeMenu(int* alive) : alive(*alive) {}
    std::unique_ptr<TParamMenuInfo> NewItem() override
    {
        if (refuse)
            return nullptr;
        return std::make_unique<TCountedItem>(&alive);
    }
    void ItemAdded(std::int32_t index, TParamMenuInfo* item) override
    {
        added.emplace_back(index, item);
        // The entry is filled and in the list when this runs.
        EXPECT_EQ(GetItems(index), item);
        EXPECT_FALSE(item->Text.empty());
    }
    bool refuse = false;
    int& alive;
    std::vector<std::pair<std::int32_t, TParamMenuInfo*>> added;
};

TEST(MenuList, AddItemFillsAppendsAndReports)
{
    int alive = 0;
    TProbeMenu menu(&alive);
    EXPECT_EQ(menu.AddItem(3, 0, kMenuItemEnabled, u"Learn"), 0);
    EXPECT_EQ(menu.AddItem(3, 1, kMenuItemEnabled | kMenuItemTicked | kMenuItemHostOwned, u"Lock"), 1);
    ASSERT_EQ(menu.Count(), 2);
    const TParamMenuInfo* item = menu.GetItems(1);
    EXPECT_EQ(item->MenuId, 3);
    EXPECT_EQ(item->ItemIndex, 1);
    EXPECT_EQ(item->Text, u"Lock");
    EXPECT_EQ(item->Flags, 0x0D);
    ASSERT_EQ(menu.added.size(), 2u);
    EXPECT_EQ(menu.added[1].first, 1);
    EXPECT_EQ(menu.added[1].second, item);
    EXPECT_EQ(alive, 2);
}

TEST(MenuList, NewItemGivingNoneAddsNothing)
{
    int alive = 0;
    TProbeMenu menu(&alive);
    menu.refuse = true;
    EXPECT_EQ(menu.AddItem(1, 0, 0, u"x"), -1);
    EXPECT_EQ(menu.Count(), 0);
    EXPECT_TRUE(menu.added.empty());
}

TEST(MenuList, DeleteAndClearFreeTheEntries)
{
    int alive = 0;
    {
        TProbeMenu menu(&alive);
        for (char16_t c : std::u16string(u"abcd"))
            menu.AddItem(0, static_cast<std::int32_t>(c), 0, std::u16string(1, c));
        menu.Delete(4);  // out of range: nothing
        menu.Delete(-1); // likewise
        EXPECT_EQ(menu.Count(), 4);
        menu.Delete(1);
        EXPECT_EQ(alive, 3);
        ASSERT_EQ(menu.Count(), 3);
        const char16_t* order[] = {u"a", u"c", u"d"}; // order kept
        for (std::int32_t i = 0; i < 3; ++i)
            EXPECT_EQ(menu.GetItems(i)->Text, order[i]);
        menu.Clear();
        EXPECT_EQ(alive, 0);
        EXPECT_EQ(menu.Count(), 0);
        menu.AddItem(0, 0, 0, u"again");
        EXPECT_EQ(alive, 1);
    }
    EXPECT_EQ(alive, 0); // freed with the list
}

TEST(MenuList, BaseListMakesPlainEntries)
{
    TMenuItemList menu;
    EXPECT_EQ(menu.AddItem(2, 5, kMenuItemSeparator, u"-"), 0);
    EXPECT_EQ(menu.GetItems(0)->Flags, kMenuItemSeparator);
    EXPECT_EQ(typeid(*menu.GetItems(0)), typeid(TParamMenuInfo));
}

} // namespace
