#include "sharedmm.h"

#include "Exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::wstring UniqueName(const wchar_t* tag)
{
    static int n = 0;
    return L"pelorin-test-" + std::wstring(tag) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++n);
}

// The size of the mapped region that starts at p.
SIZE_T RegionSize(void* p)
{
    MEMORY_BASIC_INFORMATION mbi = {};
    VirtualQuery(p, &mbi, sizeof(mbi));
    return mbi.RegionSize;
}

std::string MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no exception)";
}

} // namespace

TEST(SharedMemory, OpensOnlyWithNameAndSize)
{
    TSharedMemory m;
    EXPECT_EQ(m.Memory(), nullptr);
    m.SetName(UniqueName(L"open"));
    EXPECT_EQ(m.Memory(), nullptr); // no size yet: nothing created
    m.SetSize(4096);
    ASSERT_NE(m.Memory(), nullptr);
    EXPECT_EQ(m.Size(), 4096);
    static_cast<unsigned char*>(m.Memory())[4095] = 0x5A; // the whole block is writable
    m.SetSize(0);
    EXPECT_EQ(m.Memory(), nullptr);
    EXPECT_EQ(m.Size(), 0);
}

TEST(SharedMemory, SecondOpenerSharesTheFirstObjectAndItsSize)
{
    const std::wstring name = UniqueName(L"share");
    TSharedMemory first, second;
    first.SetName(name);
    first.SetSize(4096);
    std::memcpy(first.Memory(), "hello", 6);
    second.SetSize(65536); // asks for more than exists
    second.SetName(name);
    ASSERT_NE(second.Memory(), nullptr);
    EXPECT_STREQ(static_cast<const char*>(second.Memory()), "hello");
    EXPECT_EQ(RegionSize(second.Memory()), 4096u); // the view is as large as the first's object
    EXPECT_EQ(second.Size(), 65536); // the stored size stays what was asked
    std::memcpy(second.Memory(), "world", 6);
    EXPECT_STREQ(static_cast<const char*>(first.Memory()), "world");
}

TEST(SharedMemory, ChangingTheSizeRecreatesTheMapping)
{
    const std::wstring name = UniqueName(L"grow");
    TSharedMemory owner;
    owner.SetName(name);
    owner.SetSize(4096);
    static_cast<char*>(owner.Memory())[0] = 'x';
    owner.SetSize(8192); // the only holder: a fresh, larger, zeroed object
    ASSERT_NE(owner.Memory(), nullptr);
    EXPECT_EQ(RegionSize(owner.Memory()), 8192u);
    EXPECT_EQ(static_cast<char*>(owner.Memory())[0], 0);
}

TEST(SharedMemory, OnlyTheLow32BitsOfTheSizeAreRequested)
{
    TSharedMemory m;
    m.SetName(UniqueName(L"big"));
    m.SetSize((std::int64_t(1) << 32) + 8192);
    ASSERT_NE(m.Memory(), nullptr);
    EXPECT_EQ(RegionSize(m.Memory()), 8192u);
}

TEST(SharedMemory, FailuresRaiseTheirMessagesAndLeaveTheObjectUsable)
{
    TSharedMemory m;
    m.SetName(UniqueName(L"fail"));
    // Exactly 4 GiB asks the system for a size of 0, which a paging-file mapping refuses.
    EXPECT_EQ(MessageOf([&] { m.SetSize(std::int64_t(1) << 32); }), "TSharedMemory.create handle error");
    EXPECT_EQ(m.Memory(), nullptr);
    m.SetSize(4096);
    EXPECT_NE(m.Memory(), nullptr);

    TSharedMemory bad;
    bad.SetSize(4096);
    EXPECT_EQ(MessageOf([&] { bad.SetName(L"no\\such\\namespace"); }), "TSharedMemory.create handle error");
    bad.SetName(UniqueName(L"recovered"));
    EXPECT_NE(bad.Memory(), nullptr);
}
