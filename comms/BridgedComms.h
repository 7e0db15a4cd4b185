#pragma once
// The command channel between the host and the bridge: six named blocks,
// twelve named events, two liveness events and one registered window message,
// all derived from one base name. TSharedMemoryIntf opens all of it in one
// process; the bridge uses it in bridge mode (given the host's window), the
// host in host mode. TShare is one of its six channels, TSharedMemoryQueue the
// queue that executes the requests of a queued channel afterwards.
// [Windows builds only]

#include "BridgedLayout.h"
#include "QuickLFLists.h"
#include "WinHandle.h"
#include "sharedmm.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

class TSharedMemoryIntf;

// The code of the command sent last in this process; read only for the
// time-out message.
extern std::atomic<std::uint32_t> LastCommand;

// "BridgedPlugCommandMessage", registered once per process.
UINT BridgedPlugCommandMessage();

// Posted by a channel thread to its owner's window to have the pending
// request of channel WPARAM executed on the window's thread.
inline constexpr UINT kExecuteRequestMessage = WM_USER + 1;

// Object names derived from the base name.
std::wstring ChannelBlockName(const std::wstring& baseName, int index);                  // B + i
std::wstring ChannelEventName(const std::wstring& baseName, int index, int replyBit);    // "%s_%d_%d"
inline std::wstring HostLivenessName(const std::wstring& b) { return b + L"_host"; }
inline std::wstring BridgeLivenessName(const std::wstring& b) { return b + L"_client"; }

// The window handle carried in a 32-bit LPARAM or a 64-bit header field.
inline HWND WindowFromValue(std::uint64_t v)
{
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(static_cast<std::uint32_t>(v)));
}
inline std::uint32_t WindowValue(HWND w)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(w));
}

enum class TShareRole { Passive, Sender, Server };

// The role of a channel on one side.
constexpr TShareRole ShareRoleOf(int index, bool bridgeMode)
{
    if (index == kHeaderChannel || index == kLoadChannel)
        return TShareRole::Passive;
    if (index == kHostChannel)
        return bridgeMode ? TShareRole::Sender : TShareRole::Server;
    return bridgeMode ? TShareRole::Server : TShareRole::Sender;
}

// One channel: its block, its two named events, its send lock and the thread
// that serves it.
class TShare {
public:
    // Creates the events and the send lock; no block and no thread yet.
    TShare(TSharedMemoryIntf* owner, bool bridgeMode, int index, const std::wstring& baseName);
    // Stops the thread, waits for it, then frees the block and the events.
    ~TShare();
    TShare(const TShare&) = delete;
    TShare& operator=(const TShare&) = delete;

    // Starts the thread (a sender's thread ends at once).
    void Start();
    // 0 frees the block, a negative size does nothing, a positive size
    // (re-)creates the block at that size.
    void SetSize(std::int64_t size);
    void* Memory() const { return block_ ? block_->Memory() : nullptr; }
    // Held (shared) by a thread that writes into the view while another
    // thread may resize or drop it; resizing and dropping wait for it. A
    // holder only copies a few bytes. [any thread]
    std::shared_lock<std::shared_mutex> LockView() { return std::shared_lock<std::shared_mutex>(viewLock_); }
    std::int64_t Size() const { return block_ ? block_->Size() : 0; }
    // Bytes that can really be addressed through Memory() (the view may be
    // smaller than Size when another process held a smaller object).
    std::int64_t ViewBytes() const { return viewBytes_; }
    TCommandRecord* Record() const { return static_cast<TCommandRecord*>(Memory()); }

    // Sender: makes the block hold needed bytes (at least 309), growing it to
    // needed + 256 and telling the other side to drop its view first. False
    // when the block is still too small afterwards.
    bool EnsureSize(std::int64_t needed);
    // Sender: one request/reply exchange; the caller holds the send lock and
    // has written the record.
    bool SendAndWait(DWORD timeoutMs);
    // Server: executes the request in the block. [the channel's executing thread]
    void HandleRequest();
    // Wakes the thread with its terminate flag set; also releases a thread of
    // the other process that waits on one of the two events.
    void Stop();
    // Stop, then wait until the thread has ended.
    void StopAndWait();
    // Runs the request handed over by the channel thread. [window thread]
    void RunHandedOverRequest();
    void DetachOwner() { owner_ = nullptr; }

    int Index() const { return index_; }
    TShareRole Role() const { return role_; }
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
    // A sender whose reply did not come within the limit: the other side may
    // still be working on that record, so the channel takes no more commands.
    bool Broken() const { return broken_.load(std::memory_order_acquire); }
    void MarkBroken() { broken_.store(true, std::memory_order_release); }
    std::mutex& SendLock() { return sendLock_; }

    bool ExecuteOnMainThread = false;
    bool QueueRequests = false;

private:
    void Execute();
    void FollowChannelSize();

    TSharedMemoryIntf* owner_;
    const int index_;
    const bool bridgeMode_;
    const TShareRole role_;
    const std::wstring mappingName_;
    std::unique_ptr<TSharedMemory> block_;
    std::int64_t viewBytes_ = 0;
    std::shared_mutex viewLock_;
    TOwnedHandle waitEvent_;
    TOwnedHandle signalEvent_;
    TOwnedHandle completionEvent_;
    std::mutex sendLock_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> broken_{false};
    std::thread thread_;

    // Reused by every request, so that serving allocates nothing once warm.
    std::wstring requestText_;
    std::vector<char> ansiText_;
};

// One queued request.
class TSharedMemoryQueueItem : public TLFFIFOItem {
public:
    std::uint32_t Command = 0;
    std::int32_t Index = 0;
    std::int32_t Value = 0;
    std::int64_t Param1 = 0;
    std::int64_t Param2 = 0;
    std::wstring Text;
    std::int64_t DataSize = 0;
    std::vector<std::uint8_t> Data; // the item's own copy; empty without data
};

// Executes queued requests one at a time, in arrival order, on its own thread.
class TSharedMemoryQueue {
public:
    static constexpr int kInitialItems = 64;

    explicit TSharedMemoryQueue(TSharedMemoryIntf* owner); // starts the thread
    // Stops the thread; requests still queued are freed unexecuted.
    ~TSharedMemoryQueue();
    TSharedMemoryQueue(const TSharedMemoryQueue&) = delete;
    TSharedMemoryQueue& operator=(const TSharedMemoryQueue&) = delete;

    // Queues a copy of one request; dropped when the FIFO cannot grow.
    // [the serving channel thread: the only producer]
    void Put(std::uint32_t command, std::int32_t index, std::int32_t value, std::int64_t param1,
             std::int64_t param2, const std::wstring& text, std::int64_t dataSize, const void* data);

    // Items beyond the first in the FIFO's ring. [producer thread]
    int FIFOCount() const { return fifo_.Count(); }

private:
    void Execute();

    TSharedMemoryIntf* owner_;
    TLFFIFO fifo_;
    TOwnedHandle wakeEvent_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> broken_{false};
    std::thread thread_;
};

class TSharedMemoryIntf {
public:
    // The handler of commands and window codes: code, then the record's
    // fields by reference; data is none when dataSize is 0.
    using TCommandEvent = std::function<std::int32_t(TSharedMemoryIntf& sender, std::uint32_t code,
                                                     std::int32_t& index, std::int32_t& value, std::int64_t& param1,
                                                     std::int64_t& param2, std::wstring& text, std::int64_t& dataSize,
                                                     void* data)>;
    using TDisconnectEvent = std::function<void(TSharedMemoryIntf& sender, LPARAM value)>;
    using TLogEvent = std::function<void(TSharedMemoryIntf& sender, const std::string& line, bool flag)>;

    struct TEvents {
        TCommandEvent OnCommand;
        TDisconnectEvent OnDisconnect;
        TLogEvent OnLog;
    };

    struct TOptions {
        // Limit of a sender's wait for its reply. The bridge waits without
        // limit; a host uses a limit so that a dead bridge becomes an error.
        DWORD ReplyTimeoutMs = INFINITE;
        // Whether a queued channel's server executes a request before it
        // replies (so that its result reaches the sender) instead of queueing
        // it: the owner's policy, the transport knows no command codes.
        std::function<bool(std::uint32_t code)> ExecutesDirectly;
    };

    // Bridge mode when otherWindow is given, host mode without it. The
    // handlers are in place before the first request can arrive. Throws the
    // block's mapping errors. [the thread that owns the channel window]
    TSharedMemoryIntf(const std::wstring& baseName, TEvents events, HWND otherWindow, TOptions options);
    TSharedMemoryIntf(const std::wstring& baseName, TEvents events, HWND otherWindow)
        : TSharedMemoryIntf(baseName, std::move(events), otherWindow, TOptions{})
    {
    }
    // Posts the closing code while connected, stops and frees the channels,
    // the queue, the liveness event and the window. [window thread]
    virtual ~TSharedMemoryIntf();
    TSharedMemoryIntf(const TSharedMemoryIntf&) = delete;
    TSharedMemoryIntf& operator=(const TSharedMemoryIntf&) = delete;

    virtual std::int32_t DoCommand(std::uint32_t code, std::int32_t& index, std::int32_t& value, std::int64_t& param1,
                                   std::int64_t& param2, std::wstring& text, std::int64_t& dataSize, void* data);
    // Not connected, all threads stopped, then OnDisconnect.
    virtual void DoDisconnect(LPARAM value);

    bool SendCommandFull(std::uint32_t code, std::int64_t& result, std::int32_t index, std::int32_t value,
                         std::int64_t& param1, std::int64_t& param2, std::wstring& text, std::int64_t dataSize,
                         std::int64_t capacity, void* data, bool copyBack);
    bool SendCommand(std::uint32_t code, std::int32_t index, std::int32_t value, std::int64_t param1,
                     std::int64_t param2, const std::wstring& text);
    bool SendCommandResult(std::uint32_t code, std::int64_t& result, std::int32_t index, std::int32_t value,
                           std::int64_t param1, std::int64_t param2, const std::wstring& text);
    bool SendCommandText(std::uint32_t code, std::int64_t& result, std::int32_t index, std::int32_t value,
                         std::wstring& text);
    bool SendCommandData(std::uint32_t code, std::int64_t& result, std::int64_t dataSize, std::int64_t capacity,
                         void* data, bool copyBack, std::int32_t index);

    // A window code to the other side: posted (result 0), or sent with a
    // 5000 ms limit (the other side's result, 0 on failure).
    std::int32_t SendPeer(std::uint32_t code, std::int32_t value, bool post);
    // True when the other side is alive or the channel is not connected. A
    // vanished side is handled like its closing code with value 1, always on
    // the window thread.
    bool CheckPeer();
    // Stops all six channel threads without freeing them.
    void StopThreads();
    // True once a sender's channel missed its reply limit (see TShare::Broken).
    bool Broken() const;
    // Tells a connected other side at once that this side closes (the
    // closing code, posted) and leaves the channel disconnected, so that the
    // notice goes out once whatever happens while this side ends. [any thread]
    void AnnounceClose();

    THeaderBlock* Header() const { return static_cast<THeaderBlock*>(channels_[kHeaderChannel]->Memory()); }
    void* DescriptionBlock() const { return channels_[kDescriptionChannel]->Memory(); }
    void* LoadBlock() const { return channels_[kLoadChannel]->Memory(); }
    TShare& Channel(int index) const { return *channels_[static_cast<std::size_t>(index)]; }
    TSharedMemoryQueue& Queue() const { return *queue_; }

    bool Connected() const { return connected_.load(std::memory_order_acquire); }
    bool BridgeMode() const { return bridgeMode_; }
    HWND Window() const { return window_.Get(); }
    HWND OtherWindow() const { return otherWindow_.load(std::memory_order_acquire); }
    DWORD WindowThreadId() const { return windowThreadId_; }
    const std::wstring& BaseName() const { return baseName_; }
    bool ExecutesDirectly(std::uint32_t code) const;

    void Log(const std::string& line, bool flag);

private:
    static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam); // [window thread]
    LRESULT HandleWindowCode(std::uint32_t code, LPARAM value);     // [window thread]
    void CreateChannels(bool fromHeader);

    const std::wstring baseName_;
    const TEvents events_;
    const TOptions options_;
    const bool bridgeMode_;
    const DWORD windowThreadId_;
    TOwnedWindow window_;
    std::atomic<HWND> otherWindow_{nullptr};
    std::atomic<bool> connected_{false};
    std::wstring otherLivenessName_;
    TOwnedHandle ownLiveness_;
    std::unique_ptr<TSharedMemoryQueue> queue_;
    std::vector<std::unique_ptr<TShare>> channels_;
};
