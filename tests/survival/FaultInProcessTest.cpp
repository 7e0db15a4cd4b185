// A plugin that faults inside processReplacing: the host hears the bridge's
// closing code within 200 ms of sending the block, and the bridge ends.

#include "SurvivalSupport.h"

#include <gtest/gtest.h>

TEST(FaultRuns, FaultInProcessReplacingClosesTheChannelWithin200ms)
{
    TEnv at("SURVIVAL_AT", "3");
    std::unique_ptr<TBridgeHost> host = StartBridge(Fixture("Survival_fault.dll"));
    TAudioBlock block;
    ASSERT_TRUE(block.Send(host->Channel()));
    ASSERT_TRUE(block.Send(host->Channel()));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(block.Send(host->Channel()));
    ASSERT_TRUE(host->WaitClosed(5000));
    const double ms = MsSince(t0);
    EXPECT_EQ(host->CloseReason(), TBridgeHost::TCloseReason::BridgeClosed) << "0xFF000002 was not sent";
    EXPECT_LE(ms, 200.0) << "the closing code came " << ms << " ms after the block";
    DWORD code = 0;
    EXPECT_TRUE(host->WaitProcessExit(2000, code));
    RecordProperty("close_ms", static_cast<int>(ms));
}
