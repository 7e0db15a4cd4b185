#include "Streams.h"

#include "Exception.h"

#include <algorithm>
#include <cstring>

void TStream::ReadBuffer(void* buffer, std::int64_t count)
{
    if (count < 0 || Read(buffer, count) != count)
        throw EReadError();
}

std::int64_t TStream::Remaining()
{
    const std::int64_t left = GetSize() - GetPosition();
    return left > 0 ? left : 0;
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count)
{
    if (count < 0 || Write(buffer, count) != count)
        throw Exception("Stream write error");
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count)
{
    const std::int64_t size = GetSize();
    if (count <= 0 || Position >= size)
        return 0;
    const std::int64_t n = std::min(count, size - Position);
    std::memcpy(buffer, Data.data() + Position, static_cast<std::size_t>(n));
    Position += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    const std::int64_t end = Position + count;
    if (end > GetSize())
        Data.resize(static_cast<std::size_t>(end));
    std::memcpy(Data.data() + Position, buffer, static_cast<std::size_t>(count));
    Position = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    std::int64_t base = 0;
    switch (origin) {
    case TSeekOrigin::soBeginning:
        base = 0;
        break;
    case TSeekOrigin::soCurrent:
        base = Position;
        break;
    case TSeekOrigin::soEnd:
        base = GetSize();
        break;
    }
    Position = std::max<std::int64_t>(0, base + offset);
    return Position;
}

void TMemoryStream::SetSize(std::int64_t size)
{
    Data.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, size)));
    Position = std::min(Position, GetSize());
}

void TMemoryStream::Clear()
{
    Data.clear();
    Data.shrink_to_fit();
    Position = 0;
}
