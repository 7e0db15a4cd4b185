// The VST3 test modules, written from our own declarations (Units/host/Vst3Base.h).
// One source, built once per FIXTURE_MODE:
//   1 effect      "Pelorin Echo": one object is component, processor and
//                 edit controller; stereo in and out, two parameters, latency 64
//   2 instrument  "Pelorin Synth": a component and a separate controller
//                 class, connected; two audio outputs (the second inactive),
//                 an event input and an event output; three parameters, one
//                 program list; the controller takes "Cutoff" from the
//                 component's state
//   3 shell       both classes above in one module
//   4 refusing    the effect, but InitDll answers false
//   5 no processor the effect without IAudioProcessor
//   6 faulting    the effect, whose initialize writes through a null pointer
//   7 many        the effect with 2000 parameters
// Every module counts what the host does in the test program's journal
// (Vst3Journal.h) and keeps the objects it made alive in ObjectsAlive.

#include "Vst3Base.h"
#include "Vst3Journal.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

using namespace Vst3;

#ifndef FIXTURE_MODE
#error FIXTURE_MODE must be set
#endif

#define FIXTURE_EXPORT extern "C" __declspec(dllexport)

namespace {

constexpr bool kHasEffect = FIXTURE_MODE != 2;
constexpr bool kHasSynth = FIXTURE_MODE == 2 || FIXTURE_MODE == 3;
constexpr bool kNoProcessor = FIXTURE_MODE == 5;
constexpr bool kFaultInInit = FIXTURE_MODE == 6;
constexpr int kEffectParams = FIXTURE_MODE == 7 ? 2000 : 2;

constexpr TUID kEffectCid = TUID::FromWords(0x50454C4F, 0x52494E31, 0x45434830, 0x00000001);
constexpr TUID kSynthCid = TUID::FromWords(0x50454C4F, 0x52494E32, 0x53594E30, 0x00000002);
constexpr TUID kSynthControllerCid = TUID::FromWords(0x50454C4F, 0x52494E32, 0x53594E30, 0x00000003);

constexpr char kSynthState[] = "PELORIN-SYNTH-STATE"; // then the Cutoff value (double)
constexpr double kSynthStateCutoff = 0.25;

TVst3Journal gOwnJournal;

TVst3Journal& J()
{
    static TVst3Journal* journal = [] {
        const auto proc = reinterpret_cast<TVst3JournalProc>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), kVst3JournalExport)));
        return proc != nullptr ? proc() : &gOwnJournal;
    }();
    return *journal;
}

void CopyText(char8* field, std::size_t size, const char* text)
{
    std::memset(field, 0, size);
    std::strncpy(field, text, size - 1);
}

void CopyWide(TChar* field, std::size_t size, const char* text)
{
    std::size_t i = 0;
    for (; i + 1 < size && text[i] != '\0'; ++i)
        field[i] = static_cast<TChar>(static_cast<unsigned char>(text[i]));
    field[i] = 0;
}

// Reference counting and the journal's count of live objects.
class TCounted {
public:
    TCounted() { ++J().ObjectsAlive; }
    virtual ~TCounted() { --J().ObjectsAlive; }
    uint32 AddRef() { return ++Refs; }
    uint32 Release()
    {
        const uint32 n = --Refs;
        if (n == 0)
            delete this;
        return n;
    }

private:
    std::atomic<uint32> Refs{1};
};

#define FIXTURE_UNKNOWN                                                                                               \
    uint32 VST3CALL addRef() override { return AddRef(); }                                                         \
    uint32 VST3CALL release() override { return Release(); }

template <class I, class T>
tresult Answer(T* self, void** obj)
{
    *obj = static_cast<I*>(self);
    self->AddRef();
    return kResultOk;
}

// A parameter as the fixtures describe it.
struct TParamSpec {
    const char* Title;
    const char* Units;
};

void FillParam(ParameterInfo& info, int32 index, const TParamSpec* specs, int32 count)
{
    std::memset(&info, 0, sizeof info);
    info.id = static_cast<ParamID>(100 + index);
    if (index < count && specs != nullptr) {
        CopyWide(info.title, 128, specs[index].Title);
        CopyWide(info.units, 128, specs[index].Units);
    } else {
        char title[32];
        std::snprintf(title, sizeof title, "Param %04d", static_cast<int>(index));
        CopyWide(info.title, 128, title);
    }
    CopyWide(info.shortTitle, 128, "P");
    info.flags = static_cast<int32>(ParameterInfo::kCanAutomate);
}

void FillBus(BusInfo& bus, MediaType type, BusDirection dir, int32 channels, const char* name, bool active)
{
    std::memset(&bus, 0, sizeof bus);
    bus.mediaType = type;
    bus.direction = dir;
    bus.channelCount = channels;
    CopyWide(bus.name, 128, name);
    bus.busType = kMain;
    bus.flags = active ? static_cast<uint32>(BusInfo::kDefaultActive) : 0u;
}

// The parts of a component that both fixtures share: processing set-up and
// activation are counted.
tresult RecordSetup(const ProcessSetup& setup)
{
    ++J().SetupCalls;
    J().SetupMode = setup.processMode;
    J().SetupSampleSize = setup.symbolicSampleSize;
    J().SetupMaxSamples = setup.maxSamplesPerBlock;
    J().SetupSampleRate = setup.sampleRate;
    return J().FailSetup != 0 ? kResultFalse : kResultOk;
}

void AskHostName(FUnknown* context)
{
    if (context == nullptr)
        return;
    void* p = nullptr;
    if (context->queryInterface(IHostApplication::iid, &p) == kResultOk && p != nullptr) {
        auto* app = static_cast<IHostApplication*>(p);
        String128 name{};
        if (app->getName(name) == kResultOk)
            ++J().HostNameAsked;
        app->release();
    }
}

// ---------------------------------------------------------------------------
// The effect: one object is component, processor and controller.

const TParamSpec kEffectParamSpecs[] = {{"Gain", "dB"}, {"Mix", "%"}};

class TEffect final : public TCounted, public IComponent, public IAudioProcessor, public IEditController {
public:
    FIXTURE_UNKNOWN
    tresult VST3CALL queryInterface(const TUID& iid, void** obj) override
    {
        *obj = nullptr;
        if (iid == FUnknown::iid || iid == IComponent::iid || iid == IPluginBase::iid)
            return Answer<IComponent>(this, obj);
        if (iid == IAudioProcessor::iid && !kNoProcessor)
            return Answer<IAudioProcessor>(this, obj);
        if (iid == IEditController::iid)
            return Answer<IEditController>(this, obj);
        return kNoInterface;
    }

    // IPluginBase (shared by both faces)
    tresult VST3CALL initialize(FUnknown* context) override
    {
        ++J().ComponentInitialize;
        if (kFaultInInit) {
            volatile int* volatile nowhere = nullptr;
            *nowhere = 1;
        }
        AskHostName(context);
        return J().FailComponentInit != 0 ? kResultFalse : kResultOk;
    }
    tresult VST3CALL terminate() override
    {
        ++J().ComponentTerminate;
        return kResultOk;
    }

    // IComponent
    tresult VST3CALL getControllerClassId(TUID& classId) override
    {
        classId = TUID{};
        return kNotImplemented;
    }
    tresult VST3CALL setIoMode(IoMode) override { return kResultOk; }
    int32 VST3CALL getBusCount(MediaType type, BusDirection) override { return type == kAudio ? 1 : 0; }
    tresult VST3CALL getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) override
    {
        if (type != kAudio || index != 0)
            return kInvalidArgument;
        FillBus(bus, type, dir, 2, dir == kInput ? "Input" : "Output", true);
        return kResultOk;
    }
    tresult VST3CALL getRoutingInfo(RoutingInfo&, RoutingInfo&) override { return kNotImplemented; }
    tresult VST3CALL activateBus(MediaType, BusDirection, int32, TBool state) override
    {
        if (state)
            ++J().BusesActivated;
        return kResultOk;
    }
    tresult VST3CALL setActive(TBool state) override
    {
        ++(state ? J().ActiveOn : J().ActiveOff);
        return kResultOk;
    }
    // IComponent and IEditController share setState and getState (one
    // definition serves both faces); the effect has no state.
    tresult VST3CALL setState(IBStream*) override { return kResultOk; }
    tresult VST3CALL getState(IBStream*) override { return kResultOk; }

    // IAudioProcessor
    tresult VST3CALL setBusArrangements(SpeakerArrangement*, int32, SpeakerArrangement*, int32) override
    {
        return kResultOk;
    }
    tresult VST3CALL getBusArrangement(BusDirection, int32, SpeakerArrangement& arr) override
    {
        arr = 3; // left and right
        return kResultOk;
    }
    tresult VST3CALL canProcessSampleSize(int32 size) override { return size == kSample32 ? kResultOk : kResultFalse; }
    uint32 VST3CALL getLatencySamples() override { return 64; }
    tresult VST3CALL setupProcessing(ProcessSetup& setup) override { return RecordSetup(setup); }
    tresult VST3CALL setProcessing(TBool state) override
    {
        ++(state ? J().ProcessingOn : J().ProcessingOff);
        return kResultOk;
    }
    tresult VST3CALL process(ProcessData&) override { return kResultOk; }
    uint32 VST3CALL getTailSamples() override { return 0; }

    // IEditController
    tresult VST3CALL setComponentState(IBStream*) override
    {
        ++J().SetComponentState;
        return kResultOk;
    }
    int32 VST3CALL getParameterCount() override { return kEffectParams; }
    tresult VST3CALL getParameterInfo(int32 index, ParameterInfo& info) override
    {
        if (index < 0 || index >= kEffectParams)
            return kInvalidArgument;
        FillParam(info, index, kEffectParamSpecs, 2);
        return kResultOk;
    }
    tresult VST3CALL getParamStringByValue(ParamID id, ParamValue value, TChar* string) override
    {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f #%u", value, static_cast<unsigned>(id));
        CopyWide(string, 128, text);
        return kResultOk;
    }
    tresult VST3CALL getParamValueByString(ParamID, TChar*, ParamValue&) override { return kResultFalse; }
    ParamValue VST3CALL normalizedParamToPlain(ParamID, ParamValue v) override { return v; }
    ParamValue VST3CALL plainParamToNormalized(ParamID, ParamValue v) override { return v; }
    ParamValue VST3CALL getParamNormalized(ParamID id) override { return id == 100 ? 0.5 : 0.0; }
    tresult VST3CALL setParamNormalized(ParamID, ParamValue) override { return kResultOk; }
    tresult VST3CALL setComponentHandler(IComponentHandler* handler) override
    {
        ++(handler != nullptr ? J().HandlerSet : J().HandlerCleared);
        if (handler != nullptr && J().EditWhileLoading != 0) {
            handler->beginEdit(101);
            handler->performEdit(101, 0.75);
            handler->endEdit(101);
            handler->restartComponent(0x08); // latency changed
        }
        return kResultOk;
    }
    IPlugView* VST3CALL createView(FIDString) override { return nullptr; }
};

// ---------------------------------------------------------------------------
// The instrument: a component and a separate controller.

const TParamSpec kSynthParamSpecs[] = {{"Cutoff", "Hz"}, {"Resonance", ""}, {"Volume", "dB"}};
const char* const kSynthPrograms[] = {"Init", "Bass", "Lead"};

class TSynthComponent final : public TCounted, public IComponent, public IAudioProcessor, public IConnectionPoint {
public:
    FIXTURE_UNKNOWN
    tresult VST3CALL queryInterface(const TUID& iid, void** obj) override
    {
        *obj = nullptr;
        if (iid == FUnknown::iid || iid == IComponent::iid || iid == IPluginBase::iid)
            return Answer<IComponent>(this, obj);
        if (iid == IAudioProcessor::iid)
            return Answer<IAudioProcessor>(this, obj);
        if (iid == IConnectionPoint::iid)
            return Answer<IConnectionPoint>(this, obj);
        return kNoInterface;
    }
    tresult VST3CALL initialize(FUnknown* context) override
    {
        ++J().ComponentInitialize;
        AskHostName(context);
        return J().FailComponentInit != 0 ? kResultFalse : kResultOk;
    }
    tresult VST3CALL terminate() override
    {
        ++J().ComponentTerminate;
        return kResultOk;
    }
    tresult VST3CALL getControllerClassId(TUID& classId) override
    {
        classId = J().ZeroControllerId != 0 ? TUID{} : kSynthControllerCid;
        return kResultOk;
    }
    tresult VST3CALL setIoMode(IoMode) override { return kResultOk; }
    int32 VST3CALL getBusCount(MediaType type, BusDirection dir) override
    {
        if (type == kAudio)
            return dir == kOutput ? 2 : 0;
        return 1;
    }
    tresult VST3CALL getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) override
    {
        if (type == kAudio && dir == kOutput && index == 0)
            FillBus(bus, type, dir, 2, "Main Out", true);
        else if (type == kAudio && dir == kOutput && index == 1)
            FillBus(bus, type, dir, 1, "Aux Out", false);
        else if (type == kEvent && dir == kInput && index == 0)
            FillBus(bus, type, dir, 16, "MIDI In", true);
        else if (type == kEvent && dir == kOutput && index == 0)
            FillBus(bus, type, dir, 1, "MIDI Out", false);
        else
            return kInvalidArgument;
        return kResultOk;
    }
    tresult VST3CALL getRoutingInfo(RoutingInfo&, RoutingInfo&) override { return kNotImplemented; }
    tresult VST3CALL activateBus(MediaType, BusDirection, int32, TBool state) override
    {
        if (state)
            ++J().BusesActivated;
        return kResultOk;
    }
    tresult VST3CALL setActive(TBool state) override
    {
        ++(state ? J().ActiveOn : J().ActiveOff);
        return kResultOk;
    }
    tresult VST3CALL setState(IBStream*) override { return kResultOk; }
    tresult VST3CALL getState(IBStream* stream) override
    {
        if (stream == nullptr)
            return kInvalidArgument;
        unsigned char bytes[sizeof kSynthState + sizeof(double)];
        std::memcpy(bytes, kSynthState, sizeof kSynthState);
        std::memcpy(bytes + sizeof kSynthState, &kSynthStateCutoff, sizeof(double));
        int32 written = 0;
        return stream->write(bytes, static_cast<int32>(sizeof bytes), &written);
    }

    tresult VST3CALL setBusArrangements(SpeakerArrangement*, int32, SpeakerArrangement*, int32) override
    {
        return kResultOk;
    }
    tresult VST3CALL getBusArrangement(BusDirection, int32, SpeakerArrangement& arr) override
    {
        arr = 3;
        return kResultOk;
    }
    tresult VST3CALL canProcessSampleSize(int32) override { return kResultOk; }
    uint32 VST3CALL getLatencySamples() override { return 0; }
    tresult VST3CALL setupProcessing(ProcessSetup& setup) override { return RecordSetup(setup); }
    tresult VST3CALL setProcessing(TBool state) override
    {
        ++(state ? J().ProcessingOn : J().ProcessingOff);
        return kResultOk;
    }
    tresult VST3CALL process(ProcessData&) override { return kResultOk; }
    uint32 VST3CALL getTailSamples() override { return 0; }

    tresult VST3CALL connect(IConnectionPoint* other) override
    {
        if (other == nullptr)
            return kInvalidArgument;
        ++J().Connects;
        return kResultOk;
    }
    tresult VST3CALL disconnect(IConnectionPoint*) override
    {
        ++J().Disconnects;
        return kResultOk;
    }
    tresult VST3CALL notify(IMessage*) override { return kResultOk; }
};

class TSynthController final : public TCounted, public IEditController, public IConnectionPoint, public IUnitInfo {
public:
    FIXTURE_UNKNOWN
    tresult VST3CALL queryInterface(const TUID& iid, void** obj) override
    {
        *obj = nullptr;
        if (iid == FUnknown::iid || iid == IEditController::iid || iid == IPluginBase::iid)
            return Answer<IEditController>(this, obj);
        if (iid == IConnectionPoint::iid)
            return Answer<IConnectionPoint>(this, obj);
        if (iid == IUnitInfo::iid)
            return Answer<IUnitInfo>(this, obj);
        return kNoInterface;
    }
    tresult VST3CALL initialize(FUnknown* context) override
    {
        ++J().ControllerInitialize;
        AskHostName(context);
        return J().FailControllerInit != 0 ? kResultFalse : kResultOk;
    }
    tresult VST3CALL terminate() override
    {
        ++J().ControllerTerminate;
        return kResultOk;
    }

    tresult VST3CALL setComponentState(IBStream* stream) override
    {
        ++J().SetComponentState;
        if (stream == nullptr)
            return kInvalidArgument;
        unsigned char bytes[kJournalStateBytes] = {};
        int32 read = 0;
        stream->read(bytes, kJournalStateBytes, &read);
        J().ComponentStateSize = read;
        std::memcpy(J().ComponentState, bytes, sizeof bytes);
        if (read >= static_cast<int32>(sizeof kSynthState + sizeof(double)) &&
            std::memcmp(bytes, kSynthState, sizeof kSynthState) == 0)
            std::memcpy(&Cutoff, bytes + sizeof kSynthState, sizeof(double));
        return kResultOk;
    }
    tresult VST3CALL setState(IBStream*) override { return kResultOk; }
    tresult VST3CALL getState(IBStream*) override { return kResultOk; }
    int32 VST3CALL getParameterCount() override { return 3; }
    tresult VST3CALL getParameterInfo(int32 index, ParameterInfo& info) override
    {
        if (index < 0 || index >= 3)
            return kInvalidArgument;
        FillParam(info, index, kSynthParamSpecs, 3);
        return kResultOk;
    }
    tresult VST3CALL getParamStringByValue(ParamID id, ParamValue value, TChar* string) override
    {
        char text[32];
        std::snprintf(text, sizeof text, id == 100 ? "%.0f Hz" : "%.3f", id == 100 ? value * 20000.0 : value);
        CopyWide(string, 128, text);
        return kResultOk;
    }
    tresult VST3CALL getParamValueByString(ParamID, TChar*, ParamValue&) override { return kResultFalse; }
    ParamValue VST3CALL normalizedParamToPlain(ParamID, ParamValue v) override { return v; }
    ParamValue VST3CALL plainParamToNormalized(ParamID, ParamValue v) override { return v; }
    ParamValue VST3CALL getParamNormalized(ParamID id) override { return id == 100 ? Cutoff : 0.0; }
    tresult VST3CALL setParamNormalized(ParamID id, ParamValue value) override
    {
        if (id == 100)
            Cutoff = value;
        return kResultOk;
    }
    tresult VST3CALL setComponentHandler(IComponentHandler* handler) override
    {
        ++(handler != nullptr ? J().HandlerSet : J().HandlerCleared);
        return kResultOk;
    }
    IPlugView* VST3CALL createView(FIDString) override { return nullptr; }

    tresult VST3CALL connect(IConnectionPoint* other) override
    {
        if (other == nullptr)
            return kInvalidArgument;
        ++J().Connects;
        return kResultOk;
    }
    tresult VST3CALL disconnect(IConnectionPoint*) override
    {
        ++J().Disconnects;
        return kResultOk;
    }
    tresult VST3CALL notify(IMessage*) override { return kResultOk; }

    int32 VST3CALL getUnitCount() override { return 1; }
    tresult VST3CALL getUnitInfo(int32 index, UnitInfo& info) override
    {
        if (index != 0)
            return kInvalidArgument;
        std::memset(&info, 0, sizeof info);
        info.id = 0;
        info.parentUnitId = -1;
        CopyWide(info.name, 128, "Root");
        info.programListId = 7;
        return kResultOk;
    }
    int32 VST3CALL getProgramListCount() override { return 1; }
    tresult VST3CALL getProgramListInfo(int32 index, ProgramListInfo& info) override
    {
        if (index != 0)
            return kInvalidArgument;
        std::memset(&info, 0, sizeof info);
        info.id = 7;
        CopyWide(info.name, 128, "Factory");
        info.programCount = 3;
        return kResultOk;
    }
    tresult VST3CALL getProgramName(ProgramListID listId, int32 index, TChar* name) override
    {
        if (listId != 7 || index < 0 || index >= 3)
            return kInvalidArgument;
        CopyWide(name, 128, kSynthPrograms[index]);
        return kResultOk;
    }
    tresult VST3CALL getProgramInfo(ProgramListID, int32, CString, TChar*) override { return kResultFalse; }
    tresult VST3CALL hasProgramPitchNames(ProgramListID, int32) override { return kResultFalse; }
    tresult VST3CALL getProgramPitchName(ProgramListID, int32, int16, TChar*) override { return kResultFalse; }
    UnitID VST3CALL getSelectedUnit() override { return 0; }
    tresult VST3CALL selectUnit(UnitID) override { return kResultOk; }
    tresult VST3CALL getUnitByBus(MediaType, BusDirection, int32, int32, UnitID& unit) override
    {
        unit = 0;
        return kResultOk;
    }
    tresult VST3CALL setUnitProgramData(int32, int32, IBStream*) override { return kResultFalse; }

private:
    double Cutoff = 0.0;
};

// ---------------------------------------------------------------------------
// The factory

struct TClassSpec {
    TUID Cid;
    const char* Category;
    const char* Name;
    const char* SubCategories;
};

constexpr TClassSpec kClasses[] = {
#if FIXTURE_MODE != 2
    {kEffectCid, kVstAudioEffectClass, FIXTURE_MODE == 7 ? "Pelorin Many" : "Pelorin Echo", "Fx|Delay"},
#endif
#if FIXTURE_MODE == 2 || FIXTURE_MODE == 3
    {kSynthControllerCid, kVstComponentControllerClass, "Pelorin Synth Controller", ""},
    {kSynthCid, kVstAudioEffectClass, "Pelorin Synth", "Instrument|Synth"},
#endif
};
constexpr int32 kClassCount = static_cast<int32>(sizeof kClasses / sizeof kClasses[0]);

class TFactory final : public TCounted, public IPluginFactory2 {
public:
    FIXTURE_UNKNOWN
    tresult VST3CALL queryInterface(const TUID& iid, void** obj) override
    {
        *obj = nullptr;
        if (iid == FUnknown::iid || iid == IPluginFactory::iid || iid == IPluginFactory2::iid)
            return Answer<IPluginFactory2>(this, obj);
        return kNoInterface;
    }
    tresult VST3CALL getFactoryInfo(PFactoryInfo* info) override
    {
        std::memset(info, 0, sizeof *info);
        CopyText(info->vendor, sizeof info->vendor, "Pelorin Test Works");
        CopyText(info->url, sizeof info->url, "https://example.invalid/pelorin");
        CopyText(info->email, sizeof info->email, "tests@example.invalid");
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    }
    int32 VST3CALL countClasses() override { return kClassCount; }
    tresult VST3CALL getClassInfo(int32 index, PClassInfo* info) override
    {
        if (index < 0 || index >= kClassCount)
            return kInvalidArgument;
        std::memset(info, 0, sizeof *info);
        info->cid = kClasses[index].Cid;
        info->cardinality = PClassInfo::kManyInstances;
        CopyText(info->category, sizeof info->category, kClasses[index].Category);
        CopyText(info->name, sizeof info->name, kClasses[index].Name);
        return kResultOk;
    }
    tresult VST3CALL getClassInfo2(int32 index, PClassInfo2* info) override
    {
        if (index < 0 || index >= kClassCount)
            return kInvalidArgument;
        std::memset(info, 0, sizeof *info);
        info->cid = kClasses[index].Cid;
        info->cardinality = PClassInfo::kManyInstances;
        CopyText(info->category, sizeof info->category, kClasses[index].Category);
        CopyText(info->name, sizeof info->name, kClasses[index].Name);
        CopyText(info->subCategories, sizeof info->subCategories, kClasses[index].SubCategories);
        CopyText(info->vendor, sizeof info->vendor, "Pelorin Test Works");
        CopyText(info->version, sizeof info->version, "1.2.3");
        CopyText(info->sdkVersion, sizeof info->sdkVersion, "VST 3.7.9");
        return kResultOk;
    }
    tresult VST3CALL createInstance(FIDString cid, FIDString iid, void** obj) override
    {
        *obj = nullptr;
        TUID classId, faceId;
        std::memcpy(classId.Bytes, cid, 16);
        std::memcpy(faceId.Bytes, iid, 16);
        FUnknown* made = nullptr;
        if (kHasEffect && classId == kEffectCid)
            made = static_cast<IComponent*>(new TEffect);
        else if (kHasSynth && classId == kSynthCid)
            made = static_cast<IComponent*>(new TSynthComponent);
        else if (kHasSynth && classId == kSynthControllerCid)
            made = static_cast<IEditController*>(new TSynthController);
        if (made == nullptr)
            return kInvalidArgument;
        const tresult r = made->queryInterface(faceId, obj);
        made->release(); // the answer holds the one reference left, if any
        return r;
    }
};

} // namespace

FIXTURE_EXPORT bool InitDll()
{
    ++J().InitDll;
    return FIXTURE_MODE != 4;
}

FIXTURE_EXPORT bool ExitDll()
{
    ++J().ExitDll;
    return true;
}

FIXTURE_EXPORT IPluginFactory* VST3CALL GetPluginFactory()
{
    return new TFactory;
}
