// TVSTPlugin loading the fixture plugins: construction, the failure paths,
// shells, names, buses and processing. Under Wine.

#include "VSTPlugTestSupport.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

std::string FixtureDir()
{
    std::string path = FixturePath("x");
    path.pop_back();
    return path;
}

TEST(TVSTPluginLoad, OpensTheGainPluginAndTracesEveryStage)
{
    TTraceRecorder trace;
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;

    ASSERT_TRUE(p.IsValid);
    EXPECT_TRUE(p.Active);
    EXPECT_FALSE(p.Creating);
    EXPECT_FALSE(p.Constructing);
    EXPECT_EQ(LoadingPlugin.load(), nullptr);
    EXPECT_EQ(p.Name, "Test Gain");
    EXPECT_EQ(p.InitialName, "from the host");
    EXPECT_EQ(p.Vendor, "Pelorin Fixtures");
    EXPECT_EQ(p.ShellId, VstFourCC('P', 't', 'G', 'n'));
    EXPECT_EQ(p.GetUniqueID(), VstFourCC('P', 't', 'G', 'n'));
    EXPECT_EQ(reinterpret_cast<TVSTPlugin*>(p.Effect->resvd1), &p);
    EXPECT_EQ(std::string(p.DllDir), FixtureDir());
    EXPECT_EQ(p.VstVersion, 2400);
    EXPECT_FALSE(p.OldVst);
    EXPECT_FALSE(p.ProgramNames.has_value());
    EXPECT_FALSE(p.ParamNames.has_value());
    EXPECT_TRUE(p.ProgramTable.empty());
    EXPECT_TRUE(p.CurrentProgramBackup.Valid);
    EXPECT_EQ(p.CurrentProgramBackup.Program, 0);
    EXPECT_EQ(p.CurrentProgramBackup.Name, "Unity");
    EXPECT_EQ(p.NumParams, 3);
    EXPECT_EQ(p.NumPrograms, 5);
    EXPECT_TRUE(p.IsEffect);
    EXPECT_FALSE(p.IsSynth);
    EXPECT_FALSE(p.IsShell);
    EXPECT_TRUE(p.NoEditor);
    EXPECT_FALSE(p.HasEditor);
    EXPECT_FALSE(p.AcceptsMidi) << "the gain plugin answers -1 to receiveVstMidiEvent";
    EXPECT_EQ(p.PluginFlags, 0x200 | 0x100 | 0x0022381D);

    const std::string path = FixturePath("vst2_gain.dll");
    const std::vector<TTraceLine> expected = {
        {"TVSTPlug.Create - id=0", 1, 1},
        {"loading dll", 1, 0},
        {"  filename=" + path, 1, 0},
        {"dll loaded", 1, 0},
        {"found main function", 1, 0},
        {"dll path: " + FixtureDir(), 1, 0},
        {"Call main", 1, 1},
        {"a", 1, 0},
        {"b", 1, 0},
        {"c", 1, 0},
        {"Finished (call main)", 1, -1},
        {"SetBlockSize: 512", 1, 1},
        {"Finished (SetBlockSize)", 1, -1},
        {"SetBlockSize: 512", 1, 1},
        {"Finished (SetBlockSize)", 1, -1},
        {"reached finally", 0, 0},
        {"Finished (Create)", 1, -1},
    };
    EXPECT_EQ(trace.Lines, expected);

    // The opening sequence as the plugin saw it.
    const std::vector<TFixtureCall> calls = gain.Fixture->CallsSince(0);
    const VstInt32 opening[] = {effSetSampleRate, effSetBlockSize, effOpen,         effSetSampleRate,
                                effSetBlockSize,  effMainsChanged, effGetEffectName, effSetEditKnobMode,
                                effGetPlugCategory, effGetVstVersion, effSetProgram};
    ASSERT_GE(calls.size(), std::size(opening));
    for (std::size_t i = 0; i < std::size(opening); ++i)
        EXPECT_EQ(calls[i].Opcode, opening[i]) << "call " << i;
    EXPECT_EQ(calls[0].Value, 44100);
    EXPECT_EQ(calls[0].Opt, 44100.0f);
    EXPECT_EQ(calls[1].Value, 512);
    EXPECT_EQ(calls[5].Value, 1);
    EXPECT_EQ(calls[7].Value, 2);
    EXPECT_EQ(calls[10].Value, 0);
    EXPECT_EQ(calls.back().Opcode, effGetVendorString);
    EXPECT_EQ(gain.Fixture->Probe->EntryHostVersion, 2400);
    EXPECT_EQ(gain.Fixture->Probe->EntryCurrentId, 0);
}

TEST(TVSTPluginLoad, FailsCleanlyForEveryBrokenModule)
{
    struct Row {
        const char* What;
        std::string File;
        std::vector<std::string> Tail; // the last trace lines
    };
    const Row rows[] = {
        {"missing file", "no such plugin.dll",
         {"  filename=" + FixturePath("no such plugin.dll"), "Failed to load plugin dll (handle=0)", "reached finally",
          "Finished (Create)"}},
        {"no accepted entry name", "vst2_entry_capsonly.dll",
         {"dll loaded", "Finished (failed to find import function)", "reached finally"}},
        {"faulting entry point", "vst2_entry_fault.dll",
         {"c", "Finished (call main)", "Finished (no effect)", "reached finally"}},
        {"wrong magic", "vst2_entry_badmagic.dll",
         {"a", "b", "c", "Finished (call main)", "Finished (no effect)", "reached finally"}},
        {"nil effect", "vst2_entry_nil.dll",
         {"a", "b", "c", "Finished (call main)", "Finished (no effect)", "reached finally"}},
    };
    for (const Row& row : rows) {
        TTraceRecorder trace;
        TRecordingHost host;
        const std::string path = FixturePath(row.File);
        const TPluginDescription d = MakeDescription(path);
        {
            TVSTPlugin plugin(&host, &d, kSettings, 0);
            EXPECT_FALSE(plugin.IsValid) << row.What;
            EXPECT_EQ(plugin.Effect, nullptr) << row.What;
            EXPECT_FALSE(plugin.Module) << row.What;
            EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr) << row.What << ": module still loaded";
            EXPECT_EQ(plugin.PluginFlags, 0) << row.What;
            EXPECT_EQ(LoadingPlugin.load(), nullptr) << row.What;
            EXPECT_FALSE(plugin.Creating) << row.What;
        }
        const std::vector<std::string> texts = trace.Texts();
        // Up to the end of the constructor, then the destructor's two lines.
        ASSERT_GE(texts.size(), row.Tail.size() + 2) << row.What;
        EXPECT_EQ(texts[texts.size() - 2], "TVSTPlugin.Destroy") << row.What;
        EXPECT_EQ(texts.back(), "Finished (VSTPlugin.Destroy)") << row.What;
        const std::vector<std::string> tail(texts.end() - 2 - static_cast<std::ptrdiff_t>(row.Tail.size()),
                                            texts.end() - 2);
        EXPECT_EQ(tail, row.Tail) << row.What;
        EXPECT_EQ(trace.IndentSum(), 0) << row.What << ": sections left open";
    }
}

TEST(TVSTPluginLoad, ReportsTheFaultOfTheEntryPoint)
{
    TTraceRecorder trace;
    TRecordingHost host;
    const TPluginDescription d = MakeDescription(FixturePath("vst2_entry_fault.dll"));
    TVSTPlugin plugin(&host, &d, kSettings, 0);
    EXPECT_FALSE(plugin.IsValid);
    bool found = false;
    for (const std::string& text : trace.Texts()) {
        if (text.rfind("main() crashed - EXCEPTION: Access violation at address ", 0) == 0) {
            found = true;
            EXPECT_NE(text.find("Write of address 0000000000000000"), std::string::npos) << text;
        }
    }
    EXPECT_TRUE(found);
    EXPECT_FALSE(trace.Has("b"));
}

TEST(TVSTPluginLoad, FindsAnEntryPointExportedOnlyAsMAIN)
{
    TLoaded main("vst2_entry_mainonly.dll");
    EXPECT_TRUE(main.Plugin->IsValid);
    EXPECT_EQ(main.Plugin->Name, "Entry Test");
    EXPECT_EQ(main.Fixture->Probe->EntryCalls, 1);

    EXPECT_EQ(main.Plugin->FindMainFunction(nullptr), nullptr);
    TPreloaded caps(FixturePath("vst2_entry_capsonly.dll"));
    EXPECT_EQ(main.Plugin->FindMainFunction(caps.Module.Get()), nullptr);
    EXPECT_NE(GetProcAddress(caps.Module.Get(), "VSTPLUGINMAIN"), nullptr) << "fixture lost its export";
}

TEST(TVSTPluginLoad, DestructionSwitchesOffClosesAndFreesTheModule)
{
    TTraceRecorder trace;
    TPreloaded held(FixturePath("vst2_gain.dll"));
    TFixture fixture = held.Fixture();
    const std::string path = FixturePath("vst2_gain.dll");
    TRecordingHost host;
    const TPluginDescription d = MakeDescription(path);
    auto plugin = std::make_unique<TVSTPlugin>(&host, &d, kSettings, 0);
    ASSERT_TRUE(plugin->IsValid);
    trace.Lines.clear();
    const int mark = fixture.Mark();
    plugin.reset();
    const std::vector<TFixtureCall> calls = fixture.CallsSince(mark);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Opcode, effMainsChanged);
    EXPECT_EQ(calls[0].Value, 0);
    EXPECT_EQ(calls[1].Opcode, effClose);
    EXPECT_EQ(fixture.Probe->ClosedCount, 1);
    // The plugin's own reference is gone; only ours holds the module.
    held.Module.Reset();
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);
    ASSERT_GE(trace.Lines.size(), 2u);
    EXPECT_EQ(trace.Lines.front(), (TTraceLine{"TVSTPlugin.Destroy", 1, 1}));
}

TEST(TVSTPluginLoad, OldPluginsAreReadOnceAtLoad)
{
    TPreloaded held(FixturePath("vst2_gain.dll"));
    TFixture fixture = held.Fixture();
    fixture.Set(kSetVstVersion, 1);
    TRecordingHost host;
    const TPluginDescription d = MakeDescription(held.Path);
    TVSTPlugin p(&host, &d, kSettings, 0);
    ASSERT_TRUE(p.IsValid);
    EXPECT_TRUE(p.OldVst);
    ASSERT_TRUE(p.ProgramNames.has_value());
    EXPECT_EQ(*p.ProgramNames, (std::vector<std::string>{"Unity", "Quiet", "Loud", "Half", "Silent"}));
    ASSERT_TRUE(p.ParamNames.has_value());
    EXPECT_EQ(*p.ParamNames, (std::vector<std::string>{"Gain", "Meter", "Mode"}));

    // One snapshot per program, and program 0 selected again afterwards.
    const float gains[] = {0.5f, 0.25f, 1.0f, 0.25f, 0.0f};
    ASSERT_EQ(p.ProgramTable.size(), 5u);
    for (std::size_t i = 0; i < p.ProgramTable.size(); ++i) {
        const TProgramBackup& b = p.ProgramTable[i];
        EXPECT_TRUE(b.Valid) << i;
        EXPECT_EQ(b.Program, static_cast<std::int32_t>(i));
        EXPECT_EQ(b.Name, (*p.ProgramNames)[i]);
        ASSERT_EQ(b.Data.size(), 3 * sizeof(float));
        float gain;
        std::memcpy(&gain, b.Data.data(), sizeof gain);
        EXPECT_EQ(gain, gains[i]) << i;
    }
    EXPECT_EQ(p.GetCurrentProgram(), 0);

    // Later name queries are answered from the lists.
    const int mark = fixture.Mark();
    std::string name;
    p.GetProgramName(3, 0, name);
    EXPECT_EQ(name, "Half");
    p.GetParamName(2, name);
    EXPECT_EQ(name, "Mode");
    for (VstInt32 op : fixture.OpcodesSince(mark)) {
        EXPECT_NE(op, effGetProgramNameIndexed);
        EXPECT_NE(op, effGetParamName);
    }
}

// --- Shells --------------------------------------------------------------------

TEST(TVSTPluginShell, ScansTheSubPluginsUntilAnEmptyName)
{
    TLoaded shell("vst2_shell.dll");
    TVSTPlugin& p = *shell.Plugin;
    EXPECT_TRUE(p.IsShell);
    EXPECT_EQ(shell.Fixture->Probe->EntryCurrentId, 0);
    std::string category;
    p.GetCategoryString(category);
    EXPECT_EQ(category, "shell");

    ASSERT_EQ(p.ShellPlugins.Count(), 3);
    const std::pair<const char*, std::int32_t> expected[] = {
        {"Shell Alpha", 1111}, {"Shell Beta", 2222}, {"Shell Gamma", 1234}};
    for (const auto& [name, id] : expected) {
        const std::int32_t at = p.ShellPlugins.IndexOf(name);
        ASSERT_GE(at, 0) << name;
        EXPECT_EQ(p.ShellPlugins.GetItems(at)->Id, id) << name;
        EXPECT_EQ(p.ShellPlugins.GetItems(at)->Kind, kKindVst2) << name;
        EXPECT_EQ(p.ShellPlugins.GetItems(at)->ClassID, TClassID{}) << name;
    }
    EXPECT_EQ(p.ShellPlugins.IndexOf("Shell Delta"), -1) << "the scan went past the empty name";
    const std::vector<std::string> messages = {
        "Scanning shell plugins [1]", "Scanning shell plugins (Shell Alpha) [1]",
        "Scanning shell plugins (Shell Beta) [1]", "Scanning shell plugins (Shell Gamma) [1]"};
    EXPECT_EQ(shell.Host.Messages, messages);

    // A second scan has nothing to do: the list is filled.
    const int mark = shell.Fixture->Mark();
    p.ScanShellPlugins();
    EXPECT_TRUE(shell.Fixture->OpcodesSince(mark).empty());
}

TEST(TVSTPluginShell, TheEntryPointLearnsTheRequestedSubPlugin)
{
    struct Row {
        std::int32_t LoadFlags, ShellId;
        VstIntPtr SeenInEntry;
        std::int32_t UniqueId;
        const char* Name;
    };
    const Row rows[] = {
        {kLoadShellSubPlugin, 1234, 1234, 1234, "Shell Gamma"}, // the effect's own 9999 is overwritten
        {kLoadShellSubPlugin, 2222, 2222, 2222, "Shell Beta"},
        {0, 1234, 0, VstFourCC('P', 't', 'S', 'h'), "Test Shell"}, // the id counts only with the flag
    };
    for (const Row& row : rows) {
        TTraceRecorder trace;
        TLoaded sub("vst2_shell.dll", row.LoadFlags, row.ShellId);
        EXPECT_EQ(sub.Fixture->Probe->EntryCurrentId, row.SeenInEntry) << row.ShellId;
        EXPECT_EQ(sub.Plugin->GetUniqueID(), row.UniqueId) << row.ShellId;
        EXPECT_EQ(sub.Plugin->ShellId, row.UniqueId) << row.ShellId;
        EXPECT_EQ(sub.Plugin->Name, row.Name);
        EXPECT_EQ(sub.Call(audioMasterCurrentId), row.LoadFlags != 0 ? row.UniqueId : 0);
        ASSERT_FALSE(trace.Lines.empty());
        EXPECT_EQ(trace.Lines.front().Text, "TVSTPlug.Create - id=" + std::to_string(row.ShellId));
    }
}

TEST(TVSTPluginShell, TakesAKnownListInsteadOfScanning)
{
    TShellPluginInfoList known;
    known.AddOrUpdate("Known One", kKindVst2Alt, TClassID{}, 77);
    TRecordingHost host;
    TPluginDescription d = MakeDescription(FixturePath("vst2_shell.dll"), kLoadKnownShellList);
    d.ShellList = &known;
    TVSTPlugin plugin(&host, &d, kSettings, 0);
    ASSERT_TRUE(plugin.IsShell);
    ASSERT_EQ(plugin.ShellPlugins.Count(), 1);
    EXPECT_EQ(plugin.ShellPlugins.GetItems(0)->Name, "Known One");
    EXPECT_EQ(plugin.ShellPlugins.GetItems(0)->Id, 77);
    EXPECT_TRUE(host.Messages.empty()) << "scanned although the list was known";
    EXPECT_EQ(plugin.Description.ShellList, nullptr);
    EXPECT_EQ(plugin.Description.LoadFlags & kLoadKnownShellList, 0);
    EXPECT_EQ(known.Count(), 1) << "the caller's list was changed";
}

// --- Names ----------------------------------------------------------------------

TEST(TVSTPluginNames, UnnamedPluginsTakeTheFileNameWithTheMakersCapitals)
{
    struct Row {
        const char* File;
        const char* Name;
    };
    const Row rows[] = {{"upper/Vornish delay plus.dll", "Vornish Delay Plus"},
                        {"lower/vornish delay plus.dll", "vornish delay plus"}};
    for (const Row& row : rows) {
        TLoaded named(row.File);
        EXPECT_EQ(named.Plugin->Name, row.Name) << row.File;
        EXPECT_EQ(named.Plugin->InitialName, "from the host");
    }
}

// --- Buses ----------------------------------------------------------------------

struct TBusView {
    std::string Name;
    std::int32_t Channels;
    bool DefaultActive;
    bool Active;
    bool operator==(const TBusView&) const = default;
};
std::ostream& operator<<(std::ostream& s, const TBusView& b)
{
    return s << '"' << b.Name << "\" " << b.Channels << "ch default " << b.DefaultActive << " active " << b.Active;
}

std::vector<TBusView> Buses(const TVSTPlugin& p, bool inputs)
{
    const auto& buses = inputs ? p.InputBuses : p.OutputBuses;
    const auto& states = inputs ? p.InputBusStates : p.OutputBusStates;
    EXPECT_EQ(buses.size(), states.size());
    EXPECT_EQ(static_cast<std::int32_t>(buses.size()), inputs ? p.NumInputBuses : p.NumOutputBuses);
    std::vector<TBusView> out;
    for (std::size_t i = 0; i < buses.size() && i < states.size(); ++i)
        out.push_back({buses[i].Name, buses[i].Channels, buses[i].DefaultActive, states[i].Active});
    return out;
}

TEST(TVSTPluginBuses, PairsThePinsAndKeepsBusStatesAcrossARead)
{
    TLoaded pins("vst2_pins.dll");
    TVSTPlugin& p = *pins.Plugin;
    const std::vector<TBusView> inputs = {{"", 2, true, true}, {"", 2, true, true}};
    EXPECT_EQ(Buses(p, true), inputs);
    std::vector<TBusView> outputs = {
        {"L / R", 2, true, true}, {"Mono", 1, true, true}, {"Mono2", 1, false, false}};
    EXPECT_EQ(Buses(p, false), outputs);
    EXPECT_EQ(p.PluginFlags & 0xC0, 0xC0);

    // The host switches two buses; the plugin then adds a bus and says so.
    p.SetBusActive(false, 0, false);
    p.SetBusActive(false, 2, true);
    pins.Fixture->Set(kSetPinLayout, 1);
    EXPECT_EQ(pins.Call(audioMasterIOChanged), 1);
    EXPECT_EQ(pins.Host.IOChanges, 1);
    outputs = {{"L / R", 2, true, false}, {"Mono", 1, true, true}, {"Mono2", 1, false, true}, {"Side", 2, false, false}};
    EXPECT_EQ(Buses(p, false), outputs);
    EXPECT_EQ(Buses(p, true), inputs);
}

TEST(TVSTPluginBuses, TheGainPluginsTwoInPinsMakeOneBus)
{
    TLoaded gain("vst2_gain.dll");
    const std::vector<TBusView> one = {{"In", 2, true, true}};
    EXPECT_EQ(Buses(*gain.Plugin, true), one);
    EXPECT_EQ(Buses(*gain.Plugin, false), one);
    EXPECT_EQ(gain.Plugin->PluginFlags & 0xC0, 0);
}

// --- Processing -------------------------------------------------------------------

constexpr int kFrames = 64;

struct TStereo {
    std::vector<float> L = std::vector<float>(kFrames), R = std::vector<float>(kFrames);
    float* Channels[2] = {L.data(), R.data()};
};

TStereo Ramp()
{
    TStereo s;
    for (int i = 0; i < kFrames; ++i) {
        s.L[i] = static_cast<float>(i - 32) / 64.0f;
        s.R[i] = static_cast<float>(7 - i) / 128.0f;
    }
    return s;
}

TEST(TVSTPluginProcess, TheGainPluginScalesTheInput)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    struct Row {
        float Param;
        float Gain;
    };
    for (const Row& row : {Row{0.5f, 1.0f}, Row{0.75f, 1.5f}, Row{0.125f, 0.25f}, Row{0.0f, 0.0f}}) {
        p.SetParamValue(0, false, row.Param, false);
        TStereo in = Ramp();
        TStereo out;
        p.Process(in.Channels, out.Channels, kFrames);
        for (int i = 0; i < kFrames; ++i) {
            ASSERT_EQ(out.L[i], in.L[i] * row.Gain) << "gain " << row.Gain << " frame " << i;
            ASSERT_EQ(out.R[i], in.R[i] * row.Gain) << "gain " << row.Gain << " frame " << i;
        }
    }
    EXPECT_EQ(gain.Fixture->Probe->ReplacingCalls, 4);
    EXPECT_EQ(gain.Fixture->Probe->ProcessCalls, 0);
    EXPECT_EQ(gain.Fixture->Probe->EventLists, 0) << "events sent to a plugin that takes none";
}

TEST(TVSTPluginProcess, AccumulatesWhenThePluginCannotReplace)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    gain.Fixture->Set(kSetFlagsOff, effFlagsCanReplacing);
    gain.Call(audioMasterIOChanged);
    ASSERT_EQ(p.PluginFlags & kPluginReplacing, 0);
    EXPECT_EQ(gain.Call(audioMasterWillReplaceOrAccumulate), 2);
    p.SetParamValue(0, false, 0.75f, false);
    TStereo in = Ramp();
    TStereo out;
    std::fill(out.L.begin(), out.L.end(), 1.0f);
    std::fill(out.R.begin(), out.R.end(), -1.0f);
    p.Process(in.Channels, out.Channels, kFrames);
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_EQ(out.L[i], 1.0f + in.L[i] * 1.5f) << i;
        ASSERT_EQ(out.R[i], -1.0f + in.R[i] * 1.5f) << i;
    }
    EXPECT_EQ(gain.Fixture->Probe->ProcessCalls, 1);
    EXPECT_EQ(gain.Fixture->Probe->ReplacingCalls, 0);
}

TEST(TVSTPluginProcess, BusModeNeedsFlagBit31)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    std::vector<float> inBus(2 * kFrames), outBus(2 * kFrames, 9.0f);
    for (int i = 0; i < 2 * kFrames; ++i)
        inBus[i] = static_cast<float>(i) / 16.0f;
    float* inputs[1] = {inBus.data()};
    float* outputs[1] = {outBus.data()};

    p.ProcessBuses(inputs, outputs, kFrames);
    EXPECT_EQ(gain.Fixture->Probe->DoubleCalls, 0);
    EXPECT_EQ(outBus, std::vector<float>(2 * kFrames, 9.0f)) << "outputs touched without bus mode";
    EXPECT_EQ(p.PluginFlags & 0x400, 0);

    gain.Fixture->Set(kSetFlagsOn, effFlagsBusProcessing);
    gain.Call(audioMasterIOChanged);
    EXPECT_EQ(p.PluginFlags & 0x400, 0x400);
    p.SetParamValue(0, false, 1.0f, false); // gain 2
    p.ProcessBuses(inputs, outputs, kFrames);
    EXPECT_EQ(gain.Fixture->Probe->DoubleCalls, 1);
    EXPECT_EQ(gain.Fixture->Probe->DoubleInputs, static_cast<void*>(inBus.data()));
    EXPECT_EQ(gain.Fixture->Probe->DoubleOutputs, static_cast<void*>(outBus.data()));
    for (int i = 0; i < 2 * kFrames; ++i)
        ASSERT_EQ(outBus[i], inBus[i] * 2.0f) << i;
}

TEST(TVSTPluginProcess, AudioSettingsAreBracketedWhileActive)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    TFixture& f = *gain.Fixture;

    int mark = f.Mark();
    p.SetSampleRate(48000);
    std::vector<TFixtureCall> calls = f.CallsSince(mark);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].Opcode, effMainsChanged);
    EXPECT_EQ(calls[0].Value, 0);
    EXPECT_EQ(calls[1].Opcode, effSetSampleRate);
    EXPECT_EQ(calls[1].Value, 48000);
    EXPECT_EQ(calls[1].Opt, 48000.0f);
    EXPECT_EQ(calls[2].Opcode, effMainsChanged);
    EXPECT_EQ(calls[2].Value, 1);
    EXPECT_EQ(gain.Call(audioMasterGetSampleRate), 48000);

    mark = f.Mark();
    p.SetBlockSize(256);
    EXPECT_EQ(f.OpcodesSince(mark), (std::vector<VstInt32>{effMainsChanged, effSetBlockSize, effMainsChanged}));
    EXPECT_EQ(f.CallsSince(mark)[1].Value, 256);

    // Inactive: no brackets; switching twice to the same state sends nothing.
    p.SetActive(false);
    p.SetActive(false);
    mark = f.Mark();
    p.SetSampleRate(44100);
    p.SetBlockSize(128);
    EXPECT_EQ(f.OpcodesSince(mark), (std::vector<VstInt32>{effSetSampleRate, effSetBlockSize}));
    p.Reset(); // does nothing while inactive
    EXPECT_EQ(f.Mark(), mark + 2);

    p.SetActive(true);
    mark = f.Mark();
    p.Reset();
    calls = f.CallsSince(mark);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Value, 0);
    EXPECT_EQ(calls[1].Value, 1);
}

TEST(TVSTPluginProcess, TempoGoesOutThroughThePrivateOpcode)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    p.SetTimeFormat({16, 4, 96}); // 24 ticks per step
    const int mark = gain.Fixture->Mark();
    p.SetTempo(140.0);
    const std::vector<TFixtureCall> calls = gain.Fixture->CallsSince(mark);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Opcode, 0x10000);
    EXPECT_EQ(calls[0].Index, 0);
    EXPECT_EQ(calls[0].Value, 4725); // samples per step: 44100 * 15 / 140
    EXPECT_EQ(calls[0].Opt, 140.0f);
    EXPECT_TRUE(p.TempoChanged);
}

TEST(TVSTPluginProcess, LatencyIsReadWhenSwitchedOn)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    gain.Fixture->Set(kSetInitialDelay, 333);
    p.SetActive(false);
    EXPECT_EQ(gain.Host.LatencyChanges, 0);
    p.SetActive(true);
    EXPECT_EQ(p.Latency, 333);
    EXPECT_EQ(gain.Host.LatencyChanges, 1);
    p.SetActive(false);
    p.SetActive(true);
    EXPECT_EQ(gain.Host.LatencyChanges, 1) << "reported although unchanged";
}

} // namespace
