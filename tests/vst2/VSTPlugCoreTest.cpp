// The platform-free rules of VST2 hosting; runs natively (with sanitizers)
// and under Wine.

#include "AllocationCounter.h"
#include "VSTPlugCore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// --- Host identity -----------------------------------------------------------------

TEST(VstHostCanDo, AnswersTheCapabilityTableCaseSensitively)
{
    struct Row {
        const char* Text;
        bool HostResizes;
        VstIntPtr Answer;
    };
    const Row rows[] = {
        {"sendVstEvents", false, 1},         {"sendVstMidiEvent", false, 1},
        {"supportShell", false, 1},          {"sendVstTimeInfo", false, 1},
        {"supplyIdle", false, 1},            {"acceptIOChanges", false, 1},
        {"receiveVstMidiEvent", false, 1},   {"shellCategory", false, 1},
        {"receiveVstEvents", true, -1},      {"receiveVstTimeInfo", true, -1},
        {"reportConnectionChanges", true, -1}, {"asyncProcessing", true, -1},
        {"offline", true, -1},               {"sizeWindow", true, 1},
        {"sizeWindow", false, -1},           {"SIZEWINDOW", true, 0},
        {"sizewindow", true, 0},             {"SendVstEvents", false, 0},
        {"sendVstEvents ", false, 0},        {"", false, 0},
        {"openCloseAnyThread", false, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(VstHostCanDo(row.Text, row.HostResizes), row.Answer) << '"' << row.Text << '"';
    EXPECT_EQ(VstHostCanDo(nullptr, true), 0);
}

TEST(VstEntryPointNames, TriesTheCapitalisedFormsInOrderButNotAllCapitals)
{
    EXPECT_STREQ(kVstEntryPointNames.front(), "VstPluginMain");
    EXPECT_STREQ(kVstEntryPointNames[1], "VSTPluginMain");
    EXPECT_STREQ(kVstEntryPointNames[2], "main");
    EXPECT_STREQ(kVstEntryPointNames.back(), "vstpluginMain");
    std::set<std::string> names(kVstEntryPointNames.begin(), kVstEntryPointNames.end());
    EXPECT_EQ(names.size(), kVstEntryPointNames.size()) << "a name is listed twice";
    // Every mixed-case spelling of "main" is tried, all sixteen of them.
    int mains = 0;
    for (const std::string& n : names)
        mains += (n.size() == 4 && (n[0] | 32) == 'm' && (n[1] | 32) == 'a' && (n[2] | 32) == 'i' && (n[3] | 32) == 'n');
    EXPECT_EQ(mains, 16);
    EXPECT_EQ(names.count("MAIN"), 1u);
    EXPECT_EQ(names.count("VSTPLUGINMAIN"), 0u);
}

// --- Names and texts ---------------------------------------------------------------

TEST(VstNameFromFileName, StripsFolderAndExtensionAndCapitalisesTheMakersNames)
{
    struct Row {
        const char* File;
        const char* Name;
    };
    const Row rows[] = {
        {"C:\\Plugins\\vornish delay plus.dll", "vornish delay plus"},
        {"C:\\Plugins\\Vornish delay plus.dll", "Vornish Delay Plus"},
        {"Z:/work/fixtures/Vornish big  room.dll", "Vornish Big  Room"},
        {"C:\\x\\Vornish 2nd-stage eq.v2.dll", "Vornish 2nd-stage Eq.v2"},
        {"C:\\x\\VornishDelay.dll", "VornishDelay"},
        {"C:\\x\\VORNISH delay.dll", "VORNISH delay"},
        {"Z:/work/fixtures/vst2_gain.dll", "vst2_gain"},
        {"C:plug.dll", "plug"},
        {"noextension", "noextension"},
        {"C:\\folder.with.dots\\name", "name"},
        {"", ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(VstNameFromFileName(row.File), row.Name) << row.File;
}

TEST(VstModuleDirectory, KeepsTheTrailingSeparatorAndAtMost260Characters)
{
    EXPECT_EQ(VstModuleDirectory("C:\\Plugins\\x.dll"), "C:\\Plugins\\");
    EXPECT_EQ(VstModuleDirectory("Z:/work/a/x.dll"), "Z:/work/a/");
    EXPECT_EQ(VstModuleDirectory("x.dll"), "");
    const std::string longDir = "C:\\" + std::string(300, 'd') + "\\";
    const std::string dir = VstModuleDirectory(longDir + "x.dll");
    EXPECT_EQ(dir.size(), 260u);
    EXPECT_EQ(dir, longDir.substr(0, 260));
}

TEST(VstVersionString, JoinsTheDigitsAsFarAsNeeded)
{
    struct Row {
        VstInt32 Version;
        const char* Text;
    };
    const Row rows[] = {
        {2400, "2.4"}, {2412, "2.4.1.2"}, {2410, "2.4.1"}, {2402, "2.4.0.2"}, {1, "1.0"},  {0, "1.0"},
        {-7, "1.0"},   {2, "2.0"},        {1000, "1.0"},   {1100, "1.1"},     {3, "0.0.0.3"}, {12345, "12.3.4.5"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(VstVersionString(row.Version), row.Text) << row.Version;
}

TEST(VstCategoryString, NamesEveryCategoryAndFallsBackByKind)
{
    const char* const names[] = {"effect",      "synth",       "analysis", "mastering", "spacializer", "room fx",
                                 "surround fx", "restoration", "offline",  "shell",     "generator"};
    for (VstInt32 c = 1; c <= 11; ++c) {
        EXPECT_EQ(VstCategoryString(c, false), names[c - 1]) << c;
        EXPECT_EQ(VstCategoryString(c, true), names[c - 1]) << c;
    }
    for (VstInt32 c : {0, 12, -1, 1000}) {
        EXPECT_EQ(VstCategoryString(c, false), "effect") << c;
        EXPECT_EQ(VstCategoryString(c, true), "synth") << c;
    }
}

TEST(ApplyLevelBarRule, RewritesOnlyNineteenCharacterBars)
{
    const std::u16string bar = u"-------\x7f\x7f----------";
    ASSERT_EQ(bar.size(), 19u);

    std::u16string unicode = bar;
    ApplyLevelBarRule(unicode, true);
    EXPECT_EQ(unicode, std::u16string(7, u'\u25AB') + std::u16string(2, u'\u25AA') + std::u16string(10, u'\u25AB'));

    std::u16string plain = bar;
    ApplyLevelBarRule(plain, false);
    EXPECT_EQ(plain, u"'''''''||''''''''''");

    const std::u16string unchanged[] = {
        bar.substr(1),                 // 18 characters
        bar + u"-",                    // 20 characters
        u"-------\x7f\x7f---------x",  // one other character
        u"12.5 dB",
        u"",
    };
    for (const std::u16string& text : unchanged) {
        std::u16string copy = text;
        ApplyLevelBarRule(copy, true);
        EXPECT_EQ(copy, text);
    }
}

TEST(VstFieldText, StopsAtTheTerminatorTheFieldOrTheLimit)
{
    char field[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}; // no terminator
    EXPECT_EQ(VstFieldText(field, sizeof field, 100), "abcdefgh");
    EXPECT_EQ(VstFieldText(field, sizeof field, 3), "abc");
    field[2] = '\0';
    EXPECT_EQ(VstFieldText(field, sizeof field, 100), "ab");
}

// --- Keys ---------------------------------------------------------------------------

TEST(VstKeyMap, MapsFiftyFiveDistinctKeysOntoTheVirtualKeyCodes)
{
    std::set<std::int32_t> windowsKeys;
    std::set<int> vstKeys;
    for (const TVstKeyMapEntry& e : kVstKeyMap) {
        windowsKeys.insert(e.WindowsKey);
        vstKeys.insert(e.VstKey);
    }
    EXPECT_EQ(windowsKeys.size(), 55u);
    EXPECT_EQ(vstKeys.size(), 55u);
    // Codes 1 to 56 except 8, which no Windows key of the map produces.
    for (int code = 1; code <= 56; ++code)
        EXPECT_EQ(vstKeys.count(code), code == 8 ? 0u : 1u) << code;

    struct Row {
        std::int32_t Key;
        int Vst;
    };
    const Row rows[] = {{0x08, 1}, {0x0D, 4}, {0x20, 7}, {0x23, 9},  {0x21, 15}, {0x2E, 22}, {0x60, 24},
                        {0x69, 33}, {0x6F, 39}, {0x74, 44}, {0x7B, 51}, {0x90, 52}, {0x12, 56}, {0x41, 0},
                        {0x7C, 0},  {0, 0}};
    for (const Row& row : rows)
        EXPECT_EQ(VstVirtualKey(row.Key), row.Vst) << std::hex << row.Key;
}

TEST(MakeVstKeyCode, LowerCasesLettersAndMapsModifiers)
{
    struct Row {
        std::int32_t Key;
        TShiftState Shift;
        VstInt32 Character;
        int Virt;
        int Modifier;
    };
    const Row rows[] = {
        {65, 0, 97, 0, 0},     {90, 0, 122, 0, 0},    {64, 0, 64, 0, 0},  {91, 0, 91, 0, 0},
        {0x74, 0, 0x74, 44, 0}, {65, kShiftStateShift, 97, 0, 1},        {65, kShiftStateAlt, 97, 0, 2},
        {65, kShiftStateControl, 97, 0, 8},
        {0x0D, kShiftStateShift | kShiftStateAlt | kShiftStateControl, 0x0D, 4, 11},
        {65, 0x08, 97, 0, 0}, // mouse and other bits are not modifiers
    };
    for (const Row& row : rows) {
        const VstKeyCode code = MakeVstKeyCode(row.Key, row.Shift);
        EXPECT_EQ(code.character, row.Character) << row.Key;
        EXPECT_EQ(code.virt, row.Virt) << row.Key;
        EXPECT_EQ(code.modifier, row.Modifier) << row.Key << " shift " << row.Shift;
    }
}

// --- Time information ------------------------------------------------------------------

TVstTimeState Stopped()
{
    TVstTimeState s;
    s.SongPosition = 4410;
    s.SampleRate = 44100;
    s.Tempo = 120.0;
    s.StepsPerBar = 16;
    s.StepsPerBeat = 4;
    s.CycleAllowed = true;
    return s;
}

THostTimeInfo HostRecord(double ppq, std::int32_t clock, double cycleStart, double cycleEnd)
{
    THostTimeInfo h{};
    h.PpqPos = ppq;
    h.SamplesPerClock = clock;
    h.CycleStart = cycleStart;
    h.CycleEnd = cycleEnd;
    return h;
}

TEST(FillVstTimeInfo, TransportFlagsWithoutRequests)
{
    struct Row {
        bool Playing;
        bool Changed;
        VstInt32 Flags;
    };
    const Row rows[] = {{false, false, 0xC0}, {true, false, 0xC6}, {false, true, 0xC1}, {true, true, 0xC7}};
    for (const Row& row : rows) {
        TVstTimeState s = Stopped();
        s.Playing = row.Playing;
        s.Changed = row.Changed;
        VstTimeInfo info;
        std::memset(&info, 0x55, sizeof info);
        FillVstTimeInfo(s, 0, HostRecord(7.0, 100, 1.0, 2.0), info);
        EXPECT_EQ(info.flags, row.Flags) << row.Playing << row.Changed;
        EXPECT_EQ(info.samplePos, 4410.0);
        EXPECT_EQ(info.sampleRate, 44100.0);
        // Nothing was asked for, so nothing else is filled.
        EXPECT_EQ(info.ppqPos, 0.0);
        EXPECT_EQ(info.tempo, 0.0);
        EXPECT_EQ(info.timeSigNumerator, 0);
        EXPECT_EQ(info.samplesToNextClock, 0);
        EXPECT_EQ(info.nanoSeconds, 0.0);
    }
}

TEST(FillVstTimeInfo, TimeSignatureRoundsStepsPerBarUp)
{
    struct Row {
        std::int32_t StepsPerBar, StepsPerBeat;
        VstInt32 Numerator, Denominator;
    };
    const Row rows[] = {{16, 4, 4, 4}, {14, 4, 4, 4}, {12, 4, 3, 4}, {6, 2, 3, 2}, {7, 2, 4, 2}, {13, 4, 4, 4}};
    for (const Row& row : rows) {
        TVstTimeState s = Stopped();
        s.StepsPerBar = row.StepsPerBar;
        s.StepsPerBeat = row.StepsPerBeat;
        VstTimeInfo info;
        FillVstTimeInfo(s, kVstTimeSigValid, THostTimeInfo{}, info);
        EXPECT_EQ(info.timeSigNumerator, row.Numerator) << row.StepsPerBar << "/" << row.StepsPerBeat;
        EXPECT_EQ(info.timeSigDenominator, row.Denominator);
        EXPECT_EQ(info.flags & kVstTimeSigValid, kVstTimeSigValid);
    }
    // No steps per beat: no signature rather than a division by zero.
    TVstTimeState s = Stopped();
    s.StepsPerBeat = 0;
    VstTimeInfo info;
    FillVstTimeInfo(s, kVstTimeSigValid, THostTimeInfo{}, info);
    EXPECT_EQ(info.flags & kVstTimeSigValid, 0);
}

TEST(FillVstTimeInfo, ClockCountsToTheNextClock)
{
    struct Row {
        std::int32_t Position, ClockStep, ToNext;
        bool Valid;
    };
    const Row rows[] = {{0, 1000, 0, true},     {1000, 1000, 1000, true}, {1250, 1000, 750, true},
                        {1999, 1000, 1, true},  {2000, 1000, 1000, true}, {500, 0, 0, false},
                        {-250, 1000, 250, true}};
    for (const Row& row : rows) {
        TVstTimeState s = Stopped();
        s.SongPosition = row.Position;
        VstTimeInfo info;
        FillVstTimeInfo(s, kVstClockValid, HostRecord(0, row.ClockStep, 0, 0), info);
        EXPECT_EQ(info.samplesToNextClock, row.ToNext) << row.Position << " / " << row.ClockStep;
        EXPECT_EQ((info.flags & kVstClockValid) != 0, row.Valid) << row.Position << " / " << row.ClockStep;
    }
}

TEST(FillVstTimeInfo, PositionTempoBarsCycleAndNanos)
{
    TVstTimeState s = Stopped();
    s.Tempo = 128.5;
    s.ElapsedMs = 1234;
    const VstInt32 all = kVstNanosValid | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid |
                         kVstSmpteValid;
    VstTimeInfo info;
    FillVstTimeInfo(s, all, HostRecord(37.5, 0, 4.0, 12.0), info);
    EXPECT_EQ(info.ppqPos, 37.5);
    EXPECT_EQ(info.tempo, 128.5);
    EXPECT_EQ(info.barStartPos, 32.0); // trunc(37.5 / 16) * 16
    EXPECT_EQ(info.cycleStartPos, 4.0);
    EXPECT_EQ(info.cycleEndPos, 12.0);
    EXPECT_EQ(info.nanoSeconds, 1234.0 * 1e6);
    EXPECT_EQ(info.flags, 0xC0 | kVstNanosValid | kVstPpqPosValid | kVstTempoValid | kVstBarsValid |
                              kVstCyclePosValid) << "no SMPTE data";

    // The bar start follows the host's position also when the position
    // itself was not asked for.
    FillVstTimeInfo(s, kVstBarsValid, HostRecord(37.5, 0, 0, 0), info);
    EXPECT_EQ(info.barStartPos, 32.0);
    EXPECT_EQ(info.ppqPos, 0.0);

    // Without the cycle permission no cycle is reported.
    s.CycleAllowed = false;
    FillVstTimeInfo(s, kVstCyclePosValid, HostRecord(0, 0, 4.0, 12.0), info);
    EXPECT_EQ(info.flags & kVstCyclePosValid, 0);
    EXPECT_EQ(info.cycleEndPos, 0.0);
}

TEST(VstHostTimeRequest, AsksTheHostOnlyForWhatIsNeeded)
{
    struct Row {
        VstInt32 Value;
        bool CycleAllowed;
        std::int32_t Request;
    };
    const Row rows[] = {
        {0, true, 0},
        {kVstTempoValid | kVstTimeSigValid | kVstNanosValid | kVstSmpteValid, true, 0},
        {kVstPpqPosValid, true, 0x01},
        {kVstBarsValid, true, 0x01},
        {kVstClockValid, true, 0x02},
        {kVstCyclePosValid, true, 0x09},
        {kVstCyclePosValid, false, 0},
        {kVstPpqPosValid | kVstClockValid | kVstCyclePosValid, true, 0x0B},
        {kVstPpqPosValid | kVstClockValid | kVstCyclePosValid, false, 0x03},
    };
    for (const Row& row : rows)
        EXPECT_EQ(VstHostTimeRequest(row.Value, row.CycleAllowed), row.Request) << std::hex << row.Value;
}

// --- Buses --------------------------------------------------------------------------

TVstPinAnswer Pin(const char* label, VstInt32 flags)
{
    TVstPinAnswer a;
    a.Answered = true;
    std::memcpy(a.Pin.label, label, std::min(std::strlen(label), sizeof a.Pin.label));
    a.Pin.flags = flags;
    return a;
}
const TVstPinAnswer kSilent{}; // the plugin answered 0

struct TBusExpect {
    std::string Name;
    std::int32_t Channels;
    bool Active;
};

TEST(VstPinsToBuses, PairsPinsAsThePluginDescribesThem)
{
    constexpr VstInt32 S = kVstPinIsStereo, A = kVstPinIsActive;
    struct Row {
        const char* What;
        std::vector<TVstPinAnswer> Pins;
        std::vector<TBusExpect> Buses;
    };
    const Row rows[] = {
        {"four undescribed pins", {kSilent, kSilent, kSilent, kSilent}, {{"", 2, true}, {"", 2, true}}},
        {"three undescribed pins", {kSilent, kSilent, kSilent}, {{"", 2, true}, {"", 1, true}}},
        {"L and R", {Pin("L", S | A), Pin("R", S | A)}, {{"L / R", 2, true}}},
        {"In and In", {Pin("In", S | A), Pin("In", S | A)}, {{"In", 2, true}}},
        {"stereo then mono pin", {Pin("L", S), Pin("R", 0)}, {{"L / R", 2, false}}},
        {"two mono pins", {Pin("Mono", A), Pin("Mono2", 0)}, {{"Mono", 1, true}, {"Mono2", 1, false}}},
        {"four stereo pins", {Pin("A", S), Pin("B", S), Pin("C", S), Pin("D", S)}, {{"A / B", 2, false}, {"C / D", 2, false}}},
        {"mono then stereo", {Pin("X", A), Pin("Y", S | A)}, {{"X", 1, true}, {"Y", 2, true}}},
        {"stereo pin then undescribed odd pin", {Pin("L", S | A), kSilent}, {{"L", 2, true}}},
        {"undescribed then described", {kSilent, kSilent, Pin("Aux", A)}, {{"", 2, true}, {"Aux", 1, true}}},
        {"two stereo buses opened in a row are not completed",
         {Pin("A", S), kSilent, kSilent, Pin("B", S), Pin("C", 0)},
         {{"A", 2, false}, {"", 1, true}, {"B", 2, false}, {"C", 1, false}}},
        {"no pins", {}, {}},
    };
    for (const Row& row : rows) {
        const std::vector<TBusInfo> buses = VstPinsToBuses(row.Pins);
        ASSERT_EQ(buses.size(), row.Buses.size()) << row.What;
        for (std::size_t i = 0; i < buses.size(); ++i) {
            EXPECT_EQ(std::string(buses[i].Name), row.Buses[i].Name) << row.What << " bus " << i;
            const std::int32_t channels = buses[i].Channels; // packed record: read by value
            const bool active = buses[i].DefaultActive;
            EXPECT_EQ(channels, row.Buses[i].Channels) << row.What << " bus " << i;
            EXPECT_EQ(active, row.Buses[i].Active) << row.What << " bus " << i;
        }
    }
}

TEST(VstPinsToBuses, KeepsAtMost63CharactersOfLabelsAndJoinedNames)
{
    TVstPinAnswer left{};
    left.Answered = true;
    std::memset(left.Pin.label, 'L', sizeof left.Pin.label); // 64 characters, no terminator
    left.Pin.flags = kVstPinIsStereo;
    std::vector<TBusInfo> buses = VstPinsToBuses({left});
    ASSERT_EQ(buses.size(), 1u);
    EXPECT_EQ(std::string(buses[0].Name), std::string(63, 'L'));

    TVstPinAnswer shortLeft = Pin(std::string(40, 'a').c_str(), kVstPinIsStereo);
    TVstPinAnswer right = Pin(std::string(40, 'b').c_str(), kVstPinIsStereo);
    buses = VstPinsToBuses({shortLeft, right});
    ASSERT_EQ(buses.size(), 1u);
    EXPECT_EQ(std::string(buses[0].Name), (std::string(40, 'a') + " / " + std::string(40, 'b')).substr(0, 63));
}

// --- Events -------------------------------------------------------------------------

TEST(EncodeVstNote, RoundsThePitchAndKeepsTheRestAsDetune)
{
    struct Row {
        float Pitch;
        int Note;
        int Detune;
    };
    const Row rows[] = {{60.3f, 60, 30},  {60.6f, 61, -40}, {200.0f, 127, 0}, {60.5f, 60, 50},
                        {61.5f, 62, -50}, {-3.0f, 0, 0},    {64.0f, 64, 0},   {0.25f, 0, 25}};
    for (const Row& row : rows) {
        VstMidiEvent e{};
        EncodeVstNote(e, true, 100, row.Pitch, 0, false, 0);
        EXPECT_EQ(static_cast<unsigned char>(e.midiData[1]), row.Note) << row.Pitch;
        EXPECT_EQ(e.detune, row.Detune) << row.Pitch;
    }
}

TEST(EncodeVstNote, StatusVelocityFlagsAndNoteOffVelocity)
{
    VstMidiEvent on{};
    EncodeVstNote(on, true, 99, 64.0f, 3, true, 17);
    EXPECT_EQ(static_cast<unsigned char>(on.midiData[0]), 0x93);
    EXPECT_EQ(on.midiData[2], 99);
    EXPECT_EQ(on.midiData[3], 0);
    EXPECT_EQ(on.flags, kVstMidiEventIsRealtime);
    EXPECT_EQ(on.deltaFrames, 17);
    EXPECT_EQ(on.noteOffVelocity, 0);

    VstMidiEvent off{};
    EncodeVstNote(off, false, 45, 64.0f, 15, false, 3);
    EXPECT_EQ(static_cast<unsigned char>(off.midiData[0]), 0x8F);
    EXPECT_EQ(off.midiData[2], 45);
    EXPECT_EQ(off.noteOffVelocity, 45);
    EXPECT_EQ(off.flags, 0);

    // A channel beyond 15 cannot turn the note into another message.
    VstMidiEvent odd{};
    EncodeVstNote(odd, true, 1, 60.0f, 0x23, false, 0);
    EXPECT_EQ(static_cast<unsigned char>(odd.midiData[0]), 0x93);
}

TEST(EncodeVstMidiMessage, PutsTheStatusFirst)
{
    VstMidiEvent e{};
    EncodeVstMidiMessage(e, 0x00403CB1, 9);
    EXPECT_EQ(static_cast<unsigned char>(e.midiData[0]), 0xB1);
    EXPECT_EQ(e.midiData[1], 0x3C);
    EXPECT_EQ(e.midiData[2], 0x40);
    EXPECT_EQ(e.midiData[3], 0);
    EXPECT_EQ(e.deltaFrames, 9);
}

std::vector<const VstMidiEvent*> Listed(VstEvents* list)
{
    std::vector<const VstMidiEvent*> out;
    auto** slots = reinterpret_cast<VstEvent**>(reinterpret_cast<char*>(list) + offsetof(VstEvents, events));
    for (VstInt32 i = 0; i < list->numEvents; ++i)
        out.push_back(reinterpret_cast<const VstMidiEvent*>(slots[i]));
    return out;
}

TEST(TVstEventQueue, HandsTheQueuedEventsOverInOrderAndEmptiesTheQueue)
{
    TVstEventQueue queue;
    queue.QueueMidiMessage(0x007F07B0, 1);
    queue.QueueNote(true, 100, 60.3f, 2, true, 5);
    queue.QueueNote(false, 30, 60.0f, 2, false, 9);
    EXPECT_EQ(queue.PendingCount(), 3);

    VstEvents* list = queue.BuildList(true);
    EXPECT_EQ(queue.PendingCount(), 0);
    const auto events = Listed(list);
    ASSERT_EQ(events.size(), 3u);
    for (const VstMidiEvent* e : events) {
        EXPECT_EQ(e->type, kVstMidiType);
        EXPECT_EQ(e->byteSize, 24);
        EXPECT_EQ(e->noteLength, 0);
        EXPECT_EQ(e->noteOffset, 0);
    }
    EXPECT_EQ(static_cast<unsigned char>(events[0]->midiData[0]), 0xB0);
    EXPECT_EQ(events[0]->deltaFrames, 1);
    EXPECT_EQ(static_cast<unsigned char>(events[1]->midiData[0]), 0x92);
    EXPECT_EQ(events[1]->detune, 30);
    EXPECT_EQ(events[1]->flags, kVstMidiEventIsRealtime);
    EXPECT_EQ(static_cast<unsigned char>(events[2]->midiData[0]), 0x82);
    EXPECT_EQ(events[2]->noteOffVelocity, 30);
    EXPECT_EQ(list->reserved, 0);

    queue.ReleaseList();
    EXPECT_EQ(list->numEvents, 0);
    // The next block without new events gets an empty list.
    EXPECT_EQ(queue.BuildList(true)->numEvents, 0);
    queue.ReleaseList();
}

TEST(TVstEventQueue, DropsEverythingWhenThePluginTakesNoEvents)
{
    TVstEventQueue queue;
    queue.QueueNote(true, 100, 60.0f, 0, false, 0);
    queue.QueueNote(true, 100, 62.0f, 0, false, 0);
    EXPECT_EQ(queue.BuildList(false)->numEvents, 0);
    EXPECT_EQ(queue.PendingCount(), 0);
    queue.ReleaseList();
    EXPECT_EQ(queue.BuildList(true)->numEvents, 0) << "dropped events came back";
    queue.ReleaseList();
}

TEST(TVstEventQueue, ReusedRecordsCarryNothingOfTheirPreviousEvent)
{
    TVstEventQueue queue;
    queue.QueueNote(true, 127, 60.3f, 5, true, 99);
    queue.BuildList(true);
    queue.ReleaseList();
    queue.QueueNote(false, 0, 48.0f, 0, false, 0);
    const auto events = Listed(queue.BuildList(true));
    ASSERT_EQ(events.size(), 1u);
    VstMidiEvent expected{};
    expected.type = kVstMidiType;
    expected.byteSize = 24;
    expected.midiData[0] = static_cast<char>(0x80);
    expected.midiData[1] = 48;
    EXPECT_EQ(std::memcmp(events[0], &expected, sizeof expected), 0);
    queue.ReleaseList();
}

TEST(TVstEventQueue, StopsAllocatingOnceWarmAndTheListOnlyGrows)
{
    TVstEventQueue queue;
    auto block = [&](int n) {
        for (int i = 0; i < n; ++i)
            queue.QueueNote(true, 100, 40.0f + static_cast<float>(i), 0, false, i);
        VstEvents* list = queue.BuildList(true);
        std::vector<const void*> copies;
        for (const VstMidiEvent* e : Listed(list))
            copies.push_back(e);
        queue.ReleaseList();
        return copies;
    };
    const auto first = block(40);
    const std::size_t bytes = queue.ListBytes();
    EXPECT_GE(bytes, VstEventsBytes(40));
    EXPECT_EQ(std::set<const void*>(first.begin(), first.end()).size(), 40u) << "two events share a copy";

    std::vector<const void*> again;
    again.reserve(64);
    const long before = static_cast<long>(AllocationCount());
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 40; ++i)
            queue.QueueNote(true, 100, 40.0f + static_cast<float>(i), 0, false, i);
        VstEvents* list = queue.BuildList(true);
        again.clear();
        auto** slots = reinterpret_cast<VstEvent**>(reinterpret_cast<char*>(list) + offsetof(VstEvents, events));
        for (VstInt32 i = 0; i < list->numEvents; ++i)
            again.push_back(slots[i]);
        queue.ReleaseList();
    }
    EXPECT_EQ(static_cast<long>(AllocationCount()), before) << "a warm block allocated";
    EXPECT_EQ(again, first) << "the copies were not reused";

    block(3);
    EXPECT_EQ(queue.ListBytes(), bytes) << "the list shrank";
}

TEST(TVstEventQueue, QueuesFromAnotherThreadWhileBlocksAreBuilt)
{
    TVstEventQueue queue;
    constexpr int kEvents = 20000;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int i = 0; i < kEvents; ++i)
            queue.QueueMidiMessage(0x90 | ((i % 128) << 8), i);
        done = true;
    });
    int received = 0;
    int lastDelta = -1;
    bool ordered = true;
    for (;;) {
        const bool finished = done.load();
        for (const VstMidiEvent* e : Listed(queue.BuildList(true))) {
            ordered = ordered && e->deltaFrames == lastDelta + 1;
            lastDelta = e->deltaFrames;
            ++received;
        }
        queue.ReleaseList();
        if (finished && queue.PendingCount() == 0)
            break;
    }
    producer.join();
    EXPECT_EQ(received, kEvents);
    EXPECT_TRUE(ordered);
}

} // namespace
