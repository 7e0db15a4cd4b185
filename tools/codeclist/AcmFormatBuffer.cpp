#include "AcmFormatBuffer.h"

#include "AcmText.h"

TFormatBuffer::TFormatBuffer(HACMDRIVER had, DWORD formatTag)
{
    DWORD reported = 0;
    const bool queried = acmMetrics(reinterpret_cast<HACMOBJ>(had), ACM_METRIC_MAX_SIZE_FORMAT, &reported) == MMSYSERR_NOERROR;
    size_ = FormatBufferSize(queried, reported);
    block_.reset(static_cast<unsigned char*>(std::calloc(1, size_)));
    if (!block_)
        return;
    WAVEFORMATEX* format = Format();
    format->wFormatTag = static_cast<WORD>(formatTag);
    format->cbSize = static_cast<WORD>(size_ - kWaveFormatSize);
}

bool EnumerateTagFormats(HACMDRIVER had, DWORD formatTag, ACMFORMATENUMCBA callback, MMRESULT& result)
{
    TFormatBuffer buffer(had, formatTag);
    if (!buffer)
        return false;
    ACMFORMATDETAILSA details{};
    details.cbStruct = sizeof(details);
    details.dwFormatTag = formatTag;
    details.pwfx = buffer.Format();
    details.cbwfx = buffer.Size();
    result = acmFormatEnumA(had, &details, callback, 0, 0);
    return true;
}
