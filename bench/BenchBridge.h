#pragma once
// One bridge driven as a host's audio thread drives it, for the benchmarks
// and the soak: starts the bridge (normally the measured twin, see
// MeasureHooks.cpp), loads a VST2 plugin, switches it on and sends audio
// blocks of a chosen size; pings the two-event floor between the same two
// processes; reads the bridge's allocation counter and its process figures.
// [Windows builds only]

#include "BridgeHost.h"
#include "BridgeLayouts.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Where the programs of the build are, seen from the running program.
std::wstring ProgramDirectory();               // ends with a backslash
std::wstring BuildPath(const std::wstring& relative); // relative to the build directory

// Sorted-copy percentiles of a sample in microseconds.
struct TStats {
    double Median = 0, P99 = 0, Max = 0;
    std::size_t Count = 0;
};
TStats Summarise(std::vector<double> samples);

// Handles, private bytes and threads of a process.
struct TProcessFigures {
    DWORD Handles = 0;
    std::uint64_t PrivateBytes = 0;
    DWORD Threads = 0;
};
TProcessFigures ProcessFiguresOf(HANDLE process);

class TBenchBridge {
public:
    using TClock = std::chrono::steady_clock;

    // Starts the bridge executable; the floor's events are created first,
    // so that a measured twin serves them.
    TBenchBridge(const std::wstring& bridge, DWORD replyTimeoutMs = 10000);
    ~TBenchBridge();
    TBenchBridge(const TBenchBridge&) = delete;
    TBenchBridge& operator=(const TBenchBridge&) = delete;

    // Loads a VST2 plugin, switches it on for maxFrames and prepares a block
    // of frames; returns the time from the load request to the answer.
    // Throws when the plugin does not load.
    double Load(const std::string& plugin, std::int32_t maxFrames);
    // Sizes the block for frames (the plugin's channels, room for events)
    // and fills the input with a test signal.
    void PrepareBlock(std::int32_t frames);
    // One audio block; false when the bridge did not answer. [audio thread]
    bool Block();
    // One timed block, in microseconds (negative when it failed).
    double TimedBlock();
    // One two-event round trip; false when nobody answered within 2 s.
    bool Ping();
    double TimedPing();
    bool HasFloor();

    // The events the next block carries (MIDI notes); the block's area for
    // them holds at most 64.
    std::vector<TBridgeEvent> Events;
    std::int32_t ReturnedEvents() const { return returned_; }

    // Output equals input x factor for the current block.
    bool OutputIs(float factor) const;

    // The bridge's allocation count; -1 when the bridge does not publish one.
    std::int64_t Allocations() const;
    // The bridge's handles, private bytes and threads: sampled by the
    // measured twin itself, else read from outside.
    TProcessFigures Figures();

    TBridgeHost& Host() { return *host_; }
    TSharedMemoryIntf& Channel() { return host_->Channel(); }
    const TDescriptionBlock& Description() { return *static_cast<TDescriptionBlock*>(Channel().DescriptionBlock()); }
    std::int32_t Inputs() const { return inputs_; }
    std::int32_t Outputs() const { return outputs_; }
    double ConnectMs() const { return connectMs_; }

    // Control-channel commands: state save and fetch, state load, a
    // parameter, a description refresh. False when the bridge did not answer.
    bool SaveState(std::vector<std::uint8_t>& state);
    bool LoadState(const std::vector<std::uint8_t>& state);
    bool SetParam(std::int32_t index, float value);
    bool RefreshDescription();

private:
    std::unique_ptr<TBridgeHost> host_;
    TOwnedHandle request_, reply_;
    TOwnedHandle figuresRequest_, figuresReply_;
    TOwnedHandle allocMapping_;
    const volatile std::uint64_t* allocCount_ = nullptr;
    void* allocView_ = nullptr;
    std::vector<std::uint8_t> block_;
    std::vector<std::uint8_t> stateScratch_;
    std::int32_t frames_ = 0;
    std::int32_t inputs_ = 0, outputs_ = 0;
    std::int32_t returned_ = 0;
    double connectMs_ = 0;
    int floorState_ = 0; // 0 unknown, 1 served, -1 absent
    std::wstring text_;
};
