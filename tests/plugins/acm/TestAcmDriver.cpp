// A small ACM codec driver for the tests of the codec tools. It answers the
// driver, format-tag and format detail messages for the two tags of
// TestAcmTable.h and converts nothing. One source, several behaviours chosen at
// build time with TESTACM_MODE:
//   0  a working driver
//   1  reports format sizes below a WAVEFORMATEX (16 bytes) for every tag
//   2  gives its driver details once (enough to be registered), then refuses them
//   3  accepts two opens (registration and one details query), refuses the rest
//      (only opens with an open description count)
//   4  never gives its driver details, so the ACM cannot register it
//   5  exports its entry point under another name than DriverProc
// When the environment names a file in PELORIN_TESTACM_TRACE, every driver
// message and the unloading of the DLL are appended to it, one word a line
// ("plainopen" for an open without description).

#include <windows.h>
#include <mmreg.h> // must come before msacm.h
#include <msacm.h>

#include <cstddef>
#include <cstring>

#include "TestAcmTable.h"

#ifndef TESTACM_MODE
#define TESTACM_MODE 0
#endif

namespace {

constexpr int kMode = TESTACM_MODE;

// Driver messages of the ACM (offsets from ACMDM_BASE).
constexpr UINT kDriverDetails = ACMDM_BASE + 10;
constexpr UINT kFormatTagDetails = ACMDM_BASE + 25;
constexpr UINT kFormatDetails = ACMDM_BASE + 26;

// The leading, pointer-free part of the open description that the ACM passes
// with DRV_OPEN; dwError carries the reason of a refused open.
struct TOpenDescHead {
    DWORD cbStruct;
    DWORD fccType;
    DWORD fccComp;
    DWORD dwVersion;
    DWORD dwFlags;
    DWORD dwError;
};
static_assert(sizeof(TOpenDescHead) == 24 && offsetof(TOpenDescHead, dwError) == 20);

// Process-wide counts of the requests that the stateful modes depend on.
LONG g_opens = 0;
LONG g_details = 0;

// Appends one line to the trace file, if the environment names one.
void Trace(const char* word)
{
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("PELORIN_TESTACM_TRACE", path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
        return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, word, static_cast<DWORD>(std::strlen(word)), &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
}

const char* MessageName(UINT msg)
{
    switch (msg) {
    case DRV_LOAD: return "load";
    case DRV_ENABLE: return "enable";
    case DRV_OPEN: return "open";
    case DRV_CLOSE: return "close";
    case DRV_DISABLE: return "disable";
    case DRV_FREE: return "free";
    case kDriverDetails: return "driverdetails";
    case kFormatTagDetails: return "formattagdetails";
    case kFormatDetails: return "formatdetails";
    default: return "other";
    }
}

template <std::size_t N>
void Widen(WCHAR (&out)[N], const char* in)
{
    std::size_t i = 0;
    for (; i + 1 < N && in[i]; ++i)
        out[i] = static_cast<unsigned char>(in[i]);
    out[i] = 0;
}

// The ACM sends a plain open (no description) and then an open with its
// description for every driver instance; only the latter are counted.
LRESULT Open(LPARAM lParam2)
{
    if (lParam2 == 0)
        return 1;
    const LONG count = InterlockedIncrement(&g_opens);
    if (kMode == 3 && count > 2) {
        auto* desc = reinterpret_cast<TOpenDescHead*>(lParam2);
        if (desc && desc->cbStruct >= sizeof(TOpenDescHead))
            desc->dwError = MMSYSERR_ALLOCATED;
        return 0;
    }
    return 1; // any non-zero instance value
}

LRESULT DriverDetails(ACMDRIVERDETAILSW* out)
{
    const LONG count = InterlockedIncrement(&g_details);
    if (kMode == 4 || (kMode == 2 && count > 1))
        return MMSYSERR_NOTSUPPORTED;
    if (!out || out->cbStruct < sizeof(DWORD))
        return MMSYSERR_INVALPARAM;
    ACMDRIVERDETAILSW d{};
    d.fccType = ACMDRIVERDETAILS_FCCTYPE_AUDIOCODEC;
    d.fccComp = ACMDRIVERDETAILS_FCCCOMP_UNDEFINED;
    d.wMid = 1;
    d.wPid = 1;
    d.vdwACM = 0x03320000;
    d.vdwDriver = 0x01000000;
    d.fdwSupport = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    d.cFormatTags = static_cast<DWORD>(kTestAcmTags.size());
    d.cFilterTags = 0;
    Widen(d.szShortName, kTestAcmShortName);
    Widen(d.szLongName, kTestAcmLongName);
    const DWORD size = out->cbStruct < sizeof(d) ? out->cbStruct : static_cast<DWORD>(sizeof(d));
    d.cbStruct = size;
    std::memcpy(out, &d, size);
    return MMSYSERR_NOERROR;
}

const TTestAcmTag* FindTag(DWORD tag)
{
    for (const TTestAcmTag& t : kTestAcmTags)
        if (t.Tag == tag)
            return &t;
    return nullptr;
}

DWORD ReportedFormatSize(const TTestAcmTag& tag)
{
    return kMode == 1 ? 16 : tag.FormatSize;
}

LRESULT FormatTagDetails(ACMFORMATTAGDETAILSW* d, LPARAM flags)
{
    if (!d || d->cbStruct < sizeof(ACMFORMATTAGDETAILSW))
        return MMSYSERR_INVALPARAM;
    const TTestAcmTag* tag = nullptr;
    DWORD index = 0;
    switch (flags & ACM_FORMATTAGDETAILSF_QUERYMASK) {
    case ACM_FORMATTAGDETAILSF_INDEX:
        if (d->dwFormatTagIndex >= kTestAcmTags.size())
            return ACMERR_NOTPOSSIBLE;
        index = d->dwFormatTagIndex;
        tag = &kTestAcmTags[index];
        break;
    case ACM_FORMATTAGDETAILSF_FORMATTAG:
    case ACM_FORMATTAGDETAILSF_LARGESTSIZE:
        if (d->dwFormatTag == WAVE_FORMAT_UNKNOWN) {
            for (const TTestAcmTag& t : kTestAcmTags)
                if (!tag || t.FormatSize > tag->FormatSize)
                    tag = &t;
        } else {
            tag = FindTag(d->dwFormatTag);
        }
        if (!tag)
            return ACMERR_NOTPOSSIBLE;
        index = static_cast<DWORD>(tag - kTestAcmTags.data());
        break;
    default:
        return MMSYSERR_NOTSUPPORTED;
    }
    d->dwFormatTagIndex = index;
    d->dwFormatTag = tag->Tag;
    d->cbFormatSize = ReportedFormatSize(*tag);
    d->fdwSupport = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    d->cStandardFormats = static_cast<DWORD>(tag->Formats.size());
    Widen(d->szFormatTag, tag->Name);
    return MMSYSERR_NOERROR;
}

// Fills in one format. cbSize of the caller's buffer is left as the caller set it
// and reported in the description together with the buffer size.
LRESULT FormatDetails(ACMFORMATDETAILSW* d, LPARAM flags)
{
    if (!d || d->cbStruct < sizeof(ACMFORMATDETAILSW))
        return MMSYSERR_INVALPARAM;
    if ((flags & ACM_FORMATDETAILSF_QUERYMASK) != ACM_FORMATDETAILSF_INDEX)
        return MMSYSERR_NOTSUPPORTED;
    const TTestAcmTag* tag = FindTag(d->dwFormatTag);
    if (!tag || d->dwFormatIndex >= tag->Formats.size())
        return ACMERR_NOTPOSSIBLE;
    if (!d->pwfx || d->cbwfx < sizeof(WAVEFORMATEX))
        return MMSYSERR_INVALPARAM;
    const TTestAcmFormat& f = tag->Formats[d->dwFormatIndex];
    WAVEFORMATEX* w = d->pwfx;
    const std::string text = TestAcmFormatText(f, d->cbwfx, w->cbSize);
    w->wFormatTag = tag->Tag;
    w->nChannels = f.Channels;
    w->nSamplesPerSec = f.SamplesPerSec;
    w->nAvgBytesPerSec = f.AvgBytesPerSec;
    w->nBlockAlign = f.BlockAlign;
    w->wBitsPerSample = f.BitsPerSample;
    d->fdwSupport = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    Widen(d->szFormat, text.c_str());
    return MMSYSERR_NOERROR;
}

} // namespace

#if TESTACM_MODE == 5
#define TESTACM_ENTRY NotADriverProc
#else
#define TESTACM_ENTRY DriverProc
#endif

extern "C" __declspec(dllexport) LRESULT CALLBACK TESTACM_ENTRY(DWORD_PTR, HDRVR, UINT msg, LPARAM lParam1, LPARAM lParam2)
{
    Trace(msg == DRV_OPEN && lParam2 == 0 ? "plainopen" : MessageName(msg));
    switch (msg) {
    case DRV_LOAD:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_FREE:
    case DRV_CLOSE:
        return 1;
    case DRV_OPEN:
        return Open(lParam2);
    case DRV_QUERYCONFIGURE:
        return 0;
    case kDriverDetails:
        return DriverDetails(reinterpret_cast<ACMDRIVERDETAILSW*>(lParam1));
    case kFormatTagDetails:
        return FormatTagDetails(reinterpret_cast<ACMFORMATTAGDETAILSW*>(lParam1), lParam2);
    case kFormatDetails:
        return FormatDetails(reinterpret_cast<ACMFORMATDETAILSW*>(lParam1), lParam2);
    default:
        return msg >= DRV_USER ? MMSYSERR_NOTSUPPORTED : 0;
    }
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    // A null reserved argument means FreeLibrary; otherwise the process is ending.
    if (reason == DLL_PROCESS_DETACH)
        Trace(reserved == nullptr ? "unload" : "exitunload");
    return TRUE;
}
