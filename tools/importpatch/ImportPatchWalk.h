#pragma once
// The import redirect patcher's work on a 64-bit PE file held in memory: the
// header checks, the rename of every KERNEL32.dll import to the replacement
// DLL, the version fields, the bound import directory and the checksum. Pure
// code; the program reads the file into g_buf and writes it out afterwards.
//
// Every read and write is checked against g_size. The descriptors are walked
// once without changes first, so that a malformed import table is rejected
// before anything is printed about it or changed.

#include <cstdint>
#include <cstring>
#include <vector>

#include "Exception.h"
#include "PeImage.h"

// The constants of one configuration of the tool.
struct TPatchConfig {
    const char* DefaultInput;
    const char* DefaultOutput;
    const char* Replacement;    // 12 characters, written over "KERNEL32.dll"
    const char* RewriteMessage; // printed after each rewrite
    const char* Step1;
    const char* Step2;
    const char* Step3; // printf format with the output path
    const char* Step4;
};

// The Ogg Vorbis codec of the Audio Compression Manager.
inline constexpr TPatchConfig kCodecPatchConfig{
    "C:\\WINDOWS\\system32\\vorbis.acm",
    "vorbis_xp.acm",
    "KERNXP32.dll",
    "  -> rewritten to KERNXP32.dll\n",
    "  1. copy KERNXP32.dll     -> C:\\WINDOWS\\system32\\\n",
    "  2. back up the original  -> copy C:\\WINDOWS\\system32\\vorbis.acm vorbis.acm.bak\n",
    "  3. copy %s -> C:\\WINDOWS\\system32\\vorbis.acm\n",
    "  4. run codecprobe64.exe - the Ogg Vorbis driver should now appear\n",
};

// The 64-bit zip library that Corvane loads from its shared folder.
inline constexpr TPatchConfig kZipPatchConfig{
    "C:\\Program Files (x86)\\Norvake\\Shared\\DelZip64.dll",
    "DelZip64_xp.dll",
    "DELZXP32.dll",
    "  -> rewritten to DELZXP32.dll\n",
    "  1. copy DELZXP32.dll -> C:\\WINDOWS\\system32\\\n",
    "  2. back up the original DelZip64.dll somewhere safe\n",
    "  3. copy %s over C:\\Program Files (x86)\\Norvake\\Shared\\DelZip64.dll\n",
    "  4. in Corvane 64-bit, try File > Save as > .zip\n",
};

constexpr const char* kKernel32Name = "KERNEL32.dll";
constexpr std::size_t kKernel32NameLength = 12;

// Program-wide state.
inline std::uint32_t g_size = 0;            // bytes in the input file
inline std::uint8_t* g_buf = nullptr;       // the whole file; changed in place
inline std::uint16_t g_nsec = 0;            // NumberOfSections
inline const TPeSectionHeader* g_sec = nullptr; // first section header

// File offset of an RVA: the first section in table order that holds it; 0 when
// none does (or there are no sections).
inline std::uint64_t rva2off(std::uint32_t rva)
{
    if (g_nsec == 0)
        return 0;
    return PeRvaToOffset(g_sec, g_nsec, rva);
}

// Walks the import descriptors at file offset `table` to the first whose Name
// is 0. Without `patch` it only checks that every descriptor and name lies in
// the file and counts the KERNEL32.dll names; with `patch` it rewrites them and
// prints what it does. Gives the number of names that matched.
inline int PatchWalkImports(std::uint64_t table, const TPatchConfig& config, bool patch, TToolOutput& out)
{
    int matched = 0;
    for (std::uint64_t at = table;; at += sizeof(TPeImportDescriptor)) {
        if (!PeInFile(at, sizeof(TPeImportDescriptor), g_size))
            throw Exception("import descriptor list runs past the end of the file");
        TPeImportDescriptor d;
        std::memcpy(&d, g_buf + at, sizeof d);
        if (d.Name == 0)
            return matched;
        const std::uint64_t name = rva2off(d.Name);
        if (name == 0)
            throw Exception(PeFormat("import name RVA 0x%lX lies in no section", static_cast<unsigned long>(d.Name)));
        if (PeTextLength(g_buf, g_size, name) < 0)
            throw Exception(PeFormat("import name at file offset 0x%lX runs past the end of the file",
                                     static_cast<unsigned long>(name)));
        char* text = reinterpret_cast<char*>(g_buf + name);
        if (!PeSameTextIgnoringCase(text, kKernel32Name))
            continue;
        ++matched;
        if (!patch)
            continue;
        out.Print("found KERNEL32.dll import name at file offset 0x%lX\n", static_cast<unsigned long>(name));
        // The terminating NUL after the 12 characters stays in place.
        std::memcpy(text, config.Replacement, kKernel32NameLength);
        out.Print("%s", config.RewriteMessage);
    }
}

// Checks and patches g_buf in memory; gives 0 when it is ready to be written
// and 1 after printing the error.
inline int PatchImage(const TPatchConfig& config, TToolOutput& out)
{
    g_nsec = 0;
    g_sec = nullptr;
    try {
        std::size_t ntOffset = 0;
        const TPeHeaderCheck check = PeCheckHeaders(g_buf, g_size, ntOffset);
        if (check != TPeHeaderCheck::Ok) {
            out.Print("ERROR: %s\n", PeCheckText(check));
            return 1;
        }
        auto* nt = reinterpret_cast<TPeNtHeaders64*>(g_buf + ntOffset);
        if (nt->OptionalHeader.Magic != kPeMagic64) {
            out.Print("ERROR: this is not a 64-bit DLL\n");
            return 1;
        }
        // The fields written below belong to the fixed part of the optional
        // header; a shorter header would have them overlap the section table.
        const std::uint16_t optionalSize = nt->FileHeader.SizeOfOptionalHeader;
        if (optionalSize < kPeOptionalFixed64) {
            out.Print("ERROR: optional header too short for a 64-bit DLL\n");
            return 1;
        }
        g_nsec = nt->FileHeader.NumberOfSections;
        std::size_t table = 0;
        if (!PeSectionTable(ntOffset, optionalSize, g_nsec, g_size, table)) {
            out.Print("ERROR: %s\n", kPeSectionTableOutside);
            return 1;
        }
        g_sec = reinterpret_cast<const TPeSectionHeader*>(g_buf + table);
        auto* optional = reinterpret_cast<std::uint8_t*>(&nt->OptionalHeader);
        const std::uint32_t directories = nt->OptionalHeader.NumberOfRvaAndSizes;
        const TPeDataDirectory* imports =
            PeDirectory(optional, kPeOptionalFixed64, directories, optionalSize, kPeImportDirectory);
        const std::uint32_t importRva = imports ? imports->VirtualAddress : 0;
        if (importRva == 0) {
            out.Print("ERROR: no import table\n");
            return 1;
        }
        const std::uint64_t descriptors = rva2off(importRva);
        if (descriptors == 0) {
            out.Print("ERROR: cannot locate import table\n");
            return 1;
        }
        if (PatchWalkImports(descriptors, config, false, out) == 0 ||
            PatchWalkImports(descriptors, config, true, out) == 0) {
            out.Print("ERROR: no KERNEL32.dll import descriptor found\n");
            return 1;
        }

        out.Print("subsystem version %u.%02u", nt->OptionalHeader.MajorSubsystemVersion,
                  nt->OptionalHeader.MinorSubsystemVersion);
        nt->OptionalHeader.MajorOperatingSystemVersion = 5;
        nt->OptionalHeader.MinorOperatingSystemVersion = 2;
        nt->OptionalHeader.MajorSubsystemVersion = 5;
        nt->OptionalHeader.MinorSubsystemVersion = 2;
        out.Print(" -> 5.02\n");

        // The directory entry lies in our own buffer; only the lookup is shared
        // with the read-only probe.
        auto* bound = const_cast<TPeDataDirectory*>(PeDirectory(
            optional, kPeOptionalFixed64, nt->OptionalHeader.NumberOfRvaAndSizes, optionalSize, kPeBoundImportDirectory));
        if (bound && (bound->VirtualAddress != 0 || bound->Size != 0)) {
            out.Print("clearing bound import directory\n");
            bound->VirtualAddress = 0;
            bound->Size = 0;
        }
        nt->OptionalHeader.CheckSum = 0;
        return 0;
    } catch (const Exception& e) {
        out.Print("ERROR: %s\n", e.Message().c_str());
        return 1;
    }
}

// The closing lines of a successful run.
inline void PrintPatchDone(const TPatchConfig& config, unsigned long written, const char* outputPath, TToolOutput& out)
{
    out.Print("\nwrote %lu bytes to %s\n", written, outputPath);
    out.Print("\nNext steps:\n");
    out.Print("%s", config.Step1);
    out.Print("%s", config.Step2);
    out.Print(config.Step3, outputPath);
    out.Print("%s", config.Step4);
}
