// TVSTPlugin's state blob and preset files with our test plugins: the sizes
// the host stores, what comes back, the identifier test of presets, and a
// plugin that crashes while giving its chunk.

#include "VSTPlugTestSupport.h"

#include "Fxb.h"
#include "StateFixture.h"
#include "VSTStateCore.h"

#include <cstring>
#include <functional>

namespace {

// Records the message boxes and the log lines, and answers boxes as told.
class TStateHost : public TRecordingHost {
public:
    struct TBox {
        std::string Text;
        std::int32_t Flags;
    };
    std::vector<TBox> Boxes;
    std::vector<std::string> LogLines;
    std::int32_t Answer = IDOK;

    std::int32_t MessageBox(const std::string& Text, std::int32_t Flags) override
    {
        Boxes.push_back({Text, Flags});
        return Answer;
    }
    void Log(const std::string& Text, std::uint8_t, std::int32_t) override { LogLines.push_back(Text); }
    bool Logged(const std::string& prefix) const
    {
        for (const std::string& line : LogLines)
            if (line.rfind(prefix, 0) == 0)
                return true;
        return false;
    }
};

// A state fixture plugin, its module loaded first so that its settings can
// be made before the plugin opens it.
struct TStatePlugin {
    explicit TStatePlugin(const std::string& fixture, const std::function<void(TStateFixture&)>& before = {})
        : Preloaded(FixturePath(fixture))
    {
        auto proc = reinterpret_cast<TStateFixtureProc>(
            reinterpret_cast<void*>(GetProcAddress(Preloaded.Module.Get(), "FixtureState")));
        State = proc != nullptr ? proc() : nullptr;
        if (State != nullptr && before)
            before(*State);
        const TPluginDescription d = MakeDescription(Preloaded.Path);
        Plugin = std::make_unique<TVSTPlugin>(&Host, &d, kSettings, 0);
        if (!Plugin->IsValid || State == nullptr)
            ADD_FAILURE() << fixture << " did not load";
    }

    std::vector<std::uint8_t> SaveState()
    {
        TMemoryStream s;
        Plugin->SaveRestoreState(s, true, 0);
        return std::vector<std::uint8_t>(s.Memory(), s.Memory() + s.GetSize());
    }
    void RestoreState(const std::vector<std::uint8_t>& bytes)
    {
        TMemoryStream s = Stream(bytes);
        Plugin->SaveRestoreState(s, false, 0);
    }
    std::vector<std::uint8_t> SavePreset(bool asProgram)
    {
        TMemoryStream s;
        Plugin->SavePreset(s, asProgram);
        return std::vector<std::uint8_t>(s.Memory(), s.Memory() + s.GetSize());
    }
    void LoadPreset(const std::vector<std::uint8_t>& bytes)
    {
        TMemoryStream s = Stream(bytes);
        Plugin->LoadPreset(s);
    }
    static TMemoryStream Stream(const std::vector<std::uint8_t>& bytes)
    {
        TMemoryStream s;
        if (!bytes.empty())
            s.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
        s.SetPosition(0);
        return s;
    }
    float Param(std::int32_t i) { return Plugin->GetParamValue(i); }
    std::string ProgramName(std::int32_t i) { return Plugin->ReadProgramName(i, true); }

    TPreloaded Preloaded;
    TStateHost Host;
    std::unique_ptr<TVSTPlugin> Plugin;
    TStateFixture* State = nullptr;
};

std::int32_t LittleAt(const std::vector<std::uint8_t>& b, std::size_t at)
{
    std::int32_t v = 0;
    if (at + 4 <= b.size())
        std::memcpy(&v, b.data() + at, 4);
    return v;
}

std::int32_t BigAt(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(b.at(at)) << 24) | (b.at(at + 1) << 16) |
                                     (b.at(at + 2) << 8) | b.at(at + 3));
}

bool ShowedDisplayUpdate(const TStateHost& host)
{
    for (const auto& d : host.Displays)
        if (d.What == 0x07)
            return true;
    return false;
}

TEST(VSTPlugState, AChunkPluginsStateIsItsChunkAndComesBack)
{
    TStatePlugin p("vst2_chunk.dll");
    p.Plugin->SetProgram(2, 0);
    const auto state = p.SaveState();
    ASSERT_EQ(state.size(), 4u + 1 + 4 + 4 + 1000);
    EXPECT_EQ(LittleAt(state, 0), -9);
    EXPECT_EQ(state[4] & 0x08, 0x08) << "chunks";
    EXPECT_EQ(LittleAt(state, 5), 1000);
    EXPECT_EQ(LittleAt(state, 9), 2) << "current program";
    EXPECT_EQ(std::string(state.begin() + 13, state.begin() + 17), "TCBK");

    // Changed, then restored.
    p.Plugin->SetParamValue(0, false, 0.99f, false);
    p.Host.Displays.clear();
    const int accepted = p.State->ChunksAccepted;
    p.RestoreState(state);
    EXPECT_EQ(p.State->ChunksAccepted, accepted + 1);
    EXPECT_EQ(p.State->LastSetChunkIndex, 0);
    EXPECT_EQ(p.Plugin->GetCurrentProgram(), 2);
    EXPECT_FLOAT_EQ(p.Param(0), 0.5f);
    EXPECT_TRUE(p.Host.Boxes.empty());
    EXPECT_FALSE(p.Plugin->Creating);
    EXPECT_TRUE(ShowedDisplayUpdate(p.Host)) << "the update the plugin asked for in effSetChunk, carried out at the end";
}

TEST(VSTPlugState, TheParameterPartOfAPluginWithoutChunks)
{
    TStatePlugin p("vst2_programs.dll", [](TStateFixture& s) { s.ProgramCount = 2; });
    std::string lead = "Lead";
    p.Plugin->RenameProgram(1, lead, false);
    p.Plugin->SetProgram(1, 0);
    auto state = p.SaveState();
    ASSERT_EQ(state.size(), 4u + 1 + 4 + 4 + 4 + 12 + 4 + 25) << "KeepEdits off";
    EXPECT_EQ(state[4] & 0x01, 0);
    EXPECT_EQ(LittleAt(state, 9), 1);
    EXPECT_EQ(LittleAt(state, 13), 3);
    EXPECT_EQ(LittleAt(state, 29), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&state[33])), "Lead");

    p.Plugin->SetProperties(kPropPluginKeepsProgramEdits, true);
    state = p.SaveState();
    ASSERT_EQ(state.size(), 4u + 1 + 4 + 4 + 4 + 24 + 4 + 50) << "KeepEdits on";
    EXPECT_EQ(state[4] & 0x01, 1);
    EXPECT_EQ(LittleAt(state, 13), 6) << "ValueCount: 3 parameters x 2 programs";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&state[45])), "Program 1");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&state[70])), "Lead");
    EXPECT_EQ(p.Plugin->GetCurrentProgram(), 1);

    // Both programs come back.
    p.Plugin->SetParamValue(2, false, 0.75f, false);
    p.Plugin->SetProgram(0, 0);
    p.Plugin->SetParamValue(0, false, 0.75f, false);
    p.RestoreState(state);
    EXPECT_EQ(p.Plugin->GetCurrentProgram(), 1);
    EXPECT_FLOAT_EQ(p.Param(2), 6.0f / 512);
    p.Plugin->SetProgram(0, 0);
    EXPECT_FLOAT_EQ(p.Param(0), 1.0f / 512);
    EXPECT_TRUE(p.Host.Boxes.empty());
}

TEST(VSTPlugState, HandMadeOlderStatesReachThePlugin)
{
    {
        SCOPED_TRACE("version 0: values of the current program");
        TStatePlugin p("vst2_programs.dll");
        std::vector<std::uint8_t> b(4 + 12, 0);
        const std::int32_t count = 3;
        const float values[3] = {0.125f, 0.25f, 0.375f};
        std::memcpy(b.data(), &count, 4);
        std::memcpy(b.data() + 4, values, 12);
        p.RestoreState(b);
        for (int i = 0; i < 3; ++i)
            EXPECT_FLOAT_EQ(p.Param(i), values[i]);
        EXPECT_TRUE(p.Host.Boxes.empty());
    }
    {
        SCOPED_TRACE("version -6 without KeepEdits: a program chunk for program 3");
        TStatePlugin source("vst2_chunk.dll");
        source.Plugin->SetProgram(3, 0);
        void* data = nullptr;
        const auto size = static_cast<std::int32_t>(source.Plugin->Dispatch(effGetChunk, 1, 0, &data));
        ASSERT_EQ(size, 36);
        std::vector<std::uint8_t> b(4 + 1 + 4 + 4);
        const std::int32_t v = -6, program = 1;
        std::memcpy(b.data(), &v, 4);
        std::memcpy(b.data() + 5, &size, 4);
        std::memcpy(b.data() + 9, &program, 4);
        b.insert(b.end(), static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
        source.Plugin->SetParamValue(0, false, 0.0f, false); // same module: program 3 changes
        source.RestoreState(b);
        EXPECT_EQ(source.State->LastSetChunkIndex, 1);
        EXPECT_EQ(source.Plugin->GetCurrentProgram(), 1);
        EXPECT_FLOAT_EQ(source.Param(0), 0.7f) << "program 3's chunk went into program 1";
    }
    {
        SCOPED_TRACE("the empty state selects program 0 and changes nothing else");
        TStatePlugin p("vst2_programs.dll");
        p.Plugin->SetProgram(5, 0);
        const std::int32_t empty = 123456;
        std::vector<std::uint8_t> b(4);
        std::memcpy(b.data(), &empty, 4);
        p.RestoreState(b);
        EXPECT_EQ(p.Plugin->GetCurrentProgram(), 0);
        EXPECT_FLOAT_EQ(p.Param(0), 1.0f / 512);
        EXPECT_TRUE(p.Plugin->GetProperties(kPropPluginKeepsProgramEdits));
    }
}

TEST(VSTPlugState, ATruncatedStateShowsTheReadErrorAndTheDeferredUpdateStillRuns)
{
    TStatePlugin p("vst2_programs.dll", [](TStateFixture& s) { s.UpdateOnProgramChange = 1; });
    p.Plugin->SetProgram(1, 0);
    p.Host.Displays.clear();
    const int asked = p.State->DisplayUpdatesAsked;
    auto state = p.SaveState();
    state.resize(state.size() - 30); // into the values
    p.RestoreState(state);
    ASSERT_EQ(p.Host.Boxes.size(), 1u);
    EXPECT_EQ(p.Host.Boxes[0].Text, VstStateText(kVstStateReadErrorText, "Test Programs"));
    EXPECT_EQ(p.Host.Boxes[0].Flags, 0x30);
    EXPECT_GT(p.State->DisplayUpdatesAsked, asked) << "the switch to program 0 asked for an update";
    EXPECT_TRUE(ShowedDisplayUpdate(p.Host)) << "and it was carried out at the end";
    EXPECT_FALSE(p.Plugin->Creating);
    EXPECT_TRUE(p.Host.Logged("Finished (RESTORE)"));
}

TEST(VSTPlugState, APluginWhoseGetChunkCrashesGivesTheWarningAndGoesOn)
{
    TStatePlugin p("vst2_chunkfault.dll");
    for (int round = 0; round < 2; ++round) {
        const auto state = p.SaveState();
        EXPECT_EQ(state.size(), 5u) << "Version and Flags only";
        ASSERT_EQ(p.Host.Boxes.size(), static_cast<std::size_t>(round + 1));
        std::string expected = kCrashWarningFormat;
        expected.replace(expected.find("%s"), 2, VstStateText(kVstStateRetrieveErrorText, "Test Chunk"));
        EXPECT_EQ(p.Host.Boxes.back().Text, expected);
        EXPECT_EQ(p.Host.Boxes.back().Flags, 0x30);
    }
    EXPECT_TRUE(p.Host.Logged("EXCEPTION (effGetChunk): Access violation"));
    EXPECT_FALSE(p.Plugin->InStateTransfer);
    EXPECT_FLOAT_EQ(p.Param(1), 0.2f) << "the plugin still answers";
    const auto preset = p.SavePreset(false);
    EXPECT_TRUE(preset.empty()) << "no bank preset either, and no crash";
}

TEST(VSTPlugPreset, ProgramAndBankFilesOfAPluginWithoutChunks)
{
    TStatePlugin p("vst2_programs.dll", [](TStateFixture& s) { s.ProgramCount = 2; });
    // The plugin keeps its own edits: no backup puts a program back when it is left.
    p.Plugin->SetProperties(kPropPluginKeepsProgramEdits, true);
    const auto fxp = p.SavePreset(true);
    ASSERT_EQ(fxp.size(), 56u + 12);
    EXPECT_EQ(BigAt(fxp, 4), 60);
    EXPECT_EQ(std::string(fxp.begin() + 8, fxp.begin() + 12), "FxCk");
    EXPECT_EQ(std::string(fxp.begin() + 16, fxp.begin() + 20), "PtPg");

    p.Plugin->SetParamValue(0, false, 0.9f, false);
    p.LoadPreset(fxp);
    EXPECT_FLOAT_EQ(p.Param(0), 1.0f / 512);
    EXPECT_EQ(p.ProgramName(0), "Program 1");

    const auto fxb = p.SavePreset(false);
    ASSERT_EQ(fxb.size(), 284u + 8);
    EXPECT_EQ(BigAt(fxb, 4), 284);
    EXPECT_EQ(std::string(fxb.begin() + 8, fxb.begin() + 12), "FxBk");
    EXPECT_EQ(BigAt(fxb, 24), 2) << "numPrograms";

    p.Plugin->SetProgram(1, 0);
    p.Plugin->SetParamValue(1, false, 0.9f, false);
    p.Plugin->SetProgram(0, 0);
    p.LoadPreset(fxb);
    EXPECT_EQ(p.Plugin->GetCurrentProgram(), 0);
    p.Plugin->SetProgram(1, 0);
    EXPECT_FLOAT_EQ(p.Param(1), 5.0f / 512);
    EXPECT_TRUE(p.Host.Messages.empty());
}

TEST(VSTPlugPreset, ChunkFilesOfAChunkPlugin)
{
    TStatePlugin p("vst2_chunk.dll");
    const auto fxp = p.SavePreset(true);
    ASSERT_EQ(fxp.size(), 60u + 36);
    EXPECT_EQ(std::string(fxp.begin() + 8, fxp.begin() + 12), "FPCh");
    EXPECT_EQ(BigAt(fxp, 4), 36 + 52);
    const auto fxb = p.SavePreset(false);
    ASSERT_EQ(fxb.size(), 160u + 1000);
    EXPECT_EQ(std::string(fxb.begin() + 8, fxb.begin() + 12), "FBCh");
    EXPECT_EQ(BigAt(fxb, 4), 1000 + 152);

    p.LoadPreset(fxp);
    EXPECT_EQ(p.State->LastSetChunkIndex, 1);
    p.LoadPreset(fxb);
    EXPECT_EQ(p.State->LastSetChunkIndex, 0);
    EXPECT_EQ(p.State->ChunksAccepted, 2);
    EXPECT_EQ(p.State->ChunksRefused, 0);
}

TEST(VSTPlugPreset, TheIdentifierTest)
{
    struct TCase {
        const char* what;
        std::int32_t fxID;
        std::int32_t answer;
        bool loads;
        bool asked;
    };
    const TCase cases[] = {
        {"its own identifier", FxCode("PtPg"), IDOK, true, false},
        {"another plugin's", FxCode("Othr"), IDOK, false, false},
        {"0, answered No", 0, IDNO, false, true},
        {"0, answered Yes", 0, IDYES, true, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TStatePlugin p("vst2_programs.dll");
        auto fxp = p.SavePreset(true);
        const auto id = static_cast<std::uint32_t>(c.fxID);
        for (int k = 0; k < 4; ++k)
            fxp[16 + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(id >> (24 - 8 * k));
        p.Plugin->SetParamValue(0, false, 0.9f, false);
        p.Host.Answer = c.answer;
        p.LoadPreset(fxp);
        EXPECT_FLOAT_EQ(p.Param(0), c.loads ? 1.0f / 512 : 0.9f);
        if (c.asked) {
            ASSERT_EQ(p.Host.Boxes.size(), 1u);
            EXPECT_EQ(p.Host.Boxes[0].Text, "This preset has an invalid ID. Do you want to try to load it anyway?");
            EXPECT_EQ(p.Host.Boxes[0].Flags, MB_YESNO | MB_ICONQUESTION);
        } else {
            EXPECT_TRUE(p.Host.Boxes.empty());
        }
        EXPECT_EQ(p.Host.Messages, c.loads ? std::vector<std::string>{}
                                           : std::vector<std::string>{"^eThis preset is not for this plugin [0]"});
    }
}

} // namespace
