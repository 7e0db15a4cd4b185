// The interface declarations as code built by another compiler sees them: a
// plugin knows only slot numbers in the table of functions and the calling
// convention. Two directions:
//  - our host objects, called by slot number through plain C function
//    pointers with the published signatures (what a plugin does);
//  - our interface classes, calling an object whose table is a plain array of
//    functions, one per slot (what the host does with a plugin's objects):
//    each method must land in its published slot.

#include "VST3HostObjects.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

using namespace Vst3;

namespace {

// Slot n of obj's table as a function of type F.
template <class F>
F Slot(void* obj, int n)
{
    void** table = *static_cast<void***>(obj);
    return reinterpret_cast<F>(table[n]);
}

// The published signatures, object pointer first, as plain functions.
using QueryFn = tresult(VST3CALL*)(void*, const std::uint8_t*, void**);
using RefFn = uint32(VST3CALL*)(void*);

// FUnknown slots
constexpr int kQuery = 0, kAddRef = 1, kRelease = 2;

class TPluginSide : public ::testing::Test {
protected:
    class THost : public TBaseAudioPluginHost {};
    class TPlugin : public TBaseAudioPlugin, public TVST3PluginLink {
    public:
        explicit TPlugin(TAudioPluginHostIf* h) : TBaseAudioPlugin(h, nullptr, TPluginSettings{}) {}
        tresult QueryInterface(const TUID& iid, void** obj) override { return Objects.Lookup(iid, obj); }
        TBaseAudioPlugin& LinkedPlugin() override { return *this; }
        std::int32_t ParamIndexOf(ParamID id) override { return id == 5 ? 0 : -1; }
        void QueueParamValue(std::int32_t id, std::int32_t index, std::int32_t offset, double value, bool) override
        {
            Queued.push_back({id, index, offset, value});
        }
        std::int32_t ProcessorLatency() override { return 64; }
        void ReadProgramList() override { ++ProgramReads; }
        bool CanAutomate(std::int32_t) override { return false; }
        void UpdateInfo() override { ++InfoReads; }

        struct TQueued {
            std::int32_t Id, Index, Offset;
            double Value;
        };
        std::vector<TQueued> Queued;
        int ProgramReads = 0, InfoReads = 0;
        TVST3PluginObjects Objects{*this};
    };

    THost Host;
    TPlugin Plugin{&Host};
};

TEST_F(TPluginSide, HostApplicationBySlot)
{
    void* app = Plugin.Objects.HostApplication();
    using GetNameFn = tresult(VST3CALL*)(void*, char16_t*);
    using CreateFn = tresult(VST3CALL*)(void*, const std::uint8_t*, const std::uint8_t*, void**);

    char16_t name[128];
    name[0] = u'x';
    EXPECT_EQ(Slot<GetNameFn>(app, 3)(app, name), kResultOk);
    EXPECT_EQ(name[0], u'\0');

    // The message as a plugin uses it: created, named, given attributes, freed.
    void* message = nullptr;
    ASSERT_EQ(Slot<CreateFn>(app, 4)(app, IMessage::iid.Bytes, IMessage::iid.Bytes, &message), kResultOk);
    ASSERT_NE(message, nullptr);
    using GetIdFn = const char*(VST3CALL*)(void*);
    using SetIdFn = void(VST3CALL*)(void*, const char*);
    using GetAttrFn = void*(VST3CALL*)(void*);
    Slot<SetIdFn>(message, 4)(message, "Ping");
    EXPECT_STREQ(Slot<GetIdFn>(message, 3)(message), "Ping");
    void* attrs = Slot<GetAttrFn>(message, 5)(message);
    ASSERT_NE(attrs, nullptr);

    using SetIntFn = tresult(VST3CALL*)(void*, const char*, int64);
    using GetIntFn = tresult(VST3CALL*)(void*, const char*, int64*);
    using SetFloatFn = tresult(VST3CALL*)(void*, const char*, double);
    using GetFloatFn = tresult(VST3CALL*)(void*, const char*, double*);
    using SetStringFn = tresult(VST3CALL*)(void*, const char*, const char16_t*);
    using GetStringFn = tresult(VST3CALL*)(void*, const char*, char16_t*, uint32);
    using SetBinaryFn = tresult(VST3CALL*)(void*, const char*, const void*, uint32);
    using GetBinaryFn = tresult(VST3CALL*)(void*, const char*, const void**, uint32*);
    EXPECT_EQ(Slot<SetIntFn>(attrs, 3)(attrs, "i", 0x123456789ABLL), kResultOk);
    int64 i = 0;
    EXPECT_EQ(Slot<GetIntFn>(attrs, 4)(attrs, "i", &i), kResultOk);
    EXPECT_EQ(i, 0x123456789ABLL);
    EXPECT_EQ(Slot<SetFloatFn>(attrs, 5)(attrs, "f", 0.125), kResultOk);
    double f = 0;
    EXPECT_EQ(Slot<GetFloatFn>(attrs, 6)(attrs, "f", &f), kResultOk);
    EXPECT_EQ(f, 0.125);
    EXPECT_EQ(Slot<SetStringFn>(attrs, 7)(attrs, "s", u"abc"), kResultOk);
    char16_t s[8] = {};
    EXPECT_EQ(Slot<GetStringFn>(attrs, 8)(attrs, "s", s, sizeof s), kResultOk);
    EXPECT_EQ(std::u16string(s), u"abc");
    EXPECT_EQ(Slot<SetBinaryFn>(attrs, 9)(attrs, "b", "xyz", 3), kResultOk);
    const void* data = nullptr;
    uint32 size = 0;
    EXPECT_EQ(Slot<GetBinaryFn>(attrs, 10)(attrs, "b", &data, &size), kResultOk);
    ASSERT_EQ(size, 3u);
    EXPECT_EQ(std::memcmp(data, "xyz", 3), 0);

    // Reference counting by slot: the caller holds the only reference.
    EXPECT_EQ(Slot<RefFn>(message, kAddRef)(message), 2u);
    EXPECT_EQ(Slot<RefFn>(message, kRelease)(message), 1u);
    EXPECT_EQ(Slot<RefFn>(message, kRelease)(message), 0u);
}

TEST_F(TPluginSide, LookupBySlotFromEveryPluginObject)
{
    void* objects[] = {Plugin.Objects.HostApplication(), Plugin.Objects.ComponentHandler(),
                       Plugin.Objects.UnitHandler()};
    for (void* obj : objects) {
        for (const TUID* iid : {&IHostApplication::iid, &IComponentHandler::iid, &IUnitHandler::iid}) {
            void* out = reinterpret_cast<void*>(1);
            ASSERT_EQ(Slot<QueryFn>(obj, kQuery)(obj, iid->Bytes, &out), kResultOk);
            EXPECT_NE(out, nullptr);
            Slot<RefFn>(out, kRelease)(out);
        }
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(Slot<QueryFn>(obj, kQuery)(obj, FUnknown::iid.Bytes, &out), kResultFalse);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(TPluginSide, HandlersBySlot)
{
    Plugin.Objects.ComponentHandler()->SetEnabled(true);
    void* h = Plugin.Objects.ComponentHandler();
    using EditFn = tresult(VST3CALL*)(void*, ParamID);
    using PerformFn = tresult(VST3CALL*)(void*, ParamID, ParamValue);
    using RestartFn = tresult(VST3CALL*)(void*, int32);
    EXPECT_EQ(Slot<EditFn>(h, 3)(h, 5), kResultOk);
    EXPECT_EQ(Slot<PerformFn>(h, 4)(h, 5, 0.625), kResultOk);
    EXPECT_EQ(Slot<EditFn>(h, 5)(h, 5), kResultOk);
    ASSERT_EQ(Plugin.Queued.size(), 1u);
    EXPECT_EQ(Plugin.Queued[0].Id, 5);
    EXPECT_EQ(Plugin.Queued[0].Index, 0);
    EXPECT_EQ(Plugin.Queued[0].Value, 0.625);
    EXPECT_EQ(Slot<RestartFn>(h, 6)(h, kLatencyChanged), kResultOk);
    EXPECT_EQ(Plugin.Latency, 64);
    EXPECT_EQ(Plugin.InfoReads, 0);

    void* u = Plugin.Objects.UnitHandler();
    using SelectFn = tresult(VST3CALL*)(void*, UnitID);
    using ListChangeFn = tresult(VST3CALL*)(void*, ProgramListID, int32);
    EXPECT_EQ(Slot<SelectFn>(u, 3)(u, 1), kResultOk);
    EXPECT_EQ(Plugin.ProgramReads, 0);
    EXPECT_EQ(Slot<ListChangeFn>(u, 4)(u, 7, 2), kResultOk);
    EXPECT_EQ(Plugin.ProgramReads, 1);
}

TEST(VST3Slots, StreamBySlot)
{
    auto stream = TVST3BStream::Create();
    void* s = stream.Get();
    using IoFn = tresult(VST3CALL*)(void*, void*, int32, int32*);
    using SeekFn = tresult(VST3CALL*)(void*, int64, int32, int64*);
    using TellFn = tresult(VST3CALL*)(void*, int64*);
    char text[] = "0123456789";
    int32 n = 0;
    EXPECT_EQ(Slot<IoFn>(s, 4)(s, text, 10, &n), kResultOk);
    EXPECT_EQ(n, 10);
    int64 pos = 0;
    // A 64-bit position before a 32-bit mode: both must arrive intact.
    EXPECT_EQ(Slot<SeekFn>(s, 5)(s, -4, kIBSeekEnd, &pos), kResultOk);
    EXPECT_EQ(pos, 6);
    EXPECT_EQ(Slot<SeekFn>(s, 5)(s, 0x100000002LL, kIBSeekSet, &pos), kResultOk);
    EXPECT_EQ(pos, 0x100000002LL);
    EXPECT_EQ(Slot<SeekFn>(s, 5)(s, 3, kIBSeekSet, nullptr), kResultOk);
    EXPECT_EQ(Slot<TellFn>(s, 6)(s, &pos), kResultOk);
    EXPECT_EQ(pos, 3);
    char out[4] = {};
    EXPECT_EQ(Slot<IoFn>(s, 3)(s, out, 4, &n), kResultOk);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(std::string(out, 4), "3456");
}

#if defined(__i386__) || defined(_M_IX86)
// --- Calling convention on x86 ---------------------------------------------------
// Every method of every interface uses the standard calling convention (the
// attribute is part of the method's type, so a method without it fails here).
template <class R, class C, class... A>
constexpr bool IsStdCall(R (__attribute__((stdcall)) C::*)(A...))
{
    return true;
}
template <class R, class C, class... A>
constexpr bool IsStdCall(R (C::*)(A...))
{
    return false;
}
struct TPlainMethod {
    void f(int);
};
static_assert(!IsStdCall(&TPlainMethod::f));
static_assert(IsStdCall(&FUnknown::queryInterface) &&
              IsStdCall(&FUnknown::addRef) &&
              IsStdCall(&FUnknown::release), "FUnknown");
static_assert(IsStdCall(&IPluginBase::initialize) &&
              IsStdCall(&IPluginBase::terminate), "IPluginBase");
static_assert(IsStdCall(&IPluginFactory::getFactoryInfo) &&
              IsStdCall(&IPluginFactory::countClasses) &&
              IsStdCall(&IPluginFactory::getClassInfo) &&
              IsStdCall(&IPluginFactory::createInstance), "IPluginFactory");
static_assert(IsStdCall(&IPluginFactory2::getClassInfo2), "IPluginFactory2");
static_assert(IsStdCall(&IPluginFactory3::getClassInfoUnicode) &&
              IsStdCall(&IPluginFactory3::setHostContext), "IPluginFactory3");
static_assert(IsStdCall(&IComponent::getControllerClassId) &&
              IsStdCall(&IComponent::setIoMode) &&
              IsStdCall(&IComponent::getBusCount) &&
              IsStdCall(&IComponent::getBusInfo) &&
              IsStdCall(&IComponent::getRoutingInfo) &&
              IsStdCall(&IComponent::activateBus) &&
              IsStdCall(&IComponent::setActive) &&
              IsStdCall(&IComponent::setState) &&
              IsStdCall(&IComponent::getState), "IComponent");
static_assert(IsStdCall(&IAudioProcessor::setBusArrangements) &&
              IsStdCall(&IAudioProcessor::getBusArrangement) &&
              IsStdCall(&IAudioProcessor::canProcessSampleSize) &&
              IsStdCall(&IAudioProcessor::getLatencySamples) &&
              IsStdCall(&IAudioProcessor::setupProcessing) &&
              IsStdCall(&IAudioProcessor::setProcessing) &&
              IsStdCall(&IAudioProcessor::process) &&
              IsStdCall(&IAudioProcessor::getTailSamples), "IAudioProcessor");
static_assert(IsStdCall(&IAudioPresentationLatency::setAudioPresentationLatencySamples), "IAudioPresentationLatency");
static_assert(IsStdCall(&IEditController::setComponentState) &&
              IsStdCall(&IEditController::setState) &&
              IsStdCall(&IEditController::getState) &&
              IsStdCall(&IEditController::getParameterCount) &&
              IsStdCall(&IEditController::getParameterInfo) &&
              IsStdCall(&IEditController::getParamStringByValue) &&
              IsStdCall(&IEditController::getParamValueByString) &&
              IsStdCall(&IEditController::normalizedParamToPlain) &&
              IsStdCall(&IEditController::plainParamToNormalized) &&
              IsStdCall(&IEditController::getParamNormalized) &&
              IsStdCall(&IEditController::setParamNormalized) &&
              IsStdCall(&IEditController::setComponentHandler) &&
              IsStdCall(&IEditController::createView), "IEditController");
static_assert(IsStdCall(&IEditController2::setKnobMode) &&
              IsStdCall(&IEditController2::openHelp) &&
              IsStdCall(&IEditController2::openAboutBox), "IEditController2");
static_assert(IsStdCall(&IConnectionPoint::connect) &&
              IsStdCall(&IConnectionPoint::disconnect) &&
              IsStdCall(&IConnectionPoint::notify), "IConnectionPoint");
static_assert(IsStdCall(&IUnitInfo::getUnitCount) &&
              IsStdCall(&IUnitInfo::getUnitInfo) &&
              IsStdCall(&IUnitInfo::getProgramListCount) &&
              IsStdCall(&IUnitInfo::getProgramListInfo) &&
              IsStdCall(&IUnitInfo::getProgramName) &&
              IsStdCall(&IUnitInfo::getProgramInfo) &&
              IsStdCall(&IUnitInfo::hasProgramPitchNames) &&
              IsStdCall(&IUnitInfo::getProgramPitchName) &&
              IsStdCall(&IUnitInfo::getSelectedUnit) &&
              IsStdCall(&IUnitInfo::selectUnit) &&
              IsStdCall(&IUnitInfo::getUnitByBus) &&
              IsStdCall(&IUnitInfo::setUnitProgramData), "IUnitInfo");
static_assert(IsStdCall(&IProgramListData::programDataSupported) &&
              IsStdCall(&IProgramListData::getProgramData) &&
              IsStdCall(&IProgramListData::setProgramData), "IProgramListData");
static_assert(IsStdCall(&IMidiMapping::getMidiControllerAssignment), "IMidiMapping");
static_assert(IsStdCall(&IBStream::read) &&
              IsStdCall(&IBStream::write) &&
              IsStdCall(&IBStream::seek) &&
              IsStdCall(&IBStream::tell), "IBStream");
static_assert(IsStdCall(&IPlugFrame::resizeView), "IPlugFrame");
static_assert(IsStdCall(&IPlugView::isPlatformTypeSupported) &&
              IsStdCall(&IPlugView::attached) &&
              IsStdCall(&IPlugView::removed) &&
              IsStdCall(&IPlugView::onWheel) &&
              IsStdCall(&IPlugView::onKeyDown) &&
              IsStdCall(&IPlugView::onKeyUp) &&
              IsStdCall(&IPlugView::getSize) &&
              IsStdCall(&IPlugView::onSize) &&
              IsStdCall(&IPlugView::onFocus) &&
              IsStdCall(&IPlugView::setFrame) &&
              IsStdCall(&IPlugView::canResize) &&
              IsStdCall(&IPlugView::checkSizeConstraint), "IPlugView");
static_assert(IsStdCall(&IAttributeList::setInt) &&
              IsStdCall(&IAttributeList::getInt) &&
              IsStdCall(&IAttributeList::setFloat) &&
              IsStdCall(&IAttributeList::getFloat) &&
              IsStdCall(&IAttributeList::setString) &&
              IsStdCall(&IAttributeList::getString) &&
              IsStdCall(&IAttributeList::setBinary) &&
              IsStdCall(&IAttributeList::getBinary), "IAttributeList");
static_assert(IsStdCall(&IParamValueQueue::getParameterId) &&
              IsStdCall(&IParamValueQueue::getPointCount) &&
              IsStdCall(&IParamValueQueue::getPoint) &&
              IsStdCall(&IParamValueQueue::addPoint), "IParamValueQueue");
static_assert(IsStdCall(&IParameterChanges::getParameterCount) &&
              IsStdCall(&IParameterChanges::getParameterData) &&
              IsStdCall(&IParameterChanges::addParameterData), "IParameterChanges");
static_assert(IsStdCall(&IEventList::getEventCount) &&
              IsStdCall(&IEventList::getEvent) &&
              IsStdCall(&IEventList::addEvent), "IEventList");
static_assert(IsStdCall(&IMessage::getMessageID) &&
              IsStdCall(&IMessage::setMessageID) &&
              IsStdCall(&IMessage::getAttributes), "IMessage");
static_assert(IsStdCall(&IHostApplication::getName) &&
              IsStdCall(&IHostApplication::createInstance), "IHostApplication");
static_assert(IsStdCall(&IComponentHandler::beginEdit) &&
              IsStdCall(&IComponentHandler::performEdit) &&
              IsStdCall(&IComponentHandler::endEdit) &&
              IsStdCall(&IComponentHandler::restartComponent), "IComponentHandler");
static_assert(IsStdCall(&IComponentHandler2::setDirty) &&
              IsStdCall(&IComponentHandler2::requestOpenEditor) &&
              IsStdCall(&IComponentHandler2::startGroupEdit) &&
              IsStdCall(&IComponentHandler2::finishGroupEdit), "IComponentHandler2");
static_assert(IsStdCall(&IUnitHandler::notifyUnitSelection) &&
              IsStdCall(&IUnitHandler::notifyProgramListChange), "IUnitHandler");
static_assert(IsStdCall(&IContextMenuTarget::executeMenuItem), "IContextMenuTarget");
static_assert(IsStdCall(&IContextMenu::getItemCount) &&
              IsStdCall(&IContextMenu::getItem) &&
              IsStdCall(&IContextMenu::addItem) &&
              IsStdCall(&IContextMenu::removeItem) &&
              IsStdCall(&IContextMenu::popup), "IContextMenu");
static_assert(IsStdCall(&IComponentHandler3::createContextMenu), "IComponentHandler3");
static_assert(IsStdCall(&Presonus::ICommandList::getCommandCount) &&
              IsStdCall(&Presonus::ICommandList::getCommandInfo) &&
              IsStdCall(&Presonus::ICommandList::executeCommand), "ICommandList");
static_assert(IsStdCall(&Presonus::IHostCommandHandler::createParamCommands) &&
              IsStdCall(&Presonus::IHostCommandHandler::popupCommandMenu), "IHostCommandHandler");
static_assert(std::is_same_v<GetFactoryProc, IPluginFactory*(__attribute__((stdcall))*)()>);
#endif

#if !(defined(__i386__) || defined(_M_IX86))
// --- The other direction -----------------------------------------------------------
// An object whose table holds, in slot n, a function that records n. On x86-64
// the caller cleans up after a call, so one function shape serves every
// method whatever its arguments (on x86 the callee pops them: not done there).

struct TSlotRecorder {
    void** Table;
    int Hit = -1;
};

template <int N>
std::uintptr_t SlotHit(void* self)
{
    static_cast<TSlotRecorder*>(self)->Hit = N;
    return 0;
}

template <int... N>
std::array<void*, sizeof...(N)> MakeTable(std::integer_sequence<int, N...>)
{
    return {reinterpret_cast<void*>(&SlotHit<N>)...};
}

std::array<void*, 24> gTable = MakeTable(std::make_integer_sequence<int, 24>{});

template <class I>
struct TCall {
    const char* Method;
    int Slot;
    void (*Call)(I*);
};

template <class I>
void CheckSlots(const std::vector<TCall<I>>& calls)
{
    for (const TCall<I>& c : calls) {
        TSlotRecorder rec{gTable.data()};
        c.Call(reinterpret_cast<I*>(&rec));
        EXPECT_EQ(rec.Hit, c.Slot) << c.Method;
    }
}

TUID gId{};
ViewRect gRect{};
int32 gInt = 0;
int64 gInt64 = 0;
ParamID gParam = 0;
double gDouble = 0;
const void* gPtr = nullptr;
uint32 gU32 = 0;
SpeakerArrangement gArr = 0;
UnitID gUnit = 0;

TEST(VST3Slots, FUnknownAndBase)
{
    CheckSlots<IPluginBase>({
        {"queryInterface", 0, [](IPluginBase* p) { p->queryInterface(gId, nullptr); }},
        {"addRef", 1, [](IPluginBase* p) { p->addRef(); }},
        {"release", 2, [](IPluginBase* p) { p->release(); }},
        {"initialize", 3, [](IPluginBase* p) { p->initialize(nullptr); }},
        {"terminate", 4, [](IPluginBase* p) { p->terminate(); }},
    });
}

TEST(VST3Slots, Factory)
{
    CheckSlots<IPluginFactory3>({
        {"getFactoryInfo", 3, [](IPluginFactory3* p) { p->getFactoryInfo(nullptr); }},
        {"countClasses", 4, [](IPluginFactory3* p) { p->countClasses(); }},
        {"getClassInfo", 5, [](IPluginFactory3* p) { p->getClassInfo(0, nullptr); }},
        {"createInstance", 6, [](IPluginFactory3* p) { p->createInstance(nullptr, nullptr, nullptr); }},
        {"getClassInfo2", 7, [](IPluginFactory3* p) { p->getClassInfo2(0, nullptr); }},
        {"getClassInfoUnicode", 8, [](IPluginFactory3* p) { p->getClassInfoUnicode(0, nullptr); }},
        {"setHostContext", 9, [](IPluginFactory3* p) { p->setHostContext(nullptr); }},
    });
}

TEST(VST3Slots, Component)
{
    static BusInfo bus;
    static RoutingInfo r1, r2;
    CheckSlots<IComponent>({
        {"initialize", 3, [](IComponent* p) { p->initialize(nullptr); }},
        {"terminate", 4, [](IComponent* p) { p->terminate(); }},
        {"getControllerClassId", 5, [](IComponent* p) { p->getControllerClassId(gId); }},
        {"setIoMode", 6, [](IComponent* p) { p->setIoMode(0); }},
        {"getBusCount", 7, [](IComponent* p) { p->getBusCount(0, 0); }},
        {"getBusInfo", 8, [](IComponent* p) { p->getBusInfo(0, 0, 0, bus); }},
        {"getRoutingInfo", 9, [](IComponent* p) { p->getRoutingInfo(r1, r2); }},
        {"activateBus", 10, [](IComponent* p) { p->activateBus(0, 0, 0, 1); }},
        {"setActive", 11, [](IComponent* p) { p->setActive(1); }},
        {"setState", 12, [](IComponent* p) { p->setState(nullptr); }},
        {"getState", 13, [](IComponent* p) { p->getState(nullptr); }},
    });
}

TEST(VST3Slots, AudioProcessor)
{
    static ProcessSetup setup;
    static ProcessData data;
    CheckSlots<IAudioProcessor>({
        {"setBusArrangements", 3, [](IAudioProcessor* p) { p->setBusArrangements(nullptr, 0, nullptr, 0); }},
        {"getBusArrangement", 4, [](IAudioProcessor* p) { p->getBusArrangement(0, 0, gArr); }},
        {"canProcessSampleSize", 5, [](IAudioProcessor* p) { p->canProcessSampleSize(0); }},
        {"getLatencySamples", 6, [](IAudioProcessor* p) { p->getLatencySamples(); }},
        {"setupProcessing", 7, [](IAudioProcessor* p) { p->setupProcessing(setup); }},
        {"setProcessing", 8, [](IAudioProcessor* p) { p->setProcessing(1); }},
        {"process", 9, [](IAudioProcessor* p) { p->process(data); }},
        {"getTailSamples", 10, [](IAudioProcessor* p) { p->getTailSamples(); }},
    });
    CheckSlots<IAudioPresentationLatency>({
        {"setAudioPresentationLatencySamples", 3,
         [](IAudioPresentationLatency* p) { p->setAudioPresentationLatencySamples(0, 0, 0); }},
    });
}

TEST(VST3Slots, EditController)
{
    static ParameterInfo info;
    static String128 text;
    CheckSlots<IEditController>({
        {"initialize", 3, [](IEditController* p) { p->initialize(nullptr); }},
        {"terminate", 4, [](IEditController* p) { p->terminate(); }},
        {"setComponentState", 5, [](IEditController* p) { p->setComponentState(nullptr); }},
        {"setState", 6, [](IEditController* p) { p->setState(nullptr); }},
        {"getState", 7, [](IEditController* p) { p->getState(nullptr); }},
        {"getParameterCount", 8, [](IEditController* p) { p->getParameterCount(); }},
        {"getParameterInfo", 9, [](IEditController* p) { p->getParameterInfo(0, info); }},
        {"getParamStringByValue", 10, [](IEditController* p) { p->getParamStringByValue(0, 0.0, text); }},
        {"getParamValueByString", 11, [](IEditController* p) { p->getParamValueByString(0, text, gDouble); }},
        {"normalizedParamToPlain", 12, [](IEditController* p) { p->normalizedParamToPlain(0, 0.0); }},
        {"plainParamToNormalized", 13, [](IEditController* p) { p->plainParamToNormalized(0, 0.0); }},
        {"getParamNormalized", 14, [](IEditController* p) { p->getParamNormalized(0); }},
        {"setParamNormalized", 15, [](IEditController* p) { p->setParamNormalized(0, 0.0); }},
        {"setComponentHandler", 16, [](IEditController* p) { p->setComponentHandler(nullptr); }},
        {"createView", 17, [](IEditController* p) { p->createView(kEditor); }},
    });
    CheckSlots<IEditController2>({
        {"setKnobMode", 3, [](IEditController2* p) { p->setKnobMode(0); }},
        {"openHelp", 4, [](IEditController2* p) { p->openHelp(0); }},
        {"openAboutBox", 5, [](IEditController2* p) { p->openAboutBox(0); }},
    });
}

TEST(VST3Slots, ControllerCompanions)
{
    static UnitInfo unit;
    static ProgramListInfo list;
    static String128 text;
    CheckSlots<IConnectionPoint>({
        {"connect", 3, [](IConnectionPoint* p) { p->connect(nullptr); }},
        {"disconnect", 4, [](IConnectionPoint* p) { p->disconnect(nullptr); }},
        {"notify", 5, [](IConnectionPoint* p) { p->notify(nullptr); }},
    });
    CheckSlots<IUnitInfo>({
        {"getUnitCount", 3, [](IUnitInfo* p) { p->getUnitCount(); }},
        {"getUnitInfo", 4, [](IUnitInfo* p) { p->getUnitInfo(0, unit); }},
        {"getProgramListCount", 5, [](IUnitInfo* p) { p->getProgramListCount(); }},
        {"getProgramListInfo", 6, [](IUnitInfo* p) { p->getProgramListInfo(0, list); }},
        {"getProgramName", 7, [](IUnitInfo* p) { p->getProgramName(0, 0, text); }},
        {"getProgramInfo", 8, [](IUnitInfo* p) { p->getProgramInfo(0, 0, "", text); }},
        {"hasProgramPitchNames", 9, [](IUnitInfo* p) { p->hasProgramPitchNames(0, 0); }},
        {"getProgramPitchName", 10, [](IUnitInfo* p) { p->getProgramPitchName(0, 0, 0, text); }},
        {"getSelectedUnit", 11, [](IUnitInfo* p) { p->getSelectedUnit(); }},
        {"selectUnit", 12, [](IUnitInfo* p) { p->selectUnit(0); }},
        {"getUnitByBus", 13, [](IUnitInfo* p) { p->getUnitByBus(0, 0, 0, 0, gUnit); }},
        {"setUnitProgramData", 14, [](IUnitInfo* p) { p->setUnitProgramData(0, 0, nullptr); }},
    });
    CheckSlots<IProgramListData>({
        {"programDataSupported", 3, [](IProgramListData* p) { p->programDataSupported(0); }},
        {"getProgramData", 4, [](IProgramListData* p) { p->getProgramData(0, 0, nullptr); }},
        {"setProgramData", 5, [](IProgramListData* p) { p->setProgramData(0, 0, nullptr); }},
    });
    CheckSlots<IMidiMapping>({
        {"getMidiControllerAssignment", 3, [](IMidiMapping* p) { p->getMidiControllerAssignment(0, 0, 0, gParam); }},
    });
}

TEST(VST3Slots, ViewAndFrame)
{
    CheckSlots<IPlugView>({
        {"isPlatformTypeSupported", 3, [](IPlugView* p) { p->isPlatformTypeSupported(kPlatformTypeHWND); }},
        {"attached", 4, [](IPlugView* p) { p->attached(nullptr, kPlatformTypeHWND); }},
        {"removed", 5, [](IPlugView* p) { p->removed(); }},
        {"onWheel", 6, [](IPlugView* p) { p->onWheel(1.0f); }},
        {"onKeyDown", 7, [](IPlugView* p) { p->onKeyDown(u'a', 0, 0); }},
        {"onKeyUp", 8, [](IPlugView* p) { p->onKeyUp(u'a', 0, 0); }},
        {"getSize", 9, [](IPlugView* p) { p->getSize(&gRect); }},
        {"onSize", 10, [](IPlugView* p) { p->onSize(&gRect); }},
        {"onFocus", 11, [](IPlugView* p) { p->onFocus(1); }},
        {"setFrame", 12, [](IPlugView* p) { p->setFrame(nullptr); }},
        {"canResize", 13, [](IPlugView* p) { p->canResize(); }},
        {"checkSizeConstraint", 14, [](IPlugView* p) { p->checkSizeConstraint(&gRect); }},
    });
    CheckSlots<IPlugFrame>({
        {"resizeView", 3, [](IPlugFrame* p) { p->resizeView(nullptr, &gRect); }},
    });
}

TEST(VST3Slots, ProcessingLists)
{
    static Event e;
    CheckSlots<IParamValueQueue>({
        {"getParameterId", 3, [](IParamValueQueue* p) { p->getParameterId(); }},
        {"getPointCount", 4, [](IParamValueQueue* p) { p->getPointCount(); }},
        {"getPoint", 5, [](IParamValueQueue* p) { p->getPoint(0, gInt, gDouble); }},
        {"addPoint", 6, [](IParamValueQueue* p) { p->addPoint(0, 0.0, gInt); }},
    });
    CheckSlots<IParameterChanges>({
        {"getParameterCount", 3, [](IParameterChanges* p) { p->getParameterCount(); }},
        {"getParameterData", 4, [](IParameterChanges* p) { p->getParameterData(0); }},
        {"addParameterData", 5, [](IParameterChanges* p) { p->addParameterData(gParam, gInt); }},
    });
    CheckSlots<IEventList>({
        {"getEventCount", 3, [](IEventList* p) { p->getEventCount(); }},
        {"getEvent", 4, [](IEventList* p) { p->getEvent(0, e); }},
        {"addEvent", 5, [](IEventList* p) { p->addEvent(e); }},
    });
}

TEST(VST3Slots, HostSideInterfaces)
{
    static String128 text;
    static IContextMenuItem item;
    CheckSlots<IBStream>({
        {"read", 3, [](IBStream* p) { p->read(nullptr, 0, nullptr); }},
        {"write", 4, [](IBStream* p) { p->write(nullptr, 0, nullptr); }},
        {"seek", 5, [](IBStream* p) { p->seek(0, 0, nullptr); }},
        {"tell", 6, [](IBStream* p) { p->tell(nullptr); }},
    });
    CheckSlots<IAttributeList>({
        {"setInt", 3, [](IAttributeList* p) { p->setInt("", 0); }},
        {"getInt", 4, [](IAttributeList* p) { p->getInt("", gInt64); }},
        {"setFloat", 5, [](IAttributeList* p) { p->setFloat("", 0.0); }},
        {"getFloat", 6, [](IAttributeList* p) { p->getFloat("", gDouble); }},
        {"setString", 7, [](IAttributeList* p) { p->setString("", text); }},
        {"getString", 8, [](IAttributeList* p) { p->getString("", text, 0); }},
        {"setBinary", 9, [](IAttributeList* p) { p->setBinary("", nullptr, 0); }},
        {"getBinary", 10, [](IAttributeList* p) { p->getBinary("", gPtr, gU32); }},
    });
    CheckSlots<IMessage>({
        {"getMessageID", 3, [](IMessage* p) { p->getMessageID(); }},
        {"setMessageID", 4, [](IMessage* p) { p->setMessageID(""); }},
        {"getAttributes", 5, [](IMessage* p) { p->getAttributes(); }},
    });
    CheckSlots<IHostApplication>({
        {"getName", 3, [](IHostApplication* p) { p->getName(text); }},
        {"createInstance", 4, [](IHostApplication* p) { p->createInstance(gId, gId, nullptr); }},
    });
    CheckSlots<IComponentHandler>({
        {"beginEdit", 3, [](IComponentHandler* p) { p->beginEdit(0); }},
        {"performEdit", 4, [](IComponentHandler* p) { p->performEdit(0, 0.0); }},
        {"endEdit", 5, [](IComponentHandler* p) { p->endEdit(0); }},
        {"restartComponent", 6, [](IComponentHandler* p) { p->restartComponent(0); }},
    });
    CheckSlots<IComponentHandler2>({
        {"setDirty", 3, [](IComponentHandler2* p) { p->setDirty(1); }},
        {"requestOpenEditor", 4, [](IComponentHandler2* p) { p->requestOpenEditor(kEditor); }},
        {"startGroupEdit", 5, [](IComponentHandler2* p) { p->startGroupEdit(); }},
        {"finishGroupEdit", 6, [](IComponentHandler2* p) { p->finishGroupEdit(); }},
    });
    CheckSlots<IUnitHandler>({
        {"notifyUnitSelection", 3, [](IUnitHandler* p) { p->notifyUnitSelection(0); }},
        {"notifyProgramListChange", 4, [](IUnitHandler* p) { p->notifyProgramListChange(0, 0); }},
    });
    CheckSlots<IContextMenuTarget>({
        {"executeMenuItem", 3, [](IContextMenuTarget* p) { p->executeMenuItem(0); }},
    });
    CheckSlots<IContextMenu>({
        {"getItemCount", 3, [](IContextMenu* p) { p->getItemCount(); }},
        {"getItem", 4, [](IContextMenu* p) { p->getItem(0, item, nullptr); }},
        {"addItem", 5, [](IContextMenu* p) { p->addItem(item, nullptr); }},
        {"removeItem", 6, [](IContextMenu* p) { p->removeItem(item, nullptr); }},
        {"popup", 7, [](IContextMenu* p) { p->popup(0, 0); }},
    });
    CheckSlots<IComponentHandler3>({
        {"createContextMenu", 3, [](IComponentHandler3* p) { p->createContextMenu(nullptr, nullptr); }},
    });
    CheckSlots<Presonus::ICommandList>({
        {"getCommandCount", 3, [](Presonus::ICommandList* p) { p->getCommandCount(); }},
        {"getCommandInfo", 4,
         [](Presonus::ICommandList* p) {
             static Presonus::CommandInfo info;
             p->getCommandInfo(0, info);
         }},
        {"executeCommand", 5, [](Presonus::ICommandList* p) { p->executeCommand(0); }},
    });
    CheckSlots<Presonus::IHostCommandHandler>({
        {"createParamCommands", 3, [](Presonus::IHostCommandHandler* p) { p->createParamCommands(0); }},
        {"popupCommandMenu", 4,
         [](Presonus::IHostCommandHandler* p) { p->popupCommandMenu(nullptr, 0, 0, nullptr); }},
    });
}
#endif

} // namespace
