#pragma once
// The ACM declarations of the platform headers, with the structure sizes that
// the codec tools rely on checked for the processor of this build.
// [Windows builds only]

#include <windows.h>
#include <mmreg.h> // must come before msacm.h
#include <msacm.h>

#include <cstddef>

#if defined(_WIN64)
static_assert(sizeof(ACMDRIVERDETAILSA) == 924, "ACMDRIVERDETAILSA in the x86-64 build");
static_assert(sizeof(ACMFORMATDETAILSA) == 156, "ACMFORMATDETAILSA in the x86-64 build");
#else
static_assert(sizeof(ACMDRIVERDETAILSA) == 920, "ACMDRIVERDETAILSA in the x86 build");
static_assert(sizeof(ACMFORMATDETAILSA) == 152, "ACMFORMATDETAILSA in the x86 build");
#endif
static_assert(sizeof(ACMFORMATTAGDETAILSA) == 72, "ACMFORMATTAGDETAILSA");
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX");
static_assert(offsetof(WAVEFORMATEX, cbSize) == 16, "WAVEFORMATEX::cbSize");
static_assert(ACM_METRIC_MAX_SIZE_FORMAT == 50, "ACM_METRIC_MAX_SIZE_FORMAT");
static_assert(ACM_DRIVERADDF_FUNCTION == 3, "ACM_DRIVERADDF_FUNCTION");
