#include "AcmText.h"

std::uint32_t FormatBufferSize(bool queried, std::uint32_t reported)
{
    if (!queried || reported < kWaveFormatSize)
        return kFallbackFormatSize;
    return reported;
}

std::string PointerText(std::uintptr_t value, std::size_t bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    if (bytes > sizeof(value))
        bytes = sizeof(value);
    std::string text(bytes * 2, '0');
    for (std::size_t i = text.size(); i-- > 0;) {
        text[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    return text;
}
