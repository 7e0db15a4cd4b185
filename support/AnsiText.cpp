#include "AnsiText.h"

#if defined(_WIN32)
#include <windows.h>

void Utf16ToAnsi(const std::u16string& in, std::string& out)
{
    out.clear();
    if (in.empty())
        return;
    const auto* w = reinterpret_cast<const wchar_t*>(in.data());
    const int len = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(in.size()), nullptr, 0, nullptr, nullptr);
    if (len <= 0)
        return;
    out.resize(static_cast<std::size_t>(len));
    WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(in.size()), out.data(), len, nullptr, nullptr);
}

void AnsiToUtf16(const std::string& in, std::u16string& out)
{
    out.clear();
    if (in.empty())
        return;
    const int len = MultiByteToWideChar(CP_ACP, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (len <= 0)
        return;
    out.resize(static_cast<std::size_t>(len));
    MultiByteToWideChar(CP_ACP, 0, in.data(), static_cast<int>(in.size()), reinterpret_cast<wchar_t*>(out.data()),
                        len);
}

#else

void Utf16ToAnsi(const std::u16string& in, std::string& out)
{
    out.clear();
    for (char16_t c : in)
        out.push_back(c < 256 ? static_cast<char>(c) : '?');
}

void AnsiToUtf16(const std::string& in, std::u16string& out)
{
    out.clear();
    for (char c : in)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

#endif
