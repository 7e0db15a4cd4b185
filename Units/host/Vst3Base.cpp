// Identifier helpers of the VST 3 declarations.

#include "Vst3Base.h"

#include <cstring>

namespace Vst3 {

TUID TUID::FromBytes(const void* p)
{
    TUID t{};
    std::memcpy(t.Bytes, p, sizeof t.Bytes);
    return t;
}

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One group of hexadecimal digits as a number; 0 when any character of the
// group is not a hexadecimal digit.
std::uint32_t ParseGroup(std::string_view group)
{
    std::uint32_t v = 0;
    for (char c : group) {
        int d = HexDigit(c);
        if (d < 0)
            return 0;
        v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    return v;
}

} // namespace

bool FUID::fromString(std::string_view text)
{
    if (text.size() != 32)
        return false;
    const std::uint32_t d1 = ParseGroup(text.substr(0, 8));
    const std::uint32_t d2 = ParseGroup(text.substr(8, 4));
    const std::uint32_t d3 = ParseGroup(text.substr(12, 4));
    TUID t{};
    t.Bytes[0] = static_cast<uint8>(d1);
    t.Bytes[1] = static_cast<uint8>(d1 >> 8);
    t.Bytes[2] = static_cast<uint8>(d1 >> 16);
    t.Bytes[3] = static_cast<uint8>(d1 >> 24);
    t.Bytes[4] = static_cast<uint8>(d2);
    t.Bytes[5] = static_cast<uint8>(d2 >> 8);
    t.Bytes[6] = static_cast<uint8>(d3);
    t.Bytes[7] = static_cast<uint8>(d3 >> 8);
    for (int i = 0; i < 8; ++i)
        t.Bytes[8 + i] = static_cast<uint8>(ParseGroup(text.substr(16 + 2 * i, 2)));
    Value = t;
    return true;
}

bool FUID::fromString(const char* text)
{
    if (!text)
        return false;
    return fromString(std::string_view(text));
}

} // namespace Vst3
