// The bridge's host object against a real host end of the channel in the same
// process: what each plugin notice records in the shared blocks and what it
// sends to the host.

#include "BridgeClientCore.h"
#include "BridgeHost.h"
#include "FakePlugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct TSeen {
    std::uint32_t Code;
    std::int32_t Index, Value;
    std::wstring Text;
    std::vector<std::uint8_t> Data;
    float RecordValue;      // the described value of parameter Index when the host saw the code
    std::int32_t Latency;   // the latency word then
    std::string KeyName60;  // the described name of key 60 then
};

class HostObjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TBridgeHost::TOptions o;
        o.ReplyTimeoutMs = 10000;
        o.OnHostCommand = [this](std::uint32_t code, std::int32_t& index, std::int32_t& value, std::int64_t&,
                                 std::int64_t&, std::wstring& text, std::int64_t& dataSize, void* data) {
            return OnHost(code, index, value, text, dataSize, data);
        };
        host = std::make_unique<TBridgeHost>(o);
        TSharedMemoryIntf::TEvents events;
        bridge = std::make_unique<TSharedMemoryIntf>(host->BaseName(), std::move(events), host->Window());
        host->WaitConnected(5000);
        core = std::make_unique<TBridgeClientCore>(nullptr);
        core->AttachChannel(bridge.get());
        auto p = std::make_unique<TFakePlugin>(&core->Host);
        p->NumParams = 4;
        p->Name = "Fake";
        plugin = p.get();
        core->InstallPlugin(std::move(p));
        TDescriptionWriter(core->DescriptionBlock()).UpdateParams(plugin, -1, -1);
    }
    void TearDown() override
    {
        bridge->StopThreads();
        core.reset();
        bridge.reset();
        host.reset();
    }

    std::int32_t OnHost(std::uint32_t code, std::int32_t& index, std::int32_t& value, std::wstring& text,
                        std::int64_t& dataSize, void* data)
    {
        const auto* d = static_cast<const TDescriptionBlock*>(host->Channel().DescriptionBlock());
        TSeen s{code, index, value, text, {}, 0.0f, d->Latency, std::string(d->KeyNames[60])};
        if (index >= 0 && index < 4)
            s.RecordValue = d->Params[index].Value;
        if (data != nullptr && dataSize > 0)
            s.Data.assign(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + dataSize);
        {
            std::lock_guard<std::mutex> lock(mutex);
            seen.push_back(s);
        }
        switch (code) {
        case kHostToSamples: return index * 2;
        case kHostFromSamples: return index / 2;
        case kHostMessageBox: return 6; // IDYES
        case kHostGetMenuItem:
            text = L"Entry " + std::to_wstring(value);
            return 1;
        default: return 0;
        }
    }

    // The codes the host saw so far; queued codes may still be on their way.
    std::vector<TSeen> Seen(std::size_t atLeast)
    {
        for (int i = 0; i < 200; ++i) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (seen.size() >= atLeast)
                    return seen;
            }
            Sleep(10);
        }
        std::lock_guard<std::mutex> lock(mutex);
        return seen;
    }

    std::unique_ptr<TBridgeHost> host;
    std::unique_ptr<TSharedMemoryIntf> bridge;
    std::unique_ptr<TBridgeClientCore> core;
    TFakePlugin* plugin = nullptr;
    std::mutex mutex;
    std::vector<TSeen> seen;
};

float BitsToFloat(std::int32_t v)
{
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

} // namespace

TEST_F(HostObjectTest, ParamChangedUpdatesTheDescriptionBeforeItIsSent)
{
    // A plugin reports a value it already holds; the record is refreshed from it.
    plugin->Values = {0.1f, 0.2f, 0.7f, 0.4f};
    core->Host.ParamChanged(2, 0.7f);
    core->Host.ParamChanged(4, 0.9f);  // equal to the count: nothing stored
    core->Host.ParamChanged(-1, 0.9f); // negative: nothing stored
    const auto s = Seen(3);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].Code, kHostParamChanged);
    EXPECT_EQ(s[0].Index, 2);
    EXPECT_FLOAT_EQ(BitsToFloat(s[0].Value), 0.7f);
    EXPECT_FLOAT_EQ(s[0].RecordValue, 0.7f);
    EXPECT_EQ(s[1].Index, 4);
    EXPECT_EQ(s[2].Index, -1);
    const auto* d = core->DescriptionBlock();
    EXPECT_STREQ(d->Params[2].Name, "Param 2");
    EXPECT_FLOAT_EQ(d->Params[3].Value, 3 / 10000.0f) << "its neighbour is not refreshed";
}

TEST_F(HostObjectTest, DisplayLatencyAndIONotices)
{
    plugin->Latency = 128;
    core->Host.LatencyChanged(0);
    core->Host.UpdateDisplay(0x05, true);
    plugin->Name = "Vornish Delay";
    core->Host.UpdateDisplay(0x05, true);
    core->Host.UpdateDisplay(0x02, false);
    core->Host.IOChanged();
    const auto s = Seen(5);
    ASSERT_EQ(s.size(), 5u);
    for (const auto& x : s)
        EXPECT_EQ(x.Code, kHostDisplayChanged);
    EXPECT_EQ(s[0].Index, 16);
    EXPECT_EQ(s[0].Latency, 128) << "the latency word is written before the notice";
    EXPECT_EQ(s[1].Index, 12);
    EXPECT_EQ(s[1].Value, 2);
    EXPECT_EQ(s[1].KeyName60, "Middle C") << "key names are refreshed before the notice";
    EXPECT_EQ(s[2].Index, 8) << "program names of a Vornish plugin are not announced";
    EXPECT_EQ(s[3].Index, 2);
    EXPECT_EQ(s[3].Value, 0);
    EXPECT_EQ(s[4].Index, 1);
}

TEST_F(HostObjectTest, QuestionsGetTheHostsAnswers)
{
    EXPECT_EQ(core->Host.ConvertTime(true, 21), 42);
    EXPECT_EQ(core->Host.ConvertTime(false, 21), 10);
    EXPECT_EQ(core->Host.MessageBox("Error|Something", 0x30), 6);
    char buf[6];
    THostMenuItem item{buf, sizeof(buf), 0};
    EXPECT_TRUE(core->Host.GetMenuItem(3, 7, item));
    EXPECT_STREQ(buf, "Entry") << "cut to the item's buffer";
    EXPECT_EQ(item.Flags, 1);
    const auto s = Seen(4);
    ASSERT_GE(s.size(), 4u);
    EXPECT_EQ(s[2].Code, kHostMessageBox);
    EXPECT_EQ(s[2].Index, 0x30);
    EXPECT_EQ(s[2].Text, L"Error|Something");
    EXPECT_EQ(s[3].Index, 3);
    EXPECT_EQ(s[3].Value, 7);

    const std::uint8_t sysex[] = {0xF0, 0x7D, 0x01, 0xF7};
    core->Host.SysexOut(0, 4, sysex);
    core->Host.ShowMessage("hello", 2);
    const auto t = Seen(6);
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[4].Code, kHostSysex);
    EXPECT_EQ(t[4].Data, std::vector<std::uint8_t>(sysex, sysex + 4));
    EXPECT_EQ(t[5].Code, kHostShowMessage);
    EXPECT_EQ(t[5].Index, 2);
    EXPECT_EQ(t[5].Text, L"hello");
}

TEST_F(HostObjectTest, AnswersInsideTheBridge)
{
    for (int i = 0; i < 5000; ++i)
        core->Host.MidiOut(0x90 + (i & 0x0F), i & 1);
    EXPECT_EQ(core->Audio.QueuedEventCount(), 4096);
    core->Header()->HostFlags = 1;
    EXPECT_TRUE(core->Host.CanResizeEditor(false));
    EXPECT_FALSE(core->Host.CanResizeEditor(true));
    core->Header()->HostFlags = 0;
    EXPECT_FALSE(core->Host.CanResizeEditor(false));
    core->Audio.TimeInfo.PpqPos = 12.5;
    THostTimeInfo info{};
    core->Host.GetTimeInfo(0, info);
    EXPECT_DOUBLE_EQ(info.PpqPos, 12.5);
    EXPECT_TRUE(core->Host.CanAutomate(3));
    EXPECT_TRUE(core->Host.IsPinConnected(0, true));
    EXPECT_THROW(core->Host.HostReservedA(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), Exception);
    EXPECT_TRUE(Seen(0).empty()) << "none of these reaches the host";
}

TEST_F(HostObjectTest, QuestionsAnswerZeroOnceTheChannelIsClosed)
{
    host->Close();
    for (int i = 0; i < 200 && bridge->Connected(); ++i) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
        Sleep(5);
    }
    ASSERT_FALSE(bridge->Connected());
    const DWORD start = GetTickCount();
    EXPECT_EQ(core->Host.ConvertTime(true, 21), 0);
    EXPECT_EQ(core->Host.MessageBox("x", 0), 0);
    char buf[8] = "keep";
    THostMenuItem item{buf, sizeof(buf), 5};
    EXPECT_FALSE(core->Host.GetMenuItem(1, 1, item));
    EXPECT_STREQ(buf, "keep");
    EXPECT_LT(GetTickCount() - start, 1000u) << "no waiting for a host that is gone";
}
