#include "MidiInput.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

namespace {

int DataBytesOf(std::uint8_t status)
{
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0: return 1;
    case 0x80:
    case 0x90:
    case 0xA0:
    case 0xB0:
    case 0xE0: return 2;
    default: return -1; // system messages are not carried
    }
}

bool ParseHexByte(const std::string& s, std::uint8_t& v)
{
    if (s.empty() || s.size() > 2)
        return false;
    char* end = nullptr;
    const long x = std::strtol(s.c_str(), &end, 16);
    if (*end != '\0' || x < 0 || x > 255)
        return false;
    v = static_cast<std::uint8_t>(x);
    return true;
}

void SortByFrame(std::vector<TMidiMessage>& v)
{
    std::stable_sort(v.begin(), v.end(), [](const TMidiMessage& a, const TMidiMessage& b) { return a.Frame < b.Frame; });
}

// Bounds-checked reader of the file's bytes.
struct TReader {
    const std::vector<std::uint8_t>& b;
    std::size_t pos;
    std::size_t end;
    bool ok = true;
    std::uint8_t Byte()
    {
        if (pos >= end) {
            ok = false;
            return 0;
        }
        return b[pos++];
    }
    std::uint32_t Be(int n)
    {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 8) | Byte();
        return v;
    }
    std::uint32_t Var()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t c = Byte();
            v = (v << 7) | (c & 0x7F);
            if ((c & 0x80) == 0)
                return v;
        }
        ok = false; // more than four bytes
        return v;
    }
    void Skip(std::uint32_t n)
    {
        if (n > end - pos) {
            ok = false;
            pos = end;
        } else {
            pos += n;
        }
    }
};

} // namespace

bool ParseMidiText(const std::string& text, std::int32_t sampleRate, std::vector<TMidiMessage>& out,
                   std::string& error)
{
    out.clear();
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string time;
        if (!(words >> time))
            continue;
        TMidiMessage m;
        char* end = nullptr;
        if (time.back() == 's') {
            const double seconds = std::strtod(time.c_str(), &end);
            if (end != time.c_str() + time.size() - 1 || !(seconds >= 0) || seconds > 1e6) {
                error = "line " + std::to_string(number) + ": bad time \"" + time + "\"";
                return false;
            }
            m.Frame = static_cast<std::int64_t>(std::llround(seconds * sampleRate));
        } else {
            const long long frame = std::strtoll(time.c_str(), &end, 10);
            if (*end != '\0' || frame < 0) {
                error = "line " + std::to_string(number) + ": bad time \"" + time + "\"";
                return false;
            }
            m.Frame = frame;
        }
        std::string word;
        std::uint8_t bytes[3] = {};
        int count = 0;
        while (words >> word) {
            if (count == 3 || !ParseHexByte(word, bytes[count])) {
                error = "line " + std::to_string(number) + ": bad MIDI bytes";
                return false;
            }
            ++count;
        }
        const int need = (bytes[0] & 0x80) != 0 ? DataBytesOf(bytes[0]) : -1;
        if (count == 0 || need < 0 || count != need + 1 || (bytes[1] & 0x80) || (bytes[2] & 0x80)) {
            error = "line " + std::to_string(number) + ": not a channel message";
            return false;
        }
        m.Packed = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16);
        out.push_back(m);
    }
    SortByFrame(out);
    return true;
}

bool ParseMidiFile(const std::vector<std::uint8_t>& bytes, std::int32_t sampleRate, std::vector<TMidiMessage>& out,
                   std::string& error)
{
    out.clear();
    TReader r{bytes, 0, bytes.size()};
    if (r.Be(4) != 0x4D546864 /* MThd */ || r.Be(4) < 6) {
        error = "not a MIDI file";
        return false;
    }
    const std::uint32_t format = r.Be(2);
    const std::uint32_t tracks = r.Be(2);
    const std::uint32_t division = r.Be(2);
    if (!r.ok || format > 1 || (division & 0x8000) != 0 || division == 0) {
        error = "unsupported MIDI file (format " + std::to_string(format) + ", division " + std::to_string(division) + ")";
        return false;
    }
    r.pos = 8 + ((bytes[4] << 24) | (bytes[5] << 16) | (bytes[6] << 8) | bytes[7]);

    struct TTickEvent {
        std::uint64_t Tick;
        std::uint32_t Packed;
    };
    std::vector<TTickEvent> events;
    std::map<std::uint64_t, std::uint32_t> tempos; // tick -> microseconds per quarter
    for (std::uint32_t t = 0; t < tracks; ++t) {
        if (r.pos > bytes.size() || bytes.size() - r.pos < 8) {
            error = "MIDI file ends before track " + std::to_string(t + 1);
            return false;
        }
        const std::uint32_t id = r.Be(4);
        const std::uint32_t length = r.Be(4);
        if (length > bytes.size() - r.pos) {
            error = "track " + std::to_string(t + 1) + " runs past the end of the file";
            return false;
        }
        TReader tr{bytes, r.pos, r.pos + length};
        r.pos += length;
        if (id != 0x4D54726B /* MTrk */)
            continue;
        std::uint64_t tick = 0;
        std::uint8_t running = 0;
        while (tr.ok && tr.pos < tr.end) {
            tick += tr.Var();
            std::uint8_t status = tr.Byte();
            if (status == 0xFF) {
                const std::uint8_t type = tr.Byte();
                const std::uint32_t len = tr.Var();
                if (type == 0x51 && len == 3) {
                    tempos[tick] = tr.Be(3);
                } else if (type == 0x2F) {
                    tr.Skip(len);
                    break;
                } else {
                    tr.Skip(len);
                }
                continue;
            }
            if (status == 0xF0 || status == 0xF7) {
                tr.Skip(tr.Var()); // system exclusive: not carried
                continue;
            }
            std::uint8_t first;
            if ((status & 0x80) == 0) {
                if (running == 0) {
                    error = "track " + std::to_string(t + 1) + ": data byte without a status";
                    return false;
                }
                first = status;
                status = running;
            } else {
                running = status;
                first = tr.Byte();
            }
            const int need = DataBytesOf(status);
            if (need < 0) {
                error = "track " + std::to_string(t + 1) + ": unexpected status byte";
                return false;
            }
            const std::uint8_t second = need == 2 ? tr.Byte() : 0;
            if (tr.ok)
                events.push_back({tick, static_cast<std::uint32_t>(status | (first << 8) | (second << 16))});
        }
        if (!tr.ok) {
            error = "track " + std::to_string(t + 1) + " is truncated";
            return false;
        }
    }
    std::stable_sort(events.begin(), events.end(), [](const TTickEvent& a, const TTickEvent& b) { return a.Tick < b.Tick; });

    // Ticks to seconds through the tempo map (120 BPM until the first change).
    for (const auto& e : events) {
        double seconds = 0;
        std::uint64_t last = 0;
        std::uint32_t tempo = 500000;
        for (const auto& [at, value] : tempos) {
            if (at >= e.Tick)
                break;
            seconds += static_cast<double>(at - last) * tempo / (1e6 * division);
            last = at;
            tempo = value;
        }
        seconds += static_cast<double>(e.Tick - last) * tempo / (1e6 * division);
        out.push_back({static_cast<std::int64_t>(std::llround(seconds * sampleRate)), e.Packed});
    }
    return true;
}

bool ParseMidiInput(const std::vector<std::uint8_t>& bytes, std::int32_t sampleRate, std::vector<TMidiMessage>& out,
                    std::string& error)
{
    if (bytes.size() >= 4 && bytes[0] == 'M' && bytes[1] == 'T' && bytes[2] == 'h' && bytes[3] == 'd')
        return ParseMidiFile(bytes, sampleRate, out, error);
    return ParseMidiText(std::string(bytes.begin(), bytes.end()), sampleRate, out, error);
}
