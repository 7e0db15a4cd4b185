// importprobe: does every function that a DLL or executable imports by name
// exist on the system where the probe runs? Reads the file's import table from a
// read-only view (the file is never loaded as a module), loads each imported DLL
// into this process, looks every name up and prints the report.
//
// Build-time setting: IMPORTPROBE_LISTING=1 gives the listing build (one line
// per function); without it the summary build (only missing functions).

#include <windows.h>

#include <cstdio>
#include <memory>

#include "ImportProbeWalk.h"
#include "WinHandle.h"

#ifndef IMPORTPROBE_LISTING
#define IMPORTPROBE_LISTING 0
#endif

namespace {

const char* const kDefaultTarget = "C:\\WINDOWS\\system32\\vorbis.acm";

struct TViewUnmapper {
    void operator()(const void* view) const { UnmapViewOfFile(view); }
};
using TMappedView = std::unique_ptr<const void, TViewUnmapper>;

// The system's loader: a DLL already in the process is taken as it is, any
// other one is loaded. Loaded modules stay loaded until the process ends:
// unloading a DLL that was only inspected gains nothing and runs its detach code.
class TSystemModules final : public TProbeModules {
public:
    void* FindModule(const char* dll) override
    {
        HMODULE module = GetModuleHandleA(dll);
        if (!module)
            module = LoadLibraryA(dll);
        return module;
    }
    bool HasFunction(void* module, const char* name) override
    {
        return GetProcAddress(static_cast<HMODULE>(module), name) != nullptr;
    }
};

} // namespace

// [main thread]
int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : kDefaultTarget;
    // A DLL that cannot be found or loaded makes the call fail without a
    // system message box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    std::printf("checking: %s\n", path);
    std::printf("host process: %u-bit\n\n", static_cast<unsigned>(sizeof(void*) * 8));

    TOwnedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        std::printf("cannot open file, GetLastError=%lu\n", GetLastError());
        return 1;
    }
    TOwnedHandle mapping(CreateFileMappingA(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) {
        std::printf("CreateFileMapping failed\n");
        return 1;
    }
    TMappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) {
        std::printf("MapViewOfFile failed\n");
        return 1;
    }
    // The view covers exactly the file; every read of the walk stays inside it.
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) {
        std::printf("cannot determine the file size, GetLastError=%lu\n", GetLastError());
        return 1;
    }

    TSystemModules modules;
    TStdoutOutput out;
    const int status = ProbeImage(static_cast<const std::uint8_t*>(view.get()), static_cast<std::size_t>(size.QuadPart),
                                  IMPORTPROBE_LISTING ? TProbeStyle::Listing : TProbeStyle::Summary, modules, out);
    std::fflush(stdout);
    return status;
}
