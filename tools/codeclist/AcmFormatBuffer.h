#pragma once
// The per-tag format buffer of the codec tools and the format enumeration that
// uses it. [Windows builds only]

#include "AcmApi.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

// A zero-filled heap block holding a WAVEFORMATEX and its extra bytes, sized for
// the largest format of an open driver (or the fallback size when the driver
// cannot say), with wFormatTag and cbSize prepared for one format tag.
class TFormatBuffer {
public:
    TFormatBuffer(HACMDRIVER had, DWORD formatTag);
    explicit operator bool() const { return block_ != nullptr; }
    WAVEFORMATEX* Format() const { return reinterpret_cast<WAVEFORMATEX*>(block_.get()); }
    std::uint32_t Size() const { return size_; }

private:
    struct TFree {
        void operator()(void* p) const { std::free(p); }
    };
    std::uint32_t size_ = 0;
    std::unique_ptr<unsigned char, TFree> block_;
};

// Lists the formats of one tag of the open driver through `callback`, with a
// fresh format buffer. False when the buffer could not be allocated (nothing was
// listed); otherwise `result` holds what acmFormatEnumA returned.
bool EnumerateTagFormats(HACMDRIVER had, DWORD formatTag, ACMFORMATENUMCBA callback, MMRESULT& result);
