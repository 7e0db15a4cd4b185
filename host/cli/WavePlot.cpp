#include "WavePlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "PngImage.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb/stb_easy_font.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

using L = TPlotLayout;

int LaneBlock() { return L::kLabel + L::kLevelHeight + L::kGap + L::kLaneHeight + L::kMargin; }

void Fill(TPlotImage& img, int x0, int y0, int x1, int y1, std::uint32_t rgb)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, img.Width);
    y1 = std::min(y1, img.Height);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            std::uint8_t* p = &img.Rgb[(static_cast<std::size_t>(y) * img.Width + x) * 3];
            p[0] = static_cast<std::uint8_t>(rgb >> 16);
            p[1] = static_cast<std::uint8_t>(rgb >> 8);
            p[2] = static_cast<std::uint8_t>(rgb);
        }
}

// stb_easy_font gives quads of 4 vertices (x, y, z, colour: 16 bytes each),
// all axis-aligned rectangles.
void Text(TPlotImage& img, int x, int y, const std::string& text, std::uint32_t rgb)
{
    static char buffer[64 * 1024];
    std::string s = text;
    const int quads = stb_easy_font_print(0, 0, s.data(), nullptr, buffer, sizeof buffer);
    for (int q = 0; q < quads; ++q) {
        const float* v = reinterpret_cast<const float*>(buffer + q * 64);
        const float ax = v[0], ay = v[1], bx = v[8], by = v[9]; // first and third vertex
        Fill(img, x + static_cast<int>(std::lround(std::min(ax, bx))), y + static_cast<int>(std::lround(std::min(ay, by))),
             x + static_cast<int>(std::lround(std::max(ax, bx))), y + static_cast<int>(std::lround(std::max(ay, by))), rgb);
    }
}

std::uint32_t LevelColour(double db)
{
    // -60 dB dark blue, -30 dB teal, -12 dB green, 0 dB yellow; silence the background.
    if (!(db > -60.0))
        return 0x101830;
    const double t = std::clamp((db + 60.0) / 60.0, 0.0, 1.0);
    struct Stop { double At; double R, G, B; };
    static const Stop stops[] = {{0.0, 16, 24, 80}, {0.5, 20, 140, 150}, {0.8, 70, 200, 80}, {1.0, 250, 230, 60}};
    for (std::size_t i = 1; i < std::size(stops); ++i)
        if (t <= stops[i].At) {
            const Stop& a = stops[i - 1];
            const Stop& b = stops[i];
            const double u = (t - a.At) / (b.At - a.At);
            auto mix = [u](double p, double q) { return static_cast<std::uint32_t>(std::lround(p + (q - p) * u)); };
            return mix(a.R, b.R) << 16 | mix(a.G, b.G) << 8 | mix(a.B, b.B);
        }
    return 0xFAE63C;
}

} // namespace

std::uint32_t TPlotImage::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= Width || y >= Height)
        return 0;
    const std::uint8_t* p = &Rgb[(static_cast<std::size_t>(y) * Width + x) * 3];
    return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
}

int PlotLaneTop(const std::vector<TPlotTrack>& tracks, int lane)
{
    (void)tracks;
    return L::kMargin + lane * LaneBlock() + L::kLabel + L::kLevelHeight + L::kGap;
}

TPlotImage RenderWavePlot(const std::vector<TPlotTrack>& tracks, int sampleRate, int width)
{
    TPlotImage img;
    int lanes = 0;
    std::size_t frames = 0;
    for (const auto& t : tracks) {
        lanes += static_cast<int>(t.Channels.size());
        for (const auto& c : t.Channels)
            frames = std::max(frames, c.size());
    }
    img.Width = std::max(width, 2 * L::kMargin + 16);
    img.Height = L::kMargin + std::max(lanes, 0) * LaneBlock();
    img.Rgb.assign(static_cast<std::size_t>(img.Width) * img.Height * 3, 0);
    Fill(img, 0, 0, img.Width, img.Height, kPlotBackground);
    const int x0 = L::kMargin, plotWidth = img.Width - 2 * L::kMargin;
    const double seconds = sampleRate > 0 ? static_cast<double>(frames) / sampleRate : 0.0;

    int lane = 0;
    for (const auto& t : tracks) {
        for (std::size_t c = 0; c < t.Channels.size(); ++c, ++lane) {
            const std::vector<float>& ch = t.Channels[c];
            const int top = L::kMargin + lane * LaneBlock();
            const int levelTop = top + L::kLabel;
            const int waveTop = levelTop + L::kLevelHeight + L::kGap;
            std::string label = t.Label;
            if (t.Channels.size() == 2)
                label += c == 0 ? "  left" : "  right";
            else if (t.Channels.size() > 2)
                label += "  channel " + std::to_string(c + 1);
            if (lane == 0 && seconds > 0) {
                char buf[64];
                std::snprintf(buf, sizeof buf, "   %.2f s at %d Hz", seconds, sampleRate);
                label += buf;
            }
            Text(img, x0, top + 2, label, 0xD0D4DC);
            Fill(img, x0, waveTop + L::kLaneHeight / 2, x0 + plotWidth, waveTop + L::kLaneHeight / 2 + 1, kPlotMidline);
            if (frames == 0)
                continue;
            for (int x = 0; x < plotWidth; ++x) {
                const std::size_t a = frames * static_cast<std::size_t>(x) / plotWidth;
                std::size_t b = frames * static_cast<std::size_t>(x + 1) / plotWidth;
                b = std::max(b, a + 1);
                float lo = 0.0f, hi = 0.0f;
                double sum = 0.0;
                std::size_t n = 0;
                for (std::size_t i = a; i < b && i < ch.size(); ++i) {
                    const float v = std::isfinite(ch[i]) ? ch[i] : 0.0f;
                    lo = n == 0 ? v : std::min(lo, v);
                    hi = n == 0 ? v : std::max(hi, v);
                    sum += static_cast<double>(v) * v;
                    ++n;
                }
                const double rms = n > 0 ? std::sqrt(sum / n) : 0.0;
                const double db = rms > 0 ? 20.0 * std::log10(rms) : -1e9;
                Fill(img, x0 + x, levelTop, x0 + x + 1, levelTop + L::kLevelHeight, LevelColour(db));
                if (n == 0)
                    continue;
                auto row = [&](float v) {
                    const double clamped = std::clamp(static_cast<double>(v), -1.0, 1.0);
                    return waveTop + static_cast<int>(std::lround((1.0 - clamped) * 0.5 * (L::kLaneHeight - 1)));
                };
                const bool clipped = hi >= 1.0f || lo <= -1.0f;
                Fill(img, x0 + x, row(hi), x0 + x + 1, row(lo) + 1, clipped ? kPlotClipped : kPlotWave);
            }
        }
    }
    return img;
}

std::vector<std::uint8_t> EncodePng(const TPlotImage& image)
{
    if (image.Width <= 0 || image.Height <= 0 ||
        image.Rgb.size() != static_cast<std::size_t>(image.Width) * image.Height * 3)
        return {};
    TRgbaImage rgba;
    rgba.Width = image.Width;
    rgba.Height = image.Height;
    rgba.Pixels.resize(static_cast<std::size_t>(image.Width) * image.Height * 4);
    for (std::size_t i = 0, n = static_cast<std::size_t>(image.Width) * image.Height; i < n; ++i) {
        std::memcpy(&rgba.Pixels[i * 4], &image.Rgb[i * 3], 3);
        rgba.Pixels[i * 4 + 3] = 0xFF;
    }
    return EncodePng(rgba);
}
