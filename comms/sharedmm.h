#pragma once
// One named block of memory shared between two processes: a paging-file
// mapping created (or opened, when another process already holds the name)
// and mapped whole. Every change of name or size re-creates the mapping.
// [Windows builds only]

#include "WinHandle.h"

#include <cstdint>
#include <string>

class TSharedMemory {
public:
    TSharedMemory() = default; // touches nothing of the system
    ~TSharedMemory();
    TSharedMemory(const TSharedMemory&) = delete;
    TSharedMemory& operator=(const TSharedMemory&) = delete;

    // Close, store, open. Open failures raise "TSharedMemory.create handle
    // error" or "TFileMapping map view error"; close failures raise
    // "TFilemapping unmapview error" or "TFileMapping close handle error".
    void SetName(const std::wstring& name);
    void SetSize(std::int64_t size);

    void* Memory() const { return view_; }
    std::int64_t Size() const { return size_; }
    const std::wstring& Name() const { return name_; }
    bool IsOpen() const { return view_ != nullptr; }

private:
    void Open();
    void Close();

    TOwnedHandle mapping_;
    void* view_ = nullptr;
    std::int64_t size_ = 0;
    std::wstring name_;
};
