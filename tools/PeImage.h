#pragma once
// The parts of the PE/COFF format that the import tools read and write, and
// bounds-checked helpers for walking a whole file held in memory. Pure code: no
// Windows header, so the walks build natively as well (unit tests, fuzzing).
//
// All layouts are packed little-endian structures read in place from the file's
// bytes; every helper here checks that what it touches lies inside the file.

#include <bit>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

static_assert(std::endian::native == std::endian::little, "PE fields are read in place as little-endian");

#pragma pack(push, 1)

struct TPeDosHeader {
    std::uint16_t e_magic; // 0x5A4D, "MZ"
    std::uint8_t Reserved[0x3A];
    std::int32_t e_lfanew; // file offset of the NT headers
};
static_assert(sizeof(TPeDosHeader) == 0x40);
static_assert(offsetof(TPeDosHeader, e_magic) == 0);
static_assert(offsetof(TPeDosHeader, Reserved) == 2);
static_assert(offsetof(TPeDosHeader, e_lfanew) == 0x3C);

struct TPeFileHeader {
    std::uint16_t Machine;
    std::uint16_t NumberOfSections;
    std::uint32_t TimeDateStamp;
    std::uint32_t PointerToSymbolTable;
    std::uint32_t NumberOfSymbols;
    std::uint16_t SizeOfOptionalHeader;
    std::uint16_t Characteristics;
};
static_assert(sizeof(TPeFileHeader) == 20);
static_assert(offsetof(TPeFileHeader, Machine) == 0);
static_assert(offsetof(TPeFileHeader, NumberOfSections) == 2);
static_assert(offsetof(TPeFileHeader, TimeDateStamp) == 4);
static_assert(offsetof(TPeFileHeader, PointerToSymbolTable) == 8);
static_assert(offsetof(TPeFileHeader, NumberOfSymbols) == 12);
static_assert(offsetof(TPeFileHeader, SizeOfOptionalHeader) == 16);
static_assert(offsetof(TPeFileHeader, Characteristics) == 18);

struct TPeDataDirectory {
    std::uint32_t VirtualAddress;
    std::uint32_t Size;
};
static_assert(sizeof(TPeDataDirectory) == 8);
static_assert(offsetof(TPeDataDirectory, VirtualAddress) == 0);
static_assert(offsetof(TPeDataDirectory, Size) == 4);

constexpr unsigned kPeDirectoryCount = 16;
constexpr unsigned kPeImportDirectory = 1;
constexpr unsigned kPeBoundImportDirectory = 11;

// Optional header, PE32 layout (Magic 0x10B).
struct TPeOptionalHeader32 {
    std::uint16_t Magic;
    std::uint8_t MajorLinkerVersion;
    std::uint8_t MinorLinkerVersion;
    std::uint32_t SizeOfCode;
    std::uint32_t SizeOfInitializedData;
    std::uint32_t SizeOfUninitializedData;
    std::uint32_t AddressOfEntryPoint;
    std::uint32_t BaseOfCode;
    std::uint32_t BaseOfData;
    std::uint32_t ImageBase;
    std::uint32_t SectionAlignment;
    std::uint32_t FileAlignment;
    std::uint16_t MajorOperatingSystemVersion;
    std::uint16_t MinorOperatingSystemVersion;
    std::uint16_t MajorImageVersion;
    std::uint16_t MinorImageVersion;
    std::uint16_t MajorSubsystemVersion;
    std::uint16_t MinorSubsystemVersion;
    std::uint32_t Win32VersionValue;
    std::uint32_t SizeOfImage;
    std::uint32_t SizeOfHeaders;
    std::uint32_t CheckSum;
    std::uint16_t Subsystem;
    std::uint16_t DllCharacteristics;
    std::uint32_t SizeOfStackReserve;
    std::uint32_t SizeOfStackCommit;
    std::uint32_t SizeOfHeapReserve;
    std::uint32_t SizeOfHeapCommit;
    std::uint32_t LoaderFlags;
    std::uint32_t NumberOfRvaAndSizes;
    TPeDataDirectory DataDirectory[kPeDirectoryCount];
};
static_assert(sizeof(TPeOptionalHeader32) == 224);
static_assert(offsetof(TPeOptionalHeader32, Magic) == 0);
static_assert(offsetof(TPeOptionalHeader32, MajorLinkerVersion) == 2);
static_assert(offsetof(TPeOptionalHeader32, MinorLinkerVersion) == 3);
static_assert(offsetof(TPeOptionalHeader32, SizeOfCode) == 4);
static_assert(offsetof(TPeOptionalHeader32, SizeOfInitializedData) == 8);
static_assert(offsetof(TPeOptionalHeader32, SizeOfUninitializedData) == 12);
static_assert(offsetof(TPeOptionalHeader32, AddressOfEntryPoint) == 16);
static_assert(offsetof(TPeOptionalHeader32, BaseOfCode) == 20);
static_assert(offsetof(TPeOptionalHeader32, BaseOfData) == 24);
static_assert(offsetof(TPeOptionalHeader32, ImageBase) == 28);
static_assert(offsetof(TPeOptionalHeader32, SectionAlignment) == 32);
static_assert(offsetof(TPeOptionalHeader32, FileAlignment) == 36);
static_assert(offsetof(TPeOptionalHeader32, MajorOperatingSystemVersion) == 40);
static_assert(offsetof(TPeOptionalHeader32, MinorOperatingSystemVersion) == 42);
static_assert(offsetof(TPeOptionalHeader32, MajorImageVersion) == 44);
static_assert(offsetof(TPeOptionalHeader32, MinorImageVersion) == 46);
static_assert(offsetof(TPeOptionalHeader32, MajorSubsystemVersion) == 48);
static_assert(offsetof(TPeOptionalHeader32, MinorSubsystemVersion) == 50);
static_assert(offsetof(TPeOptionalHeader32, Win32VersionValue) == 52);
static_assert(offsetof(TPeOptionalHeader32, SizeOfImage) == 56);
static_assert(offsetof(TPeOptionalHeader32, SizeOfHeaders) == 60);
static_assert(offsetof(TPeOptionalHeader32, CheckSum) == 64);
static_assert(offsetof(TPeOptionalHeader32, Subsystem) == 68);
static_assert(offsetof(TPeOptionalHeader32, DllCharacteristics) == 70);
static_assert(offsetof(TPeOptionalHeader32, SizeOfStackReserve) == 72);
static_assert(offsetof(TPeOptionalHeader32, SizeOfStackCommit) == 76);
static_assert(offsetof(TPeOptionalHeader32, SizeOfHeapReserve) == 80);
static_assert(offsetof(TPeOptionalHeader32, SizeOfHeapCommit) == 84);
static_assert(offsetof(TPeOptionalHeader32, LoaderFlags) == 88);
static_assert(offsetof(TPeOptionalHeader32, NumberOfRvaAndSizes) == 92);
static_assert(offsetof(TPeOptionalHeader32, DataDirectory) == 96);

// Optional header, PE32+ layout (Magic 0x20B).
struct TPeOptionalHeader64 {
    std::uint16_t Magic;
    std::uint8_t MajorLinkerVersion;
    std::uint8_t MinorLinkerVersion;
    std::uint32_t SizeOfCode;
    std::uint32_t SizeOfInitializedData;
    std::uint32_t SizeOfUninitializedData;
    std::uint32_t AddressOfEntryPoint;
    std::uint32_t BaseOfCode;
    std::uint64_t ImageBase;
    std::uint32_t SectionAlignment;
    std::uint32_t FileAlignment;
    std::uint16_t MajorOperatingSystemVersion;
    std::uint16_t MinorOperatingSystemVersion;
    std::uint16_t MajorImageVersion;
    std::uint16_t MinorImageVersion;
    std::uint16_t MajorSubsystemVersion;
    std::uint16_t MinorSubsystemVersion;
    std::uint32_t Win32VersionValue;
    std::uint32_t SizeOfImage;
    std::uint32_t SizeOfHeaders;
    std::uint32_t CheckSum;
    std::uint16_t Subsystem;
    std::uint16_t DllCharacteristics;
    std::uint64_t SizeOfStackReserve;
    std::uint64_t SizeOfStackCommit;
    std::uint64_t SizeOfHeapReserve;
    std::uint64_t SizeOfHeapCommit;
    std::uint32_t LoaderFlags;
    std::uint32_t NumberOfRvaAndSizes;
    TPeDataDirectory DataDirectory[kPeDirectoryCount];
};
static_assert(sizeof(TPeOptionalHeader64) == 240);
static_assert(offsetof(TPeOptionalHeader64, Magic) == 0);
static_assert(offsetof(TPeOptionalHeader64, MajorLinkerVersion) == 2);
static_assert(offsetof(TPeOptionalHeader64, MinorLinkerVersion) == 3);
static_assert(offsetof(TPeOptionalHeader64, SizeOfCode) == 4);
static_assert(offsetof(TPeOptionalHeader64, SizeOfInitializedData) == 8);
static_assert(offsetof(TPeOptionalHeader64, SizeOfUninitializedData) == 12);
static_assert(offsetof(TPeOptionalHeader64, AddressOfEntryPoint) == 16);
static_assert(offsetof(TPeOptionalHeader64, BaseOfCode) == 20);
static_assert(offsetof(TPeOptionalHeader64, ImageBase) == 24);
static_assert(offsetof(TPeOptionalHeader64, SectionAlignment) == 32);
static_assert(offsetof(TPeOptionalHeader64, FileAlignment) == 36);
static_assert(offsetof(TPeOptionalHeader64, MajorOperatingSystemVersion) == 40);
static_assert(offsetof(TPeOptionalHeader64, MinorOperatingSystemVersion) == 42);
static_assert(offsetof(TPeOptionalHeader64, MajorImageVersion) == 44);
static_assert(offsetof(TPeOptionalHeader64, MinorImageVersion) == 46);
static_assert(offsetof(TPeOptionalHeader64, MajorSubsystemVersion) == 48);
static_assert(offsetof(TPeOptionalHeader64, MinorSubsystemVersion) == 50);
static_assert(offsetof(TPeOptionalHeader64, Win32VersionValue) == 52);
static_assert(offsetof(TPeOptionalHeader64, SizeOfImage) == 56);
static_assert(offsetof(TPeOptionalHeader64, SizeOfHeaders) == 60);
static_assert(offsetof(TPeOptionalHeader64, CheckSum) == 64);
static_assert(offsetof(TPeOptionalHeader64, Subsystem) == 68);
static_assert(offsetof(TPeOptionalHeader64, DllCharacteristics) == 70);
static_assert(offsetof(TPeOptionalHeader64, SizeOfStackReserve) == 72);
static_assert(offsetof(TPeOptionalHeader64, SizeOfStackCommit) == 80);
static_assert(offsetof(TPeOptionalHeader64, SizeOfHeapReserve) == 88);
static_assert(offsetof(TPeOptionalHeader64, SizeOfHeapCommit) == 96);
static_assert(offsetof(TPeOptionalHeader64, LoaderFlags) == 104);
static_assert(offsetof(TPeOptionalHeader64, NumberOfRvaAndSizes) == 108);
static_assert(offsetof(TPeOptionalHeader64, DataDirectory) == 112);

// The fixed part of each optional header, in front of the data directories.
constexpr std::size_t kPeOptionalFixed32 = offsetof(TPeOptionalHeader32, DataDirectory);
constexpr std::size_t kPeOptionalFixed64 = offsetof(TPeOptionalHeader64, DataDirectory);

constexpr std::uint32_t kPeSignature = 0x00004550; // "PE\0\0"
constexpr std::uint16_t kPeDosMagic = 0x5A4D;      // "MZ"
constexpr std::uint16_t kPeMagic32 = 0x10B;
constexpr std::uint16_t kPeMagic64 = 0x20B;

struct TPeNtHeaders32 {
    std::uint32_t Signature;
    TPeFileHeader FileHeader;
    TPeOptionalHeader32 OptionalHeader;
};
static_assert(sizeof(TPeNtHeaders32) == 248);
static_assert(offsetof(TPeNtHeaders32, Signature) == 0);
static_assert(offsetof(TPeNtHeaders32, FileHeader) == 4);
static_assert(offsetof(TPeNtHeaders32, OptionalHeader) == 0x18);

struct TPeNtHeaders64 {
    std::uint32_t Signature;
    TPeFileHeader FileHeader;
    TPeOptionalHeader64 OptionalHeader;
};
static_assert(sizeof(TPeNtHeaders64) == 264);
static_assert(offsetof(TPeNtHeaders64, Signature) == 0);
static_assert(offsetof(TPeNtHeaders64, FileHeader) == 4);
static_assert(offsetof(TPeNtHeaders64, OptionalHeader) == 0x18);

// The offsets from the start of the NT headers that the tools name.
static_assert(offsetof(TPeNtHeaders32, OptionalHeader.MajorSubsystemVersion) == 0x48);
static_assert(offsetof(TPeNtHeaders64, OptionalHeader.MajorSubsystemVersion) == 0x48);
static_assert(offsetof(TPeNtHeaders64, OptionalHeader.MinorSubsystemVersion) == 0x4A);
static_assert(offsetof(TPeNtHeaders64, OptionalHeader.MajorOperatingSystemVersion) == 0x40);
static_assert(offsetof(TPeNtHeaders64, OptionalHeader.MinorOperatingSystemVersion) == 0x42);
static_assert(offsetof(TPeNtHeaders64, OptionalHeader.CheckSum) == 0x58);
static_assert(offsetof(TPeNtHeaders32, OptionalHeader.DataDirectory[kPeImportDirectory]) == 0x80);
static_assert(offsetof(TPeNtHeaders64, OptionalHeader.DataDirectory[kPeImportDirectory]) == 0x90);
static_assert(offsetof(TPeNtHeaders64, OptionalHeader.DataDirectory[kPeBoundImportDirectory]) == 0xE0);

struct TPeSectionHeader {
    char Name[8];
    std::uint32_t VirtualSize;
    std::uint32_t VirtualAddress;
    std::uint32_t SizeOfRawData;
    std::uint32_t PointerToRawData;
    std::uint32_t PointerToRelocations;
    std::uint32_t PointerToLinenumbers;
    std::uint16_t NumberOfRelocations;
    std::uint16_t NumberOfLinenumbers;
    std::uint32_t Characteristics;
};
static_assert(sizeof(TPeSectionHeader) == 40);
static_assert(offsetof(TPeSectionHeader, Name) == 0);
static_assert(offsetof(TPeSectionHeader, VirtualSize) == 8);
static_assert(offsetof(TPeSectionHeader, VirtualAddress) == 12);
static_assert(offsetof(TPeSectionHeader, SizeOfRawData) == 16);
static_assert(offsetof(TPeSectionHeader, PointerToRawData) == 20);
static_assert(offsetof(TPeSectionHeader, PointerToRelocations) == 24);
static_assert(offsetof(TPeSectionHeader, PointerToLinenumbers) == 28);
static_assert(offsetof(TPeSectionHeader, NumberOfRelocations) == 32);
static_assert(offsetof(TPeSectionHeader, NumberOfLinenumbers) == 34);
static_assert(offsetof(TPeSectionHeader, Characteristics) == 36);

struct TPeImportDescriptor {
    std::uint32_t OriginalFirstThunk;
    std::uint32_t TimeDateStamp;
    std::uint32_t ForwarderChain;
    std::uint32_t Name;
    std::uint32_t FirstThunk;
};
static_assert(sizeof(TPeImportDescriptor) == 20);
static_assert(offsetof(TPeImportDescriptor, OriginalFirstThunk) == 0);
static_assert(offsetof(TPeImportDescriptor, TimeDateStamp) == 4);
static_assert(offsetof(TPeImportDescriptor, ForwarderChain) == 8);
static_assert(offsetof(TPeImportDescriptor, Name) == 12);
static_assert(offsetof(TPeImportDescriptor, FirstThunk) == 16);

#pragma pack(pop)

// ---------------------------------------------------------------------------
// Locating the headers

// Outcome of the checks on the DOS header and the NT headers' fixed fields.
enum class TPeHeaderCheck {
    Ok,
    NotPe,            // shorter than 2 bytes, or no "MZ"
    TruncatedDos,     // "MZ", but shorter than the 64-byte DOS header
    LfanewOutside,    // e_lfanew negative or the signature not inside the file
    BadSignature,     // no "PE\0\0" at e_lfanew
    TruncatedHeaders, // the file header or the optional header's Magic cut off
};

// Checks the DOS header, e_lfanew and the signature, and that the file holds
// the file header and the optional header's Magic. On Ok, ntOffset is the file
// offset of the NT headers.
inline TPeHeaderCheck PeCheckHeaders(const std::uint8_t* base, std::size_t size, std::size_t& ntOffset)
{
    ntOffset = 0;
    if (size < 2)
        return TPeHeaderCheck::NotPe;
    std::uint16_t magic;
    std::memcpy(&magic, base, 2);
    if (magic != kPeDosMagic)
        return TPeHeaderCheck::NotPe;
    if (size < sizeof(TPeDosHeader))
        return TPeHeaderCheck::TruncatedDos;
    const auto* dos = reinterpret_cast<const TPeDosHeader*>(base);
    if (dos->e_lfanew < 0 || static_cast<std::size_t>(dos->e_lfanew) > size - 4)
        return TPeHeaderCheck::LfanewOutside;
    const std::size_t nt = static_cast<std::size_t>(dos->e_lfanew);
    std::uint32_t signature;
    std::memcpy(&signature, base + nt, 4);
    if (signature != kPeSignature)
        return TPeHeaderCheck::BadSignature;
    if (size - nt < offsetof(TPeNtHeaders32, OptionalHeader) + 2)
        return TPeHeaderCheck::TruncatedHeaders;
    ntOffset = nt;
    return TPeHeaderCheck::Ok;
}

// The tools' wording for a failed check (without a line break or prefix).
inline const char* PeCheckText(TPeHeaderCheck check)
{
    switch (check) {
    case TPeHeaderCheck::Ok: return "ok";
    case TPeHeaderCheck::NotPe: return "not a PE file";
    case TPeHeaderCheck::TruncatedDos: return "file too short for a DOS header";
    case TPeHeaderCheck::LfanewOutside: return "PE header offset points outside the file";
    case TPeHeaderCheck::BadSignature: return "bad PE signature";
    case TPeHeaderCheck::TruncatedHeaders: return "PE headers cut off by the end of the file";
    }
    return "?";
}

inline const char* const kPeSectionTableOutside = "section table runs past the end of the file";

// True when [offset, offset + count) lies inside a file of size bytes.
inline bool PeInFile(std::uint64_t offset, std::uint64_t count, std::size_t size)
{
    return offset <= size && count <= size - offset;
}

// Where the section table of the NT headers at ntOffset starts (24 bytes plus
// SizeOfOptionalHeader after them); false when its `count` entries do not all
// lie inside the file.
inline bool PeSectionTable(std::size_t ntOffset, std::uint16_t sizeOfOptionalHeader, std::uint16_t count,
                           std::size_t size, std::size_t& tableOffset)
{
    const std::uint64_t at = std::uint64_t(ntOffset) + offsetof(TPeNtHeaders32, OptionalHeader) + sizeOfOptionalHeader;
    if (!PeInFile(at, std::uint64_t(count) * sizeof(TPeSectionHeader), size))
        return false;
    tableOffset = static_cast<std::size_t>(at);
    return true;
}

// Data directory entry `index` of an optional header that starts at `optional`
// with `fixed` bytes in front of its directories. The entry counts only when
// the header declares it (NumberOfRvaAndSizes) and its declared size holds it,
// as the loader reads it; otherwise the directory is absent and null is given.
inline const TPeDataDirectory* PeDirectory(const std::uint8_t* optional, std::size_t fixed,
                                           std::uint32_t numberOfRvaAndSizes, std::uint16_t sizeOfOptionalHeader,
                                           unsigned index)
{
    if (index >= numberOfRvaAndSizes || fixed + (index + 1) * sizeof(TPeDataDirectory) > sizeOfOptionalHeader)
        return nullptr;
    return reinterpret_cast<const TPeDataDirectory*>(optional + fixed + index * sizeof(TPeDataDirectory));
}

// The section search shared by both tools: the first section in table order
// with VirtualAddress <= rva < VirtualAddress + max(VirtualSize, SizeOfRawData)
// gives rva - VirtualAddress + PointerToRawData. 0 when no section holds the
// RVA. Computed without wrap-around, so the result may exceed 32 bits.
inline std::uint64_t PeRvaToOffset(const TPeSectionHeader* sections, std::uint16_t count, std::uint32_t rva)
{
    for (std::uint16_t i = 0; i < count; ++i) {
        const TPeSectionHeader& s = sections[i];
        const std::uint32_t extent = s.VirtualSize > s.SizeOfRawData ? s.VirtualSize : s.SizeOfRawData;
        if (rva >= s.VirtualAddress && rva - s.VirtualAddress < extent)
            return std::uint64_t(rva - s.VirtualAddress) + s.PointerToRawData;
    }
    return 0;
}

// Length of the NUL-terminated text at offset, or -1 when the file ends first.
inline std::ptrdiff_t PeTextLength(const std::uint8_t* base, std::size_t size, std::uint64_t offset)
{
    if (offset >= size)
        return -1;
    const void* end = std::memchr(base + offset, 0, size - static_cast<std::size_t>(offset));
    if (!end)
        return -1;
    return static_cast<const std::uint8_t*>(end) - (base + offset);
}

// Case-insensitive comparison of ASCII texts, as the C runtime's _stricmp does
// in the "C" locale.
inline bool PeSameTextIgnoringCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
        if (x == 0)
            return true;
    }
}

// ---------------------------------------------------------------------------
// Output

// printf into a new string (for the texts of malformed-file errors).
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline std::string PeFormat(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// Where a tool prints its report: printf-style formats, to standard output in
// the programs, into a string in the tests and the fuzz targets.
class TToolOutput {
public:
    virtual ~TToolOutput() = default;
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void Print(const char* format, ...)
    {
        va_list args;
        va_start(args, format);
        VPrint(format, args);
        va_end(args);
    }

protected:
    virtual void VPrint(const char* format, va_list args) = 0;
};

class TStdoutOutput final : public TToolOutput {
protected:
    void VPrint(const char* format, va_list args) override { std::vprintf(format, args); }
};

class TStringOutput final : public TToolOutput {
public:
    std::string Text;

protected:
    void VPrint(const char* format, va_list args) override
    {
        va_list copy;
        va_copy(copy, args);
        const int n = std::vsnprintf(nullptr, 0, format, copy);
        va_end(copy);
        if (n <= 0)
            return;
        const std::size_t at = Text.size();
        Text.resize(at + static_cast<std::size_t>(n) + 1);
        std::vsnprintf(Text.data() + at, static_cast<std::size_t>(n) + 1, format, args);
        Text.resize(at + static_cast<std::size_t>(n));
    }
};
