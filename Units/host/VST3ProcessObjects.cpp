#include "VST3ProcessObjects.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

using namespace Vst3;

// --- Parameter value queue -----------------------------------------------------

TVST3ParamValueQueue::~TVST3ParamValueQueue()
{
    if (Owner)
        Owner->Remove(this);
}

void TVST3ParamValueQueue::Reuse(ParamID id)
{
    ParameterID = id;
    std::snprintf(Key, sizeof Key, "%u", static_cast<unsigned>(id));
    Points.clear();
}

tresult VST3CALL TVST3ParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value)
{
    if (index < 0 || static_cast<std::size_t>(index) >= Points.size())
        return kResultFalse;
    sampleOffset = Points[static_cast<std::size_t>(index)].Offset;
    value = Points[static_cast<std::size_t>(index)].Value;
    return kResultOk;
}

tresult VST3CALL TVST3ParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index)
{
    const auto at = std::lower_bound(Points.begin(), Points.end(), sampleOffset,
                                     [](const TPoint& p, int32 offset) { return p.Offset < offset; });
    if (at != Points.end() && at->Offset == sampleOffset)
        at->Value = value;
    else
        Points.insert(at, TPoint{sampleOffset, value}); // grows only past the largest block so far
    index = static_cast<int32>(std::lower_bound(Points.begin(), Points.end(), sampleOffset,
                                                [](const TPoint& p, int32 offset) { return p.Offset < offset; }) -
                               Points.begin());
    return kResultOk;
}

// --- Parameter changes ------------------------------------------------------------

TInterfaceRef<TVST3ParameterChanges> TVST3ParameterChanges::Create()
{
    return TInterfaceRef<TVST3ParameterChanges>(new TVST3ParameterChanges());
}

TVST3ParameterChanges::~TVST3ParameterChanges()
{
    Clear();
    for (TVST3ParamValueQueue* q : Spare) {
        q->Owner = nullptr;
        q->release();
    }
}

IParamValueQueue* VST3CALL TVST3ParameterChanges::getParameterData(int32 index)
{
    return index >= 0 && static_cast<std::size_t>(index) < Queues.size() ? Queues[static_cast<std::size_t>(index)]
                                                                            : nullptr;
}

IParamValueQueue* VST3CALL TVST3ParameterChanges::addParameterData(const ParamID& id, int32& index)
{
    char key[12];
    std::snprintf(key, sizeof key, "%u", static_cast<unsigned>(id));
    auto at = std::lower_bound(Queues.begin(), Queues.end(), key, [](const TVST3ParamValueQueue* q, const char* k) {
        return std::strcmp(q->Key, k) < 0;
    });
    if (at == Queues.end() || std::strcmp((*at)->Key, key) != 0) {
        TVST3ParamValueQueue* q;
        if (!Spare.empty()) {
            q = Spare.back();
            Spare.pop_back();
        } else {
            q = new TVST3ParamValueQueue(this); // owned through its reference count
        }
        q->Owner = this;
        q->Reuse(id);
        const std::size_t pos = static_cast<std::size_t>(at - Queues.begin());
        Queues.insert(at, q);
        at = Queues.begin() + static_cast<std::ptrdiff_t>(pos);
    }
    index = static_cast<int32>(at - Queues.begin());
    return *at;
}

void TVST3ParameterChanges::Clear()
{
    // Taken out first: a queue released here must not find itself in the list.
    while (!Queues.empty()) {
        TVST3ParamValueQueue* q = Queues.back();
        Queues.pop_back();
        if (q->GetRefCount() == 1) {
            // Nobody else holds it: kept with the list's reference. The spare
            // list grows only when a block used more queues than any before.
            Spare.push_back(q);
            continue;
        }
        q->Owner = nullptr;
        q->release();
    }
}

TVST3ParamValueQueue* TVST3ParameterChanges::Find(ParamID id) const
{
    for (TVST3ParamValueQueue* q : Queues)
        if (q->ParameterID == id)
            return q;
    return nullptr;
}

void TVST3ParameterChanges::Remove(TVST3ParamValueQueue* queue)
{
    Queues.erase(std::remove(Queues.begin(), Queues.end(), queue), Queues.end());
    Spare.erase(std::remove(Spare.begin(), Spare.end(), queue), Spare.end());
}

// --- Event list ---------------------------------------------------------------------

TInterfaceRef<TVST3EventList> TVST3EventList::Create()
{
    return TInterfaceRef<TVST3EventList>(new TVST3EventList());
}

tresult VST3CALL TVST3EventList::getEvent(int32 index, Event& e)
{
    if (index < 0 || static_cast<std::size_t>(index) >= Events.size()) {
        std::memset(&e, 0, sizeof e);
        return kResultFalse;
    }
    e = Events[static_cast<std::size_t>(index)];
    return kResultOk;
}

tresult VST3CALL TVST3EventList::addEvent(Event& e)
{
    Events.push_back(e);
    return kResultOk;
}

// --- Change buffer and pending values --------------------------------------------------

TVST3ChangeBuffer::TVST3ChangeBuffer()
{
    Changes[0] = TVST3ParameterChanges::Create();
    Changes[1] = TVST3ParameterChanges::Create();
}

void TVST3ChangeBuffer::Swap()
{
    const std::lock_guard<std::mutex> hold(Lock);
    WriteIndex = ReadIndex;
    ReadIndex = 1 - ReadIndex;
}

void TVST3PendingValues::Resize(std::size_t count)
{
    Entries = count > 0 ? std::make_unique<TEntry[]>(count) : nullptr;
    Size = count;
}

void TVST3PendingValues::Set(std::size_t index, double value)
{
    if (index >= Size)
        return;
    Entries[index].Value.store(value, std::memory_order_relaxed);
    Entries[index].Pending.store(1, std::memory_order_release);
}

bool TVST3PendingValues::Take(std::size_t index, double& value)
{
    if (index >= Size || Entries[index].Pending.exchange(0, std::memory_order_acquire) != 1)
        return false;
    value = Entries[index].Value.load(std::memory_order_relaxed);
    return true;
}

// --- Conversions ----------------------------------------------------------------------

namespace {

Event BaseEvent(std::int32_t port, bool realtime, std::int32_t deltaFrames, double ppq)
{
    Event e;
    std::memset(&e, 0, sizeof e);
    e.busIndex = port;
    e.sampleOffset = deltaFrames;
    e.ppqPosition = ppq;
    e.flags = realtime ? Event::kIsLive : 0;
    return e;
}

} // namespace

Event Vst3NoteOn(std::int32_t port, double velocity, std::int64_t noteId, double pitch2, std::int32_t channel,
                 std::int32_t length, bool realtime, std::int32_t deltaFrames, double ppqPosition)
{
    Event e = BaseEvent(port, realtime, deltaFrames, ppqPosition);
    e.type = Event::kNoteOnEvent;
    const double p = std::isfinite(pitch2) ? RoundHalfEven(pitch2) : 0.0; // halves to even
    e.noteOn.channel = static_cast<int16>(channel);
    e.noteOn.pitch = static_cast<int16>(ClampMidiNote(p));
    e.noteOn.tuning = std::isfinite(pitch2) ? static_cast<float>((pitch2 - p) * 100.0) : 0.0f;
    e.noteOn.velocity = static_cast<float>(velocity / 128.0);
    e.noteOn.length = length < 0 ? 0 : length;
    e.noteOn.noteId = static_cast<int32>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(noteId)));
    return e;
}

Event Vst3NoteOff(std::int32_t port, double velocity, std::int64_t noteId, double pitch, std::int32_t channel,
                  bool realtime, std::int32_t deltaFrames, double ppqPosition)
{
    Event e = BaseEvent(port, realtime, deltaFrames, ppqPosition);
    e.type = Event::kNoteOffEvent;
    e.noteOff.channel = static_cast<int16>(channel);
    e.noteOff.pitch = static_cast<int16>(ClampMidiNote(std::isfinite(pitch) ? RoundHalfEven(pitch) : 0.0));
    e.noteOff.velocity = static_cast<float>(velocity / 128.0);
    e.noteOff.noteId = static_cast<int32>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(noteId)));
    e.noteOff.tuning = 0.0f;
    return e;
}

TVst3MidiAction Vst3ClassifyMidi(std::uint32_t message)
{
    TVst3MidiAction a;
    const std::uint32_t status = message & 0xFF;
    a.Channel = static_cast<std::int32_t>(status & 0x0F);
    a.Data1 = static_cast<std::int32_t>((message >> 8) & 0xFF);
    a.Data2 = static_cast<std::int32_t>((message >> 16) & 0xFF);
    switch (status & 0xF0) {
    case 0x80: a.Kind = TVst3MidiAction::kNoteOff; break;
    case 0x90: a.Kind = TVst3MidiAction::kNoteOn; break; // velocity 0 stays a note-on
    case 0xB0:
        a.Kind = TVst3MidiAction::kController;
        a.Value = a.Data2 / 127.0;
        break;
    case 0xE0:
        a.Kind = TVst3MidiAction::kPitchBend;
        a.Value = (a.Data1 + a.Data2 * 128) / 16384.0;
        a.Data1 = 129; // the VST 3 controller number of pitch bend
        break;
    default: a.Kind = TVst3MidiAction::kIgnore; break;
    }
    return a;
}

double Vst3PitchBendValue(double cents, std::int32_t rangeSemitones)
{
    return (cents + rangeSemitones * 100.0) / (rangeSemitones * 200.0);
}

ProcessContext Vst3BuildProcessContext(const TVst3Transport& t, const THostTimeInfo& info)
{
    ProcessContext c;
    std::memset(&c, 0, sizeof c);
    c.state = ProcessContext::kSystemTimeValid | ProcessContext::kProjectTimeMusicValid | ProcessContext::kTempoValid |
              ProcessContext::kBarPositionValid | ProcessContext::kCycleValid | ProcessContext::kTimeSigValid |
              ProcessContext::kClockValid | ProcessContext::kContTimeValid;
    if (t.Playing)
        c.state |= ProcessContext::kPlaying | ProcessContext::kCycleActive;
    c.sampleRate = t.SampleRate;
    c.projectTimeSamples = t.SongPosition;
    c.systemTime = t.SystemTimeNs;
    c.projectTimeMusic = info.PpqPos;
    // Without steps per bar there is no bar: its start is 0.
    c.barPositionMusic = t.StepsPerBar > 0 ? std::trunc(c.projectTimeMusic / t.StepsPerBar) * t.StepsPerBar : 0.0;
    c.cycleStartMusic = info.CycleStart;
    c.cycleEndMusic = info.CycleEnd;
    c.tempo = t.Tempo;
    if (t.StepsPerBeat > 0) {
        c.timeSigNumerator = t.StepsPerBar / t.StepsPerBeat + (t.StepsPerBar % t.StepsPerBeat != 0 ? 1 : 0);
        c.timeSigDenominator = t.StepsPerBeat;
    } else {
        c.state &= ~static_cast<uint32>(ProcessContext::kTimeSigValid); // no beat, no signature
    }
    const std::int64_t clock = info.SamplesPerClock;
    c.samplesToNextClock =
        t.SongPosition == 0 || clock == 0 ? 0 : static_cast<int32>(clock - ((t.SongPosition % clock) + clock) % clock);
    return c;
}
