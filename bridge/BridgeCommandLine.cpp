#include "BridgeCommandLine.h"

#include <cwctype>
#include <limits>

std::wstring TrimBlanks(const std::wstring& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && s[b] <= L' ')
        ++b;
    while (e > b && s[e - 1] <= L' ')
        --e;
    return s.substr(b, e - b);
}

std::int32_t ParseDecimalOrZero(const std::wstring& text)
{
    const std::wstring s = TrimBlanks(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) {
        negative = s[i] == L'-';
        ++i;
    }
    if (i == s.size())
        return 0;
    std::int64_t value = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < L'0' || s[i] > L'9')
            return 0;
        value = value * 10 + (s[i] - L'0');
        if (value > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1)
            return 0;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::int32_t>(value);
}

namespace {

std::wstring Lowered(const std::wstring& s)
{
    std::wstring r = s;
    for (wchar_t& c : r)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return r;
}

} // namespace

TBridgeCommandLineParams ParseBridgeCommandLine(const std::vector<std::wstring>& args,
                                                const std::function<void()>& onDpiAware)
{
    TBridgeCommandLineParams p;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring option = Lowered(TrimBlanks(args[i]));
        const bool hasValue = i + 1 < args.size();
        if (option == L"-name") {
            if (hasValue)
                p.Name = TrimBlanks(args[++i]);
        } else if (option == L"-handle") {
            if (hasValue)
                p.Handle = ParseDecimalOrZero(args[++i]);
        } else if (option == L"-scan") {
            if (hasValue)
                p.ScanPath = TrimBlanks(args[++i]);
        } else if (option == L"-dpiaware") {
            if (onDpiAware)
                onDpiAware();
        }
    }
    return p;
}
