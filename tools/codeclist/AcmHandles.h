#pragma once
// Owning types for an open ACM driver and for a driver registered by this
// process. [Windows builds only]

#include "AcmApi.h"

#include "WinHandle.h"

struct TAcmDriverTraits {
    static bool Valid(HACMDRIVER had) { return had != nullptr; }
    static bool Close(HACMDRIVER had) { return acmDriverClose(had, 0) == MMSYSERR_NOERROR; }
};
struct TAcmDriverIdTraits {
    static bool Valid(HACMDRIVERID hadid) { return hadid != nullptr; }
    static bool Close(HACMDRIVERID hadid) { return acmDriverRemove(hadid, 0) == MMSYSERR_NOERROR; }
};

using TOwnedAcmDriver = TOwned<HACMDRIVER, TAcmDriverTraits>;             // acmDriverOpen results
using TAcmRegistration = TOwned<HACMDRIVERID, TAcmDriverIdTraits>;        // acmDriverAdd results
