#pragma once
// A first-in, first-out queue for exactly one producing and one consuming
// thread, without locks and without read-modify-write instructions. Its items
// are created in advance and linked in a ring; the producer fills them in
// place, the consumer reads them in place, and they are reused when the ring
// wraps. When the producer catches up with the consumer the ring grows by one
// item instead of blocking.
// Pure: builds without Windows headers.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

// One item of the ring; descendants add their payload.
class TLFFIFOItem {
public:
    TLFFIFOItem() = default;
    virtual ~TLFFIFOItem() = default;
    TLFFIFOItem(const TLFFIFOItem&) = delete;
    TLFFIFOItem& operator=(const TLFFIFOItem&) = delete;

    // The following item of the ring. Changed only by the producer, on the
    // item at the write position.
    TLFFIFOItem* Next = nullptr;
};

// How the FIFO creates its items. Empty when the class is not an item class.
using TLFFIFOItemClass = std::function<std::unique_ptr<TLFFIFOItem>()>;

// The item class of T: a factory when T derives from TLFFIFOItem, empty otherwise.
template <class T>
TLFFIFOItemClass LFFIFOItemClassOf()
{
    if constexpr (std::is_base_of_v<TLFFIFOItem, T> && std::is_default_constructible_v<T>)
        return [] { return std::unique_ptr<TLFFIFOItem>(std::make_unique<T>()); };
    else
        return {};
}

class TLFFIFO {
public:
    // A FIFO of initialCount items of itemClass; without an item class it
    // holds no items and Reserve and Take always return none.
    TLFFIFO(TLFFIFOItemClass itemClass, int initialCount) : itemClass_(std::move(itemClass))
    {
        if (itemClass_)
            Init(initialCount);
    }
    ~TLFFIFO() { Clear(); }
    TLFFIFO(const TLFFIFO&) = delete;
    TLFFIFO& operator=(const TLFFIFO&) = delete;

    // Frees every item and builds a ring of n items (at least one). A ring of
    // n items holds n - 1 payloads before it grows. Neither producer nor
    // consumer may be active.
    void Init(int n)
    {
        Clear();
        if (!itemClass_)
            return;
        std::unique_ptr<TLFFIFOItem> anchor = itemClass_();
        if (!anchor)
            return;
        anchor->Next = anchor.get();
        TLFFIFOItem* a = anchor.get();
        items_.push_back(std::move(anchor));
        for (int i = 1; i < n; ++i)
            InsertAfter(a);
        readPos_.store(a, std::memory_order_relaxed);
        writePos_.store(a, std::memory_order_relaxed);
    }

    // Frees every item; Count becomes 0. Neither producer nor consumer may be active.
    void Clear()
    {
        items_.clear();
        count_ = 0;
        readPos_.store(nullptr, std::memory_order_relaxed);
        writePos_.store(nullptr, std::memory_order_relaxed);
    }

    // Links a new item after item; false when MaxCount is reached. [producer]
    bool InsertAfter(TLFFIFOItem* item)
    {
        if (count_ >= MaxCount || !itemClass_)
            return false;
        std::unique_ptr<TLFFIFOItem> fresh = itemClass_();
        if (!fresh)
            return false;
        fresh->Next = item->Next;
        item->Next = fresh.get();
        items_.push_back(std::move(fresh));
        ++count_;
        return true;
    }

    // A free item to fill, growing the ring when it is full; none when the
    // FIFO holds no items or cannot grow. [producer]
    TLFFIFOItem* Reserve()
    {
        TLFFIFOItem* w = writePos_.load(std::memory_order_relaxed);
        if (w == nullptr)
            return nullptr;
        if (w->Next != readPos_.load(std::memory_order_acquire))
            return w->Next;
        if (!InsertAfter(w))
            return nullptr;
        return w->Next;
    }

    // Publishes the item that Reserve returned, after it has been filled. [producer]
    void Publish()
    {
        TLFFIFOItem* w = writePos_.load(std::memory_order_relaxed);
        writePos_.store(w->Next, std::memory_order_release);
    }

    // The next published item, or none when the FIFO is empty. The item may be
    // read in place until the next Take. [consumer]
    TLFFIFOItem* Take()
    {
        TLFFIFOItem* r = readPos_.load(std::memory_order_relaxed);
        if (r == nullptr || r == writePos_.load(std::memory_order_acquire))
            return nullptr;
        TLFFIFOItem* next = r->Next;
        readPos_.store(next, std::memory_order_release);
        return next;
    }

    // Items inserted after the first one (a ring of n items has Count n - 1).
    // [producer, or while neither side is active]
    int Count() const { return count_; }

    int MaxCount = 2147483647;

private:
    TLFFIFOItemClass itemClass_;
    std::vector<std::unique_ptr<TLFFIFOItem>> items_; // owns the ring; touched only by the producer
    int count_ = 0;
    std::atomic<TLFFIFOItem*> readPos_{nullptr};
    std::atomic<TLFFIFOItem*> writePos_{nullptr};
};
