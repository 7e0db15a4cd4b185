#pragma once
// The host's end of the command channel: creates the channel in host mode
// under an unused base name on a message thread of its own, starts the bridge
// with "-name" and "-handle", waits for it to connect, sends commands, serves
// the bridge's requests on the host channel, and notices when the bridge
// closes or vanishes. Every wait has a time limit; a dead bridge is reported
// as an error, never waited for. [Windows builds only]

#include "BridgedComms.h"
#include "MessageThread.h"
#include "WinHandle.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class TBridgeHost {
public:
    // Executes one request of the bridge on the host channel. The codes of
    // kDirectHostCodes run on the channel's thread before the bridge gets its
    // reply (their results go back); every other code runs afterwards on the
    // queue thread. The handler must never wait for the bridge.
    using THostCommandHandler =
        std::function<std::int32_t(std::uint32_t code, std::int32_t& index, std::int32_t& value, std::int64_t& param1,
                                   std::int64_t& param2, std::wstring& text, std::int64_t& dataSize, void* data)>;

    // MessageBox, GetMenuItem and the two time conversions.
    static const std::vector<std::uint32_t> kDirectHostCodes;

    enum class TCloseReason {
        None,
        BridgeClosed,   // the bridge posted 0xFF000002
        BridgeVanished, // the bridge's liveness event disappeared
    };

    struct TOptions {
        std::wstring BaseName;         // empty: a fresh, unused name
        DWORD ReplyTimeoutMs = 10000;  // limit of one command's round trip
        THostCommandHandler OnHostCommand;
    };

    // Creates the channel; no bridge runs yet.
    explicit TBridgeHost(TOptions options);
    TBridgeHost() : TBridgeHost(TOptions{}) {}
    // Closes the channel, gives a running bridge up to closeWaitMs to end and
    // terminates it otherwise.
    ~TBridgeHost();
    TBridgeHost(const TBridgeHost&) = delete;
    TBridgeHost& operator=(const TBridgeHost&) = delete;

    // A base name that no channel of this machine uses at the moment.
    static std::wstring UnusedBaseName();

    // Starts the bridge executable with "-name", the base name, "-handle" and
    // the channel window in decimal, then the extra arguments. The bridge
    // inherits no handle. Throws when the process cannot be started.
    void Launch(const std::wstring& executable, const std::vector<std::wstring>& extraArguments = {});
    // Takes over a bridge process that was started otherwise (for watching
    // its end); the handle is owned from now on.
    void AdoptProcess(HANDLE process);

    // Waits for 0xFF000001 and returns the bridge's window. Throws when the
    // time runs out or the bridge process ends first.
    HWND WaitConnected(DWORD timeoutMs);
    bool Connected() const { return channel_ != nullptr && channel_->Connected(); }
    // True once a command missed the reply limit: the channel refuses every
    // further command, and the owner restarts the bridge.
    bool Broken() const { return channel_ != nullptr && channel_->Broken(); }

    // The channel's senders (channels 1, 2 and 4); false when not connected
    // or when the bridge did not answer within the reply limit.
    TSharedMemoryIntf& Channel() const { return *channel_; }

    // Window codes to the bridge.
    void PostCode(std::uint32_t code, std::int32_t value);
    std::int32_t SendCode(std::uint32_t code, std::int32_t value);

    // Waits until the bridge has sent the window code code (counting from the
    // start, each arrival consumed once) and returns its value. Throws on
    // time-out or when the channel closes first.
    std::uint32_t WaitForCode(std::uint32_t code, DWORD timeoutMs);
    // Every window code received from the bridge so far, in order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ReceivedCodes() const;

    // Posts 0xFF000000: the bridge ends.
    void Close();
    // True once the channel closed (for any reason) within the time limit.
    bool WaitClosed(DWORD timeoutMs);
    TCloseReason CloseReason() const;

    // The bridge process, if one was launched or adopted.
    HANDLE Process() const { return process_.Get(); }
    DWORD ProcessId() const { return processId_; }
    // True and the exit code when the bridge process ended within the limit.
    bool WaitProcessExit(DWORD timeoutMs, DWORD& exitCode);

    HWND Window() const { return window_; }
    const std::wstring& BaseName() const { return baseName_; }
    std::vector<std::string> LogLines() const;

    DWORD closeWaitMs = 3000;

private:
    std::int32_t OnCommand(std::uint32_t code, std::int32_t& index, std::int32_t& value, std::int64_t& param1,
                           std::int64_t& param2, std::wstring& text, std::int64_t& dataSize, void* data);
    void OnDisconnect(LPARAM value);

    const TOptions options_;
    const std::wstring baseName_;
    TMessageThread thread_;
    std::unique_ptr<TSharedMemoryIntf> channel_; // lives on thread_
    HWND window_ = nullptr;
    TOwnedHandle process_;
    DWORD processId_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> codes_;
    std::vector<bool> consumed_;
    TCloseReason reason_ = TCloseReason::None;
    bool closedByHost_ = false;
    std::vector<std::string> log_;
};
