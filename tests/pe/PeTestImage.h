#pragma once
// Builds small PE files in memory for the tests of the import walks: DOS and NT
// headers, one section holding the import descriptors, thunk lists, hint/name
// entries and DLL names, and 16 spare non-zero bytes at the very end of the
// file, which the malformed-file cases point names and lists at.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "PeImage.h"

struct TTestImport {
    std::string Dll;
    std::vector<std::string> Names;     // imported by name
    std::vector<std::uint16_t> Ordinals; // imported by ordinal (after the names)
    bool NoOriginalThunk = false;        // OriginalFirstThunk 0, names only in FirstThunk
};

struct TTestImageLayout {
    bool Pe64 = true;
    std::uint16_t Machine = 0x8664;
    std::uint16_t SubsystemMajor = 5;
    std::uint16_t SubsystemMinor = 2;
    std::uint32_t CheckSum = 0x1234;
    std::uint32_t BoundRva = 0; // data directory 11
    std::uint32_t BoundSize = 0;
    bool ImportDirectory = true;
    std::vector<TTestImport> Imports;
};

struct TTestImage {
    std::vector<std::uint8_t> Bytes;
    std::size_t Nt = 0;           // file offset of the NT headers
    std::size_t SectionTable = 0; // file offset of the first section header
    std::uint32_t SectionRva = 0x1000;
    std::uint32_t SectionRaw = 0x200;
    std::size_t Descriptors = 0;            // file offset of the first descriptor
    std::vector<std::size_t> DllNames;      // file offsets of the DLL names
    std::uint32_t SpareRva = 0;             // RVA of the 16 spare bytes at the end
    std::size_t ImportDirectoryEntry = 0;   // file offset of data directory 1
    std::size_t BoundDirectoryEntry = 0;    // file offset of data directory 11

    std::uint32_t RvaOf(std::size_t offset) const
    {
        return static_cast<std::uint32_t>(offset - SectionRaw + SectionRva);
    }
    std::size_t OffsetOf(std::uint32_t rva) const { return rva - SectionRva + SectionRaw; }
    void Put16(std::size_t at, std::uint16_t v) { std::memcpy(&Bytes[at], &v, 2); }
    void Put32(std::size_t at, std::uint32_t v) { std::memcpy(&Bytes[at], &v, 4); }
    void Put64(std::size_t at, std::uint64_t v) { std::memcpy(&Bytes[at], &v, 8); }
    std::uint32_t Get32(std::size_t at) const
    {
        std::uint32_t v;
        std::memcpy(&v, &Bytes[at], 4);
        return v;
    }
    // Section header field at `field` bytes into the first section header.
    void PutSection32(std::size_t field, std::uint32_t v) { Put32(SectionTable + field, v); }
};

inline TTestImage BuildTestImage(const TTestImageLayout& layout)
{
    TTestImage img;
    const std::size_t optionalSize = layout.Pe64 ? 240 : 224;
    const std::size_t width = layout.Pe64 ? 8 : 4;
    img.Nt = 0x40;
    img.SectionTable = img.Nt + 24 + optionalSize;

    // Section contents, laid out from the section's start.
    std::vector<std::uint8_t> sec;
    auto put = [&](std::size_t at, std::uint64_t v, std::size_t n) {
        if (sec.size() < at + n)
            sec.resize(at + n);
        std::memcpy(&sec[at], &v, n);
    };
    auto add = [&](const std::string& text, std::size_t align) {
        std::size_t at = (sec.size() + align - 1) / align * align;
        sec.resize(at + text.size() + 1);
        std::memcpy(&sec[at], text.data(), text.size());
        return at;
    };
    const std::size_t descriptors = (layout.Imports.size() + 1) * 20;
    sec.resize(descriptors);
    std::vector<std::size_t> names;
    for (std::size_t i = 0; i < layout.Imports.size(); ++i) {
        const TTestImport& imp = layout.Imports[i];
        const std::size_t count = imp.Names.size() + imp.Ordinals.size() + 1;
        const std::size_t ilt = (sec.size() + 7) / 8 * 8;
        sec.resize(ilt + 2 * count * width);
        const std::size_t iat = ilt + count * width;
        std::size_t k = 0;
        for (const std::string& name : imp.Names) {
            const std::size_t hint = add(std::string("\x01\x00", 2) + name, 2);
            put(ilt + k * width, img.SectionRva + hint, width);
            put(iat + k * width, img.SectionRva + hint, width);
            ++k;
        }
        for (std::uint16_t ordinal : imp.Ordinals) {
            const std::uint64_t flag = layout.Pe64 ? (std::uint64_t(1) << 63) : (std::uint64_t(1) << 31);
            put(ilt + k * width, flag | ordinal, width);
            put(iat + k * width, flag | ordinal, width);
            ++k;
        }
        const std::size_t dll = add(imp.Dll, 1);
        names.push_back(dll);
        put(i * 20 + 0, imp.NoOriginalThunk ? 0 : img.SectionRva + ilt, 4);
        put(i * 20 + 12, img.SectionRva + dll, 4);
        put(i * 20 + 16, img.SectionRva + iat, 4);
    }
    const std::size_t spare = sec.size();
    sec.resize(spare + 16, 'Z');

    img.Bytes.assign(img.SectionRaw + sec.size(), 0);
    std::memcpy(&img.Bytes[img.SectionRaw], sec.data(), sec.size());
    img.Descriptors = img.SectionRaw;
    for (std::size_t n : names)
        img.DllNames.push_back(img.SectionRaw + n);
    img.SpareRva = img.SectionRva + static_cast<std::uint32_t>(spare);

    img.Put16(0, 0x5A4D);
    img.Put32(0x3C, static_cast<std::uint32_t>(img.Nt));
    img.Put32(img.Nt, 0x00004550);
    img.Put16(img.Nt + 4, layout.Machine);
    img.Put16(img.Nt + 6, 1);
    img.Put16(img.Nt + 20, static_cast<std::uint16_t>(optionalSize));
    const std::size_t opt = img.Nt + 24;
    img.Put16(opt, layout.Pe64 ? 0x20B : 0x10B);
    img.Put16(opt + 40, 6); // operating-system version 6.1
    img.Put16(opt + 42, 1);
    img.Put16(opt + 48, layout.SubsystemMajor);
    img.Put16(opt + 50, layout.SubsystemMinor);
    img.Put32(opt + 64, layout.CheckSum);
    const std::size_t dirs = opt + (layout.Pe64 ? 112 : 96);
    img.Put32(dirs - 4, 16); // NumberOfRvaAndSizes
    img.ImportDirectoryEntry = dirs + 8;
    img.BoundDirectoryEntry = dirs + 11 * 8;
    if (layout.ImportDirectory) {
        img.Put32(img.ImportDirectoryEntry, img.SectionRva);
        img.Put32(img.ImportDirectoryEntry + 4, static_cast<std::uint32_t>(descriptors));
    }
    img.Put32(img.BoundDirectoryEntry, layout.BoundRva);
    img.Put32(img.BoundDirectoryEntry + 4, layout.BoundSize);

    std::memcpy(&img.Bytes[img.SectionTable], ".idata\0", 8);
    img.PutSection32(8, static_cast<std::uint32_t>(sec.size()));  // VirtualSize
    img.PutSection32(12, img.SectionRva);                          // VirtualAddress
    img.PutSection32(16, static_cast<std::uint32_t>(sec.size())); // SizeOfRawData
    img.PutSection32(20, img.SectionRaw);                          // PointerToRawData
    return img;
}

// A section table for the RVA lookups, with overlapping sections (the first in
// table order wins), a raw size above the virtual size, a section whose raw data
// starts at file offset 0, and one that maps past the end of a 0x1000-byte file.

inline const TPeSectionHeader kTestSections[] = {
    {".a", 0x100, 0x1000, 0x080, 0x400, 0, 0, 0, 0, 0},
    {".b", 0x010, 0x1080, 0x200, 0x800, 0, 0, 0, 0, 0},
    {".c", 0x000, 0x3000, 0x100, 0x000, 0, 0, 0, 0, 0},
    {".d", 0x100, 0x5000, 0x000, 0xFF0, 0, 0, 0, 0, 0},
};
constexpr std::size_t kTestSectionsFileSize = 0x1000;

struct TRvaCase {
    std::uint32_t Rva;
    std::uint64_t Offset; // 0: no section holds the RVA (or its offset is 0)
};
inline const TRvaCase kTestRvaCases[] = {
    {0x00000000, 0},     {0x00000FFF, 0},     {0x00001000, 0x400}, {0x0000107F, 0x47F},
    {0x00001080, 0x480}, // inside both .a and .b: .a comes first
    {0x000010FF, 0x4FF}, {0x00001100, 0x880}, // past .a's virtual size: .b
    {0x0000127F, 0x9FF}, {0x00001280, 0},     {0x00003000, 0}, // offset 0 counts as not found
    {0x00003001, 0x001}, {0x000030FF, 0x0FF}, {0x00003100, 0},
    {0x0000500F, 0xFFF}, {0x00005010, 0x1000}, // the first offset past the file
    {0x000050FF, 0x10EF}, {0xFFFFFFFF, 0},
};
