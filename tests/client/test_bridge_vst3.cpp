// VST3 modules through the real bridge process: a host of our own starts
// pelorin.exe, asks for our VST3 test modules by kind 7 and 8 and reads the
// description block and the shell list that come back.

#include "BridgeHost.h"
#include "BridgeLayouts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

const std::string kBuild = PELORIN_BUILD_DIR;
const std::wstring kBridge = std::wstring(kBuild.begin(), kBuild.end()) + L"/dist/64bit/pelorin.exe";
const std::string kFixtures = kBuild + "/fixtures/vst3/";

// The identifiers of the test modules' classes, as 16 stored bytes.
constexpr std::uint8_t kEffectCid[16] = {0x4F, 0x4C, 0x45, 0x50, 0x49, 0x52, 0x31, 0x4E,
                                         0x45, 0x43, 0x48, 0x30, 0x00, 0x00, 0x00, 0x01};
constexpr std::uint8_t kSynthCid[16] = {0x4F, 0x4C, 0x45, 0x50, 0x49, 0x52, 0x32, 0x4E,
                                        0x53, 0x59, 0x4E, 0x30, 0x00, 0x00, 0x00, 0x02};

std::string Text(const char* field, std::size_t size)
{
    const void* z = std::memchr(field, 0, size);
    return std::string(field, z ? static_cast<std::size_t>(static_cast<const char*>(z) - field) : size);
}

class TVst3Session {
public:
    TVst3Session()
    {
        TBridgeHost::TOptions o;
        o.ReplyTimeoutMs = 20000;
        host = std::make_unique<TBridgeHost>(o);
        host->Launch(kBridge);
        host->WaitConnected(15000);
    }
    ~TVst3Session()
    {
        host->Close();
        host->WaitClosed(5000);
    }

    TLoadBlock& LoadBlock() { return *static_cast<TLoadBlock*>(host->Channel().LoadBlock()); }
    TDescriptionBlock& Desc() { return *static_cast<TDescriptionBlock*>(host->Channel().DescriptionBlock()); }

    // The load answer's LPARAM.
    std::uint32_t Load(const std::string& module, std::int32_t kind, const std::uint8_t* cid = nullptr)
    {
        TLoadBlock& load = LoadBlock();
        std::memset(&load, 0, sizeof load);
        load.Kind = kind;
        std::strncpy(load.Name, "fixture", sizeof load.Name);
        std::strncpy(load.FileName, (kFixtures + module).c_str(), sizeof load.FileName - 1);
        if (cid != nullptr)
            std::memcpy(load.ClassID, cid, 16);
        load.Settings = {44100, 512, 120.0, 16, 4, 960};
        host->PostCode(kCodeLoadPlugin, 0);
        return host->WaitForCode(kCodePluginLoaded, 20000);
    }

    std::unique_ptr<TBridgeHost> host;
};

} // namespace

TEST(BridgeVst3, TheEffectLoadsByKind7AndIsDescribed)
{
    TVst3Session s;
    ASSERT_EQ(s.Load("PelorinEcho.vst3", 7), 1u);
    const TDescriptionBlock& d = s.Desc();
    EXPECT_EQ(Text(d.Name, sizeof d.Name), "Pelorin Echo");
    EXPECT_EQ(std::memcmp(d.ClassID, kEffectCid, 16), 0);
    EXPECT_EQ(Text(d.Vendor, sizeof d.Vendor), "Pelorin Test Works");
    EXPECT_EQ(Text(d.VendorURL, sizeof d.VendorURL), "https://example.invalid/pelorin");
    EXPECT_EQ(Text(d.VendorEmail, sizeof d.VendorEmail), "tests@example.invalid");
    EXPECT_EQ(Text(d.Category, sizeof d.Category), "Fx|Delay");
    EXPECT_EQ(Text(d.Version, sizeof d.Version), "VST 3.7.9");
    EXPECT_EQ(d.PluginFlags, 0x200 | 0x100 | 0x2000 | 0x23981E);
    EXPECT_EQ(d.Latency, 64);
    EXPECT_EQ(d.IsSynth, 0);
    EXPECT_EQ(d.IsShell, 0);
    EXPECT_EQ(d.AcceptsMidi, 1);
    ASSERT_EQ(d.ParamCount, 2);
    EXPECT_EQ(Text(d.Params[0].Name, 32), "Gain");
    EXPECT_EQ(Text(d.Params[0].Label, 32), "dB");
    EXPECT_EQ(Text(d.Params[0].Display, 32), "0.50 #100");
    EXPECT_FLOAT_EQ(d.Params[0].Value, 0.5f);
    EXPECT_EQ(Text(d.Params[1].Name, 32), "Mix");
    ASSERT_EQ(d.InputBusCount, 1);
    ASSERT_EQ(d.OutputBusCount, 1);
    EXPECT_EQ(Text(d.InputBuses[0].Name, 64), "Input");
    EXPECT_EQ(d.InputBuses[0].Channels, 2);
    EXPECT_EQ(Text(d.OutputBuses[0].Name, 64), "Output");
    EXPECT_EQ(d.EventInputBusCount, 0);
    EXPECT_EQ(d.EventOutputBusCount, 0);
}

TEST(BridgeVst3, TheInstrumentFromItsBundleLoadsByKind8WithEventBusesAndPrograms)
{
    TVst3Session s;
    ASSERT_EQ(s.Load("PelorinSynth.vst3/Contents/x86_64-win/PelorinSynth.vst3", 8), 1u);
    const TDescriptionBlock& d = s.Desc();
    EXPECT_EQ(Text(d.Name, sizeof d.Name), "Pelorin Synth");
    EXPECT_EQ(std::memcmp(d.ClassID, kSynthCid, 16), 0);
    EXPECT_EQ(d.IsSynth, 1);
    EXPECT_EQ(Text(d.Category, sizeof d.Category), "Instrument|Synth");
    EXPECT_EQ(d.PluginFlags, 0x200 | 0x100 | 0x40 | 0x2000 | 0x4000 | 0x23981E);
    ASSERT_EQ(d.ParamCount, 3);
    EXPECT_EQ(Text(d.Params[0].Name, 32), "Cutoff");
    EXPECT_FLOAT_EQ(d.Params[0].Value, 0.25f); // the controller received the component's state
    EXPECT_EQ(Text(d.Params[0].Display, 32), "5000 Hz");
    EXPECT_EQ(d.InputBusCount, 0);
    ASSERT_EQ(d.OutputBusCount, 2);
    EXPECT_EQ(Text(d.OutputBuses[1].Name, 64), "Aux Out");
    EXPECT_EQ(d.OutputBuses[1].DefaultActive, false);
    ASSERT_EQ(d.EventInputBusCount, 1);
    ASSERT_EQ(d.EventOutputBusCount, 1);
    EXPECT_EQ(Text(d.EventInputBuses[0].Name, 64), "MIDI In");
    EXPECT_EQ(d.EventInputBuses[0].Channels, 16);
    EXPECT_EQ(Text(d.EventOutputBuses[0].Name, 64), "MIDI Out");
    EXPECT_EQ(d.EventOutputBuses[0].Channels, 1);
    ASSERT_EQ(d.ProgramCount, 3);
    EXPECT_EQ(Text(d.ProgramNames[0], 64), "Init");
    EXPECT_EQ(Text(d.ProgramNames[2], 64), "Lead");
}

TEST(BridgeVst3, TwoThousandParametersAreAllDescribed)
{
    TVst3Session s;
    ASSERT_EQ(s.Load("PelorinMany.vst3", 7), 1u);
    const TDescriptionBlock& d = s.Desc();
    EXPECT_EQ(Text(d.Name, sizeof d.Name), "Pelorin Many");
    ASSERT_EQ(d.ParamCount, 2000);
    EXPECT_EQ(Text(d.Params[2].Name, 32), "Param 0002");
    EXPECT_EQ(Text(d.Params[1999].Name, 32), "Param 1999");
    EXPECT_EQ(Text(d.Params[1999].Display, 32), "0.00 #2099");
}

TEST(BridgeVst3, AShellListsItsClassesAndLoadsOneByItsIdentifier)
{
    TVst3Session s;
    ASSERT_EQ(s.Load("PelorinDuo.vst3", 7), 1u);
    EXPECT_EQ(s.Desc().IsShell, 1);
    const TLoadBlock& load = s.LoadBlock();
    ASSERT_EQ(load.ShellCount, 2);
    EXPECT_EQ(Text(load.Shell[0].Name, sizeof load.Shell[0].Name), "Pelorin Echo");
    EXPECT_EQ(load.Shell[0].Kind, 7);
    EXPECT_EQ(std::memcmp(load.Shell[0].ClassID, kEffectCid, 16), 0);
    EXPECT_EQ(Text(load.Shell[1].Name, sizeof load.Shell[1].Name), "Pelorin Synth");
    EXPECT_EQ(load.Shell[1].Kind, 8);
    EXPECT_EQ(std::memcmp(load.Shell[1].ClassID, kSynthCid, 16), 0);

    ASSERT_EQ(s.Load("PelorinDuo.vst3", 8, kSynthCid), 1u);
    EXPECT_EQ(s.Desc().IsShell, 0);
    EXPECT_EQ(Text(s.Desc().Name, sizeof s.Desc().Name), "Pelorin Synth");
    EXPECT_EQ(s.Desc().EventInputBusCount, 1);
}

TEST(BridgeVst3, ModulesThatDoNotLoadAnswerZeroAndTheBridgeLives)
{
    TVst3Session s;
    struct Case {
        const char* module;
        std::int32_t kind;
    };
    const Case cases[] = {
        {"PelorinFault.vst3", 7},   // faults inside initialize
        {"PelorinRefuse.vst3", 7},  // InitDll refuses
        {"PelorinNoProc.vst3", 7},  // no audio processor
        {"PelorinEcho.vst3", 4},    // a VST3 module asked for as VST2
        {"PelorinMissing.vst3", 8}, // no such file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.module);
        EXPECT_EQ(s.Load(c.module, c.kind), 0u);
        EXPECT_EQ(s.Desc().Name[0], '\0');
        EXPECT_EQ(s.Desc().ParamCount, 0);
    }
    // Still serving: the effect loads after all of them.
    ASSERT_EQ(s.Load("PelorinEcho.vst3", 7), 1u);
    EXPECT_EQ(Text(s.Desc().Name, sizeof s.Desc().Name), "Pelorin Echo");
}
