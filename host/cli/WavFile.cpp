#include "WavFile.h"

#include <cstdio>
#include <cstring>
#include <limits>

namespace {

std::uint32_t U32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }
std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

void Put32(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}
void Put16(std::vector<std::uint8_t>& v, std::uint16_t x)
{
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void PutTag(std::vector<std::uint8_t>& v, const char* tag) { v.insert(v.end(), tag, tag + 4); }

} // namespace

bool ParseWav(const std::vector<std::uint8_t>& b, TWavData& out, std::string& error)
{
    out = TWavData{};
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
        error = "not a RIFF/WAVE file";
        return false;
    }
    std::uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
    std::uint32_t rate = 0;
    bool haveFmt = false;
    const std::uint8_t* data = nullptr;
    std::size_t dataBytes = 0;
    std::size_t pos = 12;
    while (pos + 8 <= b.size()) {
        const std::uint8_t* chunk = b.data() + pos;
        const std::size_t size = U32(chunk + 4);
        const std::size_t avail = b.size() - pos - 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > avail) {
                error = "truncated fmt chunk";
                return false;
            }
            format = U16(chunk + 8);
            channels = U16(chunk + 10);
            rate = U32(chunk + 12);
            blockAlign = U16(chunk + 20);
            bits = U16(chunk + 22);
            if (format == 0xFFFE) {
                if (size < 40) {
                    error = "truncated extensible fmt chunk";
                    return false;
                }
                format = U16(chunk + 8 + 24); // the sub-format's leading tag
            }
            haveFmt = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            data = chunk + 8;
            dataBytes = size <= avail ? size : avail; // a cut-off data chunk keeps what is there
        }
        if (size > avail)
            break;
        pos += 8 + size + (size & 1);
    }
    if (!haveFmt || data == nullptr) {
        error = haveFmt ? "no data chunk" : "no fmt chunk";
        return false;
    }
    const bool pcm = format == 1 && (bits == 16 || bits == 24 || bits == 32);
    const bool flt = format == 3 && bits == 32;
    if (!pcm && !flt) {
        error = "unsupported sample format " + std::to_string(format) + " with " + std::to_string(bits) + " bits";
        return false;
    }
    if (channels == 0 || rate == 0 || rate > 1000000 || blockAlign != channels * (bits / 8)) {
        error = "inconsistent fmt chunk";
        return false;
    }
    out.SampleRate = static_cast<std::int32_t>(rate);
    const std::size_t frames = dataBytes / blockAlign;
    out.Channels.assign(channels, std::vector<float>(frames));
    const std::size_t bytesPer = bits / 8;
    for (std::size_t f = 0; f < frames; ++f) {
        for (std::size_t c = 0; c < channels; ++c) {
            const std::uint8_t* s = data + f * blockAlign + c * bytesPer;
            float v;
            if (flt) {
                std::memcpy(&v, s, 4);
            } else if (bits == 16) {
                v = static_cast<std::int16_t>(U16(s)) / 32768.0f;
            } else if (bits == 24) {
                std::int32_t x = static_cast<std::int32_t>((s[0] << 8) | (s[1] << 16) | (std::uint32_t(s[2]) << 24)) >> 8;
                v = static_cast<float>(x) / 8388608.0f;
            } else {
                v = static_cast<float>(static_cast<double>(static_cast<std::int32_t>(U32(s))) / 2147483648.0);
            }
            out.Channels[c][f] = v;
        }
    }
    return true;
}

std::vector<std::uint8_t> BuildFloatWav(const TWavData& d)
{
    const std::uint16_t channels = static_cast<std::uint16_t>(d.Channels.size());
    const std::uint32_t frames = static_cast<std::uint32_t>(d.Frames());
    const std::uint32_t dataBytes = frames * channels * 4u;
    std::vector<std::uint8_t> v;
    v.reserve(44 + dataBytes);
    PutTag(v, "RIFF");
    Put32(v, 36 + dataBytes);
    PutTag(v, "WAVE");
    PutTag(v, "fmt ");
    Put32(v, 16);
    Put16(v, 3);
    Put16(v, channels);
    Put32(v, static_cast<std::uint32_t>(d.SampleRate));
    Put32(v, static_cast<std::uint32_t>(d.SampleRate) * channels * 4u);
    Put16(v, static_cast<std::uint16_t>(channels * 4));
    Put16(v, 32);
    PutTag(v, "data");
    Put32(v, dataBytes);
    for (std::uint32_t f = 0; f < frames; ++f) {
        for (std::uint16_t c = 0; c < channels; ++c) {
            std::uint32_t bitsOf;
            std::memcpy(&bitsOf, &d.Channels[c][f], 4);
            Put32(v, bitsOf);
        }
    }
    return v;
}

bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    std::uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
