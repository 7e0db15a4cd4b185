// Fault runs: the host or the bridge killed in the middle of a block, a
// plugin that never returns, a plugin that leaks a running thread, and the
// command-line host recovering from a plugin that faults. Each states its
// outcome in time limits the host can rely on.

#include "BridgeRecovery.h"
#include "HostRunner.h"
#include "SurvivalSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Runs the command-line host to its end (60 s at most) and collects its output.
THostRun RunHost(const std::string& arguments)
{
    return RunCommandLineHost(kBuild, arguments);
}

// A marker file that does not exist yet, removed afterwards.
struct TMarker {
    TMarker(const char* what)
    {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        Path = std::string(dir) + "pelorin-survival-" + std::to_string(GetCurrentProcessId()) + "-" + what;
        DeleteFileA(Path.c_str());
    }
    ~TMarker() { DeleteFileA(Path.c_str()); }
    std::string Path;
};

// Waits until the slow plugin in process pid is inside a block.
bool WaitInBlock(DWORD pid, DWORD timeoutMs)
{
    const std::string name = "SurvivalInBlock_" + std::to_string(pid);
    const auto t0 = std::chrono::steady_clock::now();
    while (MsSince(t0) < timeoutMs) {
        HANDLE e = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
        if (e != nullptr) {
            const bool set = WaitForSingleObject(e, 100) == WAIT_OBJECT_0;
            CloseHandle(e);
            if (set)
                return true;
        } else {
            Sleep(20);
        }
    }
    return false;
}

} // namespace

TEST(FaultRuns, HostKilledDuringABlockEndsTheBridgeWithin2Seconds)
{
    TEnv slow("SURVIVAL_SLOW_MS", "300");
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::string cmd = "\"" + kBuild + "/dist/64bit/pelorin-host.exe\" --quiet --tone 60 \"" +
                      Fixture("Survival_slow.dll") + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    DWORD bridge = 0;
    // Whatever happens, neither the host nor its bridge outlives the test.
    struct TCleanup {
        HANDLE host;
        DWORD& bridge;
        ~TCleanup()
        {
            TerminateProcess(host, 1);
            CloseHandle(host);
            if (HANDLE h = bridge != 0 ? OpenProcess(PROCESS_TERMINATE, FALSE, bridge) : nullptr) {
                TerminateProcess(h, 1);
                CloseHandle(h);
            }
        }
    } cleanup{pi.hProcess, bridge};
    const auto t0 = std::chrono::steady_clock::now();
    while (bridge == 0 && MsSince(t0) < 60000) {
        const auto children = ChildProcesses(pi.dwProcessId, L"pelorin.exe");
        if (!children.empty())
            bridge = children.front();
        else
            Sleep(20);
    }
    ASSERT_NE(bridge, 0u) << "the host started no bridge";
    ASSERT_TRUE(WaitInBlock(bridge, 90000));
    Sleep(50); // well inside the 300 ms block

    TerminateProcess(pi.hProcess, 9);
    const auto killed = std::chrono::steady_clock::now();
    WaitForSingleObject(pi.hProcess, 5000);
    const bool ended = WaitPidExit(bridge, 5000);
    const double ms = MsSince(killed);
    EXPECT_TRUE(ended);
    EXPECT_LE(ms, 2000.0) << "the bridge took " << ms << " ms to end after its host was killed";
    RecordProperty("bridge_end_ms", static_cast<int>(ms));
}

TEST(FaultRuns, BridgeKilledDuringABlockIsReportedWithin2SecondsAndANewBridgeStartsAtOnce)
{
    TEnv slow("SURVIVAL_SLOW_MS", "300");
    std::unique_ptr<TBridgeHost> host = StartBridge(Fixture("Survival_slow.dll"));
    const DWORD pid = host->ProcessId();
    const std::wstring base = host->BaseName();

    TAudioBlock block;
    bool answered = true;
    std::chrono::steady_clock::time_point returned;
    std::thread audio([&] { // the host's audio thread
        answered = block.Send(host->Channel());
        returned = std::chrono::steady_clock::now();
    });
    ASSERT_TRUE(WaitInBlock(pid, 20000));
    Sleep(50);
    TerminateProcess(host->Process(), 9);
    const auto killed = std::chrono::steady_clock::now();
    audio.join();
    const double ms = std::chrono::duration<double, std::milli>(returned - killed).count();
    EXPECT_FALSE(answered);
    EXPECT_LE(ms, 2000.0) << "the host library reported the dead bridge after " << ms << " ms";
    EXPECT_TRUE(host->WaitClosed(2000));
    EXPECT_EQ(host->CloseReason(), TBridgeHost::TCloseReason::BridgeVanished);

    host.reset();
    EXPECT_TRUE(ChannelFreed(base)) << "the dead bridge's channel is still there";

    const auto restart = std::chrono::steady_clock::now();
    std::unique_ptr<TBridgeHost> next = StartBridge(Fixture("Survival_plain.dll"));
    const double startMs = MsSince(restart);
    EXPECT_NE(next->BaseName(), base);
    TAudioBlock again;
    ASSERT_TRUE(again.Send(next->Channel()));
    EXPECT_TRUE(again.OutputIsInput());
    RecordProperty("report_ms", static_cast<int>(ms));
    RecordProperty("restart_ms", static_cast<int>(startMs));
}

TEST(FaultRuns, PluginThatNeverReturnsHitsTheTimeLimitAndTheBridgeIsRestarted)
{
    TMarker marker("hang");
    TEnv at("SURVIVAL_AT", "3");
    TEnv once("SURVIVAL_ONCE", marker.Path);
    TBridgeHost::TOptions o;
    o.ReplyTimeoutMs = 1500;
    auto load = LoadRequest(Fixture("Survival_hang.dll"));
    TBridgeRecovery recovery(BridgePath(), o, *load);
    recovery.SetSwitchOn(SwitchOnData());
    std::unique_ptr<TBridgeHost> host = recovery.Start();
    {
        std::vector<std::uint8_t> on = SwitchOnData();
        std::int64_t result = 0;
        ASSERT_TRUE(host->Channel().SendCommandData(kCmdSetActive, result, static_cast<std::int64_t>(on.size()),
                                                    static_cast<std::int64_t>(on.size()), on.data(), false, 1));
    }
    TAudioBlock block;
    ASSERT_TRUE(block.Send(host->Channel()));
    ASSERT_TRUE(recovery.FetchState(*host, 1));
    ASSERT_TRUE(block.Send(host->Channel()));

    const DWORD oldPid = host->ProcessId();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(block.Send(host->Channel())) << "the third block never returns from the plugin";
    const double ms = MsSince(t0);
    EXPECT_GE(ms, 1400.0);
    EXPECT_LE(ms, 3000.0) << "the time limit is 1500 ms";

    const TBridgeRecovery::TReport r = recovery.Recover(host, 2);
    EXPECT_TRUE(WaitPidExit(oldPid, 2000)) << "the hung bridge was killed";
    EXPECT_TRUE(r.StateRestored);
    EXPECT_EQ(r.StateBlock, 1u);
    EXPECT_EQ(r.BlocksLost, 1u);
    EXPECT_NE(host->ProcessId(), oldPid);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(block.Send(host->Channel())) << "block " << i << " after the restart";
        EXPECT_TRUE(block.OutputIsInput());
    }
    RecordProperty("time_limit_ms", static_cast<int>(ms));
    RecordProperty("recovery_ms", static_cast<int>(r.Milliseconds));
}

TEST(FaultRuns, ThreadLeakedByThePluginDoesNotKeepTheBridgeAlive)
{
    std::unique_ptr<TBridgeHost> host = StartBridge(Fixture("Survival_leak.dll"));
    TAudioBlock block;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(block.Send(host->Channel()));
    host->Close();
    const auto t0 = std::chrono::steady_clock::now();
    DWORD code = 0xFFFFFFFF;
    EXPECT_TRUE(host->WaitProcessExit(5000, code));
    EXPECT_EQ(code, 0u);
    RecordProperty("end_ms", static_cast<int>(MsSince(t0)));
}

TEST(Recovery, CommandLineHostRecoversFromAPluginThatFaults)
{
    TMarker marker("fault");
    TEnv at("SURVIVAL_AT", "40");
    TEnv once("SURVIVAL_ONCE", marker.Path);
    const THostRun r = RunHost("--quiet --recover --state-every 16 --reply-limit 5000 --tone 1 \"" +
                           Fixture("Survival_fault.dll") + "\"");
    EXPECT_EQ(r.ExitCode, 0u) << r.Out;
    // The 40th call of processReplacing is block 39; the last state was
    // fetched before block 32.
    EXPECT_NE(r.Out.find("Recovered at block 39"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("state of block 32 restored"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("7 blocks lost"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("Processed 44100 frames in 87 blocks"), std::string::npos) << r.Out;
}
