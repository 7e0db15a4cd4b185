#include "Streams.h"

#include "Exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Bytes(TMemoryStream& s)
{
    return std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<std::size_t>(s.GetSize()));
}

TEST(MemoryStream, WriteReadSeek)
{
    TMemoryStream s;
    EXPECT_EQ(s.Write("hello", 5), 5);
    EXPECT_EQ(s.GetPosition(), 5);
    s.SetPosition(1);
    EXPECT_EQ(s.Write("EL", 2), 2); // overwrites inside
    EXPECT_EQ(Bytes(s), "hELlo");
    EXPECT_EQ(s.Seek(-2, TSeekOrigin::soEnd), 3);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 2); // only what is left
    EXPECT_STREQ(buf, "lo");
    EXPECT_EQ(s.Read(buf, 8), 0);
    EXPECT_EQ(s.Seek(-100, TSeekOrigin::soCurrent), 0); // before the start: 0
    EXPECT_EQ(s.Seek(2, TSeekOrigin::soCurrent), 2);
}

TEST(MemoryStream, WritingPastTheEndGrowsWithZeros)
{
    TMemoryStream s;
    s.SetPosition(3);
    s.Write("x", 1);
    EXPECT_EQ(s.GetSize(), 4);
    EXPECT_EQ(Bytes(s), std::string("\0\0\0x", 4));
}

TEST(MemoryStream, SetSizeAndClear)
{
    TMemoryStream s;
    s.Write("abcdef", 6);
    s.SetSize(2); // the position follows the new end
    EXPECT_EQ(s.GetPosition(), 2);
    EXPECT_EQ(Bytes(s), "ab");
    s.SetPosition(0);
    s.SetSize(4); // position kept
    EXPECT_EQ(s.GetPosition(), 0);
    EXPECT_EQ(Bytes(s), std::string("ab\0\0", 4));
    s.Clear();
    EXPECT_EQ(s.GetSize(), 0);
    EXPECT_EQ(s.GetPosition(), 0);
}

TEST(MemoryStream, ExactReadsAndWritesFailOnShortData)
{
    TMemoryStream s;
    s.WriteBuffer("1234", 4);
    s.SetPosition(1);
    char buf[4];
    s.ReadBuffer(buf, 3);
    EXPECT_EQ(std::memcmp(buf, "234", 3), 0);
    s.SetPosition(2);
    try {
        s.ReadBuffer(buf, 3);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
    EXPECT_THROW(s.WriteBuffer(buf, -1), Exception);
}

} // namespace
