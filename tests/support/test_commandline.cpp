#include "BridgeCommandLine.h"

#include <gtest/gtest.h>

namespace {

struct TCase {
    const char* what;
    std::vector<std::wstring> args;
    std::wstring name;
    std::int32_t handle;
    std::wstring scan;
    bool valid;
};

} // namespace

TEST(BridgeCommandLine, Table)
{
    const TCase cases[] = {
        {"no arguments", {}, L"", 0, L"", false},
        {"name and handle", {L"-name", L"Bridge7", L"-handle", L"1234"}, L"Bridge7", 1234, L"", true},
        {"name without handle", {L"-name", L"B"}, L"B", 0, L"", false},
        {"handle not a number", {L"-name", L"B", L"-handle", L"abc"}, L"B", 0, L"", false},
        {"handle with trailing junk", {L"-name", L"B", L"-handle", L"12x"}, L"B", 0, L"", false},
        {"handle out of range", {L"-name", L"B", L"-handle", L"4294967296"}, L"B", 0, L"", false},
        {"negative handle", {L"-name", L"B", L"-handle", L"-5"}, L"B", -5, L"", true},
        {"option names in any case, value keeps case", {L"-NAME", L"MiXeD", L"-HaNdLe", L"9"}, L"MiXeD", 9, L"", true},
        {"blanks around options and values", {L"  -name ", L"  Spaced  ", L"-handle", L" 77 "}, L"Spaced", 77, L"", true},
        {"name swallows the next option", {L"-name", L"-handle", L"5"}, L"-handle", 0, L"", false},
        {"last occurrence wins", {L"-name", L"A", L"-handle", L"1", L"-name", L"B", L"-handle", L"2"}, L"B", 2, L"", true},
        {"unknown arguments ignored", {L"extra", L"-name", L"N", L"-bogus", L"-handle", L"3"}, L"N", 3, L"", true},
        {"option last has no effect", {L"-name", L"N", L"-handle", L"3", L"-name"}, L"N", 3, L"", true},
        {"scan path", {L"-scan", L" C:\\x.dll ", L"-name", L"N", L"-handle", L"3"}, L"N", 3, L"C:\\x.dll", true},
    };
    for (const auto& c : cases) {
        const auto p = ParseBridgeCommandLine(c.args);
        EXPECT_EQ(p.Name, c.name) << c.what;
        EXPECT_EQ(p.Handle, c.handle) << c.what;
        EXPECT_EQ(p.ScanPath, c.scan) << c.what;
        EXPECT_EQ(p.IsValid(), c.valid) << c.what;
    }
}

TEST(BridgeCommandLine, DpiAwareRunsAtOnceDuringParsing)
{
    int calls = 0;
    std::vector<std::wstring> args = {L"-DPIAware", L"-name", L"N"};
    ParseBridgeCommandLine(args, [&] { ++calls; });
    EXPECT_EQ(calls, 1);
    // Also on a command line that is then refused, and as the value of an option it is not an option.
    calls = 0;
    auto p = ParseBridgeCommandLine({L"-name", L"-dpiaware", L"-dpiaware"}, [&] { ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(p.Name, L"-dpiaware");
    EXPECT_FALSE(p.IsValid());
}
