#pragma once
// Byte streams for plugin states and preset files: TStream is what the plugin
// operations read from and write to, TMemoryStream the growable in-memory
// stream that the bridge keeps states in. Positions and sizes are 64-bit.

#include "Exception.h"

#include <cstdint>
#include <vector>

// A read that wanted more bytes than the stream holds.
class EReadError : public Exception {
public:
    EReadError() : Exception("Stream read error") {}
};

enum class TSeekOrigin : std::uint8_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
public:
    virtual ~TStream() = default;

    // Up to count bytes from the position; answers how many were read.
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // count bytes at the position; answers how many were written.
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // The new position; a target before the start gives 0.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t GetSize() const = 0;
    virtual void SetSize(std::int64_t size) = 0;

    std::int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
    // Bytes from the position to the end; 0 when the position is past it.
    std::int64_t Remaining();
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
    // Exactly count bytes, or EReadError ("Stream read error") / Exception
    // "Stream write error".
    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);
};

class TMemoryStream : public TStream {
public:
    std::int64_t Read(void* buffer, std::int64_t count) override;
    // Writing past the end grows the stream.
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t GetSize() const override { return static_cast<std::int64_t>(Data.size()); }
    // Keeps the position unless it lies beyond the new end.
    void SetSize(std::int64_t size) override;

    // Size and position 0.
    void Clear();
    const std::uint8_t* Memory() const { return Data.data(); }
    std::uint8_t* Memory() { return Data.data(); }

private:
    std::vector<std::uint8_t> Data;
    std::int64_t Position = 0;
};
