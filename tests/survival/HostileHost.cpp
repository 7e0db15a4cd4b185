// A hostile host: drives the real pelorin.exe with malformed input drawn at
// random from a seed, and checks after every input that the bridge neither
// crashed nor hangs, still processes a correct block correctly, and wrote
// nothing outside what it may touch (after a load request: answers).
//   hostilehost [--seed S] [--count N] [--seconds T] [--plugin dll]
// Inputs: audio commands whose record and process block carry wrong sizes,
// counts and offsets; state frames and fetches with wrong counts; load blocks
// full of noise; channel sizes in the header block that do not match the
// blocks; window codes with wrong values. Input i uses the seed S + i; a
// failure prints it, and "--seed <that seed> --count 1" replays the input on
// a fresh bridge.
//
// Canaries: before each command the rest of the command's block after the
// data sent is filled with a pattern; the bridge's answer may not change it
// (our gain plugin returns no events, so the block never grows).

#include "SurvivalSupport.h"

#include <cstdio>
#include <cstring>
#include <random>

namespace {

constexpr std::uint8_t kCanary = 0xA5;
constexpr DWORD kReplyLimitMs = 5000;

struct TFailure {
    std::uint64_t Seed;
    std::string What;
};

class THostile {
public:
    explicit THostile(std::string plugin) : plugin_(std::move(plugin)) {}

    void Restart()
    {
        host_.reset();
        host_ = StartBridge(plugin_, kReplyLimitMs);
        ++bridges_;
    }

    // One input from seed; empty when the bridge came through it.
    std::string Run(std::uint64_t seed)
    {
        if (!host_)
            Restart();
        std::mt19937_64 rng(seed);
        const int kind = static_cast<int>(rng() % 100);
        std::string what;
        bool restartAfter = false;
        if (kind < 45)
            kindName_ = "an audio command", what = Process(rng);
        else if (kind < 65)
            kindName_ = "a state command", what = State(rng);
        else if (kind < 75)
            kindName_ = "a wrong channel size", what = HeaderSizes(rng);
        else if (kind < 95)
            kindName_ = "a window code", what = WindowCode(rng);
        else {
            kindName_ = "a load block", what = Load(rng);
            restartAfter = true; // the next inputs start from a known plugin again
        }
        if (what.empty()) {
            // After a load request the bridge holds whatever it loaded (or
            // nothing), switched off: it must answer, not process.
            what = Check(!restartAfter);
            if (!what.empty())
                what = std::string("after ") + kindName_ + ": " + what;
        }
        if (!what.empty() || restartAfter) {
            try {
                Restart();
            } catch (const std::exception& e) {
                if (what.empty())
                    what = std::string("a new bridge did not start: ") + e.what();
            }
        }
        return what;
    }

    int Bridges() const { return bridges_; }

private:
    TSharedMemoryIntf& Ch() { return host_->Channel(); }

    // Writes a record and data straight into the channel's block and sends it.
    // recordSize is what the record claims; data is what is really there.
    // Returns an error text, empty on an answer.
    std::string Raw(std::uint32_t code, std::int32_t index, std::int32_t value, std::int64_t recordSize,
                    const std::vector<std::uint8_t>& data, std::int64_t* returnedSize = nullptr)
    {
        TShare& ch = Ch().Channel(ChannelOfCode(code));
        std::lock_guard<std::mutex> lock(ch.SendLock());
        TCommandRecord* rec = ch.Record();
        if (rec == nullptr)
            return "no block on the channel";
        const std::int64_t room = ch.ViewBytes() - kRecordSize;
        const std::size_t n = std::min<std::size_t>(data.size(), static_cast<std::size_t>(std::max<std::int64_t>(room, 0)));
        auto* bytes = reinterpret_cast<std::uint8_t*>(rec) + kRecordSize;
        std::memcpy(bytes, data.data(), n);
        std::memset(bytes + n, kCanary, static_cast<std::size_t>(room) - n);
        std::memset(rec, 0, kRecordSize);
        rec->Command = code;
        rec->Index = index;
        rec->Value = value;
        rec->DataSize = recordSize;
        if (!ch.SendAndWait(kReplyLimitMs) || rec->Command != kCommandDone)
            return "no answer within " + std::to_string(kReplyLimitMs) + " ms";
        const std::int64_t returned = rec->DataSize;
        if (returnedSize != nullptr)
            *returnedSize = returned;
        // What the bridge may have written: the data it was given, what it
        // says it wrote, and for an audio command the block's audio area
        // (2 inputs and 2 outputs of Frames samples), which may lie beyond the
        // sent data as long as it fits the block.
        std::int64_t mayTouch = std::max<std::int64_t>(std::min<std::int64_t>(recordSize, static_cast<std::int64_t>(n)), returned);
        if (code == kCmdProcess && n >= sizeof(TProcessBlock)) {
            std::int32_t frames;
            std::memcpy(&frames, data.data() + offsetof(TProcessBlock, Frames), 4);
            if (frames > 0)
                mayTouch = std::max<std::int64_t>(mayTouch, static_cast<std::int64_t>(sizeof(TProcessBlock)) +
                                                                16 * static_cast<std::int64_t>(frames));
        }
        mayTouch = std::clamp<std::int64_t>(mayTouch, 0, room);
        for (std::int64_t i = std::max<std::int64_t>(mayTouch, static_cast<std::int64_t>(n)); i < room; ++i)
            if (bytes[i] != kCanary)
                return "the bridge wrote at data offset " + std::to_string(i) + " beyond the " +
                       std::to_string(mayTouch) + " bytes it may touch";
        return {};
    }

    static std::int64_t Wild(std::mt19937_64& rng, std::int64_t sane)
    {
        switch (rng() % 8) {
        case 0: return -static_cast<std::int64_t>(rng() % 100000) - 1;
        case 1: return static_cast<std::int64_t>(rng() % 0x7FFFFFFF);
        case 2: return std::numeric_limits<std::int32_t>::max();
        case 3: return std::numeric_limits<std::int32_t>::min();
        case 4: return 0;
        case 5: return sane + static_cast<std::int64_t>(rng() % 64) - 32;
        case 6: return static_cast<std::int64_t>(rng() % 8192);
        default: return sane;
        }
    }

    std::string Process(std::mt19937_64& rng)
    {
        TAudioBlock good;
        std::vector<std::uint8_t> d = good.Data;
        auto& h = *reinterpret_cast<TProcessBlock*>(d.data());
        h.Frames = static_cast<std::int32_t>(Wild(rng, 512));
        h.EventOffset = static_cast<std::int32_t>(Wild(rng, h.EventOffset));
        h.EventCount = static_cast<std::int32_t>(Wild(rng, 0));
        h.Header.BlockSize = static_cast<std::int32_t>(Wild(rng, 512));
        h.Header.SampleRate = static_cast<std::int32_t>(Wild(rng, 44100));
        if (rng() % 4 == 0)
            h.BlockFlags = static_cast<std::uint8_t>(rng());
        if (rng() % 4 == 0)
            for (auto& w : h.Header.InputBusActive)
                w = static_cast<std::uint32_t>(rng());
        if (rng() % 8 == 0) // random events in the event area
            for (std::size_t i = static_cast<std::size_t>(good.Data.size() - 16 * sizeof(TBridgeEvent)); i < d.size(); ++i)
                d[i] = static_cast<std::uint8_t>(rng());
        std::size_t sent = d.size();
        if (rng() % 3 == 0)
            sent = static_cast<std::size_t>(rng() % d.size()); // cut short
        d.resize(sent);
        const std::int64_t claimed = rng() % 3 == 0 ? Wild(rng, static_cast<std::int64_t>(sent))
                                                    : static_cast<std::int64_t>(sent);
        std::int64_t returned = 0;
        std::string e = Raw(kCmdProcess, static_cast<std::int32_t>(Wild(rng, 0)), 0, claimed, d, &returned);
        if (e.empty() && returned > std::max<std::int64_t>(claimed, 0))
            e = "the answer grew from " + std::to_string(claimed) + " to " + std::to_string(returned) + " bytes";
        return e.empty() ? e : "audio command: " + e;
    }

    std::string State(std::mt19937_64& rng)
    {
        if (rng() % 2 == 0) {
            std::vector<std::uint8_t> d(static_cast<std::size_t>(rng() % 4096));
            for (auto& b : d)
                b = static_cast<std::uint8_t>(rng());
            if (d.size() >= 8) {
                const std::int64_t count = Wild(rng, static_cast<std::int64_t>(d.size()) - 8);
                std::memcpy(d.data(), &count, 8);
            }
            const std::int64_t claimed = rng() % 3 == 0 ? Wild(rng, static_cast<std::int64_t>(d.size()))
                                                        : static_cast<std::int64_t>(d.size());
            const std::string e = Raw(kCmdLoadState, static_cast<std::int32_t>(rng() % 6), 0, claimed, d);
            return e.empty() ? e : "state load: " + e;
        }
        // A save, then a fetch whose wanted count and size are wrong.
        std::int64_t saved = 0;
        if (!Ch().SendCommandData(kCmdSaveState, saved, 0, 0, nullptr, false, static_cast<std::int32_t>(rng() % 4)))
            return "state save: no answer";
        std::vector<std::uint8_t> d(static_cast<std::size_t>(rng() % 16));
        const std::uint32_t wanted = static_cast<std::uint32_t>(Wild(rng, saved));
        if (d.size() >= 4)
            std::memcpy(d.data(), &wanted, 4);
        const std::int64_t claimed = static_cast<std::int64_t>(d.size());
        // The bridge may write the state after the 8-byte head: at most what it saved.
        d.resize(std::max<std::size_t>(d.size(), 8 + static_cast<std::size_t>(std::max<std::int64_t>(saved, 0))), kCanary);
        const std::string e = Raw(kCmdFetchState, 0, 0, claimed, d);
        return e.empty() ? e : "state fetch: " + e;
    }

    std::string HeaderSizes(std::mt19937_64& rng)
    {
        THeaderBlock* header = Ch().Header();
        const int channel = 1 + static_cast<int>(rng() % 4);
        if (channel == kHostChannel)
            return {};
        const std::int64_t real = header->ChannelSize[channel];
        header->ChannelSize[channel] = Wild(rng, real);
        // A command on that channel makes the bridge follow the wrong size.
        std::string e;
        if (channel == kAudioChannel) {
            TAudioBlock b;
            Raw(kCmdProcess, 0, 0, static_cast<std::int64_t>(b.Data.size()), b.Data);
        } else {
            std::int64_t result = 0;
            Ch().SendCommandResult(channel == kDescriptionChannel ? kCmdRefreshDescription : kCmdReset, result, 0,
                                   0, 0, 0, std::wstring());
        }
        header->ChannelSize[channel] = real;
        // The bridge follows the right size again at the next command.
        if (channel == kAudioChannel)
            return {};
        std::int64_t result = 0;
        if (!Ch().SendCommandResult(channel == kDescriptionChannel ? kCmdRefreshDescription : kCmdReset, result, 0, 0,
                                    0, 0, std::wstring()))
            e = "no answer on channel " + std::to_string(channel) + " after its size was restored";
        return e;
    }

    std::string WindowCode(std::mt19937_64& rng)
    {
        std::uint32_t code = 0xFF000000u + static_cast<std::uint32_t>(rng() % 16);
        if (code == kCodeHostCloses || code == kCodeBridgeCloses || code == kCodeLoadPlugin)
            code = kCodeDropBlock; // a closing code ends the bridge rightly; loads have their own inputs
        if (rng() % 4 == 0)
            code = static_cast<std::uint32_t>(rng());
        const std::int32_t value = static_cast<std::int32_t>(Wild(rng, static_cast<std::int64_t>(rng() % 8)));
        if (rng() % 2 == 0)
            host_->PostCode(code, value);
        else
            host_->SendCode(code, value);
        Sleep(2); // let a posted code arrive before the check
        return {};
    }

    std::string Load(std::mt19937_64& rng)
    {
        auto* load = static_cast<std::uint8_t*>(Ch().LoadBlock());
        const std::size_t size = sizeof(TLoadBlock);
        const std::size_t noisy = static_cast<std::size_t>(rng() % size);
        for (std::size_t i = 0; i < noisy; ++i)
            load[rng() % size] = static_cast<std::uint8_t>(rng());
        auto* block = reinterpret_cast<TLoadBlock*>(load);
        if (rng() % 2 == 0) {
            std::memset(block->FileName, 0, sizeof(block->FileName));
            std::strncpy(block->FileName, plugin_.c_str(), sizeof(block->FileName) - 1);
            block->Kind = rng() % 2 == 0 ? kKindVst2 : static_cast<std::int32_t>(rng() % 16);
        }
        host_->PostCode(kCodeLoadPlugin, static_cast<std::int32_t>(rng()));
        try {
            host_->WaitForCode(kCodePluginLoaded, 20000);
        } catch (const std::exception& e) {
            return std::string("load: ") + e.what();
        }
        DWORD code = 0;
        if (host_->WaitProcessExit(0, code))
            return "load: the bridge ended with exit code " + std::to_string(code);
        return {};
    }

    // The bridge is alive and still processes a correct block correctly.
    std::string Check(bool processes)
    {
        DWORD code = 0;
        if (host_->WaitProcessExit(0, code)) {
            char hex[16];
            std::snprintf(hex, sizeof(hex), "0x%08lX", static_cast<unsigned long>(code));
            return std::string("the bridge ended, exit code ") + hex;
        }
        if (!host_->Connected())
            return "the bridge closed the channel";
        TAudioBlock b;
        if (!b.Send(Ch()))
            return "a correct block got no answer within " + std::to_string(kReplyLimitMs) + " ms";
        if (processes && !b.OutputIsInput()) {
            const auto* in = reinterpret_cast<const float*>(b.Data.data() + sizeof(TProcessBlock));
            return "a correct block came back wrong (sample 100: " + std::to_string(in[1024 + 100]) + " for " +
                   std::to_string(in[100]) + ")";
        }
        return {};
    }

    const std::string plugin_;
    const char* kindName_ = "";
    std::unique_ptr<TBridgeHost> host_;
    int bridges_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    std::uint64_t seed = GetTickCount64();
    std::uint64_t count = 1000;
    double seconds = 60;
    std::string plugin = Fixture("Survival_plain.dll");
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i], v = argv[i + 1];
        if (a == "--seed")
            seed = std::strtoull(v.c_str(), nullptr, 0);
        else if (a == "--count")
            count = std::strtoull(v.c_str(), nullptr, 0);
        else if (a == "--seconds")
            seconds = std::strtod(v.c_str(), nullptr);
        else if (a == "--plugin")
            plugin = v;
        else {
            std::fprintf(stderr, "usage: hostilehost [--seed S] [--count N] [--seconds T] [--plugin dll]\n");
            return 2;
        }
    }
    std::printf("hostile host: seed %llu, at most %llu inputs, at most %.0f s\n", static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(count), seconds);
    std::fflush(stdout);
    std::vector<TFailure> failures;
    std::uint64_t done = 0;
    const auto t0 = std::chrono::steady_clock::now();
    try {
        THostile hostile(plugin);
        for (; done < count && MsSince(t0) < seconds * 1000; ++done) {
            const std::uint64_t s = seed + done;
            const std::string what = hostile.Run(s);
            if (!what.empty()) {
                failures.push_back({s, what});
                std::printf("FAILED input seed %llu: %s (replay: hostilehost --seed %llu --count 1)\n",
                            static_cast<unsigned long long>(s), what.c_str(), static_cast<unsigned long long>(s));
                std::fflush(stdout);
            }
        }
        std::printf("%llu inputs in %.1f s against %d bridge(s): %zu failure(s)\n", static_cast<unsigned long long>(done),
                    MsSince(t0) / 1000, hostile.Bridges(), failures.size());
    } catch (const std::exception& e) {
        std::printf("hostilehost: %s (at input seed %llu)\n", e.what(), static_cast<unsigned long long>(seed + done));
        return 1;
    }
    return failures.empty() ? 0 : 1;
}
