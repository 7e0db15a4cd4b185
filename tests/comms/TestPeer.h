#pragma once
// The bridge-mode end used by the channel tests: a TSharedMemoryIntf in
// bridge mode whose command handler answers a small vocabulary of test codes.
// It runs inside the test process (on a message thread) or in the peer
// program channelpeer.exe; both use this same code.

#include "BridgedComms.h"

#include <atomic>
#include <memory>
#include <string>

namespace testpeer {

// Test codes; the top byte selects the channel as usual.
inline constexpr std::uint32_t kWho1 = 0x01000010;        // Result 1 on the window thread; Param1 thread id;
inline constexpr std::uint32_t kWho2 = 0x02000010;        // Param2 += Index; data bytes + 1
inline constexpr std::uint32_t kWho4 = 0x04000010;
inline constexpr std::uint32_t kDataProbe = 0x01000011;   // Result the byte sum; Param1 DataSize (-1 without a
                                                          // data address); Param2 the block's size
inline constexpr std::uint32_t kMinusOne = 0x02000012;    // returns -1
inline constexpr std::uint32_t kText = 0x02000013;        // Result incoming length; answers Index 'a'..'z' letters
inline constexpr std::uint32_t kAskHost = 0x02000014;     // sends Value (a host code) with Index, Param2 as its
                                                          // Value and Text; Result the host's result; Param1
                                                          // success; Text the host's text
inline constexpr std::uint32_t kBigToHost = 0x02000015;   // sends 0x03000001 with Index bytes (i & 0xFF); Result
                                                          // success; Param1 the header's ChannelSize[3]
inline constexpr std::uint32_t kPostBack = 0x02000016;    // posts window code Value with Index to the host
inline constexpr std::uint32_t kQuit = 0x02000017;        // the peer program ends cleanly
inline constexpr std::uint32_t kBlock4 = 0x04000018;      // blocks until the channel is stopped (10 s at most)
inline constexpr std::uint32_t kSlow4 = 0x04000021;       // sleeps Index ms, then Result Value
inline constexpr std::uint32_t kThrow1 = 0x01000019;      // throws
inline constexpr std::uint32_t kLastCode = 0x0200001A;    // Result the last window code, Param2 its value,
                                                          // Param1 1 when it ran on the window thread
inline constexpr std::uint32_t kQueueBurst = 0x0200001B;  // sends Index requests 0x03000004 with Value 0..Index-1
inline constexpr std::uint32_t kFpu1 = 0x01000020;        // Result the thread's MXCSR, Param1 its x87 control word
inline constexpr std::uint32_t kFpu4 = 0x04000020;
inline constexpr std::uint32_t kSendOnServer = 0x0200001C; // tries to send on channel 1: Result the success flag

class TTestPeer {
public:
    // Opens the channel in bridge mode towards hostWindow. [window thread]
    TTestPeer(const std::wstring& baseName, HWND hostWindow, bool quitOnDisconnect);
    ~TTestPeer(); // [window thread]

    TSharedMemoryIntf& Channel() { return *channel_; }
    int Disconnects() const { return disconnects_.load(); }

private:
    std::int32_t Command(std::uint32_t code, std::int32_t& index, std::int32_t& value, std::int64_t& param1,
                         std::int64_t& param2, std::wstring& text, std::int64_t& dataSize, void* data);

    const bool quitOnDisconnect_;
    DWORD windowThread_;
    std::atomic<int> disconnects_{0};
    std::atomic<std::uint32_t> lastCode_{0};
    std::atomic<std::int32_t> lastValue_{0};
    std::atomic<bool> lastOnWindowThread_{false};
    std::unique_ptr<TSharedMemoryIntf> channel_;
};

} // namespace testpeer
