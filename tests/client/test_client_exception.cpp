// A command that raises on a channel thread: the client reports the exception,
// the host gets no answer for that command but learns at once that the
// bridge closes, and the client can still be freed (the waiting thread is
// released when the channel stops).

#include "BridgeClientImpl.h"
#include "BridgeHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

TEST(ClientException, ARaisingAudioCommandIsReportedAndNeverAnswered)
{
    TBridgeHost::TOptions o;
    o.ReplyTimeoutMs = 5000;
    TBridgeHost host(o);
    auto client = std::make_unique<TBridgeClient>(host.BaseName(), static_cast<std::int32_t>(WindowValue(host.Window())));
    host.WaitConnected(5000);

    std::atomic<int> reported{0};
    std::string message;
    DWORD reportThread = 0;
    client->OnException = [&](TBridgeClient&, const Exception& e) {
        message = e.Message();
        reportThread = GetCurrentThreadId();
        ++reported;
    };
    constexpr std::uint32_t kRaising = 0x04000077; // a code of the audio channel
    client->Impl().RegisterCommand(kRaising, [](TCommandArgs&) -> std::int32_t { throw Exception("boom"); });

    std::int64_t result = 0, p1 = 0, p2 = 0;
    std::wstring text;
    const DWORD start = GetTickCount();
    const bool answered = host.Channel().SendCommandFull(kRaising, result, 0, 0, p1, p2, text, 0, 0, nullptr, false);
    EXPECT_FALSE(answered) << "the host must not take a failed command for a result";
    EXPECT_LT(GetTickCount() - start, 1000u) << "the send failed by the closing notice, not by its time limit";
    EXPECT_TRUE(host.WaitClosed(1000));
    EXPECT_EQ(host.CloseReason(), TBridgeHost::TCloseReason::BridgeClosed);
    ASSERT_EQ(reported.load(), 1);
    EXPECT_EQ(message, "boom");
    EXPECT_NE(reportThread, GetCurrentThreadId()) << "raised on the audio channel's thread";

    // Freeing the client releases the waiting thread; a hang here is a failure (test time limit).
    client.reset();
}
