#pragma once
// A picture of audio for people: each track (the input, the output) drawn as
// one waveform lane per channel (the smallest and largest sample of every
// pixel column, so no peak is lost however long the audio), under a
// level-over-time strip (the RMS of each column in decibels as a colour from
// dark blue at -60 dB to yellow at 0 dB), with a label per lane. Pure: no
// Windows header, so it is tested natively.

#include <cstdint>
#include <string>
#include <vector>

struct TPlotTrack {
    std::string Label;                        // "Input", "Output"
    std::vector<std::vector<float>> Channels; // samples per channel
};

struct TPlotImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Rgb; // Width × Height × 3, top row first
    std::uint32_t Pixel(int x, int y) const; // 0xRRGGBB
};

// The geometry RenderWavePlot uses, for callers and tests that look for
// something at a place.
struct TPlotLayout {
    static constexpr int kMargin = 8;      // left, right, top and between tracks
    static constexpr int kLabel = 14;      // text line above each lane
    static constexpr int kLaneHeight = 120;
    static constexpr int kLevelHeight = 18;
    static constexpr int kGap = 6;
};

inline constexpr std::uint32_t kPlotBackground = 0x14161C;
inline constexpr std::uint32_t kPlotMidline = 0x3A3F4A;
inline constexpr std::uint32_t kPlotWave = 0x59C3FF;
inline constexpr std::uint32_t kPlotClipped = 0xFF5050; // columns that reach ±1 or beyond

// Draws the tracks at the given width (columns across the whole duration of
// the longest channel). Tracks without channels are skipped; an empty list
// gives an image with only the background.
TPlotImage RenderWavePlot(const std::vector<TPlotTrack>& tracks, int sampleRate, int width = 1200);

// The image as PNG bytes (empty on failure).
std::vector<std::uint8_t> EncodePng(const TPlotImage& image);

// The y of the first pixel row of lane `lane` (counted over all tracks in
// order) and of its level strip, for tests and callers.
int PlotLaneTop(const std::vector<TPlotTrack>& tracks, int lane);
