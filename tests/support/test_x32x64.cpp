#include "x32x64.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

namespace {

LRESULT CallbackA(HWND, UINT msg, WPARAM w, LPARAM) { return msg == WM_USER + 7 ? 1000 + static_cast<LRESULT>(w) : 0; }
LRESULT CallbackB(HWND, UINT msg, WPARAM w, LPARAM) { return msg == WM_USER + 7 ? 2000 + static_cast<LRESULT>(w) : 0; }

} // namespace

TEST(WindowInstance, EachWindowReachesItsOwnCallback)
{
    HWND a = CreateWindowInstance(CallbackA);
    HWND b = CreateWindowInstance(CallbackB);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SendMessageW(a, WM_USER + 7, 5, 0), 1005);
    EXPECT_EQ(SendMessageW(b, WM_USER + 7, 6, 0), 2006);
    EXPECT_EQ(GetWindowLongW(a, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(a, GWL_STYLE)) & WS_POPUP, static_cast<DWORD>(WS_POPUP));
    EXPECT_FALSE(IsWindowVisible(a));
    wchar_t cls[64] = {};
    GetClassNameW(a, cls, 64);
    EXPECT_STREQ(cls, kWindowInstanceClassName);
    FreeWindowInstance(a);
    FreeWindowInstance(b);
    EXPECT_FALSE(IsWindow(a));
}

template <int N>
LRESULT Numbered(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_USER + 7 ? N : 0;
}

TEST(WindowInstance, ManyThreadsCreateAndFreeAtOnce)
{
    // A host that runs many bridges creates their channel windows from many
    // threads: every window must exist and reach its own thread's callback.
    const TWindowInstanceCallback callbacks[] = {Numbered<1>, Numbered<2>, Numbered<3>, Numbered<4>,
                                                 Numbered<5>, Numbered<6>, Numbered<7>, Numbered<8>};
    std::atomic<int> failures{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            while (!go.load())
                std::this_thread::yield();
            for (int i = 0; i < 30; ++i) {
                HWND w = CreateWindowInstance(callbacks[t]);
                if (w == nullptr || SendMessageW(w, WM_USER + 7, 0, 0) != t + 1)
                    ++failures;
                FreeWindowInstance(w);
            }
        });
    go = true;
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(WindowInstance, FreedSlotIsReusedAndClearedSlotAnswersZero)
{
    HWND a = CreateWindowInstance(CallbackA);
    HWND b = CreateWindowInstance(CallbackB);
    ASSERT_TRUE(a && b);
    FreeWindowInstance(a);
    // The freed (lowest) slot takes the next window; the table routes by handle,
    // so the new window answers with its own callback.
    HWND c = CreateWindowInstance(CallbackB);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(SendMessageW(c, WM_USER + 7, 1, 0), 2001);
    EXPECT_EQ(SendMessageW(b, WM_USER + 7, 2, 0), 2002);
    // A window that still has the instance procedure but no slot answers 0.
    EXPECT_EQ(WindowInstanceProc(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x12345)), WM_USER + 7, 1, 0), 0);
    FreeWindowInstance(b);
    FreeWindowInstance(c);
}

TEST(WindowInstance, FullTableCreatesNoWindow)
{
    std::vector<HWND> windows;
    for (int i = 0; i < kWindowInstanceSlots; ++i) {
        HWND w = CreateWindowInstance(CallbackA);
        if (w == nullptr)
            break;
        windows.push_back(w);
    }
    ASSERT_EQ(windows.size(), static_cast<size_t>(kWindowInstanceSlots));
    EXPECT_EQ(CreateWindowInstance(CallbackB), nullptr);
    for (HWND w : windows)
        FreeWindowInstance(w);
    HWND again = CreateWindowInstance(CallbackB);
    EXPECT_NE(again, nullptr);
    FreeWindowInstance(again);
}

namespace {

// Writes a minimal PE file whose file header names the given machine.
std::wstring WritePE(const wchar_t* name, std::uint16_t machine, bool pe32plus)
{
    std::vector<unsigned char> f(1024, 0);
    f[0] = 'M';
    f[1] = 'Z';
    f[0x3C] = 0x80;
    unsigned char* nt = &f[0x80];
    nt[0] = 'P';
    nt[1] = 'E';
    nt[4] = static_cast<unsigned char>(machine);
    nt[5] = static_cast<unsigned char>(machine >> 8);
    const std::uint16_t optSize = pe32plus ? 240 : 224;
    nt[20] = static_cast<unsigned char>(optSize);
    nt[22] = 0x02; // executable image
    nt[23] = 0x20; // DLL
    unsigned char* opt = nt + 24;
    opt[0] = 0x0B; // optional header magic 0x10B or 0x20B
    opt[1] = pe32plus ? 0x02 : 0x01;
    // SectionAlignment / FileAlignment / SizeOfImage / SizeOfHeaders
    auto put32 = [&](unsigned char* p, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<unsigned char>(v >> (8 * i));
    };
    put32(opt + 32, 0x1000);
    put32(opt + 36, 0x200);
    put32(opt + 56, 0x1000);
    put32(opt + 60, 0x200);
    put32(opt + (pe32plus ? 108 : 92), 16); // NumberOfRvaAndSizes
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    std::wstring path = std::wstring(tmp) + name;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, f.data(), static_cast<DWORD>(f.size()), &written, nullptr);
    CloseHandle(h);
    return path;
}

} // namespace

TEST(ModuleBitness, MachineFieldDecides)
{
    wchar_t sys[MAX_PATH];
    GetSystemDirectoryW(sys, MAX_PATH);
    EXPECT_EQ(GetModuleBitness(std::wstring(sys) + L"\\kernel32.dll"), 2); // this build's own system DLLs
    EXPECT_TRUE(IsModule64Bit(std::wstring(sys) + L"\\kernel32.dll"));
    EXPECT_EQ(GetModuleBitness(L"C:\\no\\such\\module.dll"), 0);

    const struct {
        const wchar_t* file;
        std::uint16_t machine;
        bool pe32plus;
        int bitness;
    } cases[] = {
        {L"pelorin-x86.dll", 0x014C, false, 1},
        {L"pelorin-x64.dll", 0x8664, true, 2},
        {L"pelorin-ia64.dll", 0x0200, true, 2},
        {L"pelorin-arm.dll", 0x01C4, false, 0},
    };
    for (const auto& c : cases) {
        std::wstring path = WritePE(c.file, c.machine, c.pe32plus);
        EXPECT_EQ(GetModuleBitness(path), c.bitness) << std::hex << c.machine;
        EXPECT_EQ(IsModule64Bit(path), c.bitness == 2);
        DeleteFileW(path.c_str());
    }
}
