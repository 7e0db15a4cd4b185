// VST3 hosting under Wine: the module list, class enumeration and
// TVST3Plugin's life cycle, with the test modules of tests/plugins/vst3.
// The modules record what the host did into this program's journal.

#include "VST3Plug.h"

#include "Vst3Journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace Vst3;

namespace {

TVst3Journal gJournal;

} // namespace

extern "C" __declspec(dllexport) TVst3Journal* Vst3FixtureJournal()
{
    return &gJournal;
}

namespace {

const std::string kFixtures = std::string(PELORIN_BUILD_DIR) + "/fixtures/vst3/";
const std::string kEffect = kFixtures + "PelorinEcho.vst3";
const std::string kSynth = kFixtures + "PelorinSynth.vst3/Contents/x86_64-win/PelorinSynth.vst3";
const std::string kShell = kFixtures + "PelorinDuo.vst3";
const std::string kRefusing = kFixtures + "PelorinRefuse.vst3";
const std::string kNoProcessor = kFixtures + "PelorinNoProc.vst3";
const std::string kFaulting = kFixtures + "PelorinFault.vst3";
const std::string kMany = kFixtures + "PelorinMany.vst3";

// The class identifiers of the test modules (their text form read by FUID).
TClassID Cid(const char* text)
{
    FUID id;
    EXPECT_TRUE(id.fromString(text));
    TClassID out;
    std::memcpy(out.data(), id.GetTUID().Bytes, 16);
    return out;
}
const TClassID kEffectCid = Cid("50454C4F52494E314543483000000001");
const TClassID kSynthCid = Cid("50454C4F52494E3253594E3000000002");

std::u16string Wide(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

// The trace lines of the plugins.
class TTraceLines : public TVST3TraceSink {
public:
    TTraceLines() { SetVST3TraceSink(this); }
    ~TTraceLines() override { SetVST3TraceSink(nullptr); }
    void Trace(const std::string& Text, std::uint8_t, std::int32_t) override { Lines.push_back(Text); }
    bool Has(const std::string& text) const { return std::find(Lines.begin(), Lines.end(), text) != Lines.end(); }
    bool HasPrefix(const std::string& prefix) const
    {
        return std::any_of(Lines.begin(), Lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }
    std::vector<std::string> Lines;
};

class TTestHost : public TBaseAudioPluginHost {
public:
    void ShowMessage(const std::string& Text, std::uint8_t) override { Messages.push_back(Text); }
    void ParamChanged(std::int32_t Index, float Value) override { Changes.push_back({Index, Value}); }
    void LatencyChanged(std::int32_t) override { ++LatencyChanges; }
    std::vector<std::string> Messages;
    std::vector<std::pair<std::int32_t, float>> Changes;
    int LatencyChanges = 0;
};

const TPluginSettings kSettings = {48000, 256, 120.0, 16, 4, 960};

std::unique_ptr<TVST3Plugin> Load(TAudioPluginHostIf* host, const std::string& path, const TClassID& cid = {},
                                  std::int32_t kind = kKindVst3Effect)
{
    TPluginDescription d{};
    d.Kind = kind;
    std::strncpy(d.FileName, path.c_str(), sizeof d.FileName - 1);
    std::strncpy(d.Name, "test", sizeof d.Name - 1);
    d.ClassID = cid;
    return std::make_unique<TVST3Plugin>(host, &d, kSettings);
}

class Vst3Plug : public ::testing::Test {
protected:
    void SetUp() override { gJournal = TVst3Journal{}; }
    void TearDown() override
    {
        // Every plugin of a test is gone: its modules are unloaded and its
        // objects freed.
        EXPECT_EQ(InstanceInfoList().Count(), 0);
        EXPECT_EQ(gJournal.ObjectsAlive, 0);
        EXPECT_EQ(gJournal.InitDll, gJournal.ExitDll + Refusals);
    }
    int Refusals = 0;
    TTestHost Host;
};

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

TEST_F(Vst3Plug, OnePathInAnyLetterCaseLoadsTheModuleOnce)
{
    auto first = Load(&Host, kEffect);
    auto second = Load(&Host, Upper(kEffect));
    ASSERT_TRUE(first->IsValid);
    ASSERT_TRUE(second->IsValid);
    EXPECT_EQ(InstanceInfoList().Count(), 1);
    EXPECT_EQ(gJournal.InitDll, 1);
    TVST3InstanceInfo* info = InstanceInfoList().Find(Wide(kEffect));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->UseCount, 2);
    EXPECT_NE(info->Factory2, nullptr);

    first.reset();
    EXPECT_EQ(InstanceInfoList().Count(), 1);
    EXPECT_EQ(gJournal.ExitDll, 0);
    second.reset();
    EXPECT_EQ(InstanceInfoList().Count(), 0);
    EXPECT_EQ(gJournal.ExitDll, 1);
}

TEST_F(Vst3Plug, ARefusingModuleIsUnloadedAndItsEntryAnsweredAgainWithoutRetrying)
{
    Refusals = 1;
    TInstanceInfoList& list = InstanceInfoList();
    TVST3InstanceInfo* a = list.Acquire(Wide(kRefusing));
    TVST3InstanceInfo* b = list.Acquire(Wide(Upper(kRefusing)));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_FALSE(a->Module);
    EXPECT_EQ(a->Factory, nullptr);
    EXPECT_EQ(a->UseCount, 2);
    EXPECT_EQ(gJournal.InitDll, 1);
    list.Release(Wide(kRefusing));
    list.Release(Wide(kRefusing));
    EXPECT_EQ(gJournal.ExitDll, 0); // a module that refused is not asked to exit

    // A plugin from it does not load and gives the entry back.
    gJournal.InitDll = 0;
    auto plugin = Load(&Host, kRefusing);
    EXPECT_FALSE(plugin->IsValid);
    EXPECT_EQ(plugin->ModuleInfo, nullptr);
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(Vst3Plug, ClassEnumerationListsAudioClassesWithTheirKind)
{
    TVST3InstanceInfo* info = InstanceInfoList().Acquire(Wide(kShell));
    ASSERT_NE(info, nullptr);
    ASSERT_NE(info->Factory, nullptr);
    TPluginList list;
    EnumerateVST3Classes(info->Factory, kShell, list);
    ASSERT_EQ(list.size(), 2u); // the controller class is not listed
    EXPECT_EQ(list[0].Name, "Pelorin Echo");
    EXPECT_EQ(list[0].Kind, kKindVst3Effect);
    ASSERT_EQ(list[0].ClassIDs.size(), 1u);
    EXPECT_EQ(list[0].ClassIDs[0], kEffectCid);
    EXPECT_EQ(list[1].Name, "Pelorin Synth");
    EXPECT_EQ(list[1].Kind, kKindVst3Instrument);
    EXPECT_EQ(list[1].ClassIDs[0], kSynthCid);
    for (const TPluginID& id : list) {
        EXPECT_EQ(id.FileName, kShell);
        EXPECT_EQ(id.Flags, kPluginIDModule64Bit);
        EXPECT_EQ(id.Reserved1, 255);
        EXPECT_EQ(id.Reserved2, 255);
    }
    InstanceInfoList().Release(Wide(kShell));
}

TEST_F(Vst3Plug, EachEarlyEndOfLoadingFailsCleanly)
{
    struct Case {
        const char* what;
        std::string path;
        TClassID cid;
        int TVst3Journal::*setting;
        std::string trace;
        int componentTerminates;
    };
    const TClassID unknown = Cid("0123456789ABCDEF0123456789ABCDEF");
    const Case cases[] = {
        {"class the module does not make", kEffect, unknown, nullptr, "Finished early 2", 0},
        {"component initialize fails", kEffect, {}, &TVst3Journal::FailComponentInit, "Finished early 3", 0},
        {"separate controller initialize fails", kSynth, {}, &TVst3Journal::FailControllerInit, "Finished early 3", 1},
        {"no controller class", kSynth, {}, &TVst3Journal::ZeroControllerId, "Finished early 3", 1},
        {"no audio processor", kNoProcessor, {}, nullptr, "Finished early 4", 1},
        {"fault inside initialize", kFaulting, {}, nullptr, "Finished early 5", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gJournal = TVst3Journal{};
        if (c.setting != nullptr)
            gJournal.*c.setting = 1;
        TTraceLines trace;
        auto plugin = Load(&Host, c.path, c.cid);
        EXPECT_FALSE(plugin->IsValid);
        EXPECT_TRUE(trace.Has(c.trace));
        EXPECT_FALSE(trace.Has("Finished (TVST3Plugin.LoadPlugin)"));
        plugin.reset();
        EXPECT_EQ(gJournal.ComponentTerminate, c.componentTerminates);
        EXPECT_EQ(InstanceInfoList().Count(), 0);
        EXPECT_EQ(gJournal.ObjectsAlive, 0);
        EXPECT_EQ(gJournal.ExitDll, 1);
    }
}

TEST_F(Vst3Plug, AFaultInsideThePluginIsReportedWithItsMessage)
{
    TTraceLines trace;
    auto plugin = Load(&Host, kFaulting);
    EXPECT_FALSE(plugin->IsValid);
    EXPECT_TRUE(trace.HasPrefix("EXCEPTION! \"Access violation"));
    // The component stays until the plugin is freed, and so does its module.
    EXPECT_TRUE(plugin->Component);
    EXPECT_EQ(InstanceInfoList().Count(), 1);
}

TEST_F(Vst3Plug, AModuleWithSeveralClassesIsAShellAndReleasedAtOnce)
{
    TTraceLines trace;
    auto plugin = Load(&Host, kShell);
    ASSERT_TRUE(plugin->IsValid);
    EXPECT_TRUE(plugin->IsShell);
    EXPECT_TRUE(trace.Has("Finished early 1"));
    EXPECT_EQ(InstanceInfoList().Count(), 0);
    EXPECT_EQ(gJournal.ExitDll, 1);
    EXPECT_EQ(gJournal.ComponentInitialize, 0);
    ASSERT_EQ(plugin->ShellPlugins.Count(), 2);
    const TShellPluginInfo* echo = plugin->ShellPlugins.GetItems(0);
    const TShellPluginInfo* synth = plugin->ShellPlugins.GetItems(1);
    EXPECT_EQ(echo->Name, "Pelorin Echo");
    EXPECT_EQ(echo->Kind, kKindVst3Effect);
    EXPECT_EQ(echo->ClassID, kEffectCid);
    EXPECT_EQ(synth->Name, "Pelorin Synth");
    EXPECT_EQ(synth->Kind, kKindVst3Instrument);
    EXPECT_EQ(synth->ClassID, kSynthCid);

    // One of them by its identifier: the instrument, with its kind.
    auto chosen = Load(&Host, kShell, kSynthCid);
    ASSERT_TRUE(chosen->IsValid);
    EXPECT_FALSE(chosen->IsShell);
    EXPECT_EQ(chosen->Description.Kind, kKindVst3Instrument);
    EXPECT_EQ(chosen->Name, "Pelorin Synth");
    EXPECT_TRUE(chosen->IsSynth);
}

TEST_F(Vst3Plug, ASplitControllerIsConnectedAndReceivesTheComponentState)
{
    auto plugin = Load(&Host, kSynth);
    ASSERT_TRUE(plugin->IsValid);
    EXPECT_FALSE(plugin->SingleComponent);
    EXPECT_EQ(gJournal.ComponentInitialize, 1);
    EXPECT_EQ(gJournal.ControllerInitialize, 1);
    EXPECT_EQ(gJournal.HostNameAsked, 2); // both were given the host application
    EXPECT_EQ(gJournal.SetComponentState, 1);
    const char expected[] = "PELORIN-SYNTH-STATE";
    ASSERT_EQ(gJournal.ComponentStateSize, static_cast<int>(sizeof expected + sizeof(double)));
    EXPECT_EQ(std::memcmp(gJournal.ComponentState, expected, sizeof expected), 0);
    EXPECT_FLOAT_EQ(plugin->GetParamValue(0), 0.25f); // the controller took it from the state
    EXPECT_EQ(gJournal.Connects, 2);
    EXPECT_EQ(gJournal.HandlerSet, 1);

    plugin.reset();
    EXPECT_EQ(gJournal.Disconnects, 2);
    EXPECT_EQ(gJournal.HandlerCleared, 1);
    EXPECT_EQ(gJournal.ControllerTerminate, 1);
    EXPECT_EQ(gJournal.ComponentTerminate, 1);
}

TEST_F(Vst3Plug, ASingleComponentIsTerminatedOnceAndNotConnectedToItself)
{
    auto plugin = Load(&Host, kEffect);
    ASSERT_TRUE(plugin->IsValid);
    EXPECT_TRUE(plugin->SingleComponent);
    EXPECT_EQ(gJournal.SetComponentState, 0);
    EXPECT_EQ(gJournal.Connects, 0);
    EXPECT_EQ(gJournal.HandlerSet, 1);
    plugin.reset();
    EXPECT_EQ(gJournal.ComponentTerminate, 1);
    EXPECT_EQ(gJournal.ControllerTerminate, 0);
    EXPECT_EQ(gJournal.HandlerCleared, 1);
}

TEST_F(Vst3Plug, TheEffectIsDescribed)
{
    TTraceLines trace;
    auto plugin = Load(&Host, kEffect);
    ASSERT_TRUE(plugin->IsValid);
    EXPECT_TRUE(trace.Has("Finished (TVST3Plugin.LoadPlugin)"));
    EXPECT_EQ(plugin->Name, "Pelorin Echo");
    EXPECT_EQ(plugin->Description.ClassID, kEffectCid);
    EXPECT_EQ(plugin->Description.Kind, kKindVst3Effect);
    EXPECT_TRUE(plugin->IsEffect);
    EXPECT_FALSE(plugin->IsSynth);
    EXPECT_TRUE(plugin->AcceptsMidi);
    EXPECT_EQ(plugin->Vendor, "Pelorin Test Works");
    EXPECT_EQ(plugin->VendorURL, "https://example.invalid/pelorin");
    EXPECT_EQ(plugin->VendorEmail, "tests@example.invalid");
    std::string text;
    plugin->GetCategoryString(text);
    EXPECT_EQ(text, "Fx|Delay");
    plugin->GetVersionString(text);
    EXPECT_EQ(text, "VST 3.7.9");
    EXPECT_EQ(plugin->Latency, 64);
    EXPECT_EQ(plugin->PluginFlags, 0x200 | 0x100 | 0x2000 | 0x23981E);

    ASSERT_EQ(plugin->NumParams, 2);
    plugin->GetParamName(1, text);
    EXPECT_EQ(text, "Mix");
    plugin->GetParamLabel(0, text);
    EXPECT_EQ(text, "dB");
    EXPECT_FLOAT_EQ(plugin->GetParamValue(0), 0.5f);
    std::u16string display;
    plugin->GetParamDisplay(0, true, display);
    EXPECT_EQ(display, u"0.50 #100");
    EXPECT_EQ(plugin->ParamIndexOf(101), 1);
    EXPECT_EQ(plugin->ParamIndexOf(101), 1); // from the cache
    EXPECT_EQ(plugin->ParamIndexOf(5), -1);
    plugin->GetParamName(2, text); // outside: empty, no call
    EXPECT_EQ(text, "");

    ASSERT_EQ(plugin->NumInputBuses, 1);
    ASSERT_EQ(plugin->NumOutputBuses, 1);
    EXPECT_STREQ(plugin->InputBuses[0].Name, "Input");
    EXPECT_EQ(plugin->OutputBuses[0].Channels, 2);
    EXPECT_TRUE(plugin->OutputBuses[0].DefaultActive);
    EXPECT_EQ(plugin->NumEventInputBuses, 0);
    EXPECT_EQ(plugin->NumPrograms, 0);
}

TEST_F(Vst3Plug, TheInstrumentIsDescribedWithEventBusesAndPrograms)
{
    auto plugin = Load(&Host, kSynth, {}, kKindVst3Effect);
    ASSERT_TRUE(plugin->IsValid);
    EXPECT_EQ(plugin->Description.Kind, kKindVst3Instrument); // from the class, not the request
    EXPECT_TRUE(plugin->IsSynth);
    EXPECT_EQ(plugin->PluginFlags, 0x200 | 0x100 | 0x40 | 0x2000 | 0x4000 | 0x23981E);
    ASSERT_EQ(plugin->NumOutputBuses, 2);
    EXPECT_EQ(plugin->NumInputBuses, 0);
    EXPECT_STREQ(plugin->OutputBuses[1].Name, "Aux Out");
    EXPECT_EQ(plugin->OutputBuses[1].Channels, 1);
    EXPECT_FALSE(plugin->OutputBuses[1].DefaultActive);
    EXPECT_EQ(gJournal.BusesActivated, 1); // only the default-active audio bus
    ASSERT_EQ(plugin->NumEventInputBuses, 1);
    ASSERT_EQ(plugin->NumEventOutputBuses, 1);
    EXPECT_STREQ(plugin->EventInputBuses[0].Name, "MIDI In");
    EXPECT_EQ(plugin->EventInputBuses[0].Channels, 16);
    EXPECT_STREQ(plugin->EventOutputBuses[0].Name, "MIDI Out");
    ASSERT_EQ(plugin->NumPrograms, 3);
    std::string name;
    plugin->GetProgramName(2, 0, name);
    EXPECT_EQ(name, "Lead");
    plugin->GetProgramName(3, 0, name);
    EXPECT_EQ(name, "");
}

TEST_F(Vst3Plug, ProcessingSetUpFollowsTheHostSettings)
{
    auto plugin = Load(&Host, kEffect);
    ASSERT_TRUE(plugin->IsValid);
    EXPECT_EQ(gJournal.SetupCalls, 1);
    EXPECT_EQ(gJournal.SetupMaxSamples, 256);
    EXPECT_DOUBLE_EQ(gJournal.SetupSampleRate, 48000.0);
    EXPECT_EQ(gJournal.SetupMode, kRealtime);
    EXPECT_EQ(gJournal.SetupSampleSize, kSample32);

    plugin->Reset(); // inactive: nothing
    EXPECT_EQ(gJournal.ActiveOff, 0);

    plugin->SetActive(true);
    EXPECT_EQ(gJournal.ActiveOn, 1);
    EXPECT_EQ(gJournal.ProcessingOn, 1);
    plugin->SetProcessFlags(0x10);
    EXPECT_EQ(gJournal.SetupMode, kOffline);
    EXPECT_EQ(gJournal.ProcessingOff, 1); // switched off and on around the set-up
    EXPECT_EQ(gJournal.ProcessingOn, 2);
    plugin->SetBlockSize(1024);
    EXPECT_EQ(gJournal.SetupMaxSamples, 1024);
    plugin->Reset(); // active: the component only
    EXPECT_EQ(gJournal.ActiveOff, 3);
    EXPECT_EQ(gJournal.ActiveOn, 4);
    EXPECT_EQ(gJournal.ProcessingOn, 3);
    plugin->SetActive(false);
    EXPECT_EQ(gJournal.ProcessingOff, 3);
    EXPECT_TRUE(Host.Messages.empty());

    gJournal.FailSetup = 1;
    plugin->SetSampleRate(44100);
    ASSERT_EQ(Host.Messages.size(), 1u);
    EXPECT_EQ(Host.Messages[0], "setup processing failed!");
}

TEST_F(Vst3Plug, TheSharedLookupAnswersThePluginsHostObjectsOnly)
{
    auto plugin = Load(&Host, kEffect);
    ASSERT_TRUE(plugin->IsValid);
    struct Case {
        const char* what;
        TUID iid;
        FUnknown* expected;
    };
    const Case cases[] = {
        {"FUnknown", FUnknown::iid, nullptr},
        {"IHostApplication", IHostApplication::iid, plugin->HostObjects.HostApplication()},
        {"IComponentHandler", IComponentHandler::iid, plugin->HostObjects.ComponentHandler()},
        {"IUnitHandler", IUnitHandler::iid, plugin->HostObjects.UnitHandler()},
        {"IPluginBase", IPluginBase::iid, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        void* obj = reinterpret_cast<void*>(1);
        const tresult r = plugin->QueryInterface(c.iid, &obj);
        EXPECT_EQ(obj, static_cast<void*>(c.expected));
        EXPECT_EQ(r, c.expected != nullptr ? kResultOk : kResultFalse);
        if (obj != nullptr)
            static_cast<FUnknown*>(obj)->release();
    }
}

TEST_F(Vst3Plug, EditsAndRestartsReachTheHostOnlyOnceTheLoadSucceeded)
{
    gJournal.EditWhileLoading = 1;
    auto plugin = Load(&Host, kEffect);
    ASSERT_TRUE(plugin->IsValid);
    EXPECT_EQ(gJournal.HandlerSet, 1);
    EXPECT_TRUE(Host.Changes.empty());
    EXPECT_EQ(Host.LatencyChanges, 0);

    IComponentHandler* handler = plugin->HostObjects.ComponentHandler();
    EXPECT_EQ(handler->performEdit(101, 0.75), kResultOk);
    ASSERT_EQ(Host.Changes.size(), 1u);
    EXPECT_EQ(Host.Changes[0].first, 1); // "Mix" by its index
    EXPECT_FLOAT_EQ(Host.Changes[0].second, 0.75f);
    EXPECT_EQ(handler->restartComponent(0x08), kResultOk);
    EXPECT_EQ(Host.LatencyChanges, 1);
    EXPECT_EQ(plugin->Latency, 64);
}
