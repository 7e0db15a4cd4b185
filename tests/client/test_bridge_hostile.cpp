// The bridge process against plugins that behave as third-party plugins do:
// faults in their own code, faults they handle themselves, layouts that
// change mid-block or from a thread of their own, a latency changed without
// telling, a slow shell scan, a refresh that waits inside the plugin.

#include "BridgeHost.h"
#include "BridgeLayouts.h"
#include "ProcessBlockBuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kBuild = PELORIN_BUILD_DIR;
// PELORIN_TEST_BRIDGE names another bridge executable to run these against.
std::wstring BridgePath()
{
    wchar_t other[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"PELORIN_TEST_BRIDGE", other, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        return other;
    return std::wstring(kBuild.begin(), kBuild.end()) + L"/dist/64bit/pelorin.exe";
}
const std::wstring kBridge = BridgePath();

std::string Hostile(const std::string& name) { return kBuild + "/fixtures/vst2_hostile_" + name + ".dll"; }

using TClock = std::chrono::steady_clock;

long long MsSince(TClock::time_point t0)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - t0).count();
}

struct TDisplayNote {
    std::int32_t Index;
    std::int32_t Latency; // the description's latency word when the note arrived
};

struct TSession {
    std::unique_ptr<TBridgeHost> host;
    std::mutex lock;
    std::vector<TDisplayNote> notes; // 0x03000007 requests

    explicit TSession(DWORD replyLimit = 20000)
    {
        TBridgeHost::TOptions o;
        o.ReplyTimeoutMs = replyLimit;
        o.OnHostCommand = [this](std::uint32_t code, std::int32_t& index, std::int32_t&, std::int64_t&, std::int64_t&,
                                 std::wstring&, std::int64_t&, void*) -> std::int32_t {
            if (code == kHostDisplayChanged) {
                std::lock_guard<std::mutex> g(lock);
                notes.push_back({index, Desc().Latency});
            }
            return 0;
        };
        host = std::make_unique<TBridgeHost>(o);
        host->Launch(kBridge);
        host->WaitConnected(15000);
    }

    TSharedMemoryIntf& Ch() { return host->Channel(); }
    TDescriptionBlock& Desc() { return *static_cast<TDescriptionBlock*>(Ch().DescriptionBlock()); }

    void FillLoad(const std::string& path)
    {
        auto* load = static_cast<TLoadBlock*>(Ch().LoadBlock());
        std::memset(load, 0, sizeof(TLoadBlock));
        load->Kind = kKindVst2;
        std::strncpy(load->Name, "hostile", sizeof(load->Name));
        std::strncpy(load->FileName, path.c_str(), sizeof(load->FileName) - 1);
        load->Settings = {44100, 512, 120.0, 16, 4, 24};
    }
    std::uint32_t Load(const std::string& path)
    {
        FillLoad(path);
        host->PostCode(kCodeLoadPlugin, 0);
        return host->WaitForCode(kCodePluginLoaded, 20000);
    }
    bool Send(std::uint32_t code, std::int32_t index = 0, std::int32_t value = 0, std::int64_t p1 = 0)
    {
        std::int64_t result = 0, p2 = 0;
        std::wstring text;
        return Ch().SendCommandFull(code, result, index, value, p1, p2, text, 0, 0, nullptr, false);
    }
    bool Process(std::vector<std::uint8_t>& d)
    {
        std::int64_t result = 0, p1 = 0, p2 = 0;
        std::wstring text;
        const auto& head = *reinterpret_cast<const TProcessBlock*>(d.data());
        const std::int64_t sent = head.EventOffset + static_cast<std::int64_t>(head.EventCount) * 44;
        return Ch().SendCommandFull(kCmdProcess, result, 0, 0, p1, p2, text, sent,
                                    static_cast<std::int64_t>(d.size()), d.data(), true);
    }
    bool NoteArrived(std::int32_t bit, std::int32_t latency)
    {
        std::lock_guard<std::mutex> g(lock);
        for (const TDisplayNote& n : notes)
            if ((n.Index & bit) != 0 && n.Latency == latency)
                return true;
        return false;
    }
};

// A block for 2 inputs and 2 outputs whose input channel c holds c * 1000 + frame.
std::vector<std::uint8_t> StereoBlock(int frames)
{
    std::vector<std::uint8_t> d = BuildProcessBlock(2, 2, frames, 4);
    auto* audio = reinterpret_cast<float*>(d.data() + sizeof(TProcessBlock));
    for (int c = 0; c < 2; ++c)
        for (int f = 0; f < frames; ++f)
            audio[c * frames + f] = static_cast<float>(c * 1000 + f);
    return d;
}

float OutputSample(const std::vector<std::uint8_t>& d, int frames, int channel, int frame)
{
    float v;
    std::memcpy(&v, d.data() + sizeof(TProcessBlock) + ((2 + channel) * frames + frame) * 4, 4);
    return v;
}

} // namespace

TEST(BridgeHostilePlugins, AFaultInProcessingTellsTheHostAtOnceAndEndsTheProcess)
{
    // The plugin faults again in effClose, while the ending bridge frees it.
    TSession s;
    ASSERT_EQ(s.Load(Hostile("fault_process")), 1u);
    std::vector<std::uint8_t> block = StereoBlock(64);
    const auto t0 = TClock::now();
    EXPECT_FALSE(s.Process(block)) << "a faulting block has no answer";
    ASSERT_TRUE(s.host->WaitClosed(5000));
    const long long ms = MsSince(t0);
    EXPECT_EQ(s.host->CloseReason(), TBridgeHost::TCloseReason::BridgeClosed);
    EXPECT_LT(ms, 200) << "the host learnt of the end only after " << ms << " ms";
    DWORD code = 0;
    EXPECT_TRUE(s.host->WaitProcessExit(5000, code));
}

TEST(BridgeHostilePlugins, AFaultInSwitchingOnIsLoggedAndTheBridgeGoesOnProcessing)
{
    TSession s;
    // The plugin faults in every effMainsChanged: loading switches it on.
    ASSERT_EQ(s.Load(Hostile("fault_mains")), 1u);
    std::vector<std::int32_t> states = {0, 1, 0, 1};
    for (std::int32_t on : states)
        EXPECT_TRUE(s.Send(kCmdSetActive, on)) << on;
    for (int round = 0; round < 3; ++round) {
        std::vector<std::uint8_t> block = StereoBlock(64);
        ASSERT_TRUE(s.Process(block)) << round;
        EXPECT_FLOAT_EQ(OutputSample(block, 64, 1, 7), 1007.0f) << round;
    }
    EXPECT_TRUE(s.host->Connected());
}

TEST(BridgeHostilePlugins, AFaultThePluginHandlesInsideItsEntryPointIsNoCrash)
{
    TSession s;
    ASSERT_EQ(s.Load(Hostile("own_fault")), 1u);
    EXPECT_EQ(std::string(s.Desc().Name, strnlen(s.Desc().Name, 64)), "Hostile");
    std::vector<std::uint8_t> block = StereoBlock(32);
    ASSERT_TRUE(s.Process(block));
    EXPECT_FLOAT_EQ(OutputSample(block, 32, 0, 3), 3.0f);
}

TEST(BridgeHostilePlugins, BusesThatGrowMidBlockKeepTheBridgeServing)
{
    TSession s;
    ASSERT_EQ(s.Load(Hostile("grow")), 1u);
    for (int round = 0; round < 6; ++round) {
        // Blocks 0 and 4 carry a parameter change that grows, block 2 one that
        // shrinks; the plugin grows itself in its third process call.
        std::vector<std::uint8_t> block = StereoBlock(64);
        auto& head = *reinterpret_cast<TProcessBlock*>(block.data());
        if (round % 2 == 0) {
            TBridgeEvent e{};
            e.Type = kEventParam;
            const float v = round == 2 ? 0.0f : 1.0f;
            std::memcpy(e.Value2, &v, 4);
            std::memcpy(block.data() + head.EventOffset, &e, sizeof e);
            head.EventCount = 1;
        }
        ASSERT_TRUE(s.Process(block)) << round;
    }
    // Now 8 inputs: the refreshed description shows them all.
    EXPECT_TRUE(s.Send(kCmdRefreshDescription, 2));
    int channels = 0;
    for (int i = 0; i < s.Desc().InputBusCount && i < kMaxDescribedBuses; ++i)
        channels += s.Desc().InputBuses[i].Channels;
    EXPECT_EQ(channels, 8);
    EXPECT_TRUE(s.host->Connected());
}

TEST(BridgeHostilePlugins, ALayoutChangedFromThePluginsOwnThreadNeverMisleadsTheAudioThread)
{
    TSession s;
    ASSERT_EQ(s.Load(Hostile("io_thread")), 1u);
    int accumulated = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<std::uint8_t> block = StereoBlock(32);
        ASSERT_TRUE(s.Process(block)) << round;
        // The accumulating process of the plugin marks its output: a host
        // that read the flags half-built would have called it.
        if (OutputSample(block, 32, 0, 0) == -12345.0f)
            ++accumulated;
    }
    EXPECT_EQ(accumulated, 0);
    EXPECT_TRUE(s.host->Connected());
}

TEST(BridgeHostilePlugins, ALatencyChangedWithoutTellingReachesTheHost)
{
    TSession s;
    ASSERT_EQ(s.Load(Hostile("silent_delay")), 1u);
    EXPECT_EQ(s.Desc().Latency, 0);
    for (int round = 0; round < 5; ++round) {
        std::vector<std::uint8_t> block = StereoBlock(32);
        ASSERT_TRUE(s.Process(block)) << round;
    }
    // The plugin set initialDelay 480 in its fourth block and said nothing.
    const auto t0 = TClock::now();
    while (!s.NoteArrived(16, 480) && MsSince(t0) < 3000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(s.NoteArrived(16, 480));
    EXPECT_EQ(s.Desc().Latency, 480);
}

TEST(BridgeHostilePlugins, ClosingTheHostDuringAShellScanEndsTheProcess)
{
    TSession s;
    s.FillLoad(Hostile("slow_shell"));
    s.host->PostCode(kCodeLoadPlugin, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // inside the 900 ms scan
    s.host->Close();
    DWORD code = 0;
    EXPECT_TRUE(s.host->WaitProcessExit(5000, code)) << "the bridge hangs in its own lock";
}

TEST(BridgeHostilePlugins, ARefreshWaitingInsideThePluginDoesNotHoldUpTheAudio)
{
    TSession s;
    ASSERT_EQ(s.Load(Hostile("waiting_params")), 1u);
    std::vector<std::uint8_t> first = StereoBlock(32);
    ASSERT_TRUE(s.Process(first));
    // The plugin answers the display of its first parameter only after its
    // next audio block (or after 5 s): a refresh now waits inside the plugin.
    std::atomic<bool> refreshed{false};
    std::thread refresh([&] { refreshed = s.Send(kCmdRefreshDescription, 1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<std::uint8_t> block = StereoBlock(32);
    const auto t0 = TClock::now();
    EXPECT_TRUE(s.Process(block));
    const long long ms = MsSince(t0);
    refresh.join();
    EXPECT_TRUE(refreshed.load());
    EXPECT_LT(ms, 2500) << "the block waited " << ms << " ms behind the refresh";
    EXPECT_EQ(s.Desc().ParamCount, 16);
}
