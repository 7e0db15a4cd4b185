#include "sharedmm.h"

#include "Exception.h"

TSharedMemory::~TSharedMemory()
{
    try {
        Close();
    } catch (const Exception&) {
        // Nothing sensible is left to do with a mapping the system refused to release.
    }
}

void TSharedMemory::SetName(const std::wstring& name)
{
    Close();
    name_ = name;
    Open();
}

void TSharedMemory::SetSize(std::int64_t size)
{
    Close();
    size_ = size;
    Open();
}

void TSharedMemory::Open()
{
    if (size_ == 0 || name_.empty())
        return;
    // Only the low 32 bits of the size are requested: the block serves a 32-bit process.
    const DWORD low = static_cast<DWORD>(static_cast<std::uint64_t>(size_) & 0xFFFFFFFFu);
    HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0, low, name_.c_str());
    if (h == nullptr)
        throw Exception("TSharedMemory.create handle error");
    mapping_.Reset(h);
    view_ = MapViewOfFile(mapping_.Get(), FILE_MAP_WRITE, 0, 0, 0);
    if (view_ == nullptr) {
        mapping_.Reset(); // a block is open with both or neither
        throw Exception("TFileMapping map view error");
    }
}

void TSharedMemory::Close()
{
    if (view_ != nullptr) {
        void* view = view_;
        view_ = nullptr;
        if (!UnmapViewOfFile(view))
            throw Exception("TFilemapping unmapview error");
    }
    if (mapping_) {
        if (!mapping_.Reset())
            throw Exception("TFileMapping close handle error");
    }
}
