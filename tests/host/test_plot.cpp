// The waveform picture: what is drawn where, and the PNG that carries it.

#include "PngImage.h"
#include "WavePlot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>


namespace {

using L = TPlotLayout;

// Rows of column x inside lane `lane` drawn in the wave colours.
std::pair<int, int> WaveExtent(const TPlotImage& img, const std::vector<TPlotTrack>& tracks, int lane, int x)
{
    const int top = PlotLaneTop(tracks, lane);
    int first = -1, last = -1;
    for (int y = top; y < top + L::kLaneHeight; ++y) {
        const std::uint32_t p = img.Pixel(x, y);
        if (p == kPlotWave || p == kPlotClipped) {
            if (first < 0)
                first = y;
            last = y;
        }
    }
    return {first - top, last - top};
}

TEST(WavePlot, DrawsEachChannelWhereItsSamplesAre)
{
    // Input: left a quiet first half then a half-scale square wave, right
    // silent. Output: one channel of full-scale square (clipped colour).
    const int rate = 1000, frames = 4000;
    TPlotTrack in{"Input", {std::vector<float>(frames), std::vector<float>(frames)}};
    TPlotTrack out{"Output", {std::vector<float>(frames)}};
    for (int i = 0; i < frames; ++i) {
        in.Channels[0][i] = i < frames / 2 ? 0.001f : ((i / 3) % 2 ? 0.5f : -0.5f);
        out.Channels[0][i] = (i / 3) % 2 ? 1.0f : -1.0f; // several cycles in every column
    }
    const std::vector<TPlotTrack> tracks{in, out};
    const TPlotImage img = RenderWavePlot(tracks, rate, 416);
    ASSERT_EQ(img.Width, 416);
    ASSERT_EQ(img.Height, L::kMargin + 3 * (L::kLabel + L::kLevelHeight + L::kGap + L::kLaneHeight + L::kMargin));

    const int lateX = L::kMargin + 300, earlyX = L::kMargin + 50;
    // Half-scale square: from a quarter to three quarters of the lane.
    const auto [qTop, qBottom] = WaveExtent(img, tracks, 0, lateX);
    EXPECT_NEAR(qTop, L::kLaneHeight / 4, 2);
    EXPECT_NEAR(qBottom, 3 * L::kLaneHeight / 4, 2);
    EXPECT_EQ(img.Pixel(lateX, PlotLaneTop(tracks, 0) + qTop), kPlotWave);
    // The quiet first half stays a thin line at the middle.
    const auto [eTop, eBottom] = WaveExtent(img, tracks, 0, earlyX);
    EXPECT_LE(eBottom - eTop, 1);
    EXPECT_NEAR(eTop, L::kLaneHeight / 2, 1);
    // The silent right channel: a flat line at the middle.
    const auto [sTop, sBottom] = WaveExtent(img, tracks, 1, lateX);
    EXPECT_EQ(sTop, sBottom);
    EXPECT_NEAR(sTop, L::kLaneHeight / 2, 1);
    // Full scale reaches both edges, in the clipped colour.
    const auto [fTop, fBottom] = WaveExtent(img, tracks, 2, lateX);
    EXPECT_EQ(fTop, 0);
    EXPECT_EQ(fBottom, L::kLaneHeight - 1);
    EXPECT_EQ(img.Pixel(lateX, PlotLaneTop(tracks, 2)), kPlotClipped);

    // The level strip is brighter where the signal is louder.
    auto brightness = [&](int lane, int x) {
        const std::uint32_t p = img.Pixel(x, PlotLaneTop(tracks, lane) - L::kGap - L::kLevelHeight / 2);
        return (p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF);
    };
    EXPECT_GT(brightness(0, lateX), brightness(0, earlyX) + 60);
    EXPECT_GT(brightness(2, lateX), brightness(0, lateX));
    EXPECT_EQ(brightness(1, lateX), brightness(1, earlyX));

    // Each lane has a label: text pixels in its label row.
    for (int lane = 0; lane < 3; ++lane) {
        int lit = 0;
        const int y0 = PlotLaneTop(tracks, lane) - L::kGap - L::kLevelHeight - L::kLabel;
        for (int y = y0; y < y0 + L::kLabel; ++y)
            for (int x = L::kMargin; x < L::kMargin + 60; ++x)
                lit += img.Pixel(x, y) != kPlotBackground;
        EXPECT_GT(lit, 20) << "lane " << lane;
    }
}

TEST(WavePlot, HostileSamplesAndShapes)
{
    // NaN and infinity are drawn as silence; more columns than samples,
    // channels of different lengths, and no tracks at all are all fine.
    TPlotTrack t{"Odd", {{NAN, INFINITY, -INFINITY}, {}}};
    const std::vector<TPlotTrack> tracks{t, TPlotTrack{"Empty", {}}};
    const TPlotImage img = RenderWavePlot(tracks, 0, 300);
    EXPECT_EQ(img.Rgb.size(), static_cast<std::size_t>(img.Width) * img.Height * 3);
    const auto [top, bottom] = WaveExtent(img, tracks, 0, L::kMargin + 10);
    EXPECT_EQ(top, bottom);
    const TPlotImage none = RenderWavePlot({}, 44100, 100);
    EXPECT_EQ(none.Height, L::kMargin);
    EXPECT_EQ(none.Pixel(5, 5), kPlotBackground);
}

TEST(WavePlot, PngCarriesThePixelsExactly)
{
    TPlotTrack t{"Tone", {std::vector<float>(2000)}};
    for (int i = 0; i < 2000; ++i)
        t.Channels[0][i] = 0.8f * static_cast<float>(std::sin(i * 0.05));
    const TPlotImage img = RenderWavePlot({t}, 8000, 257);
    const std::vector<std::uint8_t> png = EncodePng(img);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(0, std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8));
    TRgbaImage back;
    std::string error;
    ASSERT_TRUE(DecodePng(png, back, error)) << error;
    ASSERT_EQ(back.Width, img.Width);
    ASSERT_EQ(back.Height, img.Height);
    for (int y = 0; y < img.Height; ++y)
        for (int x = 0; x < img.Width; ++x)
            ASSERT_EQ(back.Rgb(x, y), img.Pixel(x, y)) << x << "," << y;

    TPlotImage broken = img;
    broken.Rgb.pop_back();
    EXPECT_TRUE(EncodePng(broken).empty());
}

} // namespace
