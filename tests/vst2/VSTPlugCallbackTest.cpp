// The host callback as the fixture plugins call it, the time information
// they read, and the MIDI that travels both ways. Under Wine.

#include "VSTPlugTestSupport.h"

#include "FPUState.h"

#include <cmath>
#include <cstring>

namespace {

TEST(VSTHostCallback, IdentifiesTheHostWithOrWithoutAPlugin)
{
    TLoaded gain("vst2_gain.dll");
    for (bool withEffect : {false, true}) {
        auto call = [&](VstInt32 op, void* ptr = nullptr) { return gain.Fixture->CallHost(withEffect, op, 0, 0, ptr, 0); };
        EXPECT_EQ(call(audioMasterVersion), 2400) << withEffect;
        EXPECT_EQ(call(audioMasterGetVendorVersion), 10010) << withEffect;
        char text[64];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(call(audioMasterGetVendorString, text), 1);
        EXPECT_STREQ(text, "Norvake");
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(call(audioMasterGetProductString, text), 1);
        EXPECT_STREQ(text, "Vornish Wrapper");
        EXPECT_EQ(call(audioMasterCurrentId), 0);
    }
    // Without an effect nothing else is answered.
    const VstInt32 others[] = {audioMasterGetSampleRate, audioMasterGetBlockSize, audioMasterTempoAt,
                               audioMasterGetNumAutomatableParameters, audioMasterGetAutomationState,
                               audioMasterGetLanguage, audioMasterIOChanged, audioMasterSizeWindow,
                               audioMasterWillReplaceOrAccumulate};
    for (VstInt32 op : others)
        EXPECT_EQ(gain.Fixture->CallHost(false, op, 0, 0, nullptr, 0), 0) << op;
    EXPECT_EQ(gain.Host.IOChanges, 0);
}

TEST(VSTHostCallback, RestoresTheFloatingPointStateUnlessTheHostSaysNot)
{
    TLoaded gain("vst2_gain.dll");
    auto setMxcsr = [](std::uint32_t value) { __asm__ volatile("ldmxcsr %0" : : "m"(value)); };
    const std::uint32_t odd = 0x1F80; // all masked, no flush-to-zero
    ASSERT_NE(DefaultMXCSR(), odd);

    setMxcsr(odd);
    gain.Call(audioMasterGetSampleRate);
    EXPECT_EQ(CurrentMXCSR(), DefaultMXCSR());

    gain.Plugin->SetProperties(kPropKeepFPUState, true);
    setMxcsr(odd);
    gain.Call(audioMasterGetSampleRate);
    EXPECT_EQ(CurrentMXCSR(), odd);
    RestoreFPUState();
}

TEST(VSTHostCallback, CapabilityAnswersAreCaseSensitiveAndAskTheHostAboutResizing)
{
    TLoaded gain("vst2_gain.dll");
    struct Row {
        const char* Text;
        bool Resizable;
        VstIntPtr WithEffect, WithoutEffect;
    };
    const Row rows[] = {
        {"sendVstEvents", true, 1, 1},        {"receiveVstMidiEvent", true, 1, 1}, {"supportShell", true, 1, 1},
        {"receiveVstTimeInfo", true, -1, -1}, {"offline", true, -1, -1},           {"sizeWindow", true, 1, 1},
        {"sizeWindow", false, -1, 1},         {"SIZEWINDOW", false, 0, 0},         {"Offline", true, 0, 0},
        {"unknownThing", true, 0, 0},
    };
    for (const Row& row : rows) {
        gain.Host.Resizable = row.Resizable;
        char text[64];
        std::strcpy(text, row.Text);
        EXPECT_EQ(gain.Fixture->CallHost(true, audioMasterCanDo, 0, 0, text, 0), row.WithEffect) << row.Text;
        EXPECT_EQ(gain.Fixture->CallHost(false, audioMasterCanDo, 0, 0, text, 0), row.WithoutEffect) << row.Text;
    }
}

TEST(VSTHostCallback, AnswersTheHostState)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    p.SetLatencies(11, 22);
    p.SetTempo(128.5);
    struct Row {
        VstInt32 Opcode;
        VstIntPtr Answer;
    };
    const Row rows[] = {
        {audioMasterGetSampleRate, 44100},
        {audioMasterGetBlockSize, 512},
        {audioMasterGetInputLatency, 11},
        {audioMasterGetOutputLatency, 22},
        {audioMasterTempoAt, 1285000},
        {audioMasterGetNumAutomatableParameters, 2560},
        {audioMasterWillReplaceOrAccumulate, 1},
        {audioMasterGetCurrentProcessLevel, 0},
        {audioMasterGetAutomationState, 4},
        {audioMasterGetLanguage, 1},
        {5, 0},
        {9, 0},
        {43, 0},
        {99, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(gain.Call(row.Opcode), row.Answer) << row.Opcode;
    for (std::int32_t flags : {0x02, 0x10, 0x12}) {
        p.SetProcessFlags(flags);
        EXPECT_EQ(gain.Call(audioMasterGetCurrentProcessLevel), 4) << flags;
    }
    p.SetProcessFlags(0x200);
    EXPECT_EQ(gain.Call(audioMasterGetCurrentProcessLevel), 0);

    const auto* dir = reinterpret_cast<const char*>(gain.Call(audioMasterGetDirectory));
    ASSERT_NE(dir, nullptr);
    std::string expected = FixturePath("x");
    expected.pop_back();
    EXPECT_EQ(std::string(dir), expected);
    EXPECT_EQ(expected.back(), '\\');
}

TEST(VSTHostCallback, AutomationReachesTheHostOnlyForRealParameters)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    EXPECT_EQ(gain.Call(audioMasterAutomate, 1, 0, nullptr, 0.75f), 0);
    gain.Call(audioMasterAutomate, 3, 0, nullptr, 0.5f);  // numParams is 3
    gain.Call(audioMasterAutomate, -1, 0, nullptr, 0.5f);
    gain.Fixture->CallHost(false, audioMasterAutomate, 0, 0, nullptr, 0.5f); // no effect
    gain.Host.Automatable = false;
    gain.Call(audioMasterAutomate, 0, 0, nullptr, 0.25f);
    gain.Host.Automatable = true;
    p.SetProperties(kPropReportParamChanges, false);
    gain.Call(audioMasterAutomate, 0, 0, nullptr, 0.125f);
    p.SetProperties(kPropReportParamChanges, true);
    gain.Call(audioMasterAutomate, 2, 0, nullptr, 1.0f);
    const std::vector<std::pair<std::int32_t, float>> expected = {{1, 0.75f}, {2, 1.0f}};
    EXPECT_EQ(gain.Host.Params, expected);
}

TEST(VSTHostCallback, PinsMidiIdleAndWindowSize)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    gain.Host.ConnectedPins = {{0, true}, {1, false}};
    EXPECT_EQ(gain.Call(audioMasterPinConnected, 0, 0), 0);
    EXPECT_EQ(gain.Call(audioMasterPinConnected, 0, 1), 1);
    EXPECT_EQ(gain.Call(audioMasterPinConnected, 1, 1), 0);
    EXPECT_EQ(gain.Call(audioMasterPinConnected, 1, 0), 1);

    ASSERT_FALSE(p.AcceptsMidi);
    EXPECT_EQ(gain.Call(audioMasterWantMidi, 0, 1), 0);
    EXPECT_TRUE(p.WantsMidi);
    EXPECT_TRUE(p.AcceptsMidi);
    p.UpdateInfo();
    EXPECT_TRUE(p.AcceptsMidi) << "a re-read forgot the plugin's request";

    EXPECT_EQ(gain.Call(audioMasterIdle), 0);
    EXPECT_EQ(gain.Host.Idles, 1);
    EXPECT_TRUE(p.IdleSizeCheck);
    EXPECT_EQ(gain.Call(audioMasterNeedIdle), 0);
    EXPECT_FALSE(p.NeedIdle) << "the idle pass ran: effIdle answered 0";
    EXPECT_FALSE(p.IdleGuard);

    EXPECT_EQ(gain.Call(audioMasterSizeWindow, 640, 480), 1);
    EXPECT_EQ(gain.Host.Resizes, 1);
}

TEST(VSTHostCallback, IOChangesAndDisplayUpdatesReReadTheLatency)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    gain.Fixture->Set(kSetInitialDelay, 64);
    EXPECT_EQ(gain.Call(audioMasterIOChanged), 1);
    EXPECT_EQ(p.Latency, 64);
    EXPECT_EQ(gain.Host.LatencyChanges, 1);
    EXPECT_EQ(gain.Host.IOChanges, 1);
    gain.Call(audioMasterIOChanged);
    EXPECT_EQ(gain.Host.LatencyChanges, 1) << "unchanged latency reported";

    gain.Fixture->Set(kSetInitialDelay, 128);
    EXPECT_EQ(gain.Call(audioMasterUpdateDisplay), 0);
    EXPECT_EQ(p.Latency, 128);
    EXPECT_EQ(gain.Host.LatencyChanges, 2);
    ASSERT_EQ(gain.Host.Displays.size(), 1u);
    EXPECT_EQ(gain.Host.Displays[0].What, 0x07);
    EXPECT_TRUE(gain.Host.Displays[0].Flag);

    // A display update without an effect pointer is not acted on.
    gain.Fixture->CallHost(false, audioMasterUpdateDisplay, 0, 0, nullptr, 0);
    EXPECT_EQ(gain.Host.Displays.size(), 1u);

    // While loading or moving state the update waits.
    p.InStateTransfer = true;
    gain.Call(audioMasterUpdateDisplay);
    EXPECT_TRUE(p.DisplayUpdatePending);
    EXPECT_EQ(gain.Host.Displays.size(), 1u);
    p.InStateTransfer = false;
}

TEST(VSTHostCallback, ADisplayUpdatePutsBackAProgramThePluginLeftByItself)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    p.SetParamValue(0, false, 0.9f, false); // an edit of program 0 ("Unity", gain value 0.5)
    // The plugin switches to program 2 on its own and tells the host.
    p.Effect->dispatcher(p.Effect, effSetProgram, 0, 2, nullptr, 0.0f);
    gain.Call(audioMasterUpdateDisplay);
    EXPECT_EQ(p.GetCurrentProgram(), 2);
    EXPECT_EQ(p.CurrentProgramBackup.Program, 2);
    EXPECT_EQ(p.CurrentProgramBackup.Name, "Loud");
    p.Effect->dispatcher(p.Effect, effSetProgram, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(p.GetParamValue(0), 0.5f) << "the edit of program 0 was kept";

    // With the check switched off nothing happens.
    TLoaded other("vst2_gain.dll");
    other.Plugin->SetProperties(kPropCheckProgramOnUpdate, false);
    other.Plugin->Effect->dispatcher(other.Plugin->Effect, effSetProgram, 0, 3, nullptr, 0.0f);
    other.Call(audioMasterUpdateDisplay);
    EXPECT_EQ(other.Plugin->CurrentProgramBackup.Program, 0);
}

// --- Time information ---------------------------------------------------------

const VstTimeInfo& Time(TLoaded& loaded, VstInt32 request)
{
    return *reinterpret_cast<const VstTimeInfo*>(loaded.Call(audioMasterGetTime, 0, request));
}

TEST(VSTHostCallbackTime, TransportFlagsAndTheOneShotChange)
{
    TLoaded synth("vst2_synth.dll");
    TVSTPlugin& p = *synth.Plugin;
    EXPECT_EQ(Time(synth, 0).flags, 0xC0);
    p.SetPlaying(true);
    EXPECT_EQ(Time(synth, 0).flags, 0xC7);
    EXPECT_EQ(Time(synth, 0).flags, 0xC6);
    p.SetPlaying(true); // no change
    EXPECT_EQ(Time(synth, 0).flags, 0xC6);
    p.SetPlaying(false);
    EXPECT_EQ(Time(synth, 0).flags, 0xC1);
    EXPECT_EQ(Time(synth, 0).flags, 0xC0);
    p.SetSongPosition(88200, true, 0);
    p.SetTempo(100.0);
    EXPECT_TRUE(p.TempoChanged);
    EXPECT_EQ(Time(synth, 0).flags, 0xC1);
    EXPECT_FALSE(p.PositionJumped);
    EXPECT_FALSE(p.TempoChanged);
    EXPECT_EQ(Time(synth, 0).flags, 0xC0);
    EXPECT_EQ(Time(synth, 0).samplePos, 88200.0);
    EXPECT_EQ(Time(synth, 0).sampleRate, 44100.0);
    EXPECT_TRUE(synth.Host.TimeRequests.empty()) << "the host was asked although nothing needed it";
}

TEST(VSTHostCallbackTime, TimeSignaturesFromTheHostsTimeFormat)
{
    TLoaded synth("vst2_synth.dll");
    struct Row {
        std::int32_t StepsPerBar, StepsPerBeat;
        VstInt32 Numerator, Denominator;
    };
    for (const Row& row : {Row{16, 4, 4, 4}, Row{14, 4, 4, 4}, Row{12, 4, 3, 4}}) {
        synth.Plugin->SetTimeFormat({row.StepsPerBar, row.StepsPerBeat, 96});
        const VstTimeInfo& t = Time(synth, kVstTimeSigValid);
        EXPECT_EQ(t.timeSigNumerator, row.Numerator) << row.StepsPerBar;
        EXPECT_EQ(t.timeSigDenominator, row.Denominator) << row.StepsPerBar;
        EXPECT_EQ(t.flags, 0xC0 | kVstTimeSigValid);
    }
}

TEST(VSTHostCallbackTime, PositionCycleClockAndTempoFromTheHost)
{
    TLoaded synth("vst2_synth.dll");
    TVSTPlugin& p = *synth.Plugin;
    synth.Host.Time.PpqPos = 8.5;
    synth.Host.Time.SamplesPerClock = 1000;
    synth.Host.Time.CycleStart = 4.0;
    synth.Host.Time.CycleEnd = 12.0;
    p.SetTempo(128.5);

    const VstTimeInfo& t = Time(synth, kVstPpqPosValid | kVstCyclePosValid | kVstTempoValid);
    EXPECT_EQ(t.ppqPos, 8.5);
    EXPECT_EQ(t.cycleStartPos, 4.0);
    EXPECT_EQ(t.cycleEndPos, 12.0);
    EXPECT_EQ(t.tempo, 128.5);
    EXPECT_EQ(t.flags & 0xFF00, kVstPpqPosValid | kVstCyclePosValid | kVstTempoValid);
    EXPECT_EQ(synth.Host.TimeRequests.back(), 0x09);

    p.SetProperties(kPropReportCycle, false);
    const VstTimeInfo& noCycle = Time(synth, kVstPpqPosValid | kVstCyclePosValid);
    EXPECT_EQ(noCycle.flags & kVstCyclePosValid, 0);
    EXPECT_EQ(noCycle.cycleEndPos, 0.0);
    EXPECT_EQ(synth.Host.TimeRequests.back(), 0x01);

    struct Row {
        std::int32_t Position, ToNext;
    };
    for (const Row& row : {Row{0, 0}, Row{1000, 1000}, Row{1250, 750}}) {
        p.SetSongPosition(row.Position, false, 0);
        EXPECT_EQ(Time(synth, kVstClockValid).samplesToNextClock, row.ToNext) << row.Position;
        EXPECT_EQ(synth.Host.TimeRequests.back(), 0x02);
    }

    // The answer is also copied to ptr when the plugin gives one, and the
    // nanoseconds count from the activation in whole milliseconds.
    VstTimeInfo copy;
    std::memset(&copy, 0x33, sizeof copy);
    const auto* answer = reinterpret_cast<const VstTimeInfo*>(
        synth.Call(audioMasterGetTime, 0, kVstNanosValid | kVstPpqPosValid, &copy));
    EXPECT_EQ(answer, &p.TimeInfo);
    EXPECT_EQ(std::memcmp(&copy, answer, sizeof copy), 0);
    EXPECT_EQ(answer->flags & kVstNanosValid, kVstNanosValid);
    EXPECT_GE(answer->nanoSeconds, 0.0);
    EXPECT_EQ(std::fmod(answer->nanoSeconds, 1e6), 0.0);
}

TEST(VSTHostCallbackTime, ThePluginReadsTheTimeWhileProcessing)
{
    TLoaded synth("vst2_synth.dll");
    TVSTPlugin& p = *synth.Plugin;
    synth.Fixture->Set(kSetTimeRequest, kVstTempoValid | kVstTimeSigValid);
    p.SetTempo(90.0);
    p.SetPlaying(true);
    std::vector<float> l(32), r(32);
    float* outs[2] = {l.data(), r.data()};
    p.Process(nullptr, outs, 32);
    const VstTimeInfo& seen = synth.Fixture->Probe->LastTime;
    EXPECT_EQ(synth.Fixture->Probe->TimeQueries, 1);
    EXPECT_EQ(seen.tempo, 90.0);
    EXPECT_EQ(seen.timeSigNumerator, 4);
    EXPECT_EQ(seen.flags, 0xC7 | kVstTempoValid | kVstTimeSigValid);
}

// --- MIDI both ways -----------------------------------------------------------

struct TBlock {
    std::vector<float> L = std::vector<float>(64), R = std::vector<float>(64);
    float* Outs[2] = {L.data(), R.data()};
    void Run(TVSTPlugin& p) { p.Process(nullptr, Outs, 64); }
};

TEST(TVSTPluginEvents, NotesReachTheInstrumentEncodedAsTheyWereQueued)
{
    TLoaded synth("vst2_synth.dll");
    TVSTPlugin& p = *synth.Plugin;
    ASSERT_TRUE(p.AcceptsMidi);
    struct Row {
        float Pitch;
        int Note, Detune;
    };
    const Row rows[] = {{60.3f, 60, 30}, {60.6f, 61, -40}, {200.0f, 127, 0}};
    for (const Row& row : rows)
        p.NoteOn(0, 100, 7, row.Pitch, 33.0f, 2, 480, true, 5, 0);
    p.NoteOff(0, 64, 7, 60.0f, 2, false, 9);
    p.MidiMessage(0, 0x00407FB2, 11);
    TBlock block;
    block.Run(p);

    const TFixtureProbe& probe = *synth.Fixture->Probe;
    EXPECT_EQ(probe.EventLists, 1);
    ASSERT_EQ(probe.EventCount, 5);
    for (int i = 0; i < 3; ++i) {
        const VstMidiEvent& e = probe.Events[i];
        EXPECT_EQ(static_cast<unsigned char>(e.midiData[0]), 0x92) << i;
        EXPECT_EQ(e.midiData[1], rows[i].Note) << i;
        EXPECT_EQ(e.midiData[2], 100) << i;
        EXPECT_EQ(e.detune, rows[i].Detune) << i;
        EXPECT_EQ(e.deltaFrames, 5) << i;
        EXPECT_EQ(e.flags, kVstMidiEventIsRealtime) << i;
        EXPECT_EQ(e.noteLength, 0) << i;
        EXPECT_EQ(e.byteSize, 24) << i;
    }
    const VstMidiEvent& off = probe.Events[3];
    EXPECT_EQ(static_cast<unsigned char>(off.midiData[0]), 0x82);
    EXPECT_EQ(off.noteOffVelocity, 64);
    EXPECT_EQ(off.deltaFrames, 9);
    EXPECT_EQ(off.flags, 0);
    const VstMidiEvent& cc = probe.Events[4];
    EXPECT_EQ(static_cast<unsigned char>(cc.midiData[0]), 0xB2);
    EXPECT_EQ(cc.midiData[1], 0x7F);
    EXPECT_EQ(cc.midiData[2], 0x40);
    EXPECT_EQ(cc.deltaFrames, 11);

    // The next block has nothing new: an empty list is still sent.
    block.Run(p);
    EXPECT_EQ(probe.EventLists, 2);
    EXPECT_EQ(probe.LastNumEvents, 0);
    EXPECT_EQ(probe.EventCount, 5);
}

TEST(TVSTPluginEvents, TheInstrumentsOutputReachesTheHost)
{
    TLoaded synth("vst2_synth.dll");
    TVSTPlugin& p = *synth.Plugin;
    p.NoteOn(0, 100, 1, 60.0f, 60.0f, 0, 0, false, 0, 0);
    p.NoteOff(0, 0, 1, 64.0f, 1, false, 0);
    TBlock block;
    block.Run(p);
    const std::vector<std::pair<std::int32_t, bool>> midi = {{0x90 | (72 << 8) | (100 << 16), true},
                                                             {0x81 | (76 << 8), true}};
    EXPECT_EQ(synth.Host.Midi, midi);
    ASSERT_EQ(synth.Host.Sysex.size(), 1u);
    EXPECT_EQ(synth.Host.Sysex[0], (std::vector<std::uint8_t>{0xF0, 0x7D, 0x02, 0xF7}));
}

TEST(TVSTPluginEvents, OutputListsAreReadSafely)
{
    TLoaded gain("vst2_gain.dll");
    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.byteSize = 24;
    note.midiData[0] = static_cast<char>(0xE3);
    note.midiData[1] = 0x7F;
    note.midiData[2] = static_cast<char>(0x81); // bytes above 127 stay unsigned
    char bytes[3] = {static_cast<char>(0xF0), 0x01, static_cast<char>(0xF7)};
    VstMidiSysexEvent good{}, noData{}, negative{};
    for (VstMidiSysexEvent* e : {&good, &noData, &negative}) {
        e->type = kVstSysExType;
        e->byteSize = sizeof *e - 8;
    }
    good.dumpBytes = 3;
    good.sysexDump = bytes;
    noData.dumpBytes = 3;
    negative.dumpBytes = -3;
    negative.sysexDump = bytes;
    VstEvent other{};
    other.type = 99;
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[6];
    } list = {6, 0, {reinterpret_cast<VstEvent*>(&note), reinterpret_cast<VstEvent*>(&noData), nullptr,
                     reinterpret_cast<VstEvent*>(&negative), &other, reinterpret_cast<VstEvent*>(&good)}};
    EXPECT_EQ(gain.Call(audioMasterProcessEvents, 0, 0, &list), 0);
    EXPECT_EQ(gain.Call(audioMasterProcessEvents, 0, 0, nullptr), 0);
    const std::vector<std::pair<std::int32_t, bool>> midi = {{0xE3 | (0x7F << 8) | (0x81 << 16), true}};
    EXPECT_EQ(gain.Host.Midi, midi);
    ASSERT_EQ(gain.Host.Sysex.size(), 1u);
    EXPECT_EQ(gain.Host.Sysex[0], (std::vector<std::uint8_t>{0xF0, 0x01, 0xF7}));
}

TEST(TVSTPluginEvents, APluginThatTakesNoMidiGetsNoEvents)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    ASSERT_FALSE(p.AcceptsMidi);
    p.NoteOn(0, 100, 1, 60.0f, 60.0f, 0, 0, false, 0, 0);
    p.MidiMessage(0, 0x90, 0);
    EXPECT_EQ(p.EventQueue.PendingCount(), 0);
    std::vector<float> l(8), r(8);
    float* ch[2] = {l.data(), r.data()};
    p.Process(ch, ch, 8);
    EXPECT_EQ(gain.Fixture->Probe->EventLists, 0);

    // Once it asks for MIDI, events flow.
    gain.Call(audioMasterWantMidi);
    p.NoteOn(0, 100, 1, 60.0f, 60.0f, 0, 0, false, 0, 0);
    p.Process(ch, ch, 8);
    EXPECT_EQ(gain.Fixture->Probe->EventLists, 1);
    EXPECT_EQ(gain.Fixture->Probe->LastNumEvents, 1);
}

} // namespace
