#pragma once
// WAV files for the command-line host: reads 16-, 24- and 32-bit integer PCM
// and 32-bit float (plain or extensible format), writes 32-bit float.
// Samples are kept as planar float channels. Pure: no Windows header.

#include <cstdint>
#include <string>
#include <vector>

struct TWavData {
    std::int32_t SampleRate = 0;
    std::vector<std::vector<float>> Channels; // planar, all of one length
    std::size_t Frames() const { return Channels.empty() ? 0 : Channels[0].size(); }
};

// Parses a whole WAV file; false and a one-line reason on any malformed or
// unsupported content.
bool ParseWav(const std::vector<std::uint8_t>& bytes, TWavData& out, std::string& error);
// A 32-bit float WAV file of the data.
std::vector<std::uint8_t> BuildFloatWav(const TWavData& data);

bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes);
bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
