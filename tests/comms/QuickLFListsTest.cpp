// The single-producer, single-consumer FIFO: growth, order, item reuse and a
// two-thread stress run (also under ThreadSanitizer).

#include "QuickLFLists.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::atomic<int> g_liveItems{0};

class TNumberItem : public TLFFIFOItem {
public:
    TNumberItem() { g_liveItems.fetch_add(1); }
    ~TNumberItem() override { g_liveItems.fetch_sub(1); }
    std::uint64_t Number = 0;
    std::uint64_t Check = 0;
};

class TNotAnItem {
public:
    int Dummy = 0;
};

void Put(TLFFIFO& fifo, std::uint64_t n)
{
    auto* item = static_cast<TNumberItem*>(fifo.Reserve());
    ASSERT_NE(item, nullptr);
    item->Number = n;
    item->Check = ~n;
    fifo.Publish();
}

std::vector<std::uint64_t> Drain(TLFFIFO& fifo)
{
    std::vector<std::uint64_t> out;
    while (auto* item = static_cast<TNumberItem*>(fifo.Take()))
        out.push_back(item->Number);
    return out;
}

TEST(QuickLFLists, ARingOf64HoldsSixtyThreePayloadsBeforeItGrows)
{
    TLFFIFO fifo(LFFIFOItemClassOf<TNumberItem>(), 64);
    EXPECT_EQ(fifo.Count(), 63);
    for (std::uint64_t i = 0; i < 63; ++i)
        Put(fifo, i);
    EXPECT_EQ(fifo.Count(), 63);
    Put(fifo, 63); // the 64th grows the ring by one
    EXPECT_EQ(fifo.Count(), 64);
    std::vector<std::uint64_t> expected(64);
    for (std::uint64_t i = 0; i < 64; ++i)
        expected[i] = i;
    EXPECT_EQ(Drain(fifo), expected);
}

TEST(QuickLFLists, TakeOnAnEmptyFIFOReturnsNoneAndChangesNothing)
{
    TLFFIFO fifo(LFFIFOItemClassOf<TNumberItem>(), 4);
    EXPECT_EQ(fifo.Take(), nullptr);
    EXPECT_EQ(fifo.Take(), nullptr);
    Put(fifo, 7);
    EXPECT_EQ(Drain(fifo), std::vector<std::uint64_t>{7});
    EXPECT_EQ(fifo.Take(), nullptr);
    EXPECT_EQ(fifo.Count(), 3);
}

TEST(QuickLFLists, AProducerFarAheadGrowsOneItemPerPayloadAndKeepsTheOrder)
{
    TLFFIFO fifo(LFFIFOItemClassOf<TNumberItem>(), 2);
    // Wrap the ring a few times first, so that growth happens in the middle of it.
    for (std::uint64_t round = 0; round < 5; ++round) {
        Put(fifo, round);
        EXPECT_EQ(Drain(fifo), std::vector<std::uint64_t>{round});
    }
    EXPECT_EQ(fifo.Count(), 1);
    Put(fifo, 100);
    Put(fifo, 101);
    auto* first = static_cast<TNumberItem*>(fifo.Take()); // 100 taken, 101 stays
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Number, 100u);
    for (std::uint64_t i = 102; i < 200; ++i)
        Put(fifo, i);
    EXPECT_EQ(fifo.Count(), 99); // one free slot was left, then one new item per payload
    std::vector<std::uint64_t> expected;
    for (std::uint64_t i = 101; i < 200; ++i)
        expected.push_back(i);
    EXPECT_EQ(Drain(fifo), expected);
    // Reusing the grown ring allocates no further item.
    const int live = g_liveItems.load();
    for (std::uint64_t i = 0; i < 90; ++i)
        Put(fifo, i);
    EXPECT_EQ(Drain(fifo).size(), 90u);
    EXPECT_EQ(g_liveItems.load(), live);
}

TEST(QuickLFLists, WithoutAnItemClassOrBeyondMaxCountReserveReturnsNone)
{
    TLFFIFO none(LFFIFOItemClassOf<TNotAnItem>(), 64);
    EXPECT_EQ(none.Reserve(), nullptr);
    EXPECT_EQ(none.Take(), nullptr);
    EXPECT_EQ(none.Count(), 0);

    TLFFIFO limited(LFFIFOItemClassOf<TNumberItem>(), 3);
    limited.MaxCount = 3;
    Put(limited, 1);
    Put(limited, 2);
    Put(limited, 3); // grows to the limit
    EXPECT_EQ(limited.Count(), 3);
    EXPECT_EQ(limited.Reserve(), nullptr); // full and not allowed to grow
    EXPECT_EQ(Drain(limited), (std::vector<std::uint64_t>{1, 2, 3}));
    EXPECT_NE(limited.Reserve(), nullptr); // free again after taking
}

TEST(QuickLFLists, InitAndDestructionFreeEveryItemWithoutTakingPayloads)
{
    const int before = g_liveItems.load();
    {
        TLFFIFO fifo(LFFIFOItemClassOf<TNumberItem>(), 8);
        EXPECT_EQ(g_liveItems.load(), before + 8);
        for (std::uint64_t i = 0; i < 20; ++i)
            Put(fifo, i);
        EXPECT_EQ(g_liveItems.load(), before + 21);
        fifo.Init(5);
        EXPECT_EQ(g_liveItems.load(), before + 5);
        EXPECT_EQ(fifo.Take(), nullptr);
        EXPECT_EQ(fifo.Count(), 4);
        Put(fifo, 9);
        EXPECT_EQ(Drain(fifo), std::vector<std::uint64_t>{9});
    }
    EXPECT_EQ(g_liveItems.load(), before);
}

TEST(QuickLFLists, OneProducerAndOneConsumerPassEveryPayloadInOrder)
{
    const std::uint64_t total = 400000;
    TLFFIFO fifo(LFFIFOItemClassOf<TNumberItem>(), 4);
    std::atomic<bool> badPayload{false};
    std::thread consumer([&] {
        std::uint64_t expected = 0;
        while (expected < total) {
            auto* item = static_cast<TNumberItem*>(fifo.Take());
            if (item == nullptr) {
                std::this_thread::yield();
                continue;
            }
            if (item->Number != expected || item->Check != ~expected)
                badPayload = true;
            ++expected;
        }
    });
    for (std::uint64_t i = 0; i < total; ++i) {
        auto* item = static_cast<TNumberItem*>(fifo.Reserve());
        ASSERT_NE(item, nullptr);
        item->Number = i;
        item->Check = ~i;
        fifo.Publish();
        if (i % 1000 == 0)
            std::this_thread::yield();
    }
    consumer.join();
    EXPECT_FALSE(badPayload.load());
    EXPECT_EQ(fifo.Take(), nullptr);
}

} // namespace
