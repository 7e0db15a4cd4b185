#include "AudioBridge.h"

#include "FPUState.h"

#include <algorithm>
#include <cstring>

namespace {

float FloatAt(const std::uint8_t* p)
{
    float f;
    std::memcpy(&f, p, sizeof(f));
    return f;
}

bool BitOf(const std::uint32_t* words, std::int32_t i)
{
    return ((words[i / 32] >> (i % 32)) & 1u) != 0;
}

// The channel counts of the first count buses, or one entry per bus in bus mode.
std::int32_t ChannelsOf(const std::vector<TBusInfo>& buses, std::int32_t count, std::int32_t i)
{
    if (i >= static_cast<std::int32_t>(buses.size()) || i >= count)
        return 0;
    const std::int32_t channels = buses[i].Channels; // a packed field: read by value
    return channels > 0 ? channels : 0;
}

std::int32_t UsableBusCount(const std::vector<TBusInfo>& buses, std::int32_t count)
{
    return std::clamp(count, 0, static_cast<std::int32_t>(buses.size()));
}

std::int64_t TotalChannels(const std::vector<TBusInfo>& buses, std::int32_t count)
{
    std::int64_t n = 0;
    const std::int32_t usable = UsableBusCount(buses, count);
    for (std::int32_t i = 0; i < usable; ++i)
        n += ChannelsOf(buses, usable, i);
    return n;
}

std::size_t RoundUp8(std::int64_t samples)
{
    return static_cast<std::size_t>((samples + 7) / 8 * 8);
}

// Resizes one side: count buffers with the given sample needs. Returns whether
// the number of buffers changed.
bool SizeSide(std::vector<std::vector<float>>& buffers, std::vector<float*>& pointers, std::size_t count)
{
    if (buffers.size() == count)
        return false;
    buffers.clear();
    buffers.resize(count);
    pointers.assign(count, nullptr);
    return true;
}

} // namespace

TBridgeAudio::TBridgeAudio(TSetThreadPriority setThreadPriority) : SetPriority(setThreadPriority)
{
    Queued.reserve(kMaxQueuedEvents);
}

void TBridgeAudio::ApplyHeader(TBaseAudioPlugin* plugin, const TTransportHeader& h)
{
    if (plugin == nullptr)
        return;
    if (h.SampleRate != plugin->SampleRate)
        plugin->SetSampleRate(h.SampleRate);
    if (h.BlockSize != plugin->BlockSize)
        plugin->SetBlockSize(h.BlockSize);
    if (h.Tempo != plugin->Tempo)
        plugin->SetTempo(h.Tempo);
    plugin->SetTimeFormat(h.TimeFormat);
    plugin->SetLatencies(h.InputLatency, h.OutputLatency);
    if (h.ProcessFlags != plugin->ProcessFlags)
        plugin->SetProcessFlags(h.ProcessFlags);
    const bool playing = (h.Transport & kTransportPlaying) != 0;
    if (playing != plugin->Playing)
        plugin->SetPlaying(playing);
    plugin->SetSongPosition(h.SongPosition, (h.Transport & kTransportJumped) != 0, 1);

    // 8 words of activity bits: at most 256 buses per direction are addressable.
    auto activity = [plugin](bool isInput, const std::uint32_t* bits) {
        const std::vector<TBusState>& states = isInput ? plugin->InputBusStates : plugin->OutputBusStates;
        const std::int32_t count = std::min(
            {isInput ? plugin->NumInputBuses : plugin->NumOutputBuses, static_cast<std::int32_t>(states.size()), 256});
        for (std::int32_t i = 0; i < count; ++i) {
            const bool bit = BitOf(bits, i);
            if (bit != states[i].Active)
                plugin->SetBusActive(isInput, i, bit);
        }
    };
    activity(true, h.InputBusActive);
    activity(false, h.OutputBusActive);
}

void TBridgeAudio::PrepareBuffers(TBaseAudioPlugin* plugin, std::int32_t frames, bool busMode)
{
    if (plugin == nullptr)
        return;
    frames = std::max(frames, 0);
    const std::int32_t nIn = UsableBusCount(plugin->InputBuses, plugin->NumInputBuses);
    const std::int32_t nOut = UsableBusCount(plugin->OutputBuses, plugin->NumOutputBuses);
    const std::size_t needIn =
        busMode ? static_cast<std::size_t>(nIn) : static_cast<std::size_t>(TotalChannels(plugin->InputBuses, nIn));
    const std::size_t needOut = busMode ? static_cast<std::size_t>(nOut)
                                        : static_cast<std::size_t>(TotalChannels(plugin->OutputBuses, nOut));
    bool changed = SizeSide(Inputs, InputPointers, needIn);
    changed = SizeSide(Outputs, OutputPointers, needOut) || changed;
    if (changed || Capacity < frames)
        Capacity = frames + kBufferHeadroomFrames;

    // Each buffer must hold its samples at the current capacity; a bus whose
    // channel count changed without the number of buffers changing grows too.
    auto fit = [&](std::vector<std::vector<float>>& buffers, std::vector<float*>& pointers,
                   const std::vector<TBusInfo>& buses, std::int32_t busCount) {
        for (std::size_t i = 0; i < buffers.size(); ++i) {
            const std::int64_t channels = busMode ? ChannelsOf(buses, busCount, static_cast<std::int32_t>(i)) : 1;
            const std::size_t need = RoundUp8(channels * static_cast<std::int64_t>(Capacity));
            if (buffers[i].size() < need)
                buffers[i].resize(need);
            pointers[i] = buffers[i].data();
        }
    };
    fit(Inputs, InputPointers, plugin->InputBuses, nIn);
    fit(Outputs, OutputPointers, plugin->OutputBuses, nOut);
}

std::int64_t TBridgeAudio::AudioBytes(TBaseAudioPlugin* plugin, std::int32_t frames, bool busMode) const
{
    (void)busMode; // both layouts carry every channel of every bus
    const std::int64_t channels = TotalChannels(plugin->InputBuses, plugin->NumInputBuses) +
                                  TotalChannels(plugin->OutputBuses, plugin->NumOutputBuses);
    return channels * static_cast<std::int64_t>(frames) * 4;
}

void TBridgeAudio::DispatchEvents(TBaseAudioPlugin* plugin, const std::uint8_t* events, std::int32_t count)
{
    for (std::int32_t k = 0; k < count; ++k) {
        TBridgeEvent e;
        std::memcpy(&e, events + static_cast<std::size_t>(k) * sizeof(TBridgeEvent), sizeof(e));
        switch (e.Type) {
        case kEventMidi:
            plugin->MidiMessage(e.Port, e.Value1, e.DeltaFrames);
            break;
        case kEventNoteOn: {
            const float pitch = FloatAt(e.Value2);
            plugin->NoteOn(e.Port, e.Byte20, static_cast<std::int64_t>(static_cast<std::uint32_t>(e.Value1)), pitch,
                           pitch, e.Byte21, e.Length, (e.Flags & 1) != 0, e.DeltaFrames, 0);
            break;
        }
        case kEventNoteOff:
            plugin->NoteOff(e.Port, e.Byte20, static_cast<std::int64_t>(static_cast<std::uint32_t>(e.Value1)),
                            FloatAt(e.Value2), e.Byte21, (e.Flags & 1) != 0, e.DeltaFrames);
            break;
        case kEventParam:
            plugin->SetParamValue(e.Value1, e.Byte20 != 0, FloatAt(e.Value2), e.Byte21 != 0);
            break;
        case kEventPitchBend:
            plugin->PitchBend(e.Port, e.Value2[0], e.Value1, e.DeltaFrames);
            break;
        case kEventBendRange:
            plugin->SetPitchBendRange(e.Value1);
            break;
        default:
            break; // unknown types are skipped
        }
    }
}

void TBridgeAudio::QueueEvent(const TBridgeEvent& event)
{
    std::lock_guard<std::mutex> lock(EventLock);
    if (static_cast<int>(Queued.size()) < kMaxQueuedEvents)
        Queued.push_back(event);
}

std::int32_t TBridgeAudio::QueuedEventCount()
{
    std::lock_guard<std::mutex> lock(EventLock);
    return static_cast<std::int32_t>(Queued.size());
}

std::int32_t TBridgeAudio::DrainEvents(std::uint8_t* target, std::int32_t room)
{
    std::lock_guard<std::mutex> lock(EventLock);
    const std::int32_t n = std::min({static_cast<std::int32_t>(Queued.size()), kMaxQueuedEvents, room});
    if (n > 0) {
        std::memcpy(target, Queued.data(), static_cast<std::size_t>(n) * sizeof(TBridgeEvent));
        // What did not fit stays queued for the next block.
        Queued.erase(Queued.begin(), Queued.begin() + n);
    }
    return n;
}

bool TBridgeAudio::Process(TBaseAudioPlugin* plugin, std::int32_t index, std::uint8_t* data,
                           std::int64_t& dataSize, std::int64_t capacity)
{
    if (plugin == nullptr || data == nullptr)
        return false;
    const std::int64_t valid = std::min(dataSize, capacity);
    if (valid < static_cast<std::int64_t>(sizeof(TProcessBlock)))
        return false; // not even a header: refused, nothing touched
    TProcessBlock block;
    std::memcpy(&block, data, sizeof(block));
    const bool busMode = (block.BlockFlags & kBlockBusLayout) != 0;
    const std::int64_t audioBytes = block.Frames < 0 ? -1 : AudioBytes(plugin, block.Frames, busMode);
    if (audioBytes < 0 || static_cast<std::int64_t>(sizeof(TProcessBlock)) + audioBytes > capacity)
        return false; // the audio area does not fit the block: refused

    if (index == 1)
        plugin->Reset();
    if (block.ThreadPriority != LastPriority) {
        if (SetPriority != nullptr)
            SetPriority(block.ThreadPriority);
        LastPriority = block.ThreadPriority;
    }
    TimeInfo = block.TimeInfo;
    ApplyHeader(plugin, block.Header);

    // The event list must lie after the fixed part and inside the sent data;
    // a list that runs past it is cut to the events that fit.
    const std::int64_t offset = block.EventOffset;
    const bool eventsUsable = offset >= static_cast<std::int64_t>(sizeof(TProcessBlock)) && offset <= capacity;
    std::int32_t incoming = 0;
    if (eventsUsable && block.EventCount > 0) {
        const std::int64_t fit = std::max<std::int64_t>(valid - offset, 0) / static_cast<std::int64_t>(sizeof(TBridgeEvent));
        incoming = static_cast<std::int32_t>(std::min<std::int64_t>(block.EventCount, fit));
        DispatchEvents(plugin, data + offset, incoming);
    }

    PrepareBuffers(plugin, block.Frames, busMode);

    // Audio: inputs from the area, outputs cleared, the plugin, outputs after the inputs.
    std::uint8_t* audio = data + sizeof(TProcessBlock);
    const std::size_t frames = static_cast<std::size_t>(block.Frames);
    auto chunk = [&](const std::vector<TBusInfo>& buses, std::int32_t count, std::size_t i) -> std::size_t {
        return busMode ? static_cast<std::size_t>(ChannelsOf(buses, count, static_cast<std::int32_t>(i))) * frames
                       : frames;
    };
    std::size_t pos = 0;
    for (std::size_t i = 0; i < Inputs.size(); ++i) {
        const std::size_t n = chunk(plugin->InputBuses, plugin->NumInputBuses, i);
        std::memcpy(Inputs[i].data(), audio + pos, n * sizeof(float));
        pos += n * sizeof(float);
    }
    // Only the samples the plugin works on this block need clearing.
    for (std::size_t i = 0; i < Outputs.size(); ++i)
        std::fill_n(Outputs[i].begin(), chunk(plugin->OutputBuses, plugin->NumOutputBuses, i), 0.0f);
    if (busMode)
        plugin->ProcessBuses(InputPointers.data(), OutputPointers.data(), block.Frames);
    else
        plugin->Process(InputPointers.data(), OutputPointers.data(), block.Frames);
    for (std::size_t i = 0; i < Outputs.size(); ++i) {
        const std::size_t n = chunk(plugin->OutputBuses, plugin->NumOutputBuses, i);
        std::memcpy(audio + pos, Outputs[i].data(), n * sizeof(float));
        pos += n * sizeof(float);
    }

    // Outgoing events at the event offset, never past the end of the block.
    if (eventsUsable) {
        const std::int32_t room =
            static_cast<std::int32_t>(std::min<std::int64_t>((capacity - offset) / static_cast<std::int64_t>(sizeof(TBridgeEvent)), kMaxQueuedEvents));
        const std::int32_t n = DrainEvents(data + offset, room);
        const std::int32_t sentCount = block.EventCount;
        const std::int32_t before = sentCount > 0 ? sentCount : 0;
        if (before < n)
            dataSize = std::min(dataSize + static_cast<std::int64_t>(n - before) * static_cast<std::int64_t>(sizeof(TBridgeEvent)), capacity);
        const std::int32_t count = n;
        std::memcpy(data + offsetof(TProcessBlock, EventCount), &count, sizeof(count));
    }

    RestoreFPUState();
    return true;
}
