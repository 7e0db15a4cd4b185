#pragma once
// What the test ACM driver offers: its names and its two format tags with their
// formats. Shared by the driver and by the tests that check the tools' listings.
// Pure data: no Windows header.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

struct TTestAcmFormat {
    std::uint32_t SamplesPerSec;
    std::uint16_t Channels;
    std::uint16_t BitsPerSample;
    std::uint32_t AvgBytesPerSec;
    std::uint16_t BlockAlign;
};

struct TTestAcmTag {
    std::uint16_t Tag;
    const char* Name;
    std::uint32_t FormatSize; // the largest format of the tag, WAVEFORMATEX included
    std::span<const TTestAcmFormat> Formats;
};

inline constexpr char kTestAcmShortName[] = "Pelorin Test";
inline constexpr char kTestAcmLongName[] = "Pelorin test ACM driver";

inline constexpr std::array<TTestAcmFormat, 2> kTestAcmFormatsA{{
    {44100, 2, 16, 16000, 1024},
    {22050, 1, 16, 8000, 512},
}};
inline constexpr std::array<TTestAcmFormat, 1> kTestAcmFormatsB{{
    {48000, 2, 24, 32000, 2048},
}};
inline constexpr std::array<TTestAcmTag, 2> kTestAcmTags{{
    {0x674F, "Test Vorbis A", 30, kTestAcmFormatsA},
    {0x6750, "Test Vorbis B", 40, kTestAcmFormatsB},
}};

// The largest FormatSize of all tags.
inline constexpr std::uint32_t TestAcmLargestFormatSize()
{
    std::uint32_t largest = 0;
    for (const TTestAcmTag& tag : kTestAcmTags)
        largest = tag.FormatSize > largest ? tag.FormatSize : largest;
    return largest;
}

// The format description that the driver returns: the format itself, then the
// buffer size and the cbSize value that the caller handed in for it, so that a
// listing shows how the caller prepared its format buffer.
inline std::string TestAcmFormatText(const TTestAcmFormat& f, std::uint32_t cbwfx, std::uint16_t cbSize)
{
    char text[128];
    std::snprintf(text, sizeof(text), "%u Hz, %u ch [cbwfx %u, cbSize %u]", static_cast<unsigned>(f.SamplesPerSec),
                  static_cast<unsigned>(f.Channels), static_cast<unsigned>(cbwfx), static_cast<unsigned>(cbSize));
    return text;
}
