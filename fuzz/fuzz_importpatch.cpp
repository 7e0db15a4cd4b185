// Fuzzes the import patcher's work on a buffer: any bytes as the input file.
// A run that fails before renaming anything must leave the buffer as it was;
// a run that succeeds keeps the size.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ImportPatchWalk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    for (const TPatchConfig* config : {&kCodecPatchConfig, &kZipPatchConfig}) {
        std::vector<std::uint8_t> buffer(data, data + size);
        buffer.shrink_to_fit();
        g_buf = buffer.data();
        g_size = static_cast<std::uint32_t>(size);
        TStringOutput out;
        const int status = PatchImage(*config, out);
        if (status != 0 && status != 1)
            __builtin_trap();
        if (status == 1 && out.Text.find("found ") == std::string::npos &&
            (buffer.size() != size || (size != 0 && std::memcmp(buffer.data(), data, size) != 0)))
            __builtin_trap();
        if (status == 0 && out.Text.find(" -> 5.02\n") == std::string::npos)
            __builtin_trap();
    }
    return 0;
}
