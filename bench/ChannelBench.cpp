// Round trip of one audio command carrying a 512-frame stereo block between
// two processes, measured next to a bare two-event ping-pong between the same
// two processes in the same run. Prints median and 99th percentile of each
// and their ratios, and the allocations made by both sides while measuring.
//   channelbench [rounds]

#include "AllocationCounter.h"
#include "BridgeHost.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::uint32_t kProcess = 0x04000000;
const std::uint32_t kAllocations = 0x04000001;
const int kFrames = 512;
const int kChannels = 2;

std::wstring PeerPath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path);
    return p.substr(0, p.find_last_of(L"\\/") + 1) + L"benchpeer.exe";
}

double Percentile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())));
    return v[i];
}

std::int64_t PeerAllocations(TSharedMemoryIntf& ch)
{
    std::int64_t result = 0, p1 = 0, p2 = 0;
    std::wstring text;
    ch.SendCommandFull(kAllocations, result, 0, 0, p1, p2, text, 0, 0, nullptr, false);
    return p1;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int perRound = 250;
    try {
        TBridgeHost host;
        host.Launch(PeerPath());
        host.WaitConnected(10000);
        TSharedMemoryIntf& ch = host.Channel();
        TOwnedHandle request(CreateEventW(nullptr, FALSE, FALSE, (host.BaseName() + L"_pp_0").c_str()));
        TOwnedHandle reply(CreateEventW(nullptr, FALSE, FALSE, (host.BaseName() + L"_pp_1").c_str()));

        const std::int64_t inBytes = kFrames * kChannels * static_cast<std::int64_t>(sizeof(float));
        std::vector<float> block(static_cast<std::size_t>(2 * kFrames * kChannels));
        for (std::size_t i = 0; i < block.size() / 2; ++i)
            block[i] = static_cast<float>(i) * 0.001f;
        std::vector<double> command, pingPong;
        command.reserve(static_cast<std::size_t>(rounds * perRound));
        pingPong.reserve(static_cast<std::size_t>(rounds * perRound));
        std::wstring text;
        text.reserve(300);
        int failures = 0;

        auto oneCommand = [&] {
            std::int64_t result = 0, p1 = 0, p2 = 0;
            if (!ch.SendCommandFull(kProcess, result, 0, 0, p1, p2, text, inBytes, 2 * inBytes, block.data(), true) ||
                result != 1)
                ++failures;
        };
        auto onePing = [&] {
            ResetEvent(reply.Get());
            SetEvent(request.Get());
            if (WaitForSingleObject(reply.Get(), 5000) != WAIT_OBJECT_0)
                ++failures;
        };
        for (int i = 0; i < 200; ++i) { // warm-up: pages, caches, scheduler
            oneCommand();
            onePing();
        }

        const std::size_t hostBefore = AllocationCount();
        const std::int64_t peerBefore = PeerAllocations(ch);
        using TClock = std::chrono::steady_clock;
        // Alternating rounds, so that both figures see the same machine state.
        for (int r = 0; r < rounds; ++r) {
            for (int i = 0; i < perRound; ++i) {
                const auto t0 = TClock::now();
                oneCommand();
                const auto t1 = TClock::now();
                command.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            }
            for (int i = 0; i < perRound; ++i) {
                const auto t0 = TClock::now();
                onePing();
                const auto t1 = TClock::now();
                pingPong.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            }
        }
        const std::size_t hostAllocations = AllocationCount() - hostBefore;
        const std::int64_t peerAllocations = PeerAllocations(ch) - peerBefore;

        const bool outputOk = block[block.size() / 2 + 5] == block[5];
        const double cm = Percentile(command, 0.5), c99 = Percentile(command, 0.99);
        const double pm = Percentile(pingPong, 0.5), p99 = Percentile(pingPong, 0.99);
        std::printf("audio command, %d frames x %d channels (%lld bytes in, %lld back), %zu round trips\n", kFrames,
                    kChannels, static_cast<long long>(inBytes), static_cast<long long>(2 * inBytes), command.size());
        std::printf("  command:    median %8.1f us   p99 %8.1f us\n", cm, c99);
        std::printf("  two events: median %8.1f us   p99 %8.1f us\n", pm, p99);
        std::printf("  ratio:      median %8.2f      p99 %8.2f\n", cm / pm, c99 / p99);
        std::printf("  allocations while measuring: host %zu, bridge side %lld\n", hostAllocations,
                    static_cast<long long>(peerAllocations));
        std::printf("  failures: %d, output block %s\n", failures, outputOk ? "correct" : "WRONG");
        return failures == 0 && outputOk ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "channelbench: %s\n", e.what());
        return 1;
    }
}
