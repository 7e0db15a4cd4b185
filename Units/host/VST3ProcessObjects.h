#pragma once
// What a VST 3 plugin is handed for every block (part of unit VST3Plug, kept
// in its own files), and the conversions that fill it:
//
//   TVST3ParamValueQueue     IParamValueQueue: the points of one parameter in
//                            a block, ordered by sample offset, one point per
//                            offset
//   TVST3ParameterChanges    IParameterChanges: the queues of one block,
//                            ordered by the parameter ID written as decimal
//                            text (so ID 10 comes before ID 9)
//   TVST3EventList           IEventList: the events of one block, in the order
//                            they were added
//   TVST3ChangeBuffer        two parameter-change lists used in turn: one is
//                            filled while the processor reads the other
//   TVST3PendingValues       per parameter a value waiting for the edit
//                            controller, handed over without a lock
//   Vst3NoteOn/Vst3NoteOff,  the host's notes, MIDI controllers, pitch bends
//   Vst3ClassifyMidi,        and transport as VST 3 events, parameter values
//   Vst3PitchBendValue,      and the process context
//   Vst3BuildProcessContext
//
// No allocation once warm: a list that is cleared keeps its queues (those
// that nobody else holds a reference to) and their points' room for the next
// block, and an event list keeps its room; a block that needs more than any
// block before it grows them. A queue the plugin still holds when its list is
// cleared is let go of instead (it leaves the list and lives until the
// plugin's release).
//
// Threads: a list is filled by one thread at a time (the owner guards it with
// TVST3ChangeBuffer's lock); the pending values are written by any thread
// and taken by the main thread. Pure code, no Windows header.

#include "AudioPlug.h"
#include "VST3HostObjects.h"
#include "Vst3Base.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class TVST3ParameterChanges;

class TVST3ParamValueQueue final : public TVST3Object<TVST3ParamValueQueue, Vst3::IParamValueQueue> {
public:
    Vst3::ParamID VST3CALL getParameterId() override { return ParameterID; }
    Vst3::int32 VST3CALL getPointCount() override { return static_cast<Vst3::int32>(Points.size()); }
    // kResultFalse outside 0..count-1.
    Vst3::tresult VST3CALL getPoint(Vst3::int32 index, Vst3::int32& sampleOffset, Vst3::ParamValue& value) override;
    // Replaces the value of a point at the same offset, otherwise inserts the
    // point at its place; index := its position.
    Vst3::tresult VST3CALL addPoint(Vst3::int32 sampleOffset, Vst3::ParamValue value, Vst3::int32& index) override;

    TVST3ParameterChanges* GetOwner() const { return Owner; }

private:
    friend class TVST3Object<TVST3ParamValueQueue, Vst3::IParamValueQueue>;
    friend class TVST3ParameterChanges;
    struct TPoint {
        Vst3::int32 Offset;
        double Value;
    };
    explicit TVST3ParamValueQueue(TVST3ParameterChanges* owner) : Owner(owner) {}
    ~TVST3ParamValueQueue(); // leaves its owner's list
    void Reuse(Vst3::ParamID id);

    Vst3::ParamID ParameterID = 0;
    char Key[12] = {}; // the ID as decimal text, the list's sort key
    std::vector<TPoint> Points;
    TVST3ParameterChanges* Owner;
};

class TVST3ParameterChanges final : public TVST3Object<TVST3ParameterChanges, Vst3::IParameterChanges> {
public:
    // A new, empty list with one reference for the caller.
    static Vst3::TInterfaceRef<TVST3ParameterChanges> Create();

    Vst3::int32 VST3CALL getParameterCount() override { return static_cast<Vst3::int32>(Queues.size()); }
    // The queue at index (no reference added), or null.
    Vst3::IParamValueQueue* VST3CALL getParameterData(Vst3::int32 index) override;
    // The queue of id, created and put in its place when missing; index := its
    // position. No reference added.
    Vst3::IParamValueQueue* VST3CALL addParameterData(const Vst3::ParamID& id, Vst3::int32& index) override;

    // Empties the list: every queue leaves it and is released, or kept for
    // reuse when the list held its only reference.
    void Clear();
    // The queue of id, or null.
    TVST3ParamValueQueue* Find(Vst3::ParamID id) const;
    TVST3ParamValueQueue* QueueAt(std::size_t index) const { return index < Queues.size() ? Queues[index] : nullptr; }
    std::size_t Count() const { return Queues.size(); }

private:
    friend class TVST3Object<TVST3ParameterChanges, Vst3::IParameterChanges>;
    friend class TVST3ParamValueQueue;
    TVST3ParameterChanges() = default;
    ~TVST3ParameterChanges();
    void Remove(TVST3ParamValueQueue* queue); // a queue that is being destroyed

    std::vector<TVST3ParamValueQueue*> Queues; // each with the list's reference
    std::vector<TVST3ParamValueQueue*> Spare;  // cleared queues kept for reuse, reference count 1
};

class TVST3EventList final : public TVST3Object<TVST3EventList, Vst3::IEventList> {
public:
    static Vst3::TInterfaceRef<TVST3EventList> Create();

    Vst3::int32 VST3CALL getEventCount() override { return static_cast<Vst3::int32>(Events.size()); }
    // Copies event index into e, or zero-fills e and answers kResultFalse.
    Vst3::tresult VST3CALL getEvent(Vst3::int32 index, Vst3::Event& e) override;
    // Appends a copy.
    Vst3::tresult VST3CALL addEvent(Vst3::Event& e) override;

    void Clear() { Events.clear(); } // keeps the room
    const std::vector<Vst3::Event>& Items() const { return Events; }

private:
    friend class TVST3Object<TVST3EventList, Vst3::IEventList>;
    TVST3EventList() { Events.reserve(64); }
    ~TVST3EventList() = default;

    std::vector<Vst3::Event> Events;
};

// Two lists used in turn. Values are written into Changes[WriteIndex]; the
// block's Swap makes them Changes[ReadIndex] for the processor. The lock is
// held only for the swap and for one write or one read pass.
class TVST3ChangeBuffer {
public:
    TVST3ChangeBuffer();
    TVST3ParameterChanges& Write() { return *Changes[WriteIndex].Get(); }
    TVST3ParameterChanges& Read() { return *Changes[ReadIndex].Get(); }
    void Swap(); // under Lock
    std::mutex Lock;

private:
    Vst3::TInterfaceRef<TVST3ParameterChanges> Changes[2];
    int ReadIndex = 1;
    int WriteIndex = 0;
};

// Per parameter index one value waiting for the edit controller. Set writes
// the value, then raises the flag; Take lowers the flag and, when it was up,
// reads the value.
class TVST3PendingValues {
public:
    void Resize(std::size_t count); // [main thread] while no other thread uses it
    std::size_t Count() const { return Size; }
    void Set(std::size_t index, double value);
    bool Take(std::size_t index, double& value);

private:
    struct TEntry {
        std::atomic<std::int32_t> Pending{0};
        std::atomic<double> Value{0.0};
    };
    std::unique_ptr<TEntry[]> Entries;
    std::size_t Size = 0;
};

// The event of a host note-on: pitch2 rounded to the nearest whole note
// (halves to even) and clamped to 0..127, the tuning in cents from the
// unclamped rounded pitch, velocity / 128, a negative length as 0, the low
// 32 bits of noteId, flags kIsLive when realtime.
Vst3::Event Vst3NoteOn(std::int32_t port, double velocity, std::int64_t noteId, double pitch2, std::int32_t channel,
                       std::int32_t length, bool realtime, std::int32_t deltaFrames, double ppqPosition);
// The event of a host note-off: pitch rounded and clamped, tuning 0.
Vst3::Event Vst3NoteOff(std::int32_t port, double velocity, std::int64_t noteId, double pitch, std::int32_t channel,
                        bool realtime, std::int32_t deltaFrames, double ppqPosition);

// What one short MIDI message becomes. The message holds the status in its
// low byte, then data 1 and data 2.
struct TVst3MidiAction {
    enum TKind { kIgnore, kNoteOff, kNoteOn, kController, kPitchBend } Kind = kIgnore;
    std::int32_t Channel = 0;
    std::int32_t Data1 = 0;     // pitch, or the controller number (129 for pitch bend)
    std::int32_t Data2 = 0;     // velocity
    double Value = 0.0;         // a controller's or pitch bend's normalised value
};
TVst3MidiAction Vst3ClassifyMidi(std::uint32_t message);

// A pitch bend in cents as the normalised value of the pitch-bend
// controller, for a range in semitones (not clamped).
double Vst3PitchBendValue(double cents, std::int32_t rangeSemitones);

// The transport the process context is built from.
struct TVst3Transport {
    double SampleRate = 0;
    std::int64_t SongPosition = 0;
    double Tempo = 0;
    std::int32_t StepsPerBar = 0;
    std::int32_t StepsPerBeat = 0;
    bool Playing = false;
    std::int64_t SystemTimeNs = 0; // nanoseconds since the last activation
};
Vst3::ProcessContext Vst3BuildProcessContext(const TVst3Transport& t, const THostTimeInfo& info);
