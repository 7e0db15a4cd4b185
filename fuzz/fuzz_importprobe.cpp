// Fuzzes the import probe's walk: any bytes as the examined file, both report
// styles, with a module table that answers by the names' lengths so that both
// the present and the missing paths run.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ImportProbeWalk.h"

namespace {

class TFuzzModules final : public TProbeModules {
public:
    void* FindModule(const char* dll) override { return std::strlen(dll) % 3 == 0 ? nullptr : this; }
    bool HasFunction(void*, const char* name) override { return std::strlen(name) % 2 == 0; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFuzzModules modules;
    for (TProbeStyle style : {TProbeStyle::Summary, TProbeStyle::Listing}) {
        TStringOutput out;
        const int status = ProbeImage(data, size, style, modules, out);
        if (status != 0 && status != 1)
            __builtin_trap();
        // Every run ends with a complete line.
        if (out.Text.empty() || out.Text.back() != '\n')
            __builtin_trap();
    }
    return 0;
}
