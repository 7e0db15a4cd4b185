// A warm audio block allocates nothing: the bridge's block handling, the VST2
// event list and the plugin's answer events, with the real VST2 plugin class
// and our instrument fixture.

#include "AllocationCounter.h"
#include "AudioBridge.h"
#include "ProcessBlockBuilder.h"
#include "VSTPlug.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Routes the plugin's MIDI into the bridge's outgoing queue, as the bridge's
// own host object does.
class TQueueingHost : public TBaseAudioPluginHost {
public:
    explicit TQueueingHost(TBridgeAudio& audio) : Audio(audio) {}
    void MidiOut(std::int32_t Msg, bool) override
    {
        TBridgeEvent e;
        std::memset(&e, 0, sizeof(e));
        e.Value1 = Msg;
        Audio.QueueEvent(e);
    }
    TBridgeAudio& Audio;
};

} // namespace

TEST(AudioPath, WarmBlocksAllocateNothing)
{
    TBridgeAudio audio;
    TQueueingHost host(audio);
    TPluginDescription d{};
    const std::string path = std::string(PELORIN_BUILD_DIR) + "/fixtures/vst2_synth.dll";
    std::strncpy(d.FileName, path.c_str(), sizeof(d.FileName) - 1);
    const TPluginSettings settings{44100, 512, 120.0, 16, 4, 24};
    TVSTPlugin plugin(&host, &d, settings, 0);
    ASSERT_TRUE(plugin.IsValid);
    plugin.UpdateInfo();
    plugin.SetActive(true);

    const int frames = 512;
    std::int32_t channels = 0;
    for (std::int32_t i = 0; i < plugin.NumOutputBuses; ++i)
        channels += plugin.OutputBuses[i].Channels;
    std::vector<std::uint8_t> block = BuildProcessBlock(0, channels, frames, 64);
    auto& head = *reinterpret_cast<TProcessBlock*>(block.data());

    auto run = [&](int blocks, int& returned) {
        for (int b = 0; b < blocks; ++b) {
            auto* events = reinterpret_cast<TBridgeEvent*>(block.data() + head.EventOffset);
            for (int i = 0; i < 4; ++i) {
                std::memset(&events[i], 0, sizeof(TBridgeEvent));
                events[i].Type = kEventMidi;
                events[i].DeltaFrames = i * 100;
                events[i].Value1 = (i % 2 == 0 ? 0x90 : 0x80) | ((60 + b % 12) << 8) | (100 << 16);
            }
            head.EventCount = 4;
            head.Header.SongPosition = b * frames;
            std::int64_t size = static_cast<std::int64_t>(block.size());
            ASSERT_TRUE(audio.Process(&plugin, 0, block.data(), size, size));
            returned += head.EventCount;
        }
    };
    int warmReturned = 0;
    run(8, warmReturned); // warm-up: pools and buffers reach their sizes
    ASSERT_GT(warmReturned, 0) << "the instrument answers with MIDI";

    int returned = 0;
    const std::size_t before = AllocationCount();
    run(200, returned);
    const std::size_t allocations = AllocationCount() - before;
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(returned, 200 * 4) << "every note came back an octave higher";
    plugin.SetActive(false);
}

TEST(AudioPath, BlockSizeChangesOnTheAudioThreadAllocateNothing)
{
    TBridgeAudio audio;
    TQueueingHost host(audio);
    TPluginDescription d{};
    const std::string path = std::string(PELORIN_BUILD_DIR) + "/fixtures/vst2_gain.dll";
    std::strncpy(d.FileName, path.c_str(), sizeof(d.FileName) - 1);
    const TPluginSettings settings{44100, 512, 120.0, 16, 4, 24};
    TVSTPlugin plugin(&host, &d, settings, 0);
    ASSERT_TRUE(plugin.IsValid);
    plugin.UpdateInfo();
    plugin.SetActive(true);

    std::vector<std::uint8_t> block = BuildProcessBlock(2, 2, 512, 4);
    auto& head = *reinterpret_cast<TProcessBlock*>(block.data());
    auto run = [&](int blocks) {
        for (int b = 0; b < blocks; ++b) {
            // The host's block size alternates: every block cycles the plugin
            // through effSetBlockSize on the audio thread.
            head.Header.BlockSize = b % 2 == 0 ? 256 : 512;
            head.EventCount = 0;
            std::int64_t size = static_cast<std::int64_t>(block.size());
            ASSERT_TRUE(audio.Process(&plugin, 0, block.data(), size, size));
        }
    };
    run(4);
    const std::size_t before = AllocationCount();
    run(50);
    EXPECT_EQ(AllocationCount() - before, 0u);
    EXPECT_EQ(plugin.BlockSize, 512);
    plugin.SetActive(false);
}
