#pragma once
// VST2 preset files: program files (.fxp) and bank files (.fxb). A file is a
// sequence of big-endian records, each starting with the magic "CcnK":
//
//   "FxCk"  a program: header, 28-byte name, one float per parameter
//   "FPCh"  an opaque program: header, 28-byte name, size, chunk
//   "FxBk"  a bank of programs: header, 128 reserved bytes; the programs
//           follow as complete "FxCk" records
//   "FBCh"  an opaque bank: header, 128 reserved bytes, size, chunk
//
// ReadFxRecords turns a stream into a list of records, WriteFxRecords turns
// a list back into bytes. No Windows header.

#include "Streams.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A four-character code as an integer: the first character in the most
// significant byte.
constexpr std::int32_t FxCode(const char (&Text)[5])
{
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(Text[0])) << 24) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(Text[1])) << 16) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(Text[2])) << 8) |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(Text[3])));
}

inline constexpr std::int32_t kFxChunkMagic = FxCode("CcnK");
inline constexpr std::int32_t kFxProgram = FxCode("FxCk");
inline constexpr std::int32_t kFxChunkProgram = FxCode("FPCh");
inline constexpr std::int32_t kFxBank = FxCode("FxBk");
inline constexpr std::int32_t kFxChunkBank = FxCode("FBCh");

// Sizes in bytes: the seven header integers, the name of a program, the
// reserved block of a bank.
inline constexpr std::int32_t kFxHeaderSize = 28;
inline constexpr std::int32_t kFxNameSize = 28;
inline constexpr std::int32_t kFxReservedSize = 128;

// One record as read or to be written.
struct TFxRecord {
    std::int32_t ChunkMagic = kFxChunkMagic;
    std::int32_t ByteSize = 0; // record length - 8
    std::int32_t FxMagic = 0;
    std::int32_t Version = 0;
    std::int32_t FxID = 0;      // the plugin's unique identifier
    std::int32_t FxVersion = 0; // the plugin's version
    std::int32_t Count = 0;     // numParams of a program, numPrograms of a bank
    std::array<char, kFxNameSize> PrgName{};                // programs
    std::array<std::uint8_t, kFxReservedSize> Reserved{};  // banks
    // "FxCk": the values the file holds, at most Count; a file that ends
    // early holds fewer, and the missing ones read as 0 (Param).
    std::vector<float> Params;
    // "FPCh", "FBCh": the chunk; its length is the record's size field.
    std::vector<std::uint8_t> Chunk;

    // Parameter Index of the record; 0 where the file held none.
    float Param(std::int32_t Index) const;
    // The name up to its terminator (at most 28 characters).
    std::string Name() const;
    // Sets the name: at most 27 characters, the rest zero.
    void SetName(const std::string& Text);
};
using TFxRecordList = std::vector<TFxRecord>;

// Big-endian 32-bit integer at the position. Bytes missing at the end of the
// stream read as zero; never fails.
std::int32_t ReadFxInt(TStream& Stream);
// A float stored as the bit pattern of a big-endian integer.
float ReadFxFloat(TStream& Stream);
// A four-character code (the same bytes as ReadFxInt).
std::int32_t ReadFxCode(TStream& Stream);
void WriteFxInt(TStream& Stream, std::int32_t Value);
void WriteFxFloat(TStream& Stream, float Value);
// A code as its four characters, and back (a shorter text is padded with
// zero bytes, a longer one cut).
std::string FxCodeToText(std::int32_t Code);
std::int32_t FxTextToCode(const std::string& Text);

// Appends every record found from the position to the end of the stream.
// The reader advances in steps of four bytes until it meets "CcnK"; records
// of other kinds are skipped. Never reads past the end and never allocates
// more than the stream holds: a chunk whose size is negative or runs past
// the end drops its record and ends the reading.
void ReadFxRecords(TStream& Stream, TFxRecordList& List);
// Writes every record of the list in order; with FreeAfter the list is
// emptied afterwards.
void WriteFxRecords(TStream& Stream, TFxRecordList& List, bool FreeAfter);
// Frees every record and empties the list.
void FreeFxRecords(TFxRecordList& List);

// The byteSize fields of the records that SavePreset writes: a program of
// NumParams values, an opaque program or bank of ChunkSize bytes, a bank of
// NumPrograms programs of NumParams values each (the whole bank - 8).
constexpr std::int64_t FxProgramByteSize(std::int64_t NumParams) { return 4 * NumParams + 48; }
constexpr std::int64_t FxChunkProgramByteSize(std::int64_t ChunkSize) { return ChunkSize + 52; }
constexpr std::int64_t FxChunkBankByteSize(std::int64_t ChunkSize) { return ChunkSize + 152; }
constexpr std::int64_t FxBankByteSize(std::int64_t NumPrograms, std::int64_t NumParams)
{
    return 148 + NumPrograms * (56 + 4 * NumParams);
}
