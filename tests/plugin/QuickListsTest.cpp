#include "QuickLists.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

namespace {

char A, B, C, D; // distinct addresses to store

std::vector<void*> Contents(const TCustomQuickList& list)
{
    std::vector<void*> r;
    for (std::int32_t i = 0; i < list.Count; ++i)
        r.push_back(list.Get(i));
    return r;
}

TEST(QuickLists, GrowsBySixteenUpToSixtyFourThenByAQuarter)
{
    const std::int32_t expected[] = {16, 32, 48, 64, 80, 100, 125, 156, 195, 243};
    TQuickList list;
    EXPECT_EQ(list.Capacity, 0);
    for (std::int32_t capacity : expected) {
        list.Grow();
        EXPECT_EQ(list.Capacity, capacity);
    }
}

TEST(QuickLists, SeventeenthAddGrowsFromSixteenToThirtyTwo)
{
    TQuickList pointers;
    TBufList buffers(8);
    for (int i = 0; i < 16; ++i) {
        pointers.Add(&A);
        buffers.Add();
    }
    EXPECT_EQ(pointers.Capacity, 16);
    EXPECT_EQ(buffers.Capacity, 16);
    EXPECT_EQ(pointers.Add(&B), 16);
    buffers.Add();
    EXPECT_EQ(pointers.Capacity, 32);
    EXPECT_EQ(buffers.Capacity, 32);
    EXPECT_EQ(pointers.Count, 17);
    EXPECT_EQ(buffers.Count, 17);
    EXPECT_EQ(pointers.Get(16), &B);
    EXPECT_EQ(pointers.Get(15), &A);
}

struct DeleteCase {
    bool ordered;
    std::int32_t index;
    std::vector<void*> expected;
};

TEST(QuickLists, DeleteFromPointerList)
{
    const DeleteCase cases[] = {
        {false, 0, {&C, &B}}, {true, 0, {&B, &C}}, {false, 1, {&A, &C}},
        {true, 1, {&A, &C}},  {false, 2, {&A, &B}}, {true, 2, {&A, &B}},
    };
    for (const DeleteCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "ordered " << c.ordered << " index " << c.index);
        TQuickList list(c.ordered);
        list.Add(&A);
        list.Add(&B);
        list.Add(&C);
        list.Delete(c.index);
        EXPECT_EQ(Contents(list), c.expected);
        EXPECT_EQ(list.Capacity, 16);
        if (c.index == 2) {
            EXPECT_EQ(list.Items[2], &C) << "deleting the last item only lowers Count";
        }
    }
}

TEST(QuickLists, IndexOfFindsLowestSlotAndIgnoresSlotsAboveCount)
{
    TQuickList list;
    list.Add(&A);
    list.Add(&B);
    list.Add(&A);
    list.Add(&C);
    EXPECT_EQ(list.IndexOf(&A), 0);
    EXPECT_EQ(list.IndexOf(&C), 3);
    EXPECT_EQ(list.IndexOf(&D), -1);
    list.Delete(3); // C stays in slot 3, outside the list
    EXPECT_EQ(list.IndexOf(&C), -1);
}

TEST(QuickLists, PointerListCountAndCapacity)
{
    TQuickList list;
    list.SetCount(20);
    EXPECT_EQ(list.Capacity, 20);
    EXPECT_EQ(list.Count, 20);
    for (std::int32_t i = 0; i < 20; ++i)
        list.Items[i] = (i % 2) ? &A : &B;
    list.SetCapacity(40); // contents kept
    EXPECT_EQ(list.Count, 20);
    for (std::int32_t i = 0; i < 20; ++i)
        EXPECT_EQ(list.Get(i), (i % 2) ? &A : &B);
    list.SetCount(3); // capacity unchanged
    EXPECT_EQ(list.Capacity, 40);
    list.Clear();
    EXPECT_EQ(list.Count, 0);
    EXPECT_EQ(list.Capacity, 0);
    EXPECT_EQ(list.Items, nullptr);
}

// A TBufList holding three buffers, remembered as a, b, c.
struct ThreeBuffers {
    explicit ThreeBuffers(bool ordered) : list(16, ordered)
    {
        a = list.Add();
        b = list.Add();
        c = list.Add();
    }
    TBufList list;
    void *a, *b, *c;
};

TEST(QuickLists, BufferDeleteParksTheBufferForTheNextAdd)
{
    for (bool ordered : {false, true}) {
        SCOPED_TRACE(ordered ? "ordered" : "unordered");
        ThreeBuffers t(ordered);
        ASSERT_NE(t.a, t.b);
        ASSERT_NE(t.b, t.c);
        t.list.Delete(0);
        const std::vector<void*> expected = ordered ? std::vector<void*>{t.b, t.c} : std::vector<void*>{t.c, t.b};
        EXPECT_EQ(Contents(t.list), expected);
        EXPECT_EQ(t.list.Items[2], t.a);
        EXPECT_EQ(t.list.Add(), t.a);
        EXPECT_EQ(t.list.Count, 3);
    }
}

TEST(QuickLists, BufferDeleteOfLastOnlyLowersCount)
{
    for (bool ordered : {false, true}) {
        ThreeBuffers t(ordered);
        t.list.Delete(2);
        EXPECT_EQ(Contents(t.list), (std::vector<void*>{t.a, t.b}));
        EXPECT_EQ(t.list.Items[2], t.c);
    }
}

TEST(QuickLists, BufferInsertReusesTheParkedBuffer)
{
    ThreeBuffers t(true);
    t.list.Delete(2); // c parked in slot 2
    EXPECT_EQ(t.list.Insert(0), t.c);
    EXPECT_EQ(Contents(t.list), (std::vector<void*>{t.c, t.a, t.b}));
    // Inserting into a slot that had no buffer yet allocates one.
    void* fresh = t.list.Insert(1);
    EXPECT_NE(fresh, nullptr);
    EXPECT_EQ(Contents(t.list), (std::vector<void*>{t.c, fresh, t.a, t.b}));
    void* atEnd = t.list.Insert(t.list.Count);
    EXPECT_NE(atEnd, nullptr);
    EXPECT_EQ(t.list.Get(4), atEnd);
    EXPECT_EQ(t.list.Count, 5);
}

TEST(QuickLists, BufferSetCountAllocatesAndClearFreesAll)
{
    TBufList list(40);
    list.SetCount(5);
    EXPECT_EQ(list.Capacity, 5);
    EXPECT_EQ(list.Count, 5);
    std::set<void*> distinct;
    for (std::int32_t i = 0; i < 5; ++i) {
        ASSERT_NE(list.Get(i), nullptr);
        std::memset(list.Get(i), 0x5A, 40); // the whole ItemSize is writable
        distinct.insert(list.Get(i));
    }
    EXPECT_EQ(distinct.size(), 5u);
    list.SetCount(0); // keeps the buffers
    for (std::int32_t i = 0; i < 5; ++i)
        EXPECT_TRUE(distinct.count(list.Items[i]));
    list.Clear();
    EXPECT_EQ(list.Capacity, 0);
    EXPECT_EQ(list.Items, nullptr);
}

TEST(QuickLists, BufferCapacityChangesFreeOnlyAboveTheNewSizeAndClearNewSlots)
{
    TBufList list(8);
    list.SetCount(4);
    std::vector<void*> before = Contents(list);
    list.SetCount(1);
    list.SetCapacity(2); // frees the buffers of slots 2 and 3
    EXPECT_EQ(list.Items[0], before[0]);
    EXPECT_EQ(list.Items[1], before[1]);
    list.SetCapacity(6);
    for (std::int32_t i = 2; i < 6; ++i)
        EXPECT_EQ(list.Items[i], nullptr);
    list.SetCount(3); // slot 1 keeps its buffer, slot 2 gets a new one
    EXPECT_EQ(list.Get(1), before[1]);
    EXPECT_NE(list.Get(2), nullptr);
}

TEST(QuickLists, RefilledQueueReusesItsBuffers)
{
    TBufList queue(40);
    for (int i = 0; i < 100; ++i)
        queue.Add();
    const std::vector<void*> first = Contents(queue);
    const std::int32_t capacity = queue.Capacity;
    for (int round = 0; round < 3; ++round) {
        queue.SetCount(0);
        for (int i = 0; i < 100; ++i)
            queue.Add();
        EXPECT_EQ(Contents(queue), first);
        EXPECT_EQ(queue.Capacity, capacity);
    }
}

} // namespace
