#include "VSTPlugCore.h"

#include "FileRoutines.h"

#include <cmath>
#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------------------
// Host identity

namespace {

struct TCanDoAnswer {
    const char* Text;
    VstIntPtr Answer;
};

constexpr TCanDoAnswer kCanDoTable[] = {
    {"sendVstEvents", 1},         {"sendVstMidiEvent", 1},         {"supportShell", 1},
    {"sendVstTimeInfo", 1},       {"supplyIdle", 1},               {"acceptIOChanges", 1},
    {"receiveVstMidiEvent", 1},   {"shellCategory", 1},            {"receiveVstEvents", -1},
    {"receiveVstTimeInfo", -1},   {"reportConnectionChanges", -1}, {"asyncProcessing", -1},
    {"offline", -1},
};

bool IsSeparator(char c)
{
    return c == '\\' || c == '/' || c == ':';
}

std::size_t NameStart(const std::string& FileName)
{
    for (std::size_t i = FileName.size(); i > 0; --i) {
        if (IsSeparator(FileName[i - 1]))
            return i;
    }
    return 0;
}

} // namespace

VstIntPtr VstHostCanDo(const char* Text, bool HostResizes)
{
    if (Text == nullptr)
        return 0;
    if (std::strcmp(Text, "sizeWindow") == 0)
        return HostResizes ? 1 : -1;
    for (const TCanDoAnswer& row : kCanDoTable) {
        if (std::strcmp(Text, row.Text) == 0)
            return row.Answer;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Names and texts

std::string VstNameFromFileName(const std::string& FileName)
{
    std::string name = FileName.substr(NameStart(FileName));
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos)
        name.erase(dot);
    if (name.rfind("Vornish ", 0) == 0) {
        for (std::size_t i = 0; i < name.size(); ++i) {
            if ((i == 0 || name[i - 1] == ' ') && name[i] >= 'a' && name[i] <= 'z')
                name[i] = static_cast<char>(name[i] - 'a' + 'A');
        }
    }
    return name;
}

std::string VstModuleDirectory(const std::string& FileName)
{
    std::string dir = FileName.substr(0, NameStart(FileName));
    if (dir.size() > 260)
        dir.resize(260);
    return dir;
}

std::string VstVersionString(VstInt32 Version)
{
    if (Version <= 1)
        return "1.0";
    if (Version == 2)
        return "2.0";
    const int major = Version / 1000;
    const int minor = (Version % 1000) / 100;
    const int third = (Version % 100) / 10;
    const int fourth = Version % 10;
    char text[64];
    int n = std::snprintf(text, sizeof text, "%d.%d", major, minor);
    if (third != 0 || fourth != 0)
        n += std::snprintf(text + n, sizeof text - n, ".%d", third);
    if (fourth != 0)
        std::snprintf(text + n, sizeof text - n, ".%d", fourth);
    return text;
}

std::string VstCategoryString(VstInt32 Category, bool IsSynth)
{
    static constexpr const char* kNames[] = {"effect",      "synth",       "analysis", "mastering",
                                             "spacializer", "room fx",     "surround fx", "restoration",
                                             "offline",     "shell",       "generator"};
    if (Category >= kPlugCategEffect && Category <= kPlugCategGenerator)
        return kNames[Category - kPlugCategEffect];
    return IsSynth ? "synth" : "effect";
}

void ApplyLevelBarRule(std::u16string& Text, bool Unicode)
{
    if (Text.size() != 19)
        return;
    for (char16_t c : Text) {
        if (c != u'-' && c != 127)
            return;
    }
    for (char16_t& c : Text) {
        if (c == 127)
            c = Unicode ? u'\u25AA' : u'|';
        else
            c = Unicode ? u'\u25AB' : u'\'';
    }
}

std::string VstFieldText(const char* Field, std::size_t FieldSize, std::size_t MaxChars)
{
    const std::size_t limit = FieldSize < MaxChars ? FieldSize : MaxChars;
    std::size_t n = 0;
    while (n < limit && Field[n] != '\0')
        ++n;
    return std::string(Field, n);
}

// ---------------------------------------------------------------------------
// Keys

unsigned char VstVirtualKey(std::int32_t WindowsKey)
{
    for (const TVstKeyMapEntry& entry : kVstKeyMap) {
        if (entry.WindowsKey == WindowsKey)
            return entry.VstKey;
    }
    return 0;
}

VstKeyCode MakeVstKeyCode(std::int32_t Key, TShiftState Shift)
{
    VstKeyCode code{};
    code.character = (Key >= 'A' && Key <= 'Z') ? Key + 32 : Key;
    code.virt = VstVirtualKey(Key);
    code.modifier = static_cast<unsigned char>(((Shift & kShiftStateShift) ? MODIFIER_SHIFT : 0) |
                                               ((Shift & kShiftStateAlt) ? MODIFIER_ALTERNATE : 0) |
                                               ((Shift & kShiftStateControl) ? MODIFIER_CONTROL : 0));
    return code;
}

// ---------------------------------------------------------------------------
// Time information

std::int32_t VstHostTimeRequest(VstInt32 Value, bool CycleAllowed)
{
    const bool cycle = CycleAllowed && (Value & kVstCyclePosValid) != 0;
    std::int32_t request = 0;
    if ((Value & (kVstPpqPosValid | kVstBarsValid)) != 0 || cycle)
        request |= 0x01;
    if ((Value & kVstClockValid) != 0)
        request |= 0x02;
    if (cycle)
        request |= 0x08;
    return request;
}

void FillVstTimeInfo(const TVstTimeState& State, VstInt32 Value, const THostTimeInfo& HostInfo, VstTimeInfo& Info)
{
    Info = VstTimeInfo{};
    Info.samplePos = State.SongPosition;
    Info.sampleRate = State.SampleRate;

    VstInt32 flags = kVstAutomationWriting | kVstAutomationReading;
    if (State.Playing)
        flags |= kVstTransportPlaying | kVstTransportCycleActive;
    if (State.Changed)
        flags |= kVstTransportChanged;

    if ((Value & kVstNanosValid) != 0) {
        const std::int64_t nanos = static_cast<std::int64_t>(State.ElapsedMs) * 1000000;
        Info.nanoSeconds = static_cast<double>(nanos);
        flags |= kVstNanosValid;
    }
    if ((Value & kVstPpqPosValid) != 0) {
        Info.ppqPos = HostInfo.PpqPos;
        flags |= kVstPpqPosValid;
    }
    if ((Value & kVstTempoValid) != 0) {
        Info.tempo = State.Tempo;
        flags |= kVstTempoValid;
    }
    // The bar start comes from the host's position, also when the plugin did
    // not ask for the position itself. Without a bar length it stays 0.
    if ((Value & kVstBarsValid) != 0) {
        if (State.StepsPerBar > 0) {
            const float bars = static_cast<float>(HostInfo.PpqPos / State.StepsPerBar);
            Info.barStartPos = static_cast<double>(std::trunc(bars)) * State.StepsPerBar;
        }
        flags |= kVstBarsValid;
    }
    if (State.CycleAllowed && (Value & kVstCyclePosValid) != 0) {
        Info.cycleStartPos = HostInfo.CycleStart;
        Info.cycleEndPos = HostInfo.CycleEnd;
        flags |= kVstCyclePosValid;
    }
    // Steps per bar over steps per beat, rounded up: 14/4 steps give 4/4.
    if ((Value & kVstTimeSigValid) != 0 && State.StepsPerBeat > 0) {
        const double q = static_cast<double>(State.StepsPerBar) / State.StepsPerBeat;
        std::int32_t numerator = static_cast<std::int32_t>(std::trunc(static_cast<float>(q)));
        if (numerator != q)
            ++numerator;
        Info.timeSigNumerator = numerator;
        Info.timeSigDenominator = State.StepsPerBeat;
        flags |= kVstTimeSigValid;
    }
    // No SMPTE data: kVstSmpteValid stays clear.
    if ((Value & kVstClockValid) != 0 && HostInfo.SamplesPerClock > 0) {
        const std::int32_t step = HostInfo.SamplesPerClock;
        if (State.SongPosition != 0) {
            const std::int32_t into = ((State.SongPosition % step) + step) % step;
            Info.samplesToNextClock = step - into;
        }
        flags |= kVstClockValid;
    }
    Info.flags = flags;
}

// ---------------------------------------------------------------------------
// Buses

std::vector<TBusInfo> VstPinsToBuses(const std::vector<TVstPinAnswer>& Pins)
{
    std::vector<TBusInfo> buses;
    int pending = 0;
    for (std::size_t i = 0; i < Pins.size(); ++i) {
        const TVstPinAnswer& answer = Pins[i];
        if (answer.Answered) {
            const std::string label = VstFieldText(answer.Pin.label, sizeof answer.Pin.label, 63);
            const bool stereo = (answer.Pin.flags & kVstPinIsStereo) != 0;
            if (!buses.empty() && pending == 1 && (buses.back().Channels == 2 || !stereo)) {
                // This pin is the second channel of the open bus.
                pending = 0;
                TBusInfo& bus = buses.back();
                const std::string name = VstFieldText(bus.Name, sizeof bus.Name, 63);
                if (label != name) {
                    std::string joined = name + " / " + label;
                    if (joined.size() > 63)
                        joined.resize(63);
                    FillZero(bus.Name, sizeof bus.Name);
                    std::memcpy(bus.Name, joined.data(), joined.size());
                }
            } else {
                TBusInfo bus{};
                std::memcpy(bus.Name, label.data(), label.size());
                bus.DefaultActive = (answer.Pin.flags & kVstPinIsActive) != 0;
                bus.Channels = 1;
                if (stereo) {
                    bus.Channels = 2;
                    ++pending;
                }
                buses.push_back(bus);
            }
        } else if ((i % 2) == 1 && !buses.empty()) {
            buses.back().Channels = 2;
        } else {
            TBusInfo bus{};
            bus.DefaultActive = true;
            bus.Channels = 1;
            buses.push_back(bus);
        }
    }
    return buses;
}

// ---------------------------------------------------------------------------
// Events

void EncodeVstMidiMessage(VstMidiEvent& Event, std::int32_t Msg, std::int32_t DeltaFrames)
{
    const auto bits = static_cast<std::uint32_t>(Msg);
    for (int i = 0; i < 4; ++i)
        Event.midiData[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    Event.deltaFrames = DeltaFrames;
}

void EncodeVstNote(VstMidiEvent& Event, bool NoteOn, std::uint8_t Velocity, float Pitch, std::uint8_t Channel,
                   bool Realtime, std::int32_t DeltaFrames)
{
    const double rounded = RoundHalfEven(Pitch);
    Event.midiData[0] = static_cast<char>((NoteOn ? 0x90 : 0x80) | (Channel & 0x0F));
    Event.midiData[1] = static_cast<char>(ClampMidiNote(rounded));
    Event.midiData[2] = static_cast<char>(Velocity);
    Event.midiData[3] = 0;
    // The fraction is at most half a semitone, so the cents fit a signed byte.
    Event.detune = static_cast<char>(static_cast<std::int32_t>(RoundHalfEven((Pitch - rounded) * 100.0)));
    Event.deltaFrames = DeltaFrames;
    Event.flags = Realtime ? kVstMidiEventIsRealtime : 0;
    if (!NoteOn)
        Event.noteOffVelocity = static_cast<char>(Velocity);
}

TVstEventQueue::TVstEventQueue()
{
    EnsureListBytes(VstEventsBytes(0));
}

template <class Fill>
void TVstEventQueue::Queue(Fill&& fill)
{
    std::lock_guard<std::mutex> guard(Lock);
    auto* item = static_cast<TVstQueuedEvent*>(Items.Add());
    FillZero(item, sizeof *item);
    item->Size = sizeof(VstMidiEvent);
    item->Event.type = kVstMidiType;
    item->Event.byteSize = sizeof(VstMidiEvent) - 8;
    fill(item->Event);
}

void TVstEventQueue::QueueMidiMessage(std::int32_t Msg, std::int32_t DeltaFrames)
{
    Queue([&](VstMidiEvent& e) { EncodeVstMidiMessage(e, Msg, DeltaFrames); });
}

void TVstEventQueue::QueueNote(bool NoteOn, std::uint8_t Velocity, float Pitch, std::uint8_t Channel, bool Realtime,
                               std::int32_t DeltaFrames)
{
    Queue([&](VstMidiEvent& e) { EncodeVstNote(e, NoteOn, Velocity, Pitch, Channel, Realtime, DeltaFrames); });
}

std::int32_t TVstEventQueue::PendingCount()
{
    std::lock_guard<std::mutex> guard(Lock);
    return Items.Count;
}

void TVstEventQueue::EnsureListBytes(std::size_t bytes)
{
    const std::size_t words = (bytes + sizeof(VstIntPtr) - 1) / sizeof(VstIntPtr);
    if (Buffer.size() < words)
        Buffer.resize(words, 0);
}

VstEvents* TVstEventQueue::BuildList(bool Accepting)
{
    std::lock_guard<std::mutex> guard(Lock);
    const std::int32_t n = Items.Count;
    if (Accepting) {
        EnsureListBytes(VstEventsBytes(static_cast<std::size_t>(n)));
        VstEvents* list = List();
        list->numEvents = n;
        list->reserved = 0;
        // The pointers run past the two that the record declares.
        auto** slots = reinterpret_cast<VstEvent**>(reinterpret_cast<char*>(list) + offsetof(VstEvents, events));
        for (std::int32_t i = 0; i < n; ++i) {
            auto* item = static_cast<TVstQueuedEvent*>(Items.Get(i));
            void* copy = Copies.Add();
            const std::size_t size = item->Size > 0 && static_cast<std::size_t>(item->Size) <= sizeof(VstMidiEvent)
                                         ? static_cast<std::size_t>(item->Size)
                                         : sizeof(VstMidiEvent);
            FillZero(copy, sizeof(VstMidiEvent));
            std::memcpy(copy, &item->Event, size);
            slots[i] = static_cast<VstEvent*>(copy);
            item->Size = 0;
            item->Reserved = 0;
        }
    }
    Items.SetCount(0);
    return List();
}

void TVstEventQueue::ReleaseList()
{
    Copies.SetCount(0);
    List()->numEvents = 0;
}
