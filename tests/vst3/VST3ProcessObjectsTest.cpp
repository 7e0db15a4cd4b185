// What a VST 3 processor is handed per block: parameter change lists and
// queues, event lists, the double buffer, pending controller values, and the
// conversions of notes, MIDI and transport.

#include "AllocationCounter.h"
#include "VST3ProcessObjects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace Vst3;

namespace {

// The points of a queue as (offset, value) pairs, read as a plugin would.
std::vector<std::pair<int32, double>> PointsOf(IParamValueQueue* q)
{
    std::vector<std::pair<int32, double>> out;
    for (int32 i = 0; i < q->getPointCount(); ++i) {
        int32 offset = -1;
        ParamValue v = -1;
        EXPECT_EQ(q->getPoint(i, offset, v), kResultOk);
        out.emplace_back(offset, v);
    }
    return out;
}

std::vector<ParamID> IdsOf(IParameterChanges* c)
{
    std::vector<ParamID> out;
    for (int32 i = 0; i < c->getParameterCount(); ++i)
        out.push_back(c->getParameterData(i)->getParameterId());
    return out;
}

TEST(VST3ParameterChanges, QueuesPointsAndTheirOrder)
{
    auto changes = TVST3ParameterChanges::Create();
    int32 index = -1;
    // Two values for one parameter at the same offset: one point, the second value.
    IParamValueQueue* q = changes->addParameterData(4, index);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(index, 0);
    q->addPoint(0, 0.25, index);
    EXPECT_EQ(changes->addParameterData(4, index), q);
    q->addPoint(0, 0.75, index);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(PointsOf(q), (std::vector<std::pair<int32, double>>{{0, 0.75}}));
    // Offsets added out of order come back in order, each at its position.
    IParamValueQueue* r = changes->addParameterData(9, index);
    for (const auto& [offset, expected] : std::vector<std::pair<int32, int32>>{{5, 0}, {100, 1}, {12, 1}}) {
        r->addPoint(offset, offset / 1000.0, index);
        EXPECT_EQ(index, expected) << offset;
    }
    EXPECT_EQ(PointsOf(r), (std::vector<std::pair<int32, double>>{{5, 0.005}, {12, 0.012}, {100, 0.1}}));
    // Queues sort by the ID as decimal text: 10 and 100 before 2, 4 and 9.
    for (ParamID id : {10u, 2u, 100u, 4294967295u})
        changes->addParameterData(id, index);
    EXPECT_EQ(IdsOf(changes.Get()), (std::vector<ParamID>{10, 100, 2, 4, 4294967295u, 9}));
    changes->addParameterData(2, index);
    EXPECT_EQ(index, 2);
    // Out of range.
    EXPECT_EQ(changes->getParameterData(-1), nullptr);
    EXPECT_EQ(changes->getParameterData(6), nullptr);
    int32 offset = 7;
    ParamValue value = 7;
    EXPECT_EQ(q->getPoint(1, offset, value), kResultFalse);
    EXPECT_EQ(q->getPoint(-1, offset, value), kResultFalse);
    EXPECT_EQ(offset, 7);
    // Identifiers: only the list's own.
    void* obj = &obj;
    EXPECT_EQ(changes->queryInterface(FUnknown::iid, &obj), kResultFalse);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(changes->queryInterface(IParameterChanges::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<IParameterChanges*>(changes.Get()));
    changes->release();
    EXPECT_EQ(q->queryInterface(IParameterChanges::iid, &obj), kResultFalse);
    EXPECT_EQ(q->queryInterface(IParamValueQueue::iid, &obj), kResultOk);
    q->release();
}

TEST(VST3ParameterChanges, ClearingLetsGoOfQueuesThePluginStillHolds)
{
    auto changes = TVST3ParameterChanges::Create();
    int32 index = 0;
    IParamValueQueue* kept = changes->addParameterData(1, index);
    kept->addPoint(3, 0.5, index);
    kept->addRef(); // the plugin keeps it past the block
    IParamValueQueue* plain = changes->addParameterData(2, index);
    plain->addPoint(8, 0.1, index);
    changes->Clear();
    EXPECT_EQ(changes->getParameterCount(), 0);
    // The held queue is still usable, no longer in any list.
    auto* keptQueue = static_cast<TVST3ParamValueQueue*>(kept);
    EXPECT_EQ(keptQueue->GetOwner(), nullptr);
    EXPECT_EQ(PointsOf(kept), (std::vector<std::pair<int32, double>>{{3, 0.5}}));
    // The next block's queues start empty, whichever object serves them.
    IParamValueQueue* again = changes->addParameterData(2, index);
    EXPECT_EQ(again->getPointCount(), 0);
    EXPECT_EQ(again->getParameterId(), 2u);
    IParamValueQueue* other = changes->addParameterData(7, index);
    EXPECT_EQ(other->getPointCount(), 0);
    EXPECT_NE(other, kept);
    EXPECT_EQ(kept->release(), 0u);

    // A plugin that releases a queue it never took a reference to frees it;
    // the list does not keep a dangling entry.
    other->addPoint(0, 1.0, index);
    EXPECT_EQ(other->release(), 0u);
    EXPECT_EQ(IdsOf(changes.Get()), (std::vector<ParamID>{2}));
    changes->Clear();
}

TEST(VST3ParameterChanges, AWarmBlockAllocatesNothing)
{
    TVST3ChangeBuffer in;
    auto events = TVST3EventList::Create();
    auto block = [&](int params, int points) {
        {
            const std::lock_guard<std::mutex> hold(in.Lock);
            for (int p = 0; p < params; ++p) {
                int32 index = 0;
                IParamValueQueue* q = in.Write().addParameterData(static_cast<ParamID>(p * 7), index);
                for (int i = 0; i < points; ++i)
                    q->addPoint(i * 3 % 64, i / 10.0, index);
            }
        }
        for (int n = 0; n < 16; ++n) {
            Event e = Vst3NoteOn(0, 100, n, 60 + n, 0, 0, false, n, 0.0);
            events->addEvent(e);
        }
        in.Swap();
        int32 seen = in.Read().getParameterCount() + events->getEventCount();
        in.Read().Clear();
        events->Clear();
        return seen;
    };
    // Two warm-up blocks fill both lists of the double buffer.
    block(40, 20);
    block(40, 20);
    const std::size_t before = AllocationCount();
    int seen = 0;
    for (int i = 0; i < 50; ++i)
        seen += block(40 - i % 5, 20 - i % 7);
    EXPECT_EQ(AllocationCount(), before);
    EXPECT_GT(seen, 0);
    // A block with more than ever before may grow, and then is warm too.
    block(60, 30);
    block(60, 30);
    const std::size_t grown = AllocationCount();
    block(60, 30);
    EXPECT_EQ(AllocationCount(), grown);
}

TEST(VST3ChangeBuffer, SwapHandsTheWrittenListToTheReader)
{
    TVST3ChangeBuffer b;
    int32 index = 0;
    b.Write().addParameterData(3, index)->addPoint(0, 0.5, index);
    TVST3ParameterChanges* written = &b.Write();
    b.Swap();
    EXPECT_EQ(&b.Read(), written);
    EXPECT_NE(&b.Write(), written);
    EXPECT_EQ(b.Read().getParameterCount(), 1);
    EXPECT_EQ(b.Write().getParameterCount(), 0);
    b.Swap();
    EXPECT_EQ(&b.Write(), written);
}

TEST(VST3EventList, KeepsOrderAndAnswersOutOfRange)
{
    auto list = TVST3EventList::Create();
    for (int32 i = 0; i < 3; ++i) {
        Event e = Vst3NoteOff(1, 64, i, 50 + i, 2, true, 10 * i, 1.5);
        EXPECT_EQ(list->addEvent(e), kResultOk);
    }
    ASSERT_EQ(list->getEventCount(), 3);
    Event e;
    for (int32 i = 0; i < 3; ++i) {
        ASSERT_EQ(list->getEvent(i, e), kResultOk);
        EXPECT_EQ(e.sampleOffset, 10 * i);
        EXPECT_EQ(e.noteOff.pitch, 50 + i);
    }
    std::memset(&e, 0xAB, sizeof e);
    EXPECT_EQ(list->getEvent(3, e), kResultFalse);
    const Event zero{};
    EXPECT_EQ(std::memcmp(&e, &zero, sizeof e), 0);
    EXPECT_EQ(list->getEvent(-1, e), kResultFalse);
    list->Clear();
    EXPECT_EQ(list->getEventCount(), 0);
    void* obj = nullptr;
    EXPECT_EQ(list->queryInterface(IEventList::iid, &obj), kResultOk);
    EXPECT_EQ(list->release(), 1u);
}

TEST(VST3Conversions, NotesBecomeEvents)
{
    struct Case {
        double Pitch;
        int16 ExpectPitch;
        float ExpectTuning;
    };
    const Case cases[] = {
        {60.25, 60, 25.0f},   {127.6, 127, -40.0f}, {60.5, 60, 50.0f}, {61.5, 62, -50.0f},
        {-3.0, 0, 0.0f},      {200.0, 127, 0.0f},   {64.0, 64, 0.0f},
    };
    for (const Case& c : cases) {
        const Event e = Vst3NoteOn(2, 64, 0x100000005LL, c.Pitch, 3, -10, false, 17, 4.25);
        EXPECT_EQ(e.type, Event::kNoteOnEvent);
        EXPECT_EQ(e.noteOn.pitch, c.ExpectPitch) << c.Pitch;
        EXPECT_NEAR(e.noteOn.tuning, c.ExpectTuning, 1e-3) << c.Pitch;
        EXPECT_EQ(e.busIndex, 2);
        EXPECT_EQ(e.sampleOffset, 17);
        EXPECT_EQ(e.ppqPosition, 4.25);
        EXPECT_EQ(e.flags, 0);
        EXPECT_EQ(e.noteOn.channel, 3);
        EXPECT_EQ(e.noteOn.velocity, 0.5f);
        EXPECT_EQ(e.noteOn.length, 0);
        EXPECT_EQ(e.noteOn.noteId, 5);
    }
    const Event off = Vst3NoteOff(0, 128, -1, 72.5, 15, true, 0, 0.0);
    EXPECT_EQ(off.type, Event::kNoteOffEvent);
    EXPECT_EQ(off.flags, Event::kIsLive);
    EXPECT_EQ(off.noteOff.pitch, 72);
    EXPECT_EQ(off.noteOff.velocity, 1.0f);
    EXPECT_EQ(off.noteOff.noteId, -1);
    EXPECT_EQ(off.noteOff.tuning, 0.0f);
    EXPECT_EQ(Vst3NoteOn(0, 1, 0, NAN, 0, 5, true, 0, 0).noteOn.pitch, 0);
}

TEST(VST3Conversions, MidiControllersAndPitchBend)
{
    struct Case {
        std::uint32_t Message;
        TVst3MidiAction::TKind Kind;
        int32 Channel, Data1, Data2;
        double Value;
    };
    const Case cases[] = {
        {0x7F07B0, TVst3MidiAction::kController, 0, 7, 127, 1.0},
        {0x0001B5, TVst3MidiAction::kController, 5, 1, 0, 0.0},
        {0x4000E9, TVst3MidiAction::kPitchBend, 9, 129, 0x40, 0.5}, // centre: data 2 = 0x40
        {0x0000E0, TVst3MidiAction::kPitchBend, 0, 129, 0, 0.0},
        {0x00403C90, TVst3MidiAction::kNoteOn, 0, 0x3C, 0x40, 0.0},
        {0x00003C91, TVst3MidiAction::kNoteOn, 1, 0x3C, 0, 0.0}, // velocity 0 stays a note-on
        {0x00403C8F, TVst3MidiAction::kNoteOff, 15, 0x3C, 0x40, 0.0},
        {0x000000F8, TVst3MidiAction::kIgnore, 8, 0, 0, 0.0},
        {0x00001DD0, TVst3MidiAction::kIgnore, 0, 0x1D, 0, 0.0},
    };
    for (const Case& c : cases) {
        const TVst3MidiAction a = Vst3ClassifyMidi(c.Message);
        EXPECT_EQ(a.Kind, c.Kind) << std::hex << c.Message;
        if (a.Kind == TVst3MidiAction::kIgnore)
            continue;
        EXPECT_EQ(a.Channel, c.Channel) << std::hex << c.Message;
        EXPECT_EQ(a.Data1, c.Data1) << std::hex << c.Message;
        if (a.Kind != TVst3MidiAction::kPitchBend) {
            EXPECT_EQ(a.Data2, c.Data2) << std::hex << c.Message;
        }
        EXPECT_DOUBLE_EQ(a.Value, c.Value) << std::hex << c.Message;
    }
    EXPECT_DOUBLE_EQ(Vst3PitchBendValue(0, 2), 0.5);
    EXPECT_DOUBLE_EQ(Vst3PitchBendValue(-200, 2), 0.0);
    EXPECT_DOUBLE_EQ(Vst3PitchBendValue(200, 2), 1.0);
    EXPECT_DOUBLE_EQ(Vst3PitchBendValue(1200, 12), 1.0);
    EXPECT_DOUBLE_EQ(Vst3PitchBendValue(400, 2), 1.5); // not clamped
}

TEST(VST3Conversions, ProcessContextFromTheTransport)
{
    THostTimeInfo info{};
    info.PpqPos = 37.5;
    info.SamplesPerClock = 441;
    info.CycleStart = 8.0;
    info.CycleEnd = 16.0;
    TVst3Transport t;
    t.SampleRate = 44100;
    t.SongPosition = 1000;
    t.Tempo = 128;
    t.StepsPerBar = 16;
    t.StepsPerBeat = 4;
    t.Playing = true;
    t.SystemTimeNs = 123000000;
    ProcessContext c = Vst3BuildProcessContext(t, info);
    EXPECT_EQ(c.state, 0x2BF00u | ProcessContext::kPlaying | ProcessContext::kCycleActive);
    EXPECT_EQ(c.sampleRate, 44100.0);
    EXPECT_EQ(c.projectTimeSamples, 1000);
    EXPECT_EQ(c.systemTime, 123000000);
    EXPECT_EQ(c.projectTimeMusic, 37.5);
    EXPECT_EQ(c.barPositionMusic, 32.0);
    EXPECT_EQ(c.cycleStartMusic, 8.0);
    EXPECT_EQ(c.cycleEndMusic, 16.0);
    EXPECT_EQ(c.tempo, 128.0);
    EXPECT_EQ(c.timeSigNumerator, 4);
    EXPECT_EQ(c.timeSigDenominator, 4);
    EXPECT_EQ(c.samplesToNextClock, 441 - 1000 % 441);
    EXPECT_EQ(c.continousTimeSamples, 0);

    // Stopped; a bar of 14 steps in beats of 4 is 4 beats (rounded up);
    // song position 0 or no clock: no samples to the next clock.
    t.Playing = false;
    t.StepsPerBar = 14;
    t.SongPosition = 0;
    c = Vst3BuildProcessContext(t, info);
    EXPECT_EQ(c.state, 0x2BF00u);
    EXPECT_EQ(c.timeSigNumerator, 4);
    EXPECT_EQ(c.barPositionMusic, 28.0);
    EXPECT_EQ(c.samplesToNextClock, 0);
    t.SongPosition = 500;
    info.SamplesPerClock = 0;
    EXPECT_EQ(Vst3BuildProcessContext(t, info).samplesToNextClock, 0);
    // No steps: no bar, no signature, no division by zero.
    t.StepsPerBar = 0;
    t.StepsPerBeat = 0;
    c = Vst3BuildProcessContext(t, info);
    EXPECT_EQ(c.barPositionMusic, 0.0);
    EXPECT_EQ(c.timeSigNumerator, 0);
    EXPECT_EQ(c.state & ProcessContext::kTimeSigValid, 0u);
}

TEST(VST3PendingValues, HandedOverOnceWithTheirValue)
{
    TVST3PendingValues p;
    p.Resize(3);
    double v = -1;
    EXPECT_FALSE(p.Take(1, v));
    p.Set(1, 0.25);
    p.Set(1, 0.75);
    p.Set(5, 1.0); // beyond the parameters: dropped
    EXPECT_TRUE(p.Take(1, v));
    EXPECT_EQ(v, 0.75);
    EXPECT_FALSE(p.Take(1, v));
    EXPECT_FALSE(p.Take(5, v));

    // A writer thread and the taker: every value taken is one that was
    // written completely, and the last one always arrives.
    std::thread writer([&] {
        for (int i = 1; i <= 20000; ++i)
            p.Set(2, i / 20000.0);
    });
    double last = 0;
    int taken = 0;
    while (last < 1.0) {
        if (p.Take(2, v)) {
            EXPECT_GE(v, last);
            EXPECT_EQ(v, std::round(v * 20000.0) / 20000.0);
            last = v;
            ++taken;
        }
    }
    writer.join();
    EXPECT_GT(taken, 0);
}

} // namespace
