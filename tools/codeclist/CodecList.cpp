// codeclist: lists every enabled ACM driver of this process's bitness with its
// names, tag counts, support flags, format tags and formats. No options; all
// output goes to standard output and the exit status is always 0.

#include "AcmFormatBuffer.h"
#include "AcmHandles.h"
#include "AcmText.h"

#include <cstdio>

// The driver that drvCb has open while it enumerates the driver's format tags.
static HACMDRIVER g_had = nullptr;

static void PrintFailure(const char* call, MMRESULT result)
{
    std::printf("  !! %s FAILED, MMRESULT = %u\n", call, result);
}

// [main thread] inside acmFormatEnumA
static BOOL CALLBACK fmtCb(HACMDRIVERID, LPACMFORMATDETAILSA details, DWORD_PTR, DWORD)
{
    const WAVEFORMATEX* f = details->pwfx;
    std::printf("      tag 0x%04X  %7lu Hz  %u ch  %2u bit  %7lu B/s  block %u  cbSize %u  \"%s\"\n",
                f->wFormatTag, f->nSamplesPerSec, f->nChannels, f->wBitsPerSample, f->nAvgBytesPerSec,
                f->nBlockAlign, f->cbSize, FieldText(details->szFormat).c_str());
    return TRUE;
}

// [main thread] inside acmFormatTagEnumA
static BOOL CALLBACK tagCb(HACMDRIVERID, LPACMFORMATTAGDETAILSA tag, DWORD_PTR, DWORD)
{
    std::printf("    format tag 0x%04X  \"%s\"  (%lu standard formats)\n", static_cast<unsigned>(tag->dwFormatTag),
                FieldText(tag->szFormatTag).c_str(), tag->cStandardFormats);
    MMRESULT result = MMSYSERR_NOERROR;
    if (EnumerateTagFormats(g_had, tag->dwFormatTag, fmtCb, result) && result != MMSYSERR_NOERROR)
        PrintFailure("acmFormatEnum", result);
    return TRUE;
}

// [main thread] inside acmDriverEnum; never stops the listing.
static BOOL CALLBACK drvCb(HACMDRIVERID hadid, DWORD_PTR, DWORD fdwSupport)
{
    ACMDRIVERDETAILSA details{};
    details.cbStruct = sizeof(details);
    MMRESULT result = acmDriverDetailsA(hadid, &details, 0);
    if (result != MMSYSERR_NOERROR) {
        std::printf("\n[driver id %s] -- details unavailable\n",
                    PointerText(reinterpret_cast<std::uintptr_t>(hadid)).c_str());
        PrintFailure("acmDriverDetails", result);
        return TRUE;
    }
    std::printf("\n[driver] %s | %s\n", FieldText(details.szShortName).c_str(), FieldText(details.szLongName).c_str());
    // The flags of the enumeration, not those of the details structure.
    std::printf("  driver reports: %lu format tags, %lu filter tags, fdwSupport = 0x%08lX\n", details.cFormatTags,
                details.cFilterTags, fdwSupport);

    HACMDRIVER had = nullptr;
    result = acmDriverOpen(&had, hadid, 0);
    if (result != MMSYSERR_NOERROR) {
        PrintFailure("acmDriverOpen", result);
        return TRUE;
    }
    TOwnedAcmDriver driver(had);

    ACMFORMATTAGDETAILSA tags{};
    tags.cbStruct = sizeof(tags);
    g_had = had;
    result = acmFormatTagEnumA(had, &tags, tagCb, 0, 0);
    if (result != MMSYSERR_NOERROR)
        PrintFailure("acmFormatTagEnum", result);
    driver.Reset();
    g_had = nullptr;
    return TRUE;
}

int main()
{
    std::printf("pointer size: %u bytes (%s process)\n", static_cast<unsigned>(sizeof(void*)),
                sizeof(void*) == 8 ? "64-bit" : "32-bit");

    const DWORD version = acmGetVersion();
    std::printf("MSACM version: %u.%02u build %u\n", static_cast<unsigned>(version >> 24),
                static_cast<unsigned>((version >> 16) & 0xFF), static_cast<unsigned>(version & 0xFFFF));

    DWORD count = 0;
    if (acmMetrics(nullptr, ACM_METRIC_COUNT_DRIVERS, &count) == MMSYSERR_NOERROR)
        std::printf("enabled ACM drivers: %lu\n", count);
    if (acmMetrics(nullptr, ACM_METRIC_COUNT_CODECS, &count) == MMSYSERR_NOERROR)
        std::printf("codecs: %lu\n", count);

    const MMRESULT result = acmDriverEnum(drvCb, 0, 0);
    if (result != MMSYSERR_NOERROR)
        PrintFailure("acmDriverEnum", result);

    std::printf("\n--- done ---\n");
    return 0;
}
