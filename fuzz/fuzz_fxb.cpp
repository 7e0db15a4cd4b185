// Fuzzes the preset-file reader: any bytes as a .fxp/.fxb file. No record may
// hold more than the input, and a list of complete records, written out and
// read again, must come back the same.

#include "Fxb.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

bool Complete(const TFxRecord& r)
{
    if (r.FxMagic == kFxProgram)
        return r.Count >= 0 && r.Params.size() == static_cast<std::size_t>(r.Count);
    if (r.FxMagic == kFxChunkProgram)
        return !r.Chunk.empty(); // an empty chunk is written as size 0, which reads as "the rest"
    return true;
}

bool Same(const TFxRecord& a, const TFxRecord& b)
{
    return a.ChunkMagic == b.ChunkMagic && a.ByteSize == b.ByteSize && a.FxMagic == b.FxMagic &&
           a.Version == b.Version && a.FxID == b.FxID && a.FxVersion == b.FxVersion && a.Count == b.Count &&
           a.PrgName == b.PrgName && a.Reserved == b.Reserved && a.Chunk == b.Chunk &&
           a.Params.size() == b.Params.size() &&
           (a.Params.empty() || std::memcmp(a.Params.data(), b.Params.data(), a.Params.size() * sizeof(float)) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TMemoryStream in;
    if (size > 0)
        in.WriteBuffer(data, static_cast<std::int64_t>(size));
    in.SetPosition(0);
    TFxRecordList list;
    ReadFxRecords(in, list);

    bool complete = true;
    for (const TFxRecord& r : list) {
        if (r.Params.size() > size / 4 + 1 || r.Chunk.size() > size)
            __builtin_trap();
        complete = complete && Complete(r);
    }
    if (!complete)
        return 0;

    TMemoryStream out;
    TFxRecordList copy = list;
    WriteFxRecords(out, copy, true);
    if (!copy.empty())
        __builtin_trap();
    out.SetPosition(0);
    TFxRecordList again;
    ReadFxRecords(out, again);
    if (again.size() != list.size())
        __builtin_trap();
    for (std::size_t i = 0; i < list.size(); ++i)
        if (!Same(list[i], again[i]))
            __builtin_trap();
    return 0;
}
