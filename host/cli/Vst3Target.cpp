#include "Vst3Target.h"

#include <cstdio>

namespace {

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The path without trailing separators.
std::string Trimmed(const std::string& path)
{
    std::size_t n = path.size();
    while (n > 0 && IsSeparator(path[n - 1]))
        --n;
    return path.substr(0, n);
}

} // namespace

bool HasVst3Extension(const std::string& Path)
{
    const std::string p = Trimmed(Path);
    const std::string ext = ".vst3";
    if (p.size() <= ext.size())
        return false;
    const std::string tail = p.substr(p.size() - ext.size());
    const char before = p[p.size() - ext.size() - 1];
    return SameTextIgnoringCase(tail, ext) && !IsSeparator(before);
}

std::string Vst3BundleModulePath(const std::string& Bundle, bool Is64Bit)
{
    const std::string dir = Trimmed(Bundle);
    if (dir.empty())
        return {};
    const char sep = dir.find('/') != std::string::npos && dir.find('\\') == std::string::npos ? '/' : '\\';
    const std::size_t slash = dir.find_last_of("\\/");
    std::string name = slash == std::string::npos ? dir : dir.substr(slash + 1);
    if (HasVst3Extension(name))
        name.resize(name.size() - 5);
    return dir + sep + "Contents" + sep + (Is64Bit ? "x86_64-win" : "x86-win") + sep + name + ".vst3";
}

std::string ClassIdText(const std::array<std::uint8_t, 16>& Id)
{
    char text[33];
    const unsigned long first = static_cast<unsigned long>(Id[0]) | (static_cast<unsigned long>(Id[1]) << 8) |
                                (static_cast<unsigned long>(Id[2]) << 16) | (static_cast<unsigned long>(Id[3]) << 24);
    const unsigned second = static_cast<unsigned>(Id[4] | (Id[5] << 8));
    const unsigned third = static_cast<unsigned>(Id[6] | (Id[7] << 8));
    std::snprintf(text, sizeof text, "%08lX%04X%04X", first, second, third);
    for (int i = 0; i < 8; ++i)
        std::snprintf(text + 16 + 2 * i, 3, "%02X", static_cast<unsigned>(Id[8 + i]));
    return std::string(text, 32);
}

TClassChoice TClassChoice::Parse(const std::string& Value)
{
    TClassChoice c;
    c.Given = true;
    c.Name = Value;
    bool digits = !Value.empty() && Value.size() <= 9;
    for (char ch : Value)
        digits = digits && ch >= '0' && ch <= '9';
    if (digits) {
        c.ByIndex = true;
        c.Index = std::stoi(Value);
    }
    return c;
}

std::int32_t PickClass(const std::vector<TVst3ClassEntry>& List, const TClassChoice& Choice)
{
    const auto count = static_cast<std::int32_t>(List.size());
    if (!Choice.Given)
        return count > 0 ? 0 : -1;
    if (Choice.ByIndex)
        return Choice.Index < count ? Choice.Index : -1;
    for (std::int32_t i = 0; i < count; ++i)
        if (List[static_cast<std::size_t>(i)].Name == Choice.Name)
            return i;
    for (std::int32_t i = 0; i < count; ++i)
        if (SameTextIgnoringCase(List[static_cast<std::size_t>(i)].Name, Choice.Name))
            return i;
    return -1;
}
