#include "Fxb.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint32_t FromBigEndian(const std::uint8_t* b)
{
    return (static_cast<std::uint32_t>(b[0]) << 24) | (static_cast<std::uint32_t>(b[1]) << 16) |
           (static_cast<std::uint32_t>(b[2]) << 8) | static_cast<std::uint32_t>(b[3]);
}

// Up to Count bytes into Buffer; what the stream does not hold stays zero.
void ReadZeroFilled(TStream& Stream, void* Buffer, std::size_t Count)
{
    std::memset(Buffer, 0, Count);
    Stream.Read(Buffer, static_cast<std::int64_t>(Count));
}

// The program header after fxMagic and the name: version, fxID, fxVersion, count.
void ReadHeaderTail(TStream& Stream, TFxRecord& Record)
{
    Record.Version = ReadFxInt(Stream);
    Record.FxID = ReadFxInt(Stream);
    Record.FxVersion = ReadFxInt(Stream);
    Record.Count = ReadFxInt(Stream);
}

// A chunk of Size bytes at the position. False (and the reading ends) when
// Size is negative or runs past the end of the stream.
bool ReadChunk(TStream& Stream, std::int32_t Size, std::vector<std::uint8_t>& Chunk)
{
    if (Size < 0 || Size > Stream.Remaining()) {
        Stream.Seek(0, TSeekOrigin::soEnd);
        return false;
    }
    Chunk.resize(static_cast<std::size_t>(Size));
    if (Size > 0)
        Stream.ReadBuffer(Chunk.data(), Size);
    return true;
}

void WriteBytes(TStream& Stream, const void* Data, std::size_t Size)
{
    if (Size > 0)
        Stream.WriteBuffer(Data, static_cast<std::int64_t>(Size));
}

} // namespace

float TFxRecord::Param(std::int32_t Index) const
{
    if (Index < 0 || static_cast<std::size_t>(Index) >= Params.size())
        return 0.0f;
    return Params[static_cast<std::size_t>(Index)];
}

std::string TFxRecord::Name() const
{
    const auto end = std::find(PrgName.begin(), PrgName.end(), '\0');
    return std::string(PrgName.begin(), end);
}

void TFxRecord::SetName(const std::string& Text)
{
    PrgName.fill('\0');
    std::memcpy(PrgName.data(), Text.data(), std::min<std::size_t>(Text.size(), kFxNameSize - 1));
}

std::int32_t ReadFxInt(TStream& Stream)
{
    std::uint8_t b[4];
    ReadZeroFilled(Stream, b, sizeof b);
    return static_cast<std::int32_t>(FromBigEndian(b));
}

float ReadFxFloat(TStream& Stream)
{
    const std::uint32_t bits = static_cast<std::uint32_t>(ReadFxInt(Stream));
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::int32_t ReadFxCode(TStream& Stream)
{
    return ReadFxInt(Stream);
}

void WriteFxInt(TStream& Stream, std::int32_t Value)
{
    const auto v = static_cast<std::uint32_t>(Value);
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    Stream.WriteBuffer(b, sizeof b);
}

void WriteFxFloat(TStream& Stream, float Value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &Value, sizeof bits);
    WriteFxInt(Stream, static_cast<std::int32_t>(bits));
}

std::string FxCodeToText(std::int32_t Code)
{
    const auto v = static_cast<std::uint32_t>(Code);
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::int32_t FxTextToCode(const std::string& Text)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = (v << 8) | (i < Text.size() ? static_cast<unsigned char>(Text[i]) : 0u);
    return static_cast<std::int32_t>(v);
}

void ReadFxRecords(TStream& Stream, TFxRecordList& List)
{
    while (Stream.Remaining() > 0) {
        if (ReadFxCode(Stream) != kFxChunkMagic)
            continue;
        TFxRecord record;
        record.ByteSize = ReadFxInt(Stream);
        record.FxMagic = ReadFxCode(Stream);
        if (record.FxMagic == kFxBank) {
            ReadHeaderTail(Stream, record);
            ReadZeroFilled(Stream, record.Reserved.data(), record.Reserved.size());
        } else if (record.FxMagic == kFxProgram) {
            ReadHeaderTail(Stream, record);
            ReadZeroFilled(Stream, record.PrgName.data(), record.PrgName.size());
            // Only the values the stream holds take memory; a partial last
            // value reads its missing bytes as zero.
            const std::int64_t held = (Stream.Remaining() + 3) / 4;
            const std::int64_t n = std::min<std::int64_t>(std::max(record.Count, 0), held);
            record.Params.resize(static_cast<std::size_t>(n));
            for (float& value : record.Params)
                value = ReadFxFloat(Stream);
        } else if (record.FxMagic == kFxChunkProgram) {
            ReadHeaderTail(Stream, record);
            ReadZeroFilled(Stream, record.PrgName.data(), record.PrgName.size());
            std::int32_t size = ReadFxInt(Stream);
            if (size == 0)
                size = static_cast<std::int32_t>(std::min<std::int64_t>(Stream.Remaining(), INT32_MAX));
            if (!ReadChunk(Stream, size, record.Chunk))
                return;
        } else if (record.FxMagic == kFxChunkBank) {
            ReadHeaderTail(Stream, record);
            ReadZeroFilled(Stream, record.Reserved.data(), record.Reserved.size());
            if (!ReadChunk(Stream, ReadFxInt(Stream), record.Chunk))
                return;
        } else {
            continue; // another kind: the scan goes on right after its fxMagic
        }
        List.push_back(std::move(record));
    }
}

void WriteFxRecords(TStream& Stream, TFxRecordList& List, bool FreeAfter)
{
    for (const TFxRecord& r : List) {
        for (std::int32_t v : {r.ChunkMagic, r.ByteSize, r.FxMagic, r.Version, r.FxID, r.FxVersion, r.Count})
            WriteFxInt(Stream, v);
        if (r.FxMagic == kFxProgram) {
            WriteBytes(Stream, r.PrgName.data(), r.PrgName.size());
            for (float value : r.Params)
                WriteFxFloat(Stream, value);
        } else if (r.FxMagic == kFxChunkProgram) {
            WriteBytes(Stream, r.PrgName.data(), r.PrgName.size());
            WriteFxInt(Stream, static_cast<std::int32_t>(r.Chunk.size()));
            WriteBytes(Stream, r.Chunk.data(), r.Chunk.size());
        } else if (r.FxMagic == kFxChunkBank) {
            WriteBytes(Stream, r.Reserved.data(), r.Reserved.size());
            WriteFxInt(Stream, static_cast<std::int32_t>(r.Chunk.size()));
            WriteBytes(Stream, r.Chunk.data(), r.Chunk.size());
        } else if (r.FxMagic == kFxBank) {
            WriteBytes(Stream, r.Reserved.data(), r.Reserved.size());
        }
    }
    if (FreeAfter)
        FreeFxRecords(List);
}

void FreeFxRecords(TFxRecordList& List)
{
    List.clear();
    List.shrink_to_fit();
}
