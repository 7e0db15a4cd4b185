// codecprobe / codecprobe64: loads the Ogg Vorbis ACM codec "vorbis.acm" by hand,
// registers its DriverProc as a function driver of this process only, opens it
// and lists its format tags and formats, then says whether the ACM rejects the
// codec or the trouble lies in how the system registers it. No options; exit
// status 0 when the driver was opened and listed, 1 when a numbered step failed.

#include "AcmFormatBuffer.h"
#include "AcmHandles.h"
#include "AcmText.h"

#include <cstdio>

static constexpr char kCodecFile[] = "vorbis.acm";
static constexpr char kEntryName[] = "DriverProc";

// The opened driver, read by tagCb while the format tags are enumerated.
static HACMDRIVER g_had = nullptr;

static std::string Pointer(const void* p)
{
    return PointerText(reinterpret_cast<std::uintptr_t>(p));
}

// Shows a step's label before the step runs, so that a step that never returns
// still leaves its label on the screen.
static void Label(const char* text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

// [main thread] inside acmFormatEnumA
static BOOL CALLBACK fmtCb(HACMDRIVERID, LPACMFORMATDETAILSA details, DWORD_PTR, DWORD)
{
    const WAVEFORMATEX* f = details->pwfx;
    std::printf("      tag 0x%04X  %7lu Hz  %u ch  %2u bit  %7lu B/s  \"%s\"\n", f->wFormatTag, f->nSamplesPerSec,
                f->nChannels, f->wBitsPerSample, f->nAvgBytesPerSec, FieldText(details->szFormat).c_str());
    return TRUE;
}

// [main thread] inside acmFormatTagEnumA
static BOOL CALLBACK tagCb(HACMDRIVERID, LPACMFORMATTAGDETAILSA tag, DWORD_PTR, DWORD)
{
    std::printf("    >>> FORMAT TAG 0x%04X  \"%s\"  (%lu standard formats)\n", static_cast<unsigned>(tag->dwFormatTag),
                FieldText(tag->szFormatTag).c_str(), tag->cStandardFormats);
    MMRESULT result = MMSYSERR_NOERROR;
    if (EnumerateTagFormats(g_had, tag->dwFormatTag, fmtCb, result) && result != MMSYSERR_NOERROR)
        std::printf("      !! acmFormatEnum failed, MMRESULT=%u\n", result);
    return TRUE;
}

// The probe itself. Clean-up runs in reverse order of acquisition as the owning
// objects go out of scope: the driver is closed, then the registration removed,
// then the module freed.
static int Probe()
{
    std::printf("pointer size: %u bytes (%s process)\n\n", static_cast<unsigned>(sizeof(void*)),
                sizeof(void*) == 8 ? "64-bit" : "32-bit");

    Label("[1] LoadLibrary(\"vorbis.acm\") ... ");
    TOwnedModule module(LoadLibraryA(kCodecFile));
    if (!module) {
        const DWORD error = GetLastError();
        std::printf("FAILED, GetLastError=%lu\n", error);
        std::printf("    (193 = bad EXE format / wrong architecture, 126 = module or a dependency not found)\n");
        return 1;
    }
    std::printf("OK, base=%s\n", Pointer(module.Get()).c_str());

    Label("[2] GetProcAddress(\"DriverProc\") ... ");
    const FARPROC entry = GetProcAddress(module.Get(), kEntryName);
    if (!entry) {
        const DWORD error = GetLastError();
        std::printf("FAILED, GetLastError=%lu\n", error);
        std::printf("    The DLL loaded but exports no DriverProc - it is not a usable ACM driver.\n");
        module.Release(); // the process ends now; the module stays loaded
        return 1;
    }
    std::printf("OK, addr=%s\n", Pointer(reinterpret_cast<const void*>(entry)).c_str());

    Label("[3] acmDriverAdd(ACM_DRIVERADDF_FUNCTION) ... ");
    HACMDRIVERID hadid = nullptr;
    MMRESULT result = acmDriverAddA(&hadid, module.Get(), reinterpret_cast<LPARAM>(entry), 0, ACM_DRIVERADDF_FUNCTION);
    if (result != MMSYSERR_NOERROR) {
        std::printf("FAILED, MMRESULT=%u\n", result);
        std::printf("    (%u = MMSYSERR_ERROR, %u = MMSYSERR_NOMEM, %u = MMSYSERR_NOTSUPPORTED, %u = MMSYSERR_INVALFLAG, "
                    "%u = MMSYSERR_INVALPARAM, %u = ACMERR_NOTPOSSIBLE)\n",
                    MMSYSERR_ERROR, MMSYSERR_NOMEM, MMSYSERR_NOTSUPPORTED, MMSYSERR_INVALFLAG, MMSYSERR_INVALPARAM,
                    ACMERR_NOTPOSSIBLE);
        std::printf("\n>>> The 64-bit ACM REJECTS this codec. No registry change will fix that.\n");
        return 1;
    }
    TAcmRegistration registration(hadid);
    std::printf("OK\n");

    ACMDRIVERDETAILSA details{};
    details.cbStruct = sizeof(details);
    if (acmDriverDetailsA(hadid, &details, 0) == MMSYSERR_NOERROR)
        std::printf("    driver: %s | %s  (%lu format tags)\n", FieldText(details.szShortName).c_str(),
                    FieldText(details.szLongName).c_str(), details.cFormatTags);

    Label("[4] acmDriverOpen ... ");
    HACMDRIVER had = nullptr;
    result = acmDriverOpen(&had, hadid, 0);
    if (result != MMSYSERR_NOERROR) {
        std::printf("FAILED, MMRESULT=%u\n", result);
        return 1;
    }
    TOwnedAcmDriver driver(had);
    std::printf("OK\n");
    g_had = had;

    std::printf("[5] enumerating formats:\n");
    ACMFORMATTAGDETAILSA tags{};
    tags.cbStruct = sizeof(tags);
    result = acmFormatTagEnumA(had, &tags, tagCb, 0, 0);
    if (result != MMSYSERR_NOERROR)
        std::printf("    !! acmFormatTagEnum failed, MMRESULT=%u\n", result);

    std::printf("\n>>> The codec WORKS in a 64-bit process when registered by hand.\n"
                ">>> The problem is registration/discovery, not the codec itself.\n");
    std::fflush(stdout);
    return 0;
}

int main()
{
    return Probe();
}
