#pragma once
// The command line of the bridge process: "-name <base name>", "-handle
// <host window as a decimal number>", "-dpiaware", "-scan <file>".
// Pure: builds without Windows headers.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TBridgeCommandLineParams {
    std::wstring Name;    // base name of the channel; required
    std::int32_t Handle = 0; // the host's message window; required, non-zero
    std::wstring ScanPath;

    bool IsValid() const { return !Name.empty() && Handle != 0; }
};

// Surrounding blanks (spaces, tabs, control characters) removed.
std::wstring TrimBlanks(const std::wstring& s);

// A decimal 32-bit signed integer with an optional sign; anything else,
// including a value out of range, gives 0.
std::int32_t ParseDecimalOrZero(const std::wstring& s);

// Parses the arguments (without the program name). onDpiAware runs at once
// when "-dpiaware" is met. Unknown arguments are ignored; an option's value is
// the next argument whatever it looks like; the last occurrence wins.
TBridgeCommandLineParams ParseBridgeCommandLine(const std::vector<std::wstring>& args,
                                                const std::function<void()>& onDpiAware = {});

#if defined(_WIN32)
// The arguments of this process's command line, without the program name.
std::vector<std::wstring> ProcessArguments();
#endif
