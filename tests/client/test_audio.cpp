#include "AudioBridge.h"
#include "FakePlugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <limits>
#include <vector>

namespace {

std::vector<std::int32_t> g_priorities;
void RecordPriority(std::int32_t p) { g_priorities.push_back(p); }

// A process block in a buffer of the given capacity.
struct TBlock {
    explicit TBlock(std::size_t capacity) : Bytes(capacity, 0) { Size = static_cast<std::int64_t>(capacity); }
    TProcessBlock& Head() { return *reinterpret_cast<TProcessBlock*>(Bytes.data()); }
    float* Audio() { return reinterpret_cast<float*>(Bytes.data() + sizeof(TProcessBlock)); }
    void Header(TFakePlugin& p, std::int32_t frames, bool busMode)
    {
        Head().Header.SampleRate = p.SampleRate;
        Head().Header.BlockSize = p.BlockSize;
        Head().Header.Tempo = p.Tempo;
        Head().Header.TimeFormat = {p.StepsPerBar, p.StepsPerBeat, p.TicksPerBeat};
        Head().Header.ProcessFlags = p.ProcessFlags;
        Head().Frames = frames;
        Head().BlockFlags = busMode ? kBlockBusLayout : 0;
        Head().EventOffset = static_cast<std::int32_t>(Bytes.size()) - 10 * 44;
        Head().EventCount = 0;
    }
    TBridgeEvent& Event(int i)
    {
        return *reinterpret_cast<TBridgeEvent*>(Bytes.data() + Head().EventOffset + i * 44);
    }
    std::vector<std::uint8_t> Bytes;
    std::int64_t Size;
};

struct AudioTest : ::testing::Test {
    TFakePlugin plugin;
    TBridgeAudio audio{RecordPriority};
    void SetUp() override { g_priorities.clear(); }
};

TBridgeEvent MakeEvent(std::int32_t type)
{
    TBridgeEvent e;
    std::memset(&e, 0, sizeof(e));
    e.Type = type;
    return e;
}

} // namespace

TEST_F(AudioTest, PerChannelLayoutPutsOutputsDirectlyAfterInputs)
{
    plugin.SetBuses({2, 2}, {2});
    TBlock b(180 + 6 * 2048 + 10 * 44);
    b.Header(plugin, 512, false);
    for (int c = 0; c < 4; ++c)
        for (int f = 0; f < 512; ++f)
            b.Audio()[c * 512 + f] = static_cast<float>(c * 1000 + f);
    std::int64_t size = b.Size;
    ASSERT_TRUE(audio.Process(&plugin, 0, b.Bytes.data(), size, b.Size));
    EXPECT_EQ(audio.InputBufferCount(), 4u);
    EXPECT_EQ(audio.OutputBufferCount(), 2u);
    // Output c = input c * 2 + c, right after the 4 x 2048 input bytes.
    for (int c = 0; c < 2; ++c) {
        EXPECT_FLOAT_EQ(b.Audio()[4 * 512 + c * 512 + 0], static_cast<float>(c * 1000 * 2 + c));
        EXPECT_FLOAT_EQ(b.Audio()[4 * 512 + c * 512 + 511], static_cast<float>((c * 1000 + 511) * 2 + c));
    }
    EXPECT_FLOAT_EQ(b.Audio()[3 * 512 + 7], 3007.0f) << "inputs stay in place";
    EXPECT_EQ(plugin.Calls.back(), "process 512");
}

TEST_F(AudioTest, BusLayoutCopiesEachBusAsOnePiece)
{
    plugin.SetBuses({2, 2}, {2});
    TBlock b(180 + 6 * 2048 + 10 * 44);
    b.Header(plugin, 512, true);
    for (int s = 0; s < 4 * 512; ++s)
        b.Audio()[s] = static_cast<float>(s);
    std::int64_t size = b.Size;
    ASSERT_TRUE(audio.Process(&plugin, 0, b.Bytes.data(), size, b.Size));
    EXPECT_EQ(audio.InputBufferCount(), 2u);
    EXPECT_EQ(audio.OutputBufferCount(), 1u);
    EXPECT_EQ(plugin.Calls.back(), "buses 512");
    // The one output bus (2 x 512 floats) holds input bus 0 as the plugin saw it.
    for (int s : {0, 511, 512, 1023})
        EXPECT_FLOAT_EQ(b.Audio()[4 * 512 + s], static_cast<float>(s)) << s;
}

TEST_F(AudioTest, BuffersGrowWithHeadroomAndRoundedSizes)
{
    plugin.SetBuses({2}, {2});
    audio.PrepareBuffers(&plugin, 0, false);
    EXPECT_EQ(audio.BufferCapacity(), 256);
    TBlock small(180 + 4 * 512 * 4 + 10 * 44);
    small.Header(plugin, 512, false);
    std::int64_t size = small.Size;
    ASSERT_TRUE(audio.Process(&plugin, 0, small.Bytes.data(), size, small.Size));
    EXPECT_EQ(audio.BufferCapacity(), 768);
    TBlock big(180 + 4 * 2000 * 4 + 10 * 44);
    big.Header(plugin, 2000, false);
    size = big.Size;
    ASSERT_TRUE(audio.Process(&plugin, 0, big.Bytes.data(), size, big.Size));
    EXPECT_EQ(audio.BufferCapacity(), 2256);
    EXPECT_EQ(audio.InputBufferSize(0), 2256u);
    // Bus mode: a stereo bus holds 2 x capacity, rounded up to 8 samples.
    audio.PrepareBuffers(&plugin, 1001, true);
    EXPECT_EQ(audio.BufferCapacity(), 1257);
    EXPECT_EQ(audio.InputBufferSize(0), 2520u);
    // A bus that gains channels without the number of buffers changing still gets room.
    plugin.InputBuses[0].Channels = 4;
    audio.PrepareBuffers(&plugin, 1001, true);
    EXPECT_GE(audio.InputBufferSize(0), 4u * 1257u);
}

TEST_F(AudioTest, HeaderIsAppliedOnlyWhereItDiffers)
{
    plugin.SetBuses({2, 2}, {2});
    plugin.InputBusStates[0].Active = true;
    plugin.InputBusStates[1].Active = false;
    plugin.OutputBusStates[0].Active = true;
    TTransportHeader h{};
    h.SampleRate = plugin.SampleRate;
    h.BlockSize = plugin.BlockSize;
    h.Tempo = plugin.Tempo;
    h.ProcessFlags = plugin.ProcessFlags;
    h.InputBusActive[0] = 0x1;  // matches
    h.OutputBusActive[0] = 0x1; // matches
    audio.ApplyHeader(&plugin, h);
    EXPECT_TRUE(plugin.Calls.empty()) << plugin.Calls.front();
    h.SampleRate = 48000;
    h.Transport = kTransportPlaying | kTransportJumped;
    h.SongPosition = 4410;
    h.InputBusActive[0] = 0x2; // bus 0 off, bus 1 on
    audio.ApplyHeader(&plugin, h);
    EXPECT_EQ(plugin.Calls, (std::vector<std::string>{"rate 48000", "play", "bus in 0 off", "bus in 1 on"}));
    EXPECT_EQ(plugin.SongPosition, 4410);
    EXPECT_TRUE(plugin.PositionJumped);
}

TEST_F(AudioTest, IncomingEventsReachThePluginInOrderAndUnknownTypesAreSkipped)
{
    plugin.SetBuses({}, {2});
    TBlock b(180 + 2 * 64 * 4 + 10 * 44);
    b.Header(plugin, 64, false);
    TBridgeEvent midi = MakeEvent(kEventMidi);
    midi.Port = 1;
    midi.DeltaFrames = 5;
    midi.Value1 = 0x7F3C90;
    TBridgeEvent bogus = MakeEvent(9);
    TBridgeEvent on = MakeEvent(kEventNoteOn);
    on.Value1 = -1; // note id 0xFFFFFFFF, zero-extended
    const float pitch = 60.25f;
    std::memcpy(on.Value2, &pitch, 4);
    on.Byte20 = 100;
    on.Byte21 = 2;
    on.Length = 480;
    on.Flags = 1;
    on.DeltaFrames = 7;
    TBridgeEvent param = MakeEvent(kEventParam);
    param.Value1 = 4;
    const float value = 0.5f;
    std::memcpy(param.Value2, &value, 4);
    param.Byte21 = 1;
    TBridgeEvent bend = MakeEvent(kEventPitchBend);
    bend.Value1 = -150;
    bend.Value2[0] = 3;
    TBridgeEvent range = MakeEvent(kEventBendRange);
    range.Value1 = 12;
    const TBridgeEvent list[] = {midi, bogus, on, param, bend, range};
    for (int i = 0; i < 6; ++i)
        b.Event(i) = list[i];
    b.Head().EventCount = 6;
    std::int64_t size = b.Size;
    ASSERT_TRUE(audio.Process(&plugin, 1, b.Bytes.data(), size, b.Size));
    EXPECT_EQ(plugin.Calls, (std::vector<std::string>{
                                "reset", "midi 1 8338576 @5", "on 0 v100 id4294967295 p60.250000/60.250000 c2 l480 rt @7",
                                "param 4 0.500000 n", "bend 0 c3 -150 @0", "range 12", "process 64"}));
    EXPECT_EQ(b.Head().EventCount, 0) << "no events produced";
}

TEST_F(AudioTest, QueuedEventsReturnWithTheBlockAndGrowTheDataSize)
{
    plugin.SetBuses({}, {2});
    TBlock b(180 + 2 * 64 * 4 + 10 * 44);
    b.Header(plugin, 64, false);
    b.Head().EventCount = 1;
    b.Event(0) = MakeEvent(kEventBendRange);
    const std::int64_t sent = b.Head().EventOffset + 44;
    for (int i = 0; i < 3; ++i) {
        TBridgeEvent e = MakeEvent(kEventMidi);
        e.Value1 = 0x90 + i;
        audio.QueueEvent(e);
    }
    std::int64_t size = sent;
    ASSERT_TRUE(audio.Process(&plugin, 0, b.Bytes.data(), size, b.Size));
    EXPECT_EQ(b.Head().EventCount, 3);
    EXPECT_EQ(size, sent + 2 * 44);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(b.Event(i).Value1, 0x90 + i);
    EXPECT_EQ(audio.QueuedEventCount(), 0);
}

TEST_F(AudioTest, QueueKeeps4096AndEventsThatDoNotFitWait)
{
    for (int i = 0; i < 5000; ++i) {
        TBridgeEvent e = MakeEvent(kEventMidi);
        e.Value1 = i;
        audio.QueueEvent(e);
    }
    EXPECT_EQ(audio.QueuedEventCount(), 4096);
    plugin.SetBuses({}, {1});
    TBlock b(180 + 16 * 4 + 10 * 44); // room for 10 events after the offset
    b.Header(plugin, 16, false);
    std::int64_t size = b.Head().EventOffset;
    ASSERT_TRUE(audio.Process(&plugin, 0, b.Bytes.data(), size, b.Size));
    EXPECT_EQ(b.Head().EventCount, 10);
    EXPECT_EQ(size, b.Size);
    EXPECT_EQ(audio.QueuedEventCount(), 4086);
    size = b.Head().EventOffset;
    b.Head().EventCount = 0;
    ASSERT_TRUE(audio.Process(&plugin, 0, b.Bytes.data(), size, b.Size));
    EXPECT_EQ(b.Event(0).Value1, 10) << "the next block continues where the last stopped";
}

TEST_F(AudioTest, ThreadPriorityChangesOnlyWhenTheBlockAsksForAnother)
{
    plugin.SetBuses({}, {1});
    TBlock b(180 + 16 * 4 + 10 * 44);
    b.Header(plugin, 16, false);
    for (std::int32_t p : {0, 0, 15, 15, 2, 0}) {
        b.Head().ThreadPriority = p;
        std::int64_t size = b.Size;
        ASSERT_TRUE(audio.Process(&plugin, 0, b.Bytes.data(), size, b.Size));
    }
    EXPECT_EQ(g_priorities, (std::vector<std::int32_t>{15, 2, 0}));
}

TEST_F(AudioTest, HostileBlocksNeverReachOutsideTheData)
{
    plugin.SetBuses({2}, {2});
    const std::size_t cap = 180 + 4 * 64 * 4 + 4 * 44;
    struct TCase {
        const char* what;
        std::int64_t dataSize;
        std::int32_t frames;
        std::int32_t eventOffset;
        std::int32_t eventCount;
        bool processed;
        int eventsSeen;
    };
    const TCase cases[] = {
        {"shorter than the header", 100, 64, 0, 0, false, 0},
        {"frames beyond the block", static_cast<std::int64_t>(cap), 1 << 28, 180 + 1024, 0, false, 0},
        {"negative frames", static_cast<std::int64_t>(cap), -4, 180 + 1024, 0, false, 0},
        {"event offset beyond the block", static_cast<std::int64_t>(cap), 64, 1 << 30, 5, true, 0},
        {"negative event offset", static_cast<std::int64_t>(cap), 64, -64, 5, true, 0},
        {"event offset inside the header", static_cast<std::int64_t>(cap), 64, 100, 5, true, 0},
        {"event count beyond the data", static_cast<std::int64_t>(cap), 64, 180 + 1024, 1 << 30, true, 4},
        {"event count beyond the sent size", 180 + 1024 + 2 * 44, 64, 180 + 1024, 4, true, 2},
    };
    for (const auto& c : cases) {
        // Guard bytes on both sides of the block catch any stray access.
        std::vector<std::uint8_t> mem(cap + 2 * 4096, 0x5A);
        std::uint8_t* data = mem.data() + 4096;
        std::memset(data, 0, cap);
        auto& head = *reinterpret_cast<TProcessBlock*>(data);
        head.Header.SampleRate = plugin.SampleRate;
        head.Header.BlockSize = plugin.BlockSize;
        head.Header.Tempo = plugin.Tempo;
        head.Frames = c.frames;
        head.EventOffset = c.eventOffset;
        head.EventCount = c.eventCount;
        if (c.eventOffset >= 180 && c.eventOffset < static_cast<std::int32_t>(cap))
            for (std::size_t off = static_cast<std::size_t>(c.eventOffset); off + 44 <= cap; off += 44)
                reinterpret_cast<TBridgeEvent*>(data + off)->Type = kEventBendRange;
        for (int i = 0; i < 20; ++i)
            audio.QueueEvent(MakeEvent(kEventMidi));
        plugin.Calls.clear();
        std::int64_t size = c.dataSize;
        EXPECT_EQ(audio.Process(&plugin, 0, data, size, static_cast<std::int64_t>(cap)), c.processed) << c.what;
        int ranges = 0;
        for (const auto& call : plugin.Calls)
            ranges += call.rfind("range", 0) == 0 ? 1 : 0;
        EXPECT_EQ(ranges, c.eventsSeen) << c.what;
        EXPECT_LE(size, static_cast<std::int64_t>(cap)) << c.what;
        for (std::size_t i = 0; i < 4096; ++i) {
            ASSERT_EQ(mem[i], 0x5A) << c.what << ": byte before the block";
            ASSERT_EQ(mem[4096 + cap + i], 0x5A) << c.what << ": byte after the block";
        }
        while (audio.QueuedEventCount() > 0) { // drain for the next case
            plugin.Calls.clear();
            TBlock d(180 + 4 * 16 * 4 + 100 * 44);
            d.Header(plugin, 16, false);
            d.Head().EventOffset = 180 + 256;
            std::int64_t s = d.Size;
            audio.Process(&plugin, 0, d.Bytes.data(), s, d.Size);
        }
    }
}

TEST_F(AudioTest, NoPluginLeavesTheBlockUnchanged)
{
    TBlock b(1024);
    b.Header(plugin, 16, false);
    const auto before = b.Bytes;
    std::int64_t size = b.Size;
    EXPECT_FALSE(audio.Process(nullptr, 1, b.Bytes.data(), size, b.Size));
    EXPECT_EQ(b.Bytes, before);
}

namespace {

// A plugin that changes its bus layout in the middle of a block, as real
// plugins do: on a parameter change (audioMasterIOChanged from setParameter),
// on a sample-rate change (a rate cycles the plugin off and on), or from
// inside its own process call after it wrote its outputs.
enum class TReshapeAt { Param, Rate, Process };

class TReshapingPlugin : public TFakePlugin {
public:
    TReshapeAt At = TReshapeAt::Param;
    std::vector<int> ToIn, ToOut;

    void SetParamValue(std::int32_t i, bool refresh, float v, bool notify) override
    {
        TFakePlugin::SetParamValue(i, refresh, v, notify);
        if (At == TReshapeAt::Param)
            SetBuses(ToIn, ToOut);
    }
    void SetSampleRate(std::int32_t r) override
    {
        TFakePlugin::SetSampleRate(r);
        if (At == TReshapeAt::Rate)
            SetBuses(ToIn, ToOut);
    }
    void Process(float** in, float** out, std::int32_t frames) override
    {
        TFakePlugin::Process(in, out, frames);
        if (At == TReshapeAt::Process)
            SetBuses(ToIn, ToOut);
    }
    void ProcessBuses(float** in, float** out, std::int32_t frames) override
    {
        TFakePlugin::ProcessBuses(in, out, frames);
        if (At == TReshapeAt::Process)
            SetBuses(ToIn, ToOut);
    }
};

constexpr std::size_t kGuardBytes = 256;
constexpr std::uint8_t kGuardByte = 0xA5;

} // namespace

TEST(AudioLayoutChange, EveryCopyOfABlockHoldsAgainstTheLayoutItUses)
{
    struct Row {
        const char* What;
        TReshapeAt At;
        bool BusMode;
        std::vector<int> FromIn, FromOut, ToIn, ToOut;
        // The layout whose outputs the block returns (the one taken before the process call).
        std::vector<int> UsedOut;
    };
    const Row rows[] = {
        {"parameter event grows the buses", TReshapeAt::Param, false, {2}, {2}, {8, 8}, {8, 8}, {8, 8}},
        {"parameter event grows the buses, bus mode", TReshapeAt::Param, true, {2}, {2}, {8, 8}, {8, 8}, {8, 8}},
        {"rate change grows the buses", TReshapeAt::Rate, false, {2}, {2}, {6}, {6, 2}, {6, 2}},
        {"process grows the buses, bus mode", TReshapeAt::Process, true, {2}, {2}, {8}, {8}, {2}},
        {"process grows the buses", TReshapeAt::Process, false, {2}, {2}, {8}, {8}, {2}},
        {"process drops every output", TReshapeAt::Process, false, {2}, {2}, {2}, {}, {2}},
        {"parameter event drops the inputs", TReshapeAt::Param, false, {2}, {2}, {}, {2}, {2}},
    };
    constexpr int kFrames = 64;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.What);
        TReshapingPlugin plugin;
        TBridgeAudio audio;
        plugin.SetBuses(row.FromIn, row.FromOut);
        plugin.At = row.At;
        plugin.ToIn = row.ToIn;
        plugin.ToOut = row.ToOut;
        // Audio area for the layout the host knows (2 in, 2 out) and room for
        // one event; then a guard that nothing may touch.
        const std::size_t capacity = sizeof(TProcessBlock) + 4 * kFrames * 4 + sizeof(TBridgeEvent);
        std::vector<std::uint8_t> bytes(capacity + kGuardBytes, kGuardByte);
        std::fill_n(bytes.begin(), capacity, 0);
        TProcessBlock head{};
        head.Header.SampleRate = row.At == TReshapeAt::Rate ? 48000 : plugin.SampleRate;
        head.Header.BlockSize = plugin.BlockSize;
        head.Header.Tempo = plugin.Tempo;
        head.Header.TimeFormat = {plugin.StepsPerBar, plugin.StepsPerBeat, plugin.TicksPerBeat};
        head.Header.ProcessFlags = plugin.ProcessFlags;
        head.BlockFlags = row.BusMode ? kBlockBusLayout : 0;
        head.Frames = kFrames;
        head.EventOffset = static_cast<std::int32_t>(sizeof(TProcessBlock) + 4 * kFrames * 4);
        head.EventCount = row.At == TReshapeAt::Param ? 1 : 0;
        std::memcpy(bytes.data(), &head, sizeof head);
        TBridgeEvent param = MakeEvent(kEventParam);
        std::memcpy(bytes.data() + head.EventOffset, &param, sizeof param);
        auto* samples = reinterpret_cast<float*>(bytes.data() + sizeof(TProcessBlock));
        for (int s = 0; s < 2 * kFrames; ++s)
            samples[s] = static_cast<float>(s + 1);

        std::int64_t size = static_cast<std::int64_t>(capacity);
        ASSERT_TRUE(audio.Process(&plugin, 0, bytes.data(), size, static_cast<std::int64_t>(capacity)));
        EXPECT_LE(size, static_cast<std::int64_t>(capacity));
        for (std::size_t i = capacity; i < bytes.size(); ++i)
            ASSERT_EQ(bytes[i], kGuardByte) << "written past the block at +" << (i - capacity);

        // The plugin's buffers match the layout the block used.
        int usedOutChannels = 0;
        for (int c : row.UsedOut)
            usedOutChannels += c;
        EXPECT_EQ(audio.OutputBufferCount(), row.BusMode ? row.UsedOut.size() : static_cast<std::size_t>(usedOutChannels));
        for (std::size_t i = 0; i < audio.OutputBufferCount(); ++i)
            EXPECT_GE(audio.OutputBufferSize(i),
                      static_cast<std::size_t>(row.BusMode ? row.UsedOut[i] : 1) * static_cast<std::size_t>(kFrames));

        // When the layout changed only during the process call, the block is
        // the one the host built: its outputs follow its inputs as it expects.
        if (row.At == TReshapeAt::Process && !row.BusMode) {
            for (int c = 0; c < usedOutChannels; ++c)
                EXPECT_FLOAT_EQ(samples[2 * kFrames + c * kFrames + 5], static_cast<float>((c % 2) * kFrames + 6) * 2.0f + c)
                    << "output " << c;
        }
        if (row.At == TReshapeAt::Process && row.BusMode) {
            EXPECT_FLOAT_EQ(samples[2 * kFrames + 5], 6.0f);
        }
    }
}

TEST_F(AudioTest, AHugeBlockOfAPluginWithoutChannelsKeepsAPositiveCapacity)
{
    plugin.SetBuses({}, {});
    for (std::int32_t frames : {std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max() - 255}) {
        audio.PrepareBuffers(&plugin, frames, false);
        EXPECT_GE(audio.BufferCapacity(), frames) << frames;
    }
}

TEST(AudioLayoutChange, BlocksWhoseLayoutChangesRunBesideAThreadThatQueuesEvents)
{
    // The plugin grows and shrinks inside its process call every block while
    // a thread of its own produces MIDI for the host.
    TReshapingPlugin plugin;
    TBridgeAudio audio;
    plugin.SetBuses({2}, {2});
    plugin.At = TReshapeAt::Process;
    std::atomic<bool> stop{false}, producing{false};
    std::thread producer([&] {
        TBridgeEvent e = MakeEvent(kEventMidi);
        while (!stop.load()) {
            audio.QueueEvent(e);
            producing.store(true);
        }
    });
    while (!producing.load()) // the first block already finds events waiting
        std::this_thread::yield();
    constexpr int kFrames = 32;
    const std::size_t capacity = sizeof(TProcessBlock) + 16 * kFrames * 4 + 64 * sizeof(TBridgeEvent);
    std::vector<std::uint8_t> bytes(capacity, 0);
    int returned = 0;
    for (int b = 0; b < 200; ++b) {
        plugin.ToIn = b % 2 == 0 ? std::vector<int>{8} : std::vector<int>{2};
        plugin.ToOut = b % 2 == 0 ? std::vector<int>{4, 4} : std::vector<int>{2};
        TProcessBlock head{};
        head.Header.SampleRate = plugin.SampleRate;
        head.Header.BlockSize = plugin.BlockSize;
        head.Header.Tempo = plugin.Tempo;
        head.Header.TimeFormat = {plugin.StepsPerBar, plugin.StepsPerBeat, plugin.TicksPerBeat};
        head.Header.ProcessFlags = plugin.ProcessFlags;
        head.Frames = kFrames;
        head.EventOffset = static_cast<std::int32_t>(sizeof(TProcessBlock) + 16 * kFrames * 4);
        std::memcpy(bytes.data(), &head, sizeof head);
        std::int64_t size = head.EventOffset;
        ASSERT_TRUE(audio.Process(&plugin, 0, bytes.data(), size, static_cast<std::int64_t>(capacity)));
        ASSERT_LE(size, static_cast<std::int64_t>(capacity));
        std::int32_t count;
        std::memcpy(&count, bytes.data() + offsetof(TProcessBlock, EventCount), sizeof count);
        ASSERT_LE(count, 64);
        returned += count;
    }
    stop = true;
    producer.join();
    EXPECT_GT(returned, 0);
}
