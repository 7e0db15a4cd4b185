#pragma once
// Conversions between UTF-16 and the system's 8-bit ANSI code page. The
// Windows build uses the active code page; the native build, which has none,
// maps code units 0..255 one to one and anything else to '?'.

#include <string>

// out is reused: no allocation once its capacity suffices.
void Utf16ToAnsi(const std::u16string& in, std::string& out);
void AnsiToUtf16(const std::string& in, std::u16string& out);

inline std::string Utf16ToAnsi(const std::u16string& in)
{
    std::string out;
    Utf16ToAnsi(in, out);
    return out;
}
inline std::u16string AnsiToUtf16(const std::string& in)
{
    std::u16string out;
    AnsiToUtf16(in, out);
    return out;
}
