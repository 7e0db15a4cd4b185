// The soak: many blocks through one bridge as a busy host drives it, and the
// bridge process's figures at start and end.
//   pelorinsoak [--blocks 100000] [--warmup 1000] [--plugin <dll>] [--bridge <exe>]
// Every block carries a note on or off (the plugin answers each an octave
// up); every 10th block comes after a parameter change, every 100th after a
// description refresh, every 1000th after a state save, fetch and load.
//
// Start figures are taken after the warm-up blocks (the first state cycle,
// the first refreshes, the buffers growing to their size), end figures after
// the last block. Tolerance, for the steady state after the warm-up only:
// handle count and thread count must not grow at all; private bytes may grow
// by at most 256 KiB (one or two heap segments the allocator keeps), and not
// at all between the middle and the end of the run. Exit status 0 when the
// run held to that and every block came back with the plugin's answer.

#include "BenchBridge.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr std::uint64_t kPrivateTolerance = 256 * 1024;

std::string FullPathA(const std::string& p)
{
    char buf[MAX_PATH * 2];
    const DWORD n = GetFullPathNameA(p.c_str(), sizeof(buf), buf, nullptr);
    return n > 0 && n < sizeof(buf) ? std::string(buf, n) : p;
}

void Print(const char* when, std::uint64_t block, const TProcessFigures& f, std::int64_t allocations)
{
    std::printf("%-8s block %7llu: handles %5lu, private bytes %10llu, threads %3lu, allocations %lld\n", when,
                static_cast<unsigned long long>(block), static_cast<unsigned long>(f.Handles),
                static_cast<unsigned long long>(f.PrivateBytes), static_cast<unsigned long>(f.Threads),
                static_cast<long long>(allocations));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    std::uint64_t blocks = 100000, warmup = 1000;
    std::wstring bridge = ProgramDirectory() + L"pelorin_measured.exe";
    std::string plugin;
    for (int i = 1; i < argc; ++i) {
        const std::string s = argv[i];
        const std::string v = i + 1 < argc ? argv[i + 1] : "";
        if (s == "--blocks")
            blocks = std::strtoull(v.c_str(), nullptr, 10), ++i;
        else if (s == "--warmup")
            warmup = std::strtoull(v.c_str(), nullptr, 10), ++i;
        else if (s == "--plugin")
            plugin = FullPathA(v), ++i;
        else if (s == "--bridge") {
            const std::string p = FullPathA(v);
            bridge.assign(p.begin(), p.end());
            ++i;
        } else {
            std::fprintf(stderr, "usage: pelorinsoak [--blocks N] [--warmup N] [--plugin dll] [--bridge exe]\n");
            return 2;
        }
    }
    if (plugin.empty()) {
        const std::wstring w = BuildPath(L"fixtures\\Survival_plain.dll");
        plugin = FullPathA(std::string(w.begin(), w.end()));
    }
    if (blocks < 2 * warmup)
        blocks = 2 * warmup;
    try {
        TBenchBridge b(bridge, 20000);
        b.Load(plugin, 512);
        Print("loaded", 0, b.Figures(), b.Allocations());

        std::vector<std::uint8_t> state;
        int failures = 0;
        std::uint64_t returned = 0, stateCycles = 0;
        TProcessFigures start, middle;
        float value = 0.5f;
        for (std::uint64_t k = 0; k < blocks; ++k) {
            if (k == warmup) {
                start = b.Figures();
                Print("start", k, start, b.Allocations());
            }
            if (k == warmup + (blocks - warmup) / 2) {
                middle = b.Figures();
                Print("middle", k, middle, b.Allocations());
            }
            if (k % 10 == 0) {
                value = value >= 0.75f ? 0.25f : value + 0.01f;
                failures += b.SetParam(static_cast<std::int32_t>(k / 10 % 2), value) ? 0 : 1;
            }
            if (k % 100 == 0)
                failures += b.RefreshDescription() ? 0 : 1;
            if (k % 1000 == 0) {
                failures += b.SaveState(state) && b.LoadState(state) ? 0 : 1;
                ++stateCycles;
            }
            b.Events.clear();
            TBridgeEvent e;
            std::memset(&e, 0, sizeof(e));
            e.Type = kEventMidi;
            e.DeltaFrames = static_cast<std::int32_t>(k % 512);
            e.Value1 = (k % 2 == 0 ? 0x90 : 0x80) | static_cast<std::int32_t>((48 + k / 2 % 24) << 8) | (100 << 16);
            b.Events.push_back(e);
            if (!b.Block())
                ++failures;
            returned += static_cast<std::uint64_t>(std::max(b.ReturnedEvents(), 0));
            if (failures > 10)
                break;
        }
        const TProcessFigures end = b.Figures();
        Print("end", blocks, end, b.Allocations());

        const bool handlesOk = end.Handles <= start.Handles;
        const bool threadsOk = end.Threads <= start.Threads;
        const bool bytesOk = end.PrivateBytes <= start.PrivateBytes + kPrivateTolerance &&
                             end.PrivateBytes <= middle.PrivateBytes;
        const bool answersOk = returned == blocks;
        std::printf("blocks %llu, state cycles %llu, MIDI events returned %llu, failures %d\n",
                    static_cast<unsigned long long>(blocks), static_cast<unsigned long long>(stateCycles),
                    static_cast<unsigned long long>(returned), failures);
        std::printf("growth after warm-up: handles %+ld, threads %+ld, private bytes %+lld (tolerance %llu, none "
                    "in the second half: %+lld)\n",
                    static_cast<long>(end.Handles) - static_cast<long>(start.Handles),
                    static_cast<long>(end.Threads) - static_cast<long>(start.Threads),
                    static_cast<long long>(end.PrivateBytes) - static_cast<long long>(start.PrivateBytes),
                    static_cast<unsigned long long>(kPrivateTolerance),
                    static_cast<long long>(end.PrivateBytes) - static_cast<long long>(middle.PrivateBytes));
        const bool ok = handlesOk && threadsOk && bytesOk && answersOk && failures == 0;
        std::printf("%s\n", ok ? "soak passed" : "SOAK FAILED");
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pelorinsoak: %s\n", e.what());
        return 1;
    }
}
