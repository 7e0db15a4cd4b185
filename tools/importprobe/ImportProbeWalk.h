#pragma once
// The import probe's walk over a PE file held in memory: header checks, the
// import descriptors and their thunk lists, and the report. Pure code; the
// program supplies the file's bytes and the module lookups.
//
// Every read is checked against the file's size. The walk runs twice: first
// without output, to reject a malformed file with one clear line before any
// report is printed, then for the report itself.

#include <cstdint>
#include <cstring>

#include "Exception.h"
#include "PeImage.h"

// Program-wide state, set once while the headers are read and then only read.
inline const std::uint8_t* g_base = nullptr;  // first byte of the file's view
inline std::size_t g_viewSize = 0;            // bytes in the view
inline const TPeNtHeaders32* g_nt32 = nullptr; // NT headers, for every file
inline const TPeNtHeaders64* g_nt64 = nullptr; // the same address, PE32+ only
inline int g_is64 = 0;                          // 1 for PE32+ (Magic 0x20B)
inline std::uint16_t g_nsec = 0;                // NumberOfSections
inline const TPeSectionHeader* g_sec = nullptr; // first section header

// The probe's two report styles: per DLL a "[name]" header and only missing
// functions, or a "=== DLL name ===" header and one line per function.
enum class TProbeStyle { Summary, Listing };

// How the probe finds a DLL and its exports (the system's loader in the
// program, a table in the tests).
class TProbeModules {
public:
    virtual ~TProbeModules() = default;
    // The loaded module, or null when the DLL is neither loaded nor loadable.
    virtual void* FindModule(const char* dll) = 0;
    virtual bool HasFunction(void* module, const char* name) = 0;
};

// The view position of an RVA of the examined file, or null when no section
// holds it (or its file offset is 0). An RVA that a section maps past the end of
// the file is a malformed file and throws.
inline const std::uint8_t* ptr(std::uint32_t rva)
{
    if (g_nsec == 0)
        return nullptr;
    const std::uint64_t offset = PeRvaToOffset(g_sec, g_nsec, rva);
    if (offset == 0)
        return nullptr;
    if (offset >= g_viewSize)
        throw Exception(PeFormat("RVA 0x%08lX lies past the end of the file", static_cast<unsigned long>(rva)));
    return g_base + offset;
}

// What the walk reports to its caller, one DLL and one function at a time.
class TProbeVisitor {
public:
    virtual ~TProbeVisitor() = default;
    // A descriptor with a DLL name and a thunk list; false skips its functions.
    virtual bool Dll(const char* name) = 0;
    // A function imported by name.
    virtual void Function(const char* name) = 0;
};

// Walks the descriptors at `table` (a position in the view) to the first with
// Name 0. Descriptors whose name lies in no section or that have no thunk list
// are passed over; imports by ordinal are skipped.
inline void ProbeWalkImports(const std::uint8_t* table, TProbeVisitor& visitor)
{
    const std::size_t width = g_is64 ? 8 : 4;
    const std::uint64_t byOrdinal = g_is64 ? (std::uint64_t(1) << 63) : (std::uint64_t(1) << 31);
    for (std::size_t at = static_cast<std::size_t>(table - g_base);; at += sizeof(TPeImportDescriptor)) {
        if (!PeInFile(at, sizeof(TPeImportDescriptor), g_viewSize))
            throw Exception("import descriptor list runs past the end of the file");
        const auto* d = reinterpret_cast<const TPeImportDescriptor*>(g_base + at);
        if (d->Name == 0)
            return;
        const std::uint8_t* name = ptr(d->Name);
        const std::uint32_t thunkRva = d->OriginalFirstThunk != 0 ? d->OriginalFirstThunk : d->FirstThunk;
        if (!name || thunkRva == 0)
            continue;
        if (PeTextLength(g_base, g_viewSize, name - g_base) < 0)
            throw Exception(PeFormat("DLL name at RVA 0x%08lX runs past the end of the file",
                                     static_cast<unsigned long>(d->Name)));
        const char* dll = reinterpret_cast<const char*>(name);
        if (!visitor.Dll(dll))
            continue;
        const std::uint8_t* thunks = ptr(thunkRva);
        if (!thunks)
            continue;
        for (std::size_t t = static_cast<std::size_t>(thunks - g_base);; t += width) {
            if (!PeInFile(t, width, g_viewSize))
                throw Exception(PeFormat("thunk list of %s runs past the end of the file", dll));
            std::uint64_t entry = 0;
            std::memcpy(&entry, g_base + t, width);
            if (entry == 0)
                break;
            if (entry & byOrdinal)
                continue;
            const std::uint32_t hintName = static_cast<std::uint32_t>(entry);
            const std::uint8_t* hint = ptr(hintName);
            if (!hint)
                throw Exception(PeFormat("import name RVA 0x%08lX of %s lies in no section",
                                         static_cast<unsigned long>(hintName), dll));
            const std::uint64_t nameOffset = std::uint64_t(hint - g_base) + 2;
            if (PeTextLength(g_base, g_viewSize, nameOffset) < 0)
                throw Exception(PeFormat("import name RVA 0x%08lX of %s runs past the end of the file",
                                         static_cast<unsigned long>(hintName), dll));
            visitor.Function(reinterpret_cast<const char*>(g_base + nameOffset));
        }
    }
}

inline const char* ProbeMachineName(std::uint16_t machine)
{
    switch (machine) {
    case 0x8664: return "x64";
    case 0x014C: return "x86";
    default: return "other";
    }
}

// The report for the file of `size` bytes at `base`, from the header lines to
// the verdict; gives the exit status (0 when the report was completed or the
// file has no import table, 1 on an error).
inline int ProbeImage(const std::uint8_t* base, std::size_t size, TProbeStyle style, TProbeModules& modules,
                      TToolOutput& out)
{
    g_base = base;
    g_viewSize = size;
    g_nt32 = nullptr;
    g_nt64 = nullptr;
    g_is64 = 0;
    g_nsec = 0;
    g_sec = nullptr;
    try {
        std::size_t nt = 0;
        const TPeHeaderCheck check = PeCheckHeaders(base, size, nt);
        if (check != TPeHeaderCheck::Ok) {
            out.Print("%s\n", PeCheckText(check));
            return 1;
        }
        g_nt32 = reinterpret_cast<const TPeNtHeaders32*>(base + nt);
        g_is64 = g_nt32->OptionalHeader.Magic == kPeMagic64 ? 1 : 0;
        const std::size_t fixed = g_is64 ? kPeOptionalFixed64 : kPeOptionalFixed32;
        if (!PeInFile(nt + offsetof(TPeNtHeaders32, OptionalHeader), fixed, size)) {
            out.Print("%s\n", PeCheckText(TPeHeaderCheck::TruncatedHeaders));
            return 1;
        }
        const std::uint16_t machine = g_nt32->FileHeader.Machine;
        out.Print("machine: 0x%04X (%s)\n", machine, ProbeMachineName(machine));
        out.Print("PE type: %s\n", g_is64 ? "PE32+" : "PE32");
        std::uint32_t numberOfRvaAndSizes = g_nt32->OptionalHeader.NumberOfRvaAndSizes;
        if (g_is64) {
            g_nt64 = reinterpret_cast<const TPeNtHeaders64*>(g_nt32);
            numberOfRvaAndSizes = g_nt64->OptionalHeader.NumberOfRvaAndSizes;
        }
        out.Print("subsystem version required: %u.%02u\n\n", g_nt32->OptionalHeader.MajorSubsystemVersion,
                  g_nt32->OptionalHeader.MinorSubsystemVersion);

        g_nsec = g_nt32->FileHeader.NumberOfSections;
        std::size_t table = 0;
        if (!PeSectionTable(nt, g_nt32->FileHeader.SizeOfOptionalHeader, g_nsec, size, table)) {
            out.Print("%s\n", kPeSectionTableOutside);
            return 1;
        }
        g_sec = reinterpret_cast<const TPeSectionHeader*>(base + table);
        const TPeDataDirectory* directory =
            PeDirectory(reinterpret_cast<const std::uint8_t*>(&g_nt32->OptionalHeader), fixed, numberOfRvaAndSizes,
                        g_nt32->FileHeader.SizeOfOptionalHeader, kPeImportDirectory);
        const std::uint32_t importRva = directory ? directory->VirtualAddress : 0;
        if (importRva == 0) {
            out.Print("no import table\n");
            return 0;
        }
        const std::uint8_t* imports = ptr(importRva);
        if (!imports) {
            out.Print("cannot locate import table\n");
            return 1;
        }

        // First pass: the whole walk without output, so that a malformed
        // import table is reported before any part of the report.
        struct TCheckOnly final : TProbeVisitor {
            bool Dll(const char*) override { return true; }
            void Function(const char*) override {}
        } checkOnly;
        ProbeWalkImports(imports, checkOnly);

        struct TReport final : TProbeVisitor {
            TProbeStyle Style;
            TProbeModules& Modules;
            TToolOutput& Out;
            void* Module = nullptr;
            int Checked = 0;
            int Missing = 0;
            TReport(TProbeStyle style, TProbeModules& modules, TToolOutput& out)
                : Style(style), Modules(modules), Out(out)
            {
            }
            bool Dll(const char* name) override
            {
                Out.Print(Style == TProbeStyle::Listing ? "\n=== DLL %s ===\n" : "[%s]\n", name);
                Module = Modules.FindModule(name);
                if (!Module) {
                    Out.Print("    !! this DLL itself is not present on this system\n");
                    return false;
                }
                return true;
            }
            void Function(const char* name) override
            {
                ++Checked;
                if (!Modules.HasFunction(Module, name)) {
                    ++Missing;
                    Out.Print(Style == TProbeStyle::Listing ? "MISSING %s\n" : "    MISSING: %s\n", name);
                } else if (Style == TProbeStyle::Listing) {
                    Out.Print("OK      %s\n", name);
                }
            }
        } report(style, modules, out);
        ProbeWalkImports(imports, report);

        out.Print("\n%d imported functions checked, %d MISSING on this OS\n", report.Checked, report.Missing);
        if (report.Missing > 0)
            out.Print(">>> This DLL cannot load here. It was built against a newer\n"
                      ">>> Windows SDK than this OS provides.\n");
        else
            out.Print(">>> All imports resolve. The load failure is elsewhere.\n");
        return 0;
    } catch (const Exception& e) {
        out.Print("%s\n", e.Message().c_str());
        return 1;
    }
}
