#pragma once
// One audio block across the bridge: the transport header applied to the
// plugin, the incoming events handed to it, the samples copied between the
// process block and the plugin's buffers, and the events the plugin produced
// returned in the block. Pure: no Windows header.
//
// Every read and write stays inside the data the host provided: a block whose
// header, audio area or event list lies outside it is refused or clipped
// (see Process).

#include "BridgeLayouts.h"

#include <cstdint>
#include <mutex>
#include <vector>

inline constexpr int kMaxQueuedEvents = 4096;
inline constexpr std::int32_t kBufferHeadroomFrames = 256;

class TBridgeAudio {
public:
    // setThreadPriority is called on the audio thread when the block asks for
    // another priority than the last one (may be null).
    using TSetThreadPriority = void (*)(std::int32_t priority);

    explicit TBridgeAudio(TSetThreadPriority setThreadPriority = nullptr);

    // The audio command. data holds dataSize valid bytes in a block of
    // capacity bytes; dataSize may grow by the returned events. False when
    // the block was refused and left unchanged. [audio thread]
    bool Process(TBaseAudioPlugin* plugin, std::int32_t index, std::uint8_t* data, std::int64_t& dataSize,
                 std::int64_t capacity);

    // Sample rate, block size, tempo, time format, latencies, process flags,
    // playing, song position, bus activity, in this order.
    void ApplyHeader(TBaseAudioPlugin* plugin, const TTransportHeader& header);

    // Sizes the buffers for frames in the given layout; allocates only when
    // the layout changed or the capacity is too small.
    void PrepareBuffers(TBaseAudioPlugin* plugin, std::int32_t frames, bool busMode);

    // Appends an event for the next block; dropped when 4096 are waiting. [any thread]
    void QueueEvent(const TBridgeEvent& event);
    std::int32_t QueuedEventCount();

    // The time record of the last block; read without a lock.
    THostTimeInfo TimeInfo{};

    std::int32_t BufferCapacity() const { return Capacity; }
    std::size_t InputBufferCount() const { return Inputs.size(); }
    std::size_t OutputBufferCount() const { return Outputs.size(); }
    // The samples each buffer has room for.
    std::size_t InputBufferSize(std::size_t i) const { return Inputs[i].size(); }
    std::size_t OutputBufferSize(std::size_t i) const { return Outputs[i].size(); }
    std::int32_t LastThreadPriority() const { return LastPriority; }

private:
    // Copies the plugin's bus layout (channels per usable bus) for one block.
    void TakeLayout(TBaseAudioPlugin* plugin);
    // PrepareBuffers for the layout taken last.
    void PrepareTaken(std::int32_t frames, bool busMode);
    static std::int64_t LayoutChannels(const std::vector<std::int32_t>& layout);
    void DispatchEvents(TBaseAudioPlugin* plugin, const std::uint8_t* events, std::int32_t count);
    std::int64_t AudioBytes(TBaseAudioPlugin* plugin, std::int32_t frames, bool busMode) const;
    // Moves the queued events into the block; returns how many were written.
    std::int32_t DrainEvents(std::uint8_t* target, std::int32_t room);

    TSetThreadPriority SetPriority;
    std::int32_t LastPriority = 0;

    std::int32_t Capacity = 0;
    std::vector<std::vector<float>> Inputs, Outputs;
    std::vector<float*> InputPointers, OutputPointers;
    // The layout the current block uses.
    std::vector<std::int32_t> LayoutIn, LayoutOut;

    std::mutex EventLock;
    std::vector<TBridgeEvent> Queued; // capacity reserved once: queueing never allocates
};
