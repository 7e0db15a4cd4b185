#pragma once
// A per-channel audio command block for the tests: the transport header of a
// playing 44.1 kHz, 120 BPM host with every bus active, room for the audio of
// the given channels and for the given number of events after it.

#include "BridgeLayouts.h"

#include <vector>

inline std::vector<std::uint8_t> BuildProcessBlock(int inChannels, int outChannels, int frames, int events)
{
    const std::size_t audio = static_cast<std::size_t>(inChannels + outChannels) * static_cast<std::size_t>(frames) * 4;
    std::vector<std::uint8_t> d(sizeof(TProcessBlock) + audio + static_cast<std::size_t>(events) * sizeof(TBridgeEvent));
    auto& h = *reinterpret_cast<TProcessBlock*>(d.data());
    h.Header.SampleRate = 44100;
    h.Header.BlockSize = 512;
    h.Header.Tempo = 120.0;
    h.Header.TimeFormat = {16, 4, 24};
    h.Header.ProcessFlags = 0x200;
    for (auto& w : h.Header.InputBusActive)
        w = 0xFFFFFFFFu;
    for (auto& w : h.Header.OutputBusActive)
        w = 0xFFFFFFFFu;
    h.Header.Transport = kTransportPlaying;
    h.Frames = frames;
    h.EventOffset = static_cast<std::int32_t>(sizeof(TProcessBlock) + audio);
    return d;
}
