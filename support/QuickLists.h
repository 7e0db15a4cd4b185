#pragma once
// Light growable arrays of pointers for the plugin classes.
//
//   TCustomQuickList  the slot array and what both lists share
//   TQuickList        plain pointers, not owned
//   TBufList          fixed-size heap buffers, owned and kept for reuse: a
//                     queue that is filled and emptied again and again stops
//                     allocating once it has reached its working size
//
// No operation checks an index against the bounds; callers keep their indices
// valid. No locks: a list shared between threads is guarded by its owner.

#include <cstdint>

class TCustomQuickList {
public:
    explicit TCustomQuickList(bool ordered);
    // Frees the slot array if a derived destructor left it (each derived
    // destructor runs Clear itself, because virtual calls do not reach it here).
    virtual ~TCustomQuickList();
    TCustomQuickList(const TCustomQuickList&) = delete;
    TCustomQuickList& operator=(const TCustomQuickList&) = delete;

    // Slot array, in slot order: resize it; set the number of items in use.
    virtual void SetCapacity(std::int32_t n) = 0;
    virtual void SetCount(std::int32_t n) = 0;

    // SetCount(0), then SetCapacity(0).
    void Clear();
    void* Get(std::int32_t index) const { return Items[index]; }
    // Capacity + 16 while Capacity is at most 64, else Capacity + Capacity / 4.
    void Grow();
    // First slot below Count holding p, or -1.
    std::int32_t IndexOf(const void* p) const;

    void** Items = nullptr;       // Capacity slots are allocated
    std::int32_t Count = 0;       // slots 0 .. Count-1 are in use
    std::int32_t Capacity = 0;
    bool Ordered;

protected:
    // Removes one item (not freed). Ordered lists close the gap; unordered
    // lists move the last item into it. Public in TQuickList only: on a
    // TBufList it would leave one buffer in two slots.
    void Delete(std::int32_t index);
    // Reallocates the slot array to n pointers, keeping the contents up to
    // the smaller size; new slots are not cleared; n = 0 frees the array.
    void ReallocSlots(std::int32_t n);
};

// Pointers that the list does not own.
class TQuickList : public TCustomQuickList {
public:
    explicit TQuickList(bool ordered = false) : TCustomQuickList(ordered) {}
    ~TQuickList() override;

    void SetCapacity(std::int32_t n) override;
    // Slots that become part of the list are not cleared.
    void SetCount(std::int32_t n) override;

    using TCustomQuickList::Delete;
    // Appends p (growing first when full) and returns its index.
    std::int32_t Add(void* p);
};

// Buffers of ItemSize bytes that the list owns. Every slot below Capacity is
// null or owns one buffer; every slot below Count is non-null. Buffers above
// Count stay allocated and are handed out again by Add and Insert, with
// whatever was last written into them.
class TBufList : public TCustomQuickList {
public:
    TBufList(std::int32_t itemSize, bool ordered = false);
    ~TBufList() override;

    // Frees the buffers of the slots at and above n when shrinking.
    void SetCapacity(std::int32_t n) override;
    // Gives every null slot that becomes part of the list a buffer; lowering
    // Count frees nothing.
    void SetCount(std::int32_t n) override;

    // A new uninitialised heap block of ItemSize bytes.
    void* NewBuffer() const;
    // A buffer appended at the end (a parked one when there is one; not cleared).
    void* Add();
    // A buffer inserted at index.
    void* Insert(std::int32_t index);
    // Removes one item; its buffer is parked in slot Count for reuse.
    void Delete(std::int32_t index);

    std::int32_t ItemSize;
};
