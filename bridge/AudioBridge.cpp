#include "AudioBridge.h"

#include "FPUState.h"

#include <algorithm>
#include <cstring>
#include <limits>

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

void TBridgeAudio::TakeLayout(TBaseAudioPlugin* plugin)
{
    // Read once, by value: the plugin may change its buses from another
    // thread; what the block uses is this copy. Grows only with the bus count.
    auto take = [](std::vector<std::int32_t>& out, const std::vector<TBusInfo>& buses, std::int32_t count) {
        const std::int32_t usable = UsableBusCount(buses, count);
        out.resize(static_cast<std::size_t>(usable));
        for (std::int32_t i = 0; i < usable; ++i)
            out[static_cast<std::size_t>(i)] = ChannelsOf(buses, usable, i);
    };
    take(LayoutIn, plugin->InputBuses, plugin->NumInputBuses);
    take(LayoutOut, plugin->OutputBuses, plugin->NumOutputBuses);
}

void TBridgeAudio::PrepareBuffers(TBaseAudioPlugin* plugin, std::int32_t frames, bool busMode)
{
    if (plugin == nullptr)
        return;
    TakeLayout(plugin);
    PrepareTaken(frames, busMode);
}

void TBridgeAudio::PrepareTaken(std::int32_t frames, bool busMode)
{
    frames = std::max(frames, 0);
    const std::size_t needIn = busMode ? LayoutIn.size() : static_cast<std::size_t>(LayoutChannels(LayoutIn));
    const std::size_t needOut = busMode ? LayoutOut.size() : static_cast<std::size_t>(LayoutChannels(LayoutOut));
    bool changed = SizeSide(Inputs, InputPointers, needIn);
    changed = SizeSide(Outputs, OutputPointers, needOut) || changed;
    if (changed || Capacity < frames) // no overflow for a huge block of a plugin without channels
        Capacity = std::min(frames, std::numeric_limits<std::int32_t>::max() - kBufferHeadroomFrames) +
                   kBufferHeadroomFrames;

    // Each buffer must hold its samples at the current capacity; a bus whose
    // channel count changed without the number of buffers changing grows too.
    auto fit = [&](std::vector<std::vector<float>>& buffers, std::vector<float*>& pointers,
                   const std::vector<std::int32_t>& layout) {
        for (std::size_t i = 0; i < buffers.size(); ++i) {
            const std::int64_t channels = busMode ? layout[i] : 1;
            const std::size_t need = RoundUp8(channels * static_cast<std::int64_t>(Capacity));
            if (buffers[i].size() < need)
                buffers[i].resize(need);
            pointers[i] = buffers[i].data();
        }
    };
    fit(Inputs, InputPointers, LayoutIn);
    fit(Outputs, OutputPointers, LayoutOut);
}

std::int64_t TBridgeAudio::LayoutChannels(const std::vector<std::int32_t>& layout)
{
    std::int64_t n = 0;
    for (const std::int32_t c : layout)
        n += c;
    return n;
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

    // From here on the block uses one layout, taken now: whatever the plugin
    // changes during the process call (or changed above) applies from the
    // next block. Every copy stays inside the block's capacity; samples of a
    // layout that grew past the block are silence going in and dropped
    // coming out.
    TakeLayout(plugin);
    PrepareTaken(block.Frames, busMode);

    std::uint8_t* audio = data + sizeof(TProcessBlock);
    const std::int64_t room = capacity - static_cast<std::int64_t>(sizeof(TProcessBlock));
    const std::size_t frames = static_cast<std::size_t>(block.Frames);
    auto samplesOf = [&](const std::vector<std::int32_t>& layout, std::size_t i) -> std::size_t {
        return busMode ? static_cast<std::size_t>(layout[i]) * frames : frames;
    };
    // The bytes of [pos, pos + bytes) that lie inside the block.
    auto inside = [room](std::int64_t at, std::int64_t bytes) -> std::size_t {
        return static_cast<std::size_t>(std::clamp<std::int64_t>(room - at, 0, bytes));
    };
    std::int64_t pos = 0;
    for (std::size_t i = 0; i < Inputs.size(); ++i) {
        const std::size_t n = samplesOf(LayoutIn, i);
        const std::size_t bytes = inside(pos, static_cast<std::int64_t>(n * sizeof(float)));
        std::memcpy(Inputs[i].data(), audio + pos, bytes);
        std::fill(Inputs[i].begin() + static_cast<std::ptrdiff_t>(bytes / sizeof(float)),
                  Inputs[i].begin() + static_cast<std::ptrdiff_t>(n), 0.0f);
        pos += static_cast<std::int64_t>(n * sizeof(float));
    }
    // Only the samples the plugin works on this block need clearing.
    for (std::size_t i = 0; i < Outputs.size(); ++i)
        std::fill_n(Outputs[i].begin(), samplesOf(LayoutOut, i), 0.0f);
    if (busMode)
        plugin->ProcessBuses(InputPointers.data(), OutputPointers.data(), block.Frames);
    else
        plugin->Process(InputPointers.data(), OutputPointers.data(), block.Frames);
    for (std::size_t i = 0; i < Outputs.size(); ++i) {
        const std::size_t n = samplesOf(LayoutOut, i);
        std::memcpy(audio + pos, Outputs[i].data(), inside(pos, static_cast<std::int64_t>(n * sizeof(float))));
        pos += static_cast<std::int64_t>(n * sizeof(float));
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
