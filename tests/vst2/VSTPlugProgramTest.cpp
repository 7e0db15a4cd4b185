// Parameters, programs and the small queries of TVSTPlugin, through the gain
// fixture. Under Wine.

#include "VSTPlugTestSupport.h"

#include <windows.h>

namespace {

TEST(TVSTPluginParams, NamesLabelsAndDisplays)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    std::string text = "stale";
    p.GetParamName(0, text);
    EXPECT_EQ(text, "Gain");
    p.GetParamName(2, text);
    EXPECT_EQ(text, "Mode");
    for (std::int32_t outside : {-1, 3, 1000}) {
        text = "stale";
        p.GetParamName(outside, text);
        EXPECT_EQ(text, "") << outside;
        text = "stale";
        p.GetParamLabel(outside, text);
        EXPECT_EQ(text, "") << outside;
        std::u16string display = u"stale";
        p.GetParamDisplay(outside, true, display);
        EXPECT_EQ(display, u"") << outside;
    }
    p.GetParamLabel(0, text);
    EXPECT_EQ(text, "x");

    std::u16string display;
    p.GetParamDisplay(0, true, display);
    EXPECT_EQ(display, u"1.00");
    p.GetParamDisplay(1, true, display);
    EXPECT_EQ(display, std::u16string(7, u'\u25AB') + std::u16string(2, u'\u25AA') + std::u16string(10, u'\u25AB'));
    p.GetParamDisplay(1, false, display);
    EXPECT_EQ(display, u"'''''''||''''''''''");
    gain.Fixture->Set(kSetShortBar, 1);
    p.GetParamDisplay(1, true, display);
    EXPECT_EQ(display, u"-------\x7f\x7f---------");
}

TEST(TVSTPluginParams, ValuesGoThroughTheEffectAndTheHostIsLockedAroundThem)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    ASSERT_TRUE(p.NoEditor);
    EXPECT_EQ(p.GetParamValue(0), 0.5f);
    p.SetParamValue(0, false, 0.25f, false);
    EXPECT_EQ(p.GetParamValue(0), 0.25f);
    EXPECT_TRUE(gain.Host.Params.empty());
    EXPECT_EQ(gain.Host.Locks, (std::vector<bool>{true, false}));
    p.SetParamValue(2, true, 1.0f, true);
    EXPECT_EQ(p.GetParamValue(2), 1.0f);
    const std::vector<std::pair<std::int32_t, float>> notified = {{2, 1.0f}};
    EXPECT_EQ(gain.Host.Params, notified);
}

// Select program 3, edit it, select 4, then 3 again.
float EditAndReturn(TVSTPlugin& p)
{
    p.SetProgram(3, 0);
    p.SetParamValue(0, false, 0.9f, false);
    p.SetProgram(4, 0);
    p.SetProgram(3, 0);
    return p.GetParamValue(0);
}

TEST(TVSTPluginPrograms, EditsAreUndoneOnProgramChangeUnlessThePluginKeepsThem)
{
    {
        TLoaded gain("vst2_gain.dll");
        EXPECT_EQ(EditAndReturn(*gain.Plugin), 0.25f) << "program 3 lost its first value";
        EXPECT_EQ(gain.Plugin->CurrentProgramBackup.Program, 3);
        EXPECT_EQ(gain.Plugin->CurrentProgramBackup.Name, "Half");
    }
    {
        TLoaded gain("vst2_gain.dll");
        gain.Plugin->SetProperties(kPropPluginKeepsProgramEdits, true);
        EXPECT_FALSE(gain.Plugin->CurrentProgramBackup.Valid) << "backup kept after flag 6 was set";
        EXPECT_EQ(EditAndReturn(*gain.Plugin), 0.9f);
        EXPECT_FALSE(gain.Plugin->CurrentProgramBackup.Valid);
        // Clearing the flag takes a fresh backup of the current program.
        gain.Plugin->SetProperties(kPropPluginKeepsProgramEdits, false);
        EXPECT_TRUE(gain.Plugin->CurrentProgramBackup.Valid);
        EXPECT_EQ(gain.Plugin->CurrentProgramBackup.Program, 3);
    }
    {
        // The mask operation stores the flag without the backup side effects.
        TLoaded gain("vst2_gain.dll");
        gain.Plugin->SetPropertyFlags(0x40, 0x40);
        EXPECT_TRUE(gain.Plugin->Properties[kPropPluginKeepsProgramEdits]);
        EXPECT_TRUE(gain.Plugin->CurrentProgramBackup.Valid);
    }
}

TEST(TVSTPluginPrograms, AnOldPluginsProgramsKeepTheirOwnValuesAndNamesWhenThePluginKeepsEdits)
{
    // VST 1 and no chunks: the bridge keeps a table of every program.
    TPreloaded held(FixturePath("vst2_gain.dll"));
    TFixture fixture = held.Fixture();
    fixture.Set(kSetVstVersion, 1);
    TRecordingHost host;
    const TPluginDescription d = MakeDescription(held.Path);
    TVSTPlugin p(&host, &d, kSettings, 0);
    ASSERT_TRUE(p.IsValid);
    ASSERT_EQ(p.ProgramTable.size(), 5u);
    p.SetProperties(kPropPluginKeepsProgramEdits, true);
    auto nameOf = [&p](std::int32_t k) {
        char buffer[600] = {};
        p.Dispatch(effGetProgramNameIndexed, k, -1, buffer);
        return std::string(buffer);
    };

    p.SetProgram(1, 0);
    EXPECT_EQ(p.GetParamValue(0), 0.25f);
    p.SetParamValue(0, false, 0.9f, false); // an edit of "Quiet"
    p.SetProgram(2, 0);
    EXPECT_EQ(p.GetCurrentProgram(), 2);
    EXPECT_EQ(p.GetParamValue(0), 1.0f) << "program 2 has its own value";
    EXPECT_EQ(nameOf(1), "Quiet") << "the program left keeps its name";
    EXPECT_EQ(nameOf(2), "Loud");
    p.SetProgram(1, 0);
    EXPECT_EQ(p.GetParamValue(0), 0.9f) << "the edit of program 1 is kept";
    EXPECT_EQ(nameOf(1), "Quiet");
    EXPECT_EQ(nameOf(2), "Loud");
    p.SetProgram(4, 0);
    EXPECT_EQ(p.GetParamValue(0), 0.0f);
    EXPECT_EQ(nameOf(4), "Silent");
    EXPECT_EQ(nameOf(1), "Quiet");
}

TEST(TVSTPluginPrograms, RenamingIsRefusedWhileTheBridgeGuardsProgramEdits)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    int mark = gain.Fixture->Mark();
    std::string name = "Renamed";
    p.SetProgramName(0, name, true);
    EXPECT_EQ(name, "Unity");
    for (VstInt32 op : gain.Fixture->OpcodesSince(mark))
        EXPECT_NE(op, effSetProgramName);
    EXPECT_TRUE(gain.Host.Displays.empty());

    p.SetProperties(kPropPluginKeepsProgramEdits, true);
    mark = gain.Fixture->Mark();
    name = "Renamed";
    p.SetProgramName(2, name, true);
    EXPECT_EQ(name, "Renamed");
    std::string read;
    p.GetProgramName(2, 0, read);
    EXPECT_EQ(read, "Renamed");
    EXPECT_EQ(p.GetCurrentProgram(), 0) << "renaming another program left it selected";
    ASSERT_EQ(gain.Host.Displays.size(), 1u);
    EXPECT_EQ(gain.Host.Displays[0].What, 1);
    EXPECT_TRUE(gain.Host.Displays[0].Flag);

    // A name is cut to 63 characters on its way in; the plugin keeps 24.
    name = std::string(100, 'n');
    p.SetProgramName(1, name, false);
    EXPECT_EQ(name, std::string(kVstMaxProgNameLen, 'n'));
}

TEST(TVSTPluginPrograms, NamesOfOtherProgramsWithoutTheIndexedQuery)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    std::string name;
    p.GetProgramName(4, 0, name);
    EXPECT_EQ(name, "Silent");

    gain.Fixture->Set(kSetNoIndexedNames, 1);
    const int mark = gain.Fixture->Mark();
    p.GetProgramName(2, 0, name);
    EXPECT_EQ(name, "Loud");
    EXPECT_EQ(p.GetCurrentProgram(), 0);
    std::vector<VstInt32> visit;
    for (const TFixtureCall& call : gain.Fixture->CallsSince(mark)) {
        if (call.Opcode == effBeginSetProgram || call.Opcode == effEndSetProgram || call.Opcode == effSetProgram ||
            call.Opcode == effGetProgramName)
            visit.push_back(call.Opcode == effSetProgram ? 1000 + static_cast<VstInt32>(call.Value) : call.Opcode);
    }
    EXPECT_EQ(visit, (std::vector<VstInt32>{effBeginSetProgram, 1002, effGetProgramName, 1000, effEndSetProgram}));

    for (std::int32_t outside : {5, -1}) {
        name = "stale";
        p.GetProgramName(outside, 0, name);
        EXPECT_EQ(name, "") << outside;
    }
}

TEST(TVSTPluginPrograms, SnapshotsComeBack)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    p.SetParamValue(0, false, 0.3f, false);
    p.SetParamValue(2, false, 1.0f, false);
    p.TakeSnapshot();
    EXPECT_TRUE(p.Properties[kPropSnapshotTaken]);
    EXPECT_TRUE(p.Snapshot.Valid);
    p.SetParamValue(0, false, 0.8f, false);
    p.SetParamValue(2, false, 0.0f, false);
    p.RestoreSnapshot();
    EXPECT_EQ(p.GetParamValue(0), 0.3f);
    EXPECT_EQ(p.GetParamValue(2), 1.0f);
}

TEST(TVSTPluginQueries, VersionCategoryAndUniqueId)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    struct Version {
        VstIntPtr Answer;
        const char* Text;
    };
    for (const Version& v : {Version{2400, "2.4"}, Version{2412, "2.4.1.2"}, Version{1, "1.0"}, Version{2, "2.0"}}) {
        gain.Fixture->Set(kSetVstVersion, v.Answer);
        std::string text;
        p.GetVersionString(text);
        EXPECT_EQ(text, v.Text) << v.Answer;
    }
    struct Category {
        VstIntPtr Answer;
        const char* Text;
    };
    for (const Category& c : {Category{2, "synth"}, Category{6, "room fx"}, Category{11, "generator"},
                              Category{42, "effect"}}) {
        gain.Fixture->Set(kSetCategory, c.Answer);
        std::string text;
        p.GetCategoryString(text);
        EXPECT_EQ(text, c.Text) << c.Answer;
    }
    std::string key;
    p.GetMidiKeyName(60, key);
    EXPECT_EQ(key, "Key 60 of 0");
    p.SetProgram(2, 0);
    p.GetMidiKeyName(61, key);
    EXPECT_EQ(key, "Key 61 of 2");
}

TEST(TVSTPluginQueries, MatchesOnlyTheSameVst2FileInAnyLetterCase)
{
    TLoaded gain("vst2_gain.dll");
    std::string upper = FixturePath("VST2_GAIN.DLL");
    struct Row {
        std::string File;
        std::int32_t Kind;
        bool Match;
    };
    const Row rows[] = {{FixturePath("vst2_gain.dll"), kKindVst2, true},
                        {upper, kKindVst2, true},
                        {upper, kKindVst2Alt, true},
                        {upper, kKindVst3Effect, false},
                        {FixturePath("vst2_synth.dll"), kKindVst2, false},
                        {FixturePath("vst2_gain.dl"), kKindVst2, false}};
    for (const Row& row : rows)
        EXPECT_EQ(gain.Plugin->MatchesDescription(MakeDescription(row.File, 0, 0, row.Kind)), row.Match)
            << row.File << " kind " << row.Kind;
}

TEST(TVSTPluginKeys, KeysCarryCharacterVirtualKeyAndModifiers)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    struct Row {
        bool Down;
        std::int32_t Key;
        TShiftState Shift;
        VstIntPtr Answer;
        VstInt32 Character;
        VstIntPtr Virt;
        float Modifier;
        bool Handled;
    };
    const Row rows[] = {
        {true, 'A', 0, 1, 'a', 0, 0.0f, true},
        {false, 'A', 0, 1, 'a', 0, 0.0f, true},
        {true, VK_F5, kShiftStateShift | kShiftStateControl, 1, VK_F5, 44, 9.0f, true},
        {true, VK_RETURN, kShiftStateAlt, 0, VK_RETURN, 4, 2.0f, false},
        {false, VK_NUMPAD7, 0, 2, VK_NUMPAD7, 31, 0.0f, false},
    };
    for (const Row& row : rows) {
        gain.Fixture->Set(kSetKeyAnswer, row.Answer);
        const int mark = gain.Fixture->Mark();
        EXPECT_EQ(row.Down ? p.KeyDown(row.Key, row.Shift) : p.KeyUp(row.Key, row.Shift), row.Handled) << row.Key;
        const std::vector<TFixtureCall> calls = gain.Fixture->CallsSince(mark);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].Opcode, row.Down ? effEditKeyDown : effEditKeyUp);
        EXPECT_EQ(calls[0].Index, row.Character);
        EXPECT_EQ(calls[0].Value, row.Virt);
        EXPECT_EQ(calls[0].Opt, row.Modifier);
    }
}

TEST(TVSTPluginKeys, TheKeyMapMatchesTheWindowsKeyNames)
{
    struct Row {
        int WindowsKey;
        int VstKey;
    };
    const Row rows[] = {
        {VK_BACK, 1},      {VK_TAB, 2},       {VK_CLEAR, 3},     {VK_RETURN, 4},    {VK_PAUSE, 5},
        {VK_ESCAPE, 6},    {VK_SPACE, 7},     {VK_END, 9},       {VK_HOME, 10},     {VK_LEFT, 11},
        {VK_UP, 12},       {VK_RIGHT, 13},    {VK_DOWN, 14},     {VK_PRIOR, 15},    {VK_NEXT, 16},
        {VK_SELECT, 17},   {VK_PRINT, 18},    {VK_EXECUTE, 19},  {VK_SNAPSHOT, 20}, {VK_INSERT, 21},
        {VK_DELETE, 22},   {VK_HELP, 23},     {VK_NUMPAD0, 24},  {VK_NUMPAD1, 25},  {VK_NUMPAD2, 26},
        {VK_NUMPAD3, 27},  {VK_NUMPAD4, 28},  {VK_NUMPAD5, 29},  {VK_NUMPAD6, 30},  {VK_NUMPAD7, 31},
        {VK_NUMPAD8, 32},  {VK_NUMPAD9, 33},  {VK_MULTIPLY, 34}, {VK_ADD, 35},      {VK_SEPARATOR, 36},
        {VK_SUBTRACT, 37}, {VK_DECIMAL, 38},  {VK_DIVIDE, 39},   {VK_F1, 40},       {VK_F2, 41},
        {VK_F3, 42},       {VK_F4, 43},       {VK_F5, 44},       {VK_F6, 45},       {VK_F7, 46},
        {VK_F8, 47},       {VK_F9, 48},       {VK_F10, 49},      {VK_F11, 50},      {VK_F12, 51},
        {VK_NUMLOCK, 52},  {VK_SCROLL, 53},   {VK_SHIFT, 54},    {VK_CONTROL, 55},  {VK_MENU, 56},
    };
    static_assert(std::size(rows) == 55);
    for (const Row& row : rows)
        EXPECT_EQ(VstVirtualKey(row.WindowsKey), row.VstKey) << std::hex << row.WindowsKey;
}

TEST(TVSTPluginKeys, WheelAndVendorCommandUseTheFourCharacterCodes)
{
    TLoaded gain("vst2_gain.dll");
    TVSTPlugin& p = *gain.Plugin;
    for (VstIntPtr answer : {VstIntPtr{0}, VstIntPtr{1}}) {
        gain.Fixture->Set(kSetVendorAnswer, answer);
        const int mark = gain.Fixture->Mark();
        EXPECT_EQ(p.MouseWheel(-240), answer != 0);
        const std::vector<TFixtureCall> calls = gain.Fixture->CallsSince(mark);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].Opcode, effVendorSpecific);
        EXPECT_EQ(calls[0].Index, 0x73744341); // "stCA"
        EXPECT_EQ(calls[0].Value, 0x57686565); // "Whee"
        EXPECT_EQ(calls[0].Opt, -2.0f);
    }
    const int mark = gain.Fixture->Mark();
    p.VendorCommand(77);
    const std::vector<TFixtureCall> calls = gain.Fixture->CallsSince(mark);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Opcode, effVendorSpecific);
    EXPECT_EQ(calls[0].Index, 0x4E4B5653); // "NKVS"
    EXPECT_EQ(calls[0].Value, 7);
    EXPECT_EQ(calls[0].PtrValue, 77);
}

} // namespace
