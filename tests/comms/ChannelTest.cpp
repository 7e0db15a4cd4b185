// The command channel between a host-mode end (TBridgeHost) and a bridge-mode
// end (TTestPeer), the latter in this process on a message thread of its own
// or in the peer program channelpeer.exe.

#include "BridgeHost.h"
#include "FPUState.h"
#include "MessageThread.h"
#include "TestPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

using namespace testpeer;

namespace {

const wchar_t kPeerProgram[] = L"" PELORIN_BUILD_DIR "/fixtures/channelpeer.exe";

enum class TPeerKind { InProcess, OtherProcess };

struct THostCall {
    std::uint32_t Code;
    std::int32_t Index;
    std::int32_t Value;
    std::int64_t DataSize;
    std::int64_t ByteSum;
};

// What the host's handler saw, and how it answers.
class THostRecorder {
public:
    std::int32_t Handle(std::uint32_t code, std::int32_t& index, std::int32_t& value, std::wstring& text,
                        std::int64_t& dataSize, void* data)
    {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        std::int64_t sum = 0;
        for (std::int64_t i = 0; bytes != nullptr && i < dataSize; ++i)
            sum += bytes[i];
        {
            std::lock_guard<std::mutex> lock(mutex);
            calls.push_back({code, index, value, data != nullptr ? dataSize : -1, sum});
        }
        switch (code) {
        case 0x03000002: // MessageBox: the button
            return 7;
        case 0x03000003: // GetMenuItem: the entry's text and flags
            text = L"Entry " + std::to_wstring(value);
            return 3;
        case 0x03000004: // queued; the first one is slow
            if (value == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            return 0;
        case 0x03000005: // time conversions
            return index * 2;
        case 0x03000006:
            return index / 2;
        default:
            return 55; // never reaches the bridge for queued codes
        }
    }

    std::vector<THostCall> Calls(std::uint32_t code)
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<THostCall> out;
        for (const auto& c : calls)
            if (c.Code == code)
                out.push_back(c);
        return out;
    }

    // Polls until count calls of code arrived or the limit passed.
    std::vector<THostCall> WaitCalls(std::uint32_t code, std::size_t count, int limitMs = 10000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        for (;;) {
            auto c = Calls(code);
            if (c.size() >= count || std::chrono::steady_clock::now() > end)
                return c;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::mutex mutex;
    std::vector<THostCall> calls;
};

TBridgeHost::TOptions HostOptions(THostRecorder& recorder, DWORD replyTimeoutMs = 10000)
{
    TBridgeHost::TOptions o;
    o.ReplyTimeoutMs = replyTimeoutMs;
    o.OnHostCommand = [&recorder](std::uint32_t code, std::int32_t& index, std::int32_t& value, std::int64_t&,
                                  std::int64_t&, std::wstring& text, std::int64_t& dataSize, void* data) {
        return recorder.Handle(code, index, value, text, dataSize, data);
    };
    return o;
}

// One host and one peer of the chosen kind, connected.
class TChannelPair {
public:
    TChannelPair(TPeerKind kind, DWORD replyTimeoutMs = 10000)
        : kind_(kind), host_(std::make_unique<TBridgeHost>(HostOptions(recorder, replyTimeoutMs)))
    {
        if (kind == TPeerKind::InProcess) {
            peerThread_ = std::make_unique<TMessageThread>();
            peerThread_->Invoke([this] { peer_ = std::make_unique<TTestPeer>(host_->BaseName(), host_->Window(), false); });
        } else {
            host_->Launch(kPeerProgram);
        }
        bridgeWindow = host_->WaitConnected(10000);
    }
    ~TChannelPair()
    {
        if (peerThread_)
            peerThread_->Invoke([this] { peer_.reset(); });
        host_.reset();
    }

    TBridgeHost& Host() { return *host_; }
    TSharedMemoryIntf& Ch() { return host_->Channel(); }
    TPeerKind Kind() const { return kind_; }
    // Ends the peer without closing: the peer program is killed, the
    // in-process peer is freed (it posts its closing code).
    void EndPeer(bool kill)
    {
        if (kind_ == TPeerKind::OtherProcess) {
            if (kill)
                TerminateProcess(host_->Process(), 9);
            else
                Send(kQuit);
        } else {
            peerThread_->Invoke([this] { peer_.reset(); });
        }
    }
    TTestPeer* Peer() { return peer_.get(); }

    struct TReply {
        bool Ok;
        std::int64_t Result;
        std::int64_t Param1;
        std::int64_t Param2;
        std::wstring Text;
    };
    TReply Send(std::uint32_t code, std::int32_t index = 0, std::int32_t value = 0, std::int64_t param2 = 0,
                std::wstring text = L"", std::vector<std::uint8_t>* data = nullptr, std::int64_t capacity = 0)
    {
        TReply r{};
        r.Param2 = param2;
        const std::int64_t size = data != nullptr ? static_cast<std::int64_t>(data->size()) : 0;
        r.Ok = Ch().SendCommandFull(code, r.Result, index, value, r.Param1, r.Param2, text, size,
                                    std::max(capacity, size), data != nullptr ? data->data() : nullptr, true);
        r.Text = text;
        return r;
    }

    THostRecorder recorder;
    HWND bridgeWindow = nullptr;

private:
    TPeerKind kind_;
    std::unique_ptr<TBridgeHost> host_;
    std::unique_ptr<TMessageThread> peerThread_;
    std::unique_ptr<TTestPeer> peer_;
};

class ChannelTest : public ::testing::TestWithParam<TPeerKind> {};

std::string KindName(const ::testing::TestParamInfo<TPeerKind>& info)
{
    return info.param == TPeerKind::InProcess ? "InProcess" : "OtherProcess";
}

TEST_P(ChannelTest, ConnectingPublishesBothWindowsAndTheDefaultSizes)
{
    TChannelPair pair(GetParam());
    ASSERT_NE(pair.bridgeWindow, nullptr);
    EXPECT_TRUE(IsWindow(pair.bridgeWindow));
    const THeaderBlock* h = pair.Ch().Header();
    const std::uint64_t bridgeWindow = h->BridgeWindow; // copies: packed fields
    const std::uint64_t hostWindow = h->HostWindow;
    EXPECT_EQ(bridgeWindow, WindowValue(pair.bridgeWindow));
    EXPECT_EQ(hostWindow, WindowValue(pair.Host().Window()));
    for (int i = 0; i < kChannelCount; ++i) {
        const std::int64_t size = h->ChannelSize[i];
        EXPECT_EQ(size, kDefaultChannelSize[i]) << "channel " << i;
    }
    EXPECT_EQ(pair.Host().ReceivedCodes().size(), 1u);
}

TEST_P(ChannelTest, CommandsRunOnTheirChannelsThreadsAndChangeTheRecordInPlace)
{
    TChannelPair pair(GetParam());
    struct TCase {
        std::uint32_t Code;
        bool OnWindowThread;
    };
    const TCase cases[] = {{kWho1, false}, {kWho2, true}, {kWho4, false}};
    std::vector<std::int64_t> threads;
    for (const auto& c : cases) {
        std::vector<std::uint8_t> data = {1, 2, 250};
        const auto r = pair.Send(c.Code, 3, 40, 5, L"", &data);
        ASSERT_TRUE(r.Ok) << std::hex << c.Code;
        EXPECT_EQ(r.Result, c.OnWindowThread ? 1 : 0) << std::hex << c.Code;
        EXPECT_EQ(r.Param2, 8) << std::hex << c.Code;
        EXPECT_EQ(data, (std::vector<std::uint8_t>{2, 3, 251})) << std::hex << c.Code;
        threads.push_back(r.Param1);
    }
    // Description, control and audio channels each have a thread of their own.
    EXPECT_NE(threads[0], threads[1]);
    EXPECT_NE(threads[0], threads[2]);
    EXPECT_NE(threads[1], threads[2]);
}

TEST_P(ChannelTest, ChannelThreadsRunWithTheDefaultFloatingPointState)
{
    TChannelPair pair(GetParam());
    for (std::uint32_t code : {kFpu1, kFpu4}) {
        const auto r = pair.Send(code);
        ASSERT_TRUE(r.Ok);
        EXPECT_EQ(static_cast<std::uint32_t>(r.Result), DefaultMXCSR()) << std::hex << code;
        EXPECT_EQ(r.Param1 & 0x1F3F, kDefaultX87ControlWord) << std::hex << code;
    }
}

TEST_P(ChannelTest, DataSizeZeroGivesNoDataAddressAndResultsAreZeroExtended)
{
    TChannelPair pair(GetParam());
    std::vector<std::uint8_t> none;
    auto r = pair.Send(kDataProbe, 0, 0, 0, L"", &none);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Result, 0);
    EXPECT_EQ(r.Param1, -1); // no data address

    std::vector<std::uint8_t> some(1000, 2);
    r = pair.Send(kDataProbe, 0, 0, 0, L"", &some);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Result, 2000);
    EXPECT_EQ(r.Param1, 1000);

    r = pair.Send(kMinusOne);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(static_cast<std::uint64_t>(r.Result), 0x00000000FFFFFFFFull);
}

TEST_P(ChannelTest, TextGoesOutAsAtMost129UnitsAndComesBackAsAtMost259Characters)
{
    TChannelPair pair(GetParam());
    struct TCase {
        std::size_t Out;
        std::int32_t Answer;
        std::int64_t ArrivedUnits;
        std::size_t ReturnedChars;
    };
    const TCase cases[] = {{0, 0, 0, 0}, {10, 10, 10, 10}, {129, 259, 129, 259}, {200, 300, 129, 259}, {130, 260, 129, 259}};
    for (const auto& c : cases) {
        const auto r = pair.Send(kText, c.Answer, 0, 0, std::wstring(c.Out, L'Q'));
        ASSERT_TRUE(r.Ok);
        EXPECT_EQ(r.Result, c.ArrivedUnits) << "out " << c.Out;
        ASSERT_EQ(r.Text.size(), c.ReturnedChars) << "answer " << c.Answer;
        for (std::size_t i = 0; i < r.Text.size(); ++i)
            ASSERT_EQ(r.Text[i], static_cast<wchar_t>(L'a' + i % 26));
    }
}

TEST_P(ChannelTest, ACommandBeyondTheBlockGrowsItAndTheServerFollowsFirst)
{
    TChannelPair pair(GetParam());
    const std::int64_t capacity = 700000; // more than the 651524 bytes of block 1
    std::vector<std::uint8_t> data(5000, 3);
    auto r = pair.Send(kDataProbe, 0, 0, 0, L"", &data, capacity);
    ASSERT_TRUE(r.Ok);
    const std::int64_t grown = 308 + capacity + 256;
    const std::int64_t published = pair.Ch().Header()->ChannelSize[kDescriptionChannel];
    EXPECT_EQ(published, grown);
    EXPECT_EQ(pair.Ch().Channel(kDescriptionChannel).Size(), grown);
    EXPECT_EQ(r.Param2, grown); // the server's own block at the time it executed
    EXPECT_EQ(r.Result, 15000);

    // A full block of data fits now, and a small command afterwards keeps the size.
    std::vector<std::uint8_t> big(static_cast<std::size_t>(capacity), 1);
    r = pair.Send(kDataProbe, 0, 0, 0, L"", &big);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Result, capacity);
    r = pair.Send(kDataProbe);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Param2, grown);
}

TEST_P(ChannelTest, TheHostAnswersItsResultCodesBeforeReplying)
{
    TChannelPair pair(GetParam());
    struct TCase {
        std::uint32_t HostCode;
        std::int32_t Index;
        std::int32_t Value; // entry index for GetMenuItem
        std::int64_t Result;
        std::wstring Text;
    };
    const TCase cases[] = {
        {0x03000002, 0x30, 0, 7, L""},
        {0x03000003, 1, 5, 3, L"Entry 5"},
        {0x03000005, 21, 0, 42, L""},
        {0x03000006, 21, 0, 10, L""},
        {0x03000007, 1, 0, 0, L""}, // queued: delivered, no result
    };
    for (const auto& c : cases) {
        // The peer sends the code from inside a command of the host.
        const auto r = pair.Send(kAskHost, c.Index, static_cast<std::int32_t>(c.HostCode), c.Value, L"Hello");
        ASSERT_TRUE(r.Ok);
        EXPECT_EQ(r.Param1, 1) << std::hex << c.HostCode;
        EXPECT_EQ(r.Result, c.Result) << std::hex << c.HostCode;
        if (!c.Text.empty()) {
            EXPECT_EQ(r.Text, c.Text);
        }
        const auto calls = pair.recorder.WaitCalls(c.HostCode, 1);
        ASSERT_EQ(calls.size(), 1u) << std::hex << c.HostCode;
        EXPECT_EQ(calls[0].Index, c.Index);
        EXPECT_EQ(calls[0].Value, c.Value);
    }
}

TEST_P(ChannelTest, TheBridgeGrowsTheHostChannelAndTheHostFollows)
{
    TChannelPair pair(GetParam());
    const std::int32_t bytes = 300000; // more than the 262144 bytes of block 3
    const auto r = pair.Send(kBigToHost, bytes);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Result, 1);
    EXPECT_EQ(r.Param1, 308 + bytes + 256);
    const auto calls = pair.recorder.WaitCalls(0x03000001, 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].DataSize, bytes);
    std::int64_t sum = 0;
    for (std::int32_t i = 0; i < bytes; ++i)
        sum += i & 0xFF;
    EXPECT_EQ(calls[0].ByteSum, sum);
}

TEST_P(ChannelTest, QueuedHostRequestsRunInOrderWhileTheHandlerIsSlow)
{
    TChannelPair pair(GetParam());
    ASSERT_TRUE(pair.Send(kQueueBurst, 100).Ok); // all 100 delivered while the first still sleeps
    EXPECT_GT(pair.Ch().Queue().FIFOCount(), 63); // the ring grew beyond its 64 items
    const auto calls = pair.recorder.WaitCalls(0x03000004, 100);
    ASSERT_EQ(calls.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(calls[static_cast<std::size_t>(i)].Value, i);
}

TEST_P(ChannelTest, WindowCodesTravelBothWays)
{
    TChannelPair pair(GetParam());
    pair.Host().PostCode(0xFF000008, 1234);
    auto r = pair.Send(kLastCode); // the posted code is handled before this command
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(static_cast<std::uint32_t>(r.Result), 0xFF000008u);
    EXPECT_EQ(r.Param2, 1234);
    EXPECT_EQ(r.Param1, 1); // on the peer's window thread

    EXPECT_EQ(pair.Host().SendCode(0xFF000007, 99), 0);
    r = pair.Send(kLastCode);
    EXPECT_EQ(static_cast<std::uint32_t>(r.Result), 0xFF000007u);
    EXPECT_EQ(r.Param2, 99);

    ASSERT_TRUE(pair.Send(kPostBack, 9, static_cast<std::int32_t>(0xFF000006)).Ok);
    EXPECT_EQ(pair.Host().WaitForCode(0xFF000006, 2000), 9u);
}

TEST_P(ChannelTest, ARepeatedConnectCodeIsIgnored)
{
    TChannelPair pair(GetParam());
    PostMessageW(pair.Host().Window(), BridgedPlugCommandMessage(), kCodeBridgeReady, 0x1234);
    ASSERT_TRUE(pair.Send(kPostBack, 1, static_cast<std::int32_t>(0xFF000006)).Ok);
    pair.Host().WaitForCode(0xFF000006, 2000); // the bogus code was handled before this one
    EXPECT_EQ(pair.Ch().OtherWindow(), pair.bridgeWindow);
    int readies = 0;
    for (const auto& c : pair.Host().ReceivedCodes())
        readies += c.first == kCodeBridgeReady ? 1 : 0;
    EXPECT_EQ(readies, 1);
    EXPECT_TRUE(pair.Send(kWho1).Ok);
}

TEST_P(ChannelTest, CommandsOnTheWrongSideFailAndAThrowingHandlerStillAnswers)
{
    TChannelPair pair(GetParam());
    auto r = pair.Send(kSendOnServer); // the peer serves channel 1
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Result, 0);
    EXPECT_FALSE(pair.Send(0x03000000).Ok); // the host serves channel 3
    EXPECT_FALSE(pair.Send(0xFF000001).Ok); // a window code is no command
    EXPECT_FALSE(pair.Send(0x05000000).Ok); // a passive channel

    EXPECT_TRUE(pair.Send(kThrow1).Ok);
    r = pair.Send(kWho1, 1);
    EXPECT_TRUE(r.Ok);
}

TEST_P(ChannelTest, AReplyLimitTurnsAHungCommandIntoAFailureWithItsLogLine)
{
    TChannelPair pair(GetParam(), 300);
    const auto r = pair.Send(kBlock4, 0, 0, 77, L"x");
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Param2, 0);
    EXPECT_EQ(r.Result, 0);
    EXPECT_TRUE(r.Text.empty());
    const auto lines = pair.Host().LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Timed out waiting for event - index=4 cmd=04000018");
}

TEST_P(ChannelTest, AMissedReplyLimitBreaksTheChannelInsteadOfShiftingIt)
{
    TChannelPair pair(GetParam(), 300);
    // The peer answers 1 after 700 ms: too late.
    EXPECT_FALSE(pair.Send(kSlow4, 700, 1).Ok);
    EXPECT_TRUE(pair.Host().Broken());
    // The next command would otherwise take the late answer of the first.
    const auto r = pair.Send(kSlow4, 0, 2);
    EXPECT_FALSE(r.Ok) << "answered " << r.Result;
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_FALSE(pair.Send(kWho4).Ok) << "a broken channel takes no more commands";
    EXPECT_EQ(pair.Host().LogLines().back(), "  Refused on a broken channel (command=04000010)");
}

TEST_P(ChannelTest, ClosingReleasesAWaitingSenderAndEndsThePeer)
{
    TChannelPair pair(GetParam());
    auto blocked = std::async(std::launch::async, [&] { return pair.Send(kBlock4); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto start = std::chrono::steady_clock::now();
    pair.Host().Close();
    ASSERT_EQ(blocked.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    EXPECT_FALSE(blocked.get().Ok); // released, not executed to the end
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    if (pair.Kind() == TPeerKind::OtherProcess) {
        DWORD code = 99;
        ASSERT_TRUE(pair.Host().WaitProcessExit(2000, code));
        EXPECT_EQ(code, 0u);
    } else {
        for (int i = 0; i < 200 && pair.Peer()->Disconnects() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(pair.Peer()->Disconnects(), 1);
        EXPECT_FALSE(pair.Peer()->Channel().Connected());
    }
}

TEST_P(ChannelTest, APeerThatClosesIsSeenAsClosed)
{
    TChannelPair pair(GetParam());
    // One finished host-channel command leaves 0xFFFFFFFF in block 3.
    ASSERT_TRUE(pair.Send(kAskHost, 0, 0x03000002).Ok);
    const std::size_t calls = pair.recorder.Calls(0x03000002).size();
    pair.EndPeer(false);
    ASSERT_TRUE(pair.Host().WaitClosed(2000));
    EXPECT_EQ(pair.Host().CloseReason(), TBridgeHost::TCloseReason::BridgeClosed);
    EXPECT_FALSE(pair.Ch().Connected());
    EXPECT_FALSE(pair.Send(kWho1).Ok);
    // The peer's stop set the host channel's request event: no stale record runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(pair.recorder.Calls(0x03000002).size(), calls);
    for (const auto& c : pair.Host().ReceivedCodes())
        EXPECT_NE(c.first, kCommandDone);
}

INSTANTIATE_TEST_SUITE_P(Peers, ChannelTest, ::testing::Values(TPeerKind::InProcess, TPeerKind::OtherProcess),
                         KindName);

TEST(ChannelLiveness, AKilledPeerIsReportedWithinTwoSecondsAndItsWaitingSenderReleased)
{
    TChannelPair pair(TPeerKind::OtherProcess);
    auto blocked = std::async(std::launch::async, [&] { return pair.Send(kBlock4); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto start = std::chrono::steady_clock::now();
    pair.EndPeer(true);
    ASSERT_TRUE(pair.Host().WaitClosed(2500));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(pair.Host().CloseReason(), TBridgeHost::TCloseReason::BridgeVanished);
    // The host's own stop releases the sender that waited for the dead peer.
    ASSERT_EQ(blocked.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_FALSE(blocked.get().Ok);
}

TEST(ChannelUnconnected, NothingIsSentAndACloseCodeIsIgnoredBeforeTheBridgeConnects)
{
    THostRecorder recorder;
    TBridgeHost host(HostOptions(recorder));
    std::int64_t result = 5;
    EXPECT_FALSE(host.Channel().SendCommandResult(kWho1, result, 0, 0, 0, 0, L""));
    EXPECT_EQ(result, 5);
    EXPECT_EQ(host.Channel().SendPeer(0xFF000008, 1, false), 0);
    EXPECT_TRUE(host.Channel().CheckPeer()); // not connected counts as alive

    // A closing code while not connected changes nothing; the bridge still connects.
    SendMessageW(host.Window(), BridgedPlugCommandMessage(), kCodeBridgeCloses, 0);
    EXPECT_EQ(host.CloseReason(), TBridgeHost::TCloseReason::None);
    host.Launch(kPeerProgram);
    EXPECT_NE(host.WaitConnected(10000), nullptr);
    std::int64_t p1 = 0, p2 = 0;
    std::wstring text;
    EXPECT_TRUE(host.Channel().SendCommandFull(kWho1, result, 0, 0, p1, p2, text, 0, 0, nullptr, false));
}

} // namespace
