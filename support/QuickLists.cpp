#include "QuickLists.h"

#include "FileRoutines.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

TCustomQuickList::TCustomQuickList(bool ordered) : Ordered(ordered) {}

TCustomQuickList::~TCustomQuickList()
{
    std::free(Items);
}

void TCustomQuickList::Clear()
{
    SetCount(0);
    SetCapacity(0);
}

void TCustomQuickList::Grow()
{
    const std::int32_t delta = Capacity <= 64 ? 16 : Capacity / 4;
    if (Capacity > std::numeric_limits<std::int32_t>::max() - delta)
        throw std::bad_alloc();
    SetCapacity(Capacity + delta);
}

void TCustomQuickList::Delete(std::int32_t index)
{
    --Count;
    if (index >= Count)
        return;
    if (Ordered)
        std::memmove(&Items[index], &Items[index + 1], static_cast<std::size_t>(Count - index) * sizeof(void*));
    else
        Items[index] = Items[Count];
}

std::int32_t TCustomQuickList::IndexOf(const void* p) const
{
    for (std::int32_t i = 0; i < Count; ++i) {
        if (Items[i] == p)
            return i;
    }
    return -1;
}

void TCustomQuickList::ReallocSlots(std::int32_t n)
{
    if (n <= 0) {
        std::free(Items);
        Items = nullptr;
        return;
    }
    void* grown = std::realloc(Items, static_cast<std::size_t>(n) * sizeof(void*));
    if (grown == nullptr)
        throw std::bad_alloc();
    Items = static_cast<void**>(grown);
}

// --- TQuickList ---------------------------------------------------------------

TQuickList::~TQuickList()
{
    Clear();
}

void TQuickList::SetCapacity(std::int32_t n)
{
    if (n == Capacity)
        return;
    ReallocSlots(n);
    Capacity = n;
}

void TQuickList::SetCount(std::int32_t n)
{
    if (n > Capacity)
        SetCapacity(n);
    Count = n;
}

std::int32_t TQuickList::Add(void* p)
{
    if (Count == Capacity)
        Grow();
    Items[Count] = p;
    return Count++;
}

// --- TBufList -----------------------------------------------------------------

TBufList::TBufList(std::int32_t itemSize, bool ordered) : TCustomQuickList(ordered), ItemSize(itemSize) {}

TBufList::~TBufList()
{
    Clear();
}

void TBufList::SetCapacity(std::int32_t n)
{
    if (n == Capacity)
        return;
    for (std::int32_t i = n < 0 ? 0 : n; i < Capacity; ++i) {
        std::free(Items[i]);
        Items[i] = nullptr;
    }
    const std::int32_t old = Capacity;
    ReallocSlots(n);
    if (n > old)
        FillZero(&Items[old], static_cast<std::size_t>(n - old) * sizeof(void*));
    Capacity = n;
}

void TBufList::SetCount(std::int32_t n)
{
    if (n > Capacity)
        SetCapacity(n);
    for (std::int32_t i = Count; i < n; ++i) {
        if (Items[i] == nullptr)
            Items[i] = NewBuffer();
    }
    Count = n;
}

void* TBufList::NewBuffer() const
{
    void* p = std::malloc(ItemSize > 0 ? static_cast<std::size_t>(ItemSize) : 1);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

void* TBufList::Add()
{
    if (Count == Capacity)
        Grow();
    if (Items[Count] == nullptr)
        Items[Count] = NewBuffer();
    return Items[Count++];
}

void* TBufList::Insert(std::int32_t index)
{
    if (Count == Capacity)
        Grow();
    if (index < Count) {
        void* parked = Items[Count];
        std::memmove(&Items[index + 1], &Items[index], static_cast<std::size_t>(Count - index) * sizeof(void*));
        Items[index] = parked;
    }
    if (Items[index] == nullptr)
        Items[index] = NewBuffer();
    ++Count;
    return Items[index];
}

void TBufList::Delete(std::int32_t index)
{
    --Count;
    if (index >= Count)
        return;
    void* removed = Items[index];
    if (Ordered)
        std::memmove(&Items[index], &Items[index + 1], static_cast<std::size_t>(Count - index) * sizeof(void*));
    else
        Items[index] = Items[Count];
    Items[Count] = removed;
}
