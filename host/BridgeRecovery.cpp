#include "BridgeRecovery.h"

#include "Exception.h"

#include <chrono>
#include <cstring>

TBridgeRecovery::TBridgeRecovery(std::wstring bridge, TBridgeHost::TOptions options, const TLoadBlock& load,
                                 DWORD loadTimeoutMs)
    : bridge_(std::move(bridge)),
      options_(std::move(options)),
      load_(reinterpret_cast<const std::uint8_t*>(&load), reinterpret_cast<const std::uint8_t*>(&load) + sizeof(load)),
      loadTimeoutMs_(loadTimeoutMs)
{
}

std::unique_ptr<TBridgeHost> TBridgeRecovery::Start()
{
    TBridgeHost::TOptions o = options_;
    o.BaseName.clear(); // always a new channel
    auto host = std::make_unique<TBridgeHost>(o);
    host->Launch(bridge_);
    host->WaitConnected(15000);
    void* block = host->Channel().LoadBlock();
    if (block == nullptr)
        throw Exception("the bridge's load block is missing");
    std::memcpy(block, load_.data(), load_.size());
    host->PostCode(kCodeLoadPlugin, 0);
    if (host->WaitForCode(kCodePluginLoaded, loadTimeoutMs_) != 1) {
        const auto* load = reinterpret_cast<const TLoadBlock*>(load_.data());
        throw Exception("the bridge could not load " +
                        std::string(load->FileName, strnlen(load->FileName, sizeof(load->FileName))));
    }
    return host;
}

bool TBridgeRecovery::FetchState(TBridgeHost& host, std::uint64_t block)
{
    TSharedMemoryIntf& ch = host.Channel();
    std::int64_t size = 0;
    if (!ch.SendCommandData(kCmdSaveState, size, 0, 0, nullptr, false, 0) || size < 0)
        return false;
    const std::uint32_t n = static_cast<std::uint32_t>(size);
    std::vector<std::uint8_t> fetch(kFetchStateDataOffset + n, 0);
    std::memcpy(fetch.data(), &n, 4);
    std::int64_t result = 0;
    if (!ch.SendCommandData(kCmdFetchState, result, 8, static_cast<std::int64_t>(fetch.size()), fetch.data(), true, 0))
        return false;
    RememberState(std::vector<std::uint8_t>(fetch.begin() + kFetchStateDataOffset, fetch.end()), block);
    return true;
}

void TBridgeRecovery::RememberState(std::vector<std::uint8_t> state, std::uint64_t block)
{
    state_ = std::move(state);
    stateBlock_ = block;
    hasState_ = true;
}

std::string TBridgeRecovery::FailureOf(TBridgeHost& host)
{
    DWORD code = 0;
    if (host.WaitProcessExit(0, code)) {
        char hex[16];
        std::snprintf(hex, sizeof(hex), "0x%08lX", static_cast<unsigned long>(code));
        return std::string("the bridge ended (exit code ") + hex + ")";
    }
    switch (host.CloseReason()) {
    case TBridgeHost::TCloseReason::BridgeClosed: return "the bridge closed the channel";
    case TBridgeHost::TCloseReason::BridgeVanished: return "the bridge vanished";
    default: return "the bridge stopped answering";
    }
}

TBridgeRecovery::TReport TBridgeRecovery::Recover(std::unique_ptr<TBridgeHost>& host, std::uint64_t failedBlock)
{
    const auto t0 = std::chrono::steady_clock::now();
    TReport r;
    r.FailedBlock = failedBlock;
    if (host) {
        r.Reason = FailureOf(*host);
        DWORD code = 0;
        if (host->Process() != nullptr && !host->WaitProcessExit(0, code)) {
            // Broken or hung: nothing it still holds is worth waiting for.
            TerminateProcess(host->Process(), 1);
            host->WaitProcessExit(5000, code);
        }
        host.reset(); // frees the old channel
    } else {
        r.Reason = "no bridge";
    }
    ++recoveries_;
    host = Start();
    if (hasState_) {
        std::vector<std::uint8_t> frame(kStateFrameHeader + state_.size());
        const std::uint64_t n = state_.size();
        std::memcpy(frame.data(), &n, 8);
        if (!state_.empty())
            std::memcpy(frame.data() + kStateFrameHeader, state_.data(), state_.size());
        std::int64_t result = 0;
        if (!host->Channel().SendCommandData(kCmdLoadState, result, static_cast<std::int64_t>(frame.size()),
                                             static_cast<std::int64_t>(frame.size()), frame.data(), false, 0))
            throw Exception("the new bridge did not answer the state load");
        r.StateRestored = true;
        r.StateBlock = stateBlock_;
        r.StateBytes = state_.size();
    }
    if (!switchOn_.empty()) {
        std::vector<std::uint8_t> on = switchOn_;
        std::int64_t result = 0;
        if (!host->Channel().SendCommandData(kCmdSetActive, result, static_cast<std::int64_t>(on.size()),
                                             static_cast<std::int64_t>(on.size()), on.data(), false, 1))
            throw Exception("the new bridge did not answer switching on");
    }
    r.BlocksLost = failedBlock >= r.StateBlock ? failedBlock - r.StateBlock : 0;
    r.Milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    return r;
}
