#pragma once
// Text and size rules shared by the two ACM codec tools. Pure: no Windows header.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// Size of a WAVEFORMATEX without extra bytes.
inline constexpr std::uint32_t kWaveFormatSize = 18;
// Format buffer used when a driver cannot say how large its formats are.
inline constexpr std::uint32_t kFallbackFormatSize = 274;

// The size of the format buffer for one format tag: the driver's largest format
// size when that query succeeded and covers at least a WAVEFORMATEX, otherwise
// the fallback size.
std::uint32_t FormatBufferSize(bool queried, std::uint32_t reported);

// A pointer value as lowercase hexadecimal digits without prefix, zero-padded to
// two digits per byte of `bytes` (8 digits for 4, 16 for 8).
std::string PointerText(std::uintptr_t value, std::size_t bytes = sizeof(void*));

// A character field that a driver filled in, cut at its first zero or at the end
// of the field, whichever comes first, so that printing it never reads past it.
template <std::size_t N>
std::string FieldText(const char (&field)[N])
{
    const void* zero = std::memchr(field, 0, N);
    const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : N;
    return std::string(field, length);
}
