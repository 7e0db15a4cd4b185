// importpatch: writes a copy of a 64-bit DLL whose KERNEL32.dll import is
// redirected to a replacement DLL with a name of the same length, with the
// operating-system and subsystem versions set to 5.02, the bound import
// directory and the checksum cleared. The input is only read; the output is
// created only after every check and patch has succeeded in memory.
//
// Build-time setting: IMPORTPATCH_CONFIG_ZIP=1 gives the zip-library
// configuration, IMPORTPATCH_CONFIG_CODEC=1 the codec configuration.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "ImportPatchWalk.h"
#include "WinHandle.h"

#if defined(IMPORTPATCH_CONFIG_ZIP) && IMPORTPATCH_CONFIG_ZIP
constexpr const TPatchConfig& kConfig = kZipPatchConfig;
#elif defined(IMPORTPATCH_CONFIG_CODEC) && IMPORTPATCH_CONFIG_CODEC
constexpr const TPatchConfig& kConfig = kCodecPatchConfig;
#else
#error "choose a configuration: IMPORTPATCH_CONFIG_CODEC or IMPORTPATCH_CONFIG_ZIP"
#endif

namespace {

struct TFreeDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
};

} // namespace

// [main thread]
int main(int argc, char** argv)
{
    const char* input = argc > 1 ? argv[1] : kConfig.DefaultInput;
    const char* output = argc > 2 ? argv[2] : kConfig.DefaultOutput;
    std::printf("input : %s\n", input);
    std::printf("output: %s\n\n", output);

    std::unique_ptr<std::uint8_t, TFreeDeleter> buffer;
    {
        TOwnedHandle in(CreateFileA(input, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!in) {
            std::printf("ERROR: cannot open input, GetLastError=%lu\n", GetLastError());
            return 1;
        }
        DWORD high = 0;
        const DWORD low = GetFileSize(in.Get(), &high);
        if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
            std::printf("ERROR: read failed\n");
            return 1;
        }
        // Only the low 32 bits would be read and written back: a larger file
        // would come out cut short.
        if (high != 0) {
            std::printf("ERROR: input is larger than 4 GB\n");
            return 1;
        }
        g_size = low;
        // One byte at least, so that an empty file is not taken for a failed
        // allocation; it is rejected as "not a PE file" below.
        buffer.reset(static_cast<std::uint8_t*>(std::malloc(g_size ? g_size : 1)));
        if (!buffer) {
            std::printf("ERROR: out of memory\n");
            return 1;
        }
        g_buf = buffer.get();
        DWORD read = 0;
        if (!ReadFile(in.Get(), g_buf, g_size, &read, nullptr) || read < g_size) {
            std::printf("ERROR: read failed\n");
            return 1;
        }
    } // the input is closed here: the output may name the same file
    std::printf("read %lu bytes\n", static_cast<unsigned long>(g_size));

    TStdoutOutput out;
    if (PatchImage(kConfig, out) != 0)
        return 1;

    DWORD written = 0;
    {
        TOwnedHandle file(
            CreateFileA(output, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            std::printf("ERROR: cannot create output, GetLastError=%lu\n", GetLastError());
            return 1;
        }
        if (!WriteFile(file.Get(), g_buf, g_size, &written, nullptr) || written < g_size) {
            std::printf("ERROR: write failed\n");
            return 1;
        }
        if (!file.Reset()) {
            std::printf("ERROR: write failed\n");
            return 1;
        }
    }
    PrintPatchDone(kConfig, written, output, out);
    std::fflush(stdout);
    return 0;
}
