// The host-side VST 3 objects: reference counts and queryInterface rules, the
// shared lookup of the objects tied to one plugin, and what each object does.

#include "VST3HostObjects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace Vst3;

namespace {

// A host that keeps the trace lines it receives.
class TTraceHost : public TBaseAudioPluginHost {
public:
    void Log(const std::string& t, std::uint8_t level, std::int32_t indent) override
    {
        std::ostringstream s;
        s << t << ' ' << int(level) << ' ' << indent;
        Lines.push_back(s.str());
    }
    std::vector<std::string> Lines;
};

// The plugin side of the link: records every call the host objects make.
class TLinkedPlugin : public TBaseAudioPlugin, public TVST3PluginLink {
public:
    explicit TLinkedPlugin(TAudioPluginHostIf* host) : TBaseAudioPlugin(host, nullptr, TPluginSettings{44100, 512, 120.0, 16, 4, 960}) {}

    tresult QueryInterface(const TUID& iid, void** obj) override { return Objects.Lookup(iid, obj); }
    TBaseAudioPlugin& LinkedPlugin() override { return *this; }
    std::int32_t ParamIndexOf(ParamID id) override
    {
        for (std::size_t i = 0; i < Ids.size(); ++i)
            if (Ids[i] == id)
                return static_cast<std::int32_t>(i);
        return -1;
    }
    void QueueParamValue(std::int32_t id, std::int32_t index, std::int32_t offset, double value,
                         bool toProcessor) override
    {
        Rec("Queue", id, index, offset, value, toProcessor);
    }
    std::int32_t ProcessorLatency() override
    {
        Rec("ProcessorLatency");
        return 321;
    }
    void ReadProgramList() override { Rec("ReadProgramList"); }

    bool CanAutomate(std::int32_t index) override { return index == 0; }
    void NotifyParamValue(std::int32_t index, float value) override { Rec("Notify", index, value); }
    void UpdateInfo() override { Rec("UpdateInfo"); }
    void IOChanged() override { Rec("IOChanged"); }
    void LatencyChanged(std::int32_t flag) override { Rec("LatencyChanged", flag, Latency); }
    void UpdateDisplay(std::int32_t what, bool flag) override { Rec("UpdateDisplay", what, flag); }

    template <class... A>
    void Rec(const char* op, A... args)
    {
        std::ostringstream s;
        s << op;
        ((s << ' ' << args), ...);
        Calls.push_back(s.str());
    }

    std::vector<ParamID> Ids{10, 20};
    std::vector<std::string> Calls;
    TVST3PluginObjects Objects{*this};
};

// A stand-in for the context-menu handler: counts its references.
class TFakeHandler3 final : public TVST3Object<TFakeHandler3, IComponentHandler3> {
public:
    static TInterfaceRef<TFakeHandler3> Create() { return TInterfaceRef<TFakeHandler3>(new TFakeHandler3()); }
    IContextMenu* VST3CALL createContextMenu(IPlugView*, const ParamID*) override { return nullptr; }

private:
    friend class TVST3Object<TFakeHandler3, IComponentHandler3>;
    TFakeHandler3() = default;
    ~TFakeHandler3() = default;
};

void* const kGarbage = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x5A5A5A5A));

// Every identifier of the published interfaces this system knows.
const TUID* const kAllIids[] = {
    &FUnknown::iid,          &IPluginBase::iid,        &IPluginFactory::iid,       &IPluginFactory2::iid,
    &IPluginFactory3::iid,   &IComponent::iid,         &IAudioProcessor::iid,      &IAudioPresentationLatency::iid,
    &IEditController::iid,   &IEditController2::iid,   &IConnectionPoint::iid,     &IUnitInfo::iid,
    &IProgramListData::iid,  &IMidiMapping::iid,       &IBStream::iid,             &IPlugFrame::iid,
    &IPlugView::iid,         &IAttributeList::iid,     &IParamValueQueue::iid,     &IParameterChanges::iid,
    &IEventList::iid,        &IMessage::iid,           &IHostApplication::iid,     &IComponentHandler::iid,
    &IComponentHandler2::iid, &IUnitHandler::iid,      &IContextMenuTarget::iid,   &IContextMenu::iid,
    &IComponentHandler3::iid, &Presonus::ICommandList::iid, &Presonus::IHostCommandHandler::iid,
};

// Asks obj for every known IID; answers the IIDs it answered, and checks the
// rules on the way: out-pointer cleared, kResultOk or kResultFalse only, one
// more reference per answer.
std::vector<const TUID*> AnsweredIids(FUnknown* obj)
{
    std::vector<const TUID*> answered;
    for (const TUID* iid : kAllIids) {
        void* out = kGarbage;
        const tresult r = obj->queryInterface(*iid, &out);
        if (r == kResultOk) {
            EXPECT_NE(out, nullptr);
            answered.push_back(iid);
            static_cast<FUnknown*>(out)->release();
        } else {
            EXPECT_EQ(r, kResultFalse);
            EXPECT_EQ(out, nullptr);
        }
    }
    return answered;
}

std::uint32_t CountOf(FUnknown* obj)
{
    obj->addRef();
    return obj->release();
}

TEST(VST3HostObjects, StandaloneObjectsAnswerOnlyTheirOwnIid)
{
    auto message = TVST3Message::Create();
    auto list = TVST3AttributeList::Create();
    auto stream = TVST3BStream::Create();
    struct Case {
        const char* Name;
        FUnknown* Obj;
        const TUID& Own;
    } cases[] = {
        {"message", message.Get(), IMessage::iid},
        {"attribute list", list.Get(), IAttributeList::iid},
        {"stream", stream.Get(), IBStream::iid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(CountOf(c.Obj), 1u);
        const auto answered = AnsweredIids(c.Obj);
        ASSERT_EQ(answered.size(), 1u);
        EXPECT_EQ(*answered[0], c.Own);
        // The answer is the object itself, with one more reference.
        void* out = nullptr;
        ASSERT_EQ(c.Obj->queryInterface(c.Own, &out), kResultOk);
        EXPECT_EQ(out, static_cast<void*>(c.Obj));
        EXPECT_EQ(CountOf(c.Obj), 2u);
        EXPECT_EQ(c.Obj->release(), 1u);
        EXPECT_EQ(c.Obj->queryInterface(c.Own, nullptr), kInvalidArgument);
        EXPECT_EQ(CountOf(c.Obj), 1u);
    }
}

TEST(VST3HostObjects, PluginObjectsShareOneLookup)
{
    TTraceHost host;
    TLinkedPlugin plugin(&host);
    auto handler3 = TFakeHandler3::Create();
    plugin.Objects.SetComponentHandler3(TInterfaceRef<IComponentHandler3>(handler3.Get()));
    handler3->addRef(); // the holder's reference
    FUnknown* const objects[] = {plugin.Objects.HostApplication(), plugin.Objects.ComponentHandler(),
                                 plugin.Objects.UnitHandler()};
    // Count: references while the answer is held (holder, test, the answer).
    struct Expect {
        const TUID& Iid;
        void* Obj;
        std::uint32_t Count;
    } expected[] = {
        {IHostApplication::iid, static_cast<IHostApplication*>(plugin.Objects.HostApplication()), 2},
        {IComponentHandler::iid, static_cast<IComponentHandler*>(plugin.Objects.ComponentHandler()), 2},
        {IComponentHandler3::iid, static_cast<IComponentHandler3*>(handler3.Get()), 3},
        {IUnitHandler::iid, static_cast<IUnitHandler*>(plugin.Objects.UnitHandler()), 2},
    };
    for (FUnknown* obj : objects) {
        // Every one of the plugin's objects answers for all of them (the command
        // handler is not there yet), and for nothing else.
        const auto answered = AnsweredIids(obj);
        ASSERT_EQ(answered.size(), std::size(expected));
        for (const Expect& e : expected) {
            void* out = kGarbage;
            ASSERT_EQ(obj->queryInterface(e.Iid, &out), kResultOk);
            EXPECT_EQ(out, e.Obj);
            EXPECT_EQ(CountOf(static_cast<FUnknown*>(out)), e.Count);
            static_cast<FUnknown*>(out)->release();
        }
        EXPECT_EQ(obj->queryInterface(IHostApplication::iid, nullptr), kInvalidArgument);
    }
    EXPECT_EQ(CountOf(plugin.Objects.HostApplication()), 1u);
    EXPECT_EQ(CountOf(handler3.Get()), 2u);
}

TEST(VST3HostObjects, LookupIsTracedOnTheHost)
{
    TTraceHost host;
    TLinkedPlugin plugin(&host);
    struct Case {
        const TUID& Iid;
        std::vector<std::string> Lines;
    } cases[] = {
        {IHostApplication::iid,
         {"TVST3Plugin.QueryInterface 1 1", "IHostApplication 1 0", "Finished (TVST3Plugin.QueryInterface) 1 -1"}},
        {IComponentHandler::iid,
         {"TVST3Plugin.QueryInterface 1 1", "IComponentHandler 1 0", "Finished (TVST3Plugin.QueryInterface) 1 -1"}},
        {IComponentHandler3::iid, {"TVST3Plugin.QueryInterface 1 1", "Finished (TVST3Plugin.QueryInterface) 1 -1"}},
        {IUnitHandler::iid,
         {"TVST3Plugin.QueryInterface 1 1", "IUnitHandler 1 0", "Finished (TVST3Plugin.QueryInterface) 1 -1"}},
        {Presonus::IHostCommandHandler::iid,
         {"TVST3Plugin.QueryInterface 1 1", "IHostCommandHandler 1 0", "Finished (TVST3Plugin.QueryInterface) 1 -1"}},
        {FUnknown::iid, {"TVST3Plugin.QueryInterface 1 1", "Finished (TVST3Plugin.QueryInterface) 1 -1"}},
    };
    for (const Case& c : cases) {
        host.Lines.clear();
        void* out = kGarbage;
        const tresult r = plugin.Objects.UnitHandler()->queryInterface(c.Iid, &out);
        if (out)
            static_cast<FUnknown*>(out)->release();
        EXPECT_EQ(host.Lines, c.Lines);
        EXPECT_EQ(r == kResultOk, out != nullptr);
    }
}

TEST(VST3HostObjects, CommandHandlerIsAnsweredOnceHandedIn)
{
    TTraceHost host;
    TLinkedPlugin plugin(&host);
    class TFakeCommands final : public TVST3Object<TFakeCommands, Presonus::IHostCommandHandler> {
    public:
        TFakeCommands() = default;
        Presonus::ICommandList* VST3CALL createParamCommands(ParamID) override { return nullptr; }
        tresult VST3CALL popupCommandMenu(Presonus::ICommandList*, int32, int32, void*) override
        {
            return kResultFalse;
        }
    };
    auto* commands = new TFakeCommands();
    void* out = kGarbage;
    EXPECT_EQ(plugin.Objects.HostApplication()->queryInterface(Presonus::IHostCommandHandler::iid, &out), kResultFalse);
    EXPECT_EQ(out, nullptr);
    plugin.Objects.SetCommandHandler(TInterfaceRef<Presonus::IHostCommandHandler>(commands));
    ASSERT_EQ(plugin.Objects.ComponentHandler()->queryInterface(Presonus::IHostCommandHandler::iid, &out), kResultOk);
    EXPECT_EQ(out, static_cast<Presonus::IHostCommandHandler*>(commands));
    EXPECT_EQ(commands->release(), 1u);
}

TEST(VST3HostObjects, ReferenceCountsAreAtomic)
{
    auto message = TVST3Message::Create();
    constexpr int kThreads = 4, kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i)
                message->addRef();
            for (int i = 0; i < kRounds; ++i)
                message->release();
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(message->GetRefCount(), 1);
}

// --- Host application ---------------------------------------------------------------

TEST(VST3HostApplication, NameIsEmpty)
{
    TTraceHost host;
    TLinkedPlugin plugin(&host);
    String128 name;
    std::fill(std::begin(name), std::end(name), u'x');
    EXPECT_EQ(plugin.Objects.HostApplication()->getName(name), kResultOk);
    EXPECT_EQ(name[0], u'\0');
    EXPECT_EQ(plugin.Objects.HostApplication()->getName(nullptr), kInvalidArgument);
}

TEST(VST3HostApplication, CreatesMessagesOnly)
{
    TTraceHost host;
    TLinkedPlugin plugin(&host);
    IHostApplication* app = plugin.Objects.HostApplication();
    // Any class identifier will do for a message.
    for (const TUID* cid : {&IMessage::iid, &IComponent::iid, &FUnknown::iid}) {
        void* out = kGarbage;
        ASSERT_EQ(app->createInstance(*cid, IMessage::iid, &out), kResultOk);
        auto* message = static_cast<IMessage*>(out);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(CountOf(message), 1u);
        EXPECT_STREQ(message->getMessageID(), "");
        EXPECT_EQ(message->release(), 0u);
    }
    for (const TUID* iid : {&IAttributeList::iid, &IBStream::iid, &FUnknown::iid, &IHostApplication::iid}) {
        void* out = kGarbage;
        EXPECT_EQ(app->createInstance(IMessage::iid, *iid, &out), kResultFalse);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(app->createInstance(IMessage::iid, IMessage::iid, nullptr), kInvalidArgument);
}

// --- Message and attribute list -------------------------------------------------------

TEST(VST3Message, IdIsCopiedAndAttributesAreOwned)
{
    auto message = TVST3Message::Create();
    char id[] = "Hello";
    message->setMessageID(id);
    id[0] = 'J';
    EXPECT_STREQ(message->getMessageID(), "Hello");
    message->setMessageID(nullptr);
    EXPECT_STREQ(message->getMessageID(), "");

    IAttributeList* a = message->getAttributes();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(message->getAttributes(), a);
    EXPECT_EQ(CountOf(a), 1u); // only the message's own reference
    EXPECT_EQ(a->setInt("n", 5), kResultOk);
    int64 n = 0;
    EXPECT_EQ(message->getAttributes()->getInt("n", n), kResultOk);
    EXPECT_EQ(n, 5);
}

TEST(VST3AttributeList, KindsAndReplacement)
{
    auto list = TVST3AttributeList::Create();
    int64 i = 0;
    double f = 0;
    // setInt then getFloat on the same ID: another kind.
    ASSERT_EQ(list->setInt("a", -7), kResultOk);
    EXPECT_EQ(list->getFloat("a", f), kResultFalse);
    EXPECT_EQ(list->getInt("a", i), kResultOk);
    EXPECT_EQ(i, -7);
    // setFloat on the same ID replaces the integer.
    ASSERT_EQ(list->setFloat("a", 2.5), kResultOk);
    EXPECT_EQ(list->getInt("a", i), kResultFalse);
    EXPECT_EQ(list->getFloat("a", f), kResultOk);
    EXPECT_EQ(f, 2.5);
    EXPECT_EQ(list->Count(), 1u);
    // Same kind: the value is replaced.
    ASSERT_EQ(list->setFloat("a", 3.5), kResultOk);
    EXPECT_EQ(list->getFloat("a", f), kResultOk);
    EXPECT_EQ(f, 3.5);
    // Missing IDs, IDs in another letter case, null IDs.
    EXPECT_EQ(list->getFloat("A", f), kResultFalse);
    EXPECT_EQ(list->getInt("b", i), kResultFalse);
    EXPECT_EQ(list->getInt(nullptr, i), kResultFalse);
    EXPECT_EQ(list->setInt(nullptr, 1), kInvalidArgument);
    // 64-bit integers keep all their bits; the empty ID is an ID like any other.
    ASSERT_EQ(list->setInt("", INT64_MIN + 3), kResultOk);
    EXPECT_EQ(list->getInt("", i), kResultOk);
    EXPECT_EQ(i, INT64_MIN + 3);
}

TEST(VST3AttributeList, Strings)
{
    auto list = TVST3AttributeList::Create();
    ASSERT_EQ(list->setString("s", u"0123456789"), kResultOk);
    struct Case {
        uint32 Bytes;
        std::u16string Expected; // what the buffer holds afterwards, up to its size
    } cases[] = {
        {16, u"01234567"},                                 // cut, no terminator
        {22, std::u16string(u"0123456789\0", 11)},        // exactly text + terminator
        {30, std::u16string(u"0123456789\0\0\0\0\0", 15)}, // the rest zero-filled
        {2, u"0"},
        {0, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Bytes);
        std::vector<char16_t> buffer(20, u'#');
        EXPECT_EQ(list->getString("s", buffer.data(), c.Bytes), kResultOk);
        EXPECT_EQ(std::u16string(buffer.data(), c.Bytes / 2), c.Expected);
        EXPECT_EQ(buffer[c.Bytes / 2], u'#') << "nothing written past the size";
    }
    // An odd size: the bytes as given, the half unit of the next character too.
    std::vector<char16_t> buffer(4, u'#');
    EXPECT_EQ(list->getString("s", buffer.data(), 3), kResultOk);
    EXPECT_EQ(buffer[0], u'0');
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(buffer.data())[2], static_cast<std::uint8_t>(u'1'));
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(buffer.data())[3], static_cast<std::uint8_t>('#' >> 8));

    int64 i = 0;
    EXPECT_EQ(list->getInt("s", i), kResultFalse);
    EXPECT_EQ(list->getString("none", buffer.data(), 8), kResultFalse);
    EXPECT_EQ(list->setString("s", nullptr), kInvalidArgument);
    EXPECT_EQ(list->getString("s", nullptr, 8), kInvalidArgument);
}

TEST(VST3AttributeList, BinaryIsCopied)
{
    auto list = TVST3AttributeList::Create();
    std::uint8_t bytes[] = {1, 2, 3, 0, 5};
    ASSERT_EQ(list->setBinary("b", bytes, sizeof bytes), kResultOk);
    bytes[0] = 99;
    const void* data = nullptr;
    uint32 size = 0;
    ASSERT_EQ(list->getBinary("b", data, size), kResultOk);
    ASSERT_EQ(size, 5u);
    EXPECT_EQ(std::memcmp(data, "\x01\x02\x03\x00\x05", 5), 0);
    EXPECT_NE(data, static_cast<const void*>(bytes));
    // Asked again: the same stored block.
    const void* again = nullptr;
    ASSERT_EQ(list->getBinary("b", again, size), kResultOk);
    EXPECT_EQ(again, data);
    // Empty blocks exist too; a null block with a size does not.
    ASSERT_EQ(list->setBinary("e", nullptr, 0), kResultOk);
    EXPECT_EQ(list->getBinary("e", data, size), kResultOk);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(list->setBinary("x", nullptr, 4), kInvalidArgument);
    double f = 0;
    EXPECT_EQ(list->getFloat("b", f), kResultFalse);
    // Replaced by a string: the binary is gone.
    ASSERT_EQ(list->setString("b", u"t"), kResultOk);
    EXPECT_EQ(list->getBinary("b", data, size), kResultFalse);
}

// --- Stream -----------------------------------------------------------------------------

TEST(VST3BStream, ReadWriteSeekTell)
{
    auto stream = TVST3BStream::Create();
    std::vector<std::uint8_t> bytes(100);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    int32 n = -1;
    ASSERT_EQ(stream->write(bytes.data(), 100, &n), kResultOk);
    EXPECT_EQ(n, 100);
    EXPECT_EQ(stream->Data.GetSize(), 100);

    struct SeekCase {
        int64 Pos;
        int32 Mode;
        int64 Expected;
    } seeks[] = {
        {-4, kIBSeekEnd, 96}, {10, kIBSeekSet, 10},  {5, kIBSeekCur, 15},  {-20, kIBSeekCur, 0},
        {7, 3, 0},            {7, -1, 0},           {150, kIBSeekSet, 150}, {-5, kIBSeekSet, 0},
        {INT64_MAX, kIBSeekEnd, INT64_MAX},         {INT64_MIN, kIBSeekCur, 0},
    };
    for (const SeekCase& c : seeks) {
        SCOPED_TRACE(testing::Message() << c.Pos << " mode " << c.Mode);
        int64 result = -1;
        ASSERT_EQ(stream->seek(c.Pos, c.Mode, &result), kResultOk);
        EXPECT_EQ(result, c.Expected);
        int64 told = -1;
        ASSERT_EQ(stream->tell(&told), kResultOk);
        EXPECT_EQ(told, c.Expected);
    }

    // Reads: up to the end, then nothing.
    std::uint8_t buffer[16] = {};
    ASSERT_EQ(stream->seek(90, kIBSeekSet, nullptr), kResultOk);
    ASSERT_EQ(stream->read(buffer, 16, &n), kResultOk);
    EXPECT_EQ(n, 10);
    EXPECT_EQ(buffer[0], 90);
    EXPECT_EQ(buffer[9], 99);
    ASSERT_EQ(stream->read(buffer, 16, &n), kResultOk);
    EXPECT_EQ(n, 0);
    ASSERT_EQ(stream->read(buffer, -3, &n), kResultOk);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(stream->read(buffer, 4, nullptr), kResultOk);

    // A write past the end fills the gap with zeros.
    ASSERT_EQ(stream->seek(4, kIBSeekEnd, nullptr), kResultOk);
    std::uint8_t tail[] = {0xAA, 0xBB};
    ASSERT_EQ(stream->write(tail, 2, nullptr), kResultOk);
    ASSERT_EQ(stream->Data.GetSize(), 106);
    const std::uint8_t* mem = stream->Data.Memory();
    EXPECT_EQ(mem[99], 99);
    EXPECT_EQ(mem[100], 0);
    EXPECT_EQ(mem[103], 0);
    EXPECT_EQ(mem[104], 0xAA);
    EXPECT_EQ(mem[105], 0xBB);

    EXPECT_EQ(stream->tell(nullptr), kInvalidArgument);
    EXPECT_EQ(stream->read(nullptr, 4, &n), kInvalidArgument);
    EXPECT_EQ(stream->write(nullptr, 4, &n), kInvalidArgument);
}

TEST(VST3BStream, WriteFarBeyondTheEndFailsCleanly)
{
    auto stream = TVST3BStream::Create();
    std::uint8_t b[4] = {1, 2, 3, 4};
    for (int64 pos : {INT64_MAX, INT64_MAX - 2, TVST3BStream::kMaxSize - 3, TVST3BStream::kMaxSize}) {
        SCOPED_TRACE(pos);
        ASSERT_EQ(stream->seek(pos, kIBSeekSet, nullptr), kResultOk);
        int32 n = -1;
        EXPECT_EQ(stream->write(b, 4, &n), kOutOfMemory);
        EXPECT_EQ(n, 0);
        EXPECT_EQ(stream->Data.GetSize(), 0);
    }
    ASSERT_EQ(stream->seek(0, kIBSeekSet, nullptr), kResultOk);
    int32 n = -1;
    EXPECT_EQ(stream->write(b, 4, &n), kResultOk);
    EXPECT_EQ(n, 4);
}

// --- Component and unit handlers -----------------------------------------------------

TEST(VST3ComponentHandler, IgnoresEverythingUntilSwitchedOn)
{
    TTraceHost host;
    TLinkedPlugin plugin(&host);
    IComponentHandler* h = plugin.Objects.ComponentHandler();
    EXPECT_FALSE(plugin.Objects.ComponentHandler()->IsEnabled());
    EXPECT_EQ(h->performEdit(10, 0.5), kResultOk);
    EXPECT_EQ(h->restartComponent(kReloadComponent), kResultOk);
    EXPECT_EQ(h->beginEdit(10), kResultOk);
    EXPECT_EQ(h->endEdit(10), kResultOk);
    EXPECT_TRUE(plugin.Calls.empty());

    plugin.Objects.ComponentHandler()->SetEnabled(true);
    EXPECT_EQ(h->performEdit(10, 0.5), kResultOk);
    EXPECT_FALSE(plugin.Calls.empty());
}

TEST(VST3ComponentHandler, PerformEdit)
{
    TTraceHost host;
    TLinkedPlugin plugin(&host);
    plugin.Objects.ComponentHandler()->SetEnabled(true);
    IComponentHandler* h = plugin.Objects.ComponentHandler();
    struct Case {
        ParamID Id;
        double Value;
        std::vector<std::string> Calls;
    } cases[] = {
        // index 0 can be automated: the host hears of it, then the value is queued
        {10, 0.25, {"Notify 0 0.25", "Queue 10 0 0 0.25 1"}},
        // index 1 cannot: queued only
        {20, 0.75, {"Queue 20 1 0 0.75 1"}},
        // an ID the plugin never declared: queued with an unknown index
        {30, 1.0, {"Queue 30 -1 0 1 1"}},
        // IDs with the top bit set reach the queue as negative IDs
        {0x80000001u, 0.5, {"Queue -2147483647 -1 0 0.5 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Id);
        plugin.Calls.clear();
        EXPECT_EQ(h->performEdit(c.Id, c.Value), kResultOk);
        EXPECT_EQ(plugin.Calls, c.Calls);
    }
}

TEST(VST3ComponentHandler, RestartComponent)
{
    struct Case {
        int32 Flags;
        std::vector<std::string> Calls;
    } cases[] = {
        {kReloadComponent,
         {"UpdateInfo", "IOChanged", "ProcessorLatency", "LatencyChanged 0 321", "UpdateDisplay 2 1"}},
        {kIoChanged, {"UpdateInfo", "IOChanged"}},
        {kParamValuesChanged, {"UpdateInfo", "UpdateDisplay 2 1"}},
        {kLatencyChanged, {"ProcessorLatency", "LatencyChanged 0 321"}},
        {kParamTitlesChanged, {"UpdateInfo", "UpdateDisplay 2 1"}},
        {kParamValuesChanged | kParamTitlesChanged, {"UpdateInfo", "UpdateDisplay 2 1"}},
        {kIoChanged | kLatencyChanged,
         {"UpdateInfo", "IOChanged", "ProcessorLatency", "LatencyChanged 0 321"}},
        {kMidiCCAssignmentChanged | kNoteExpressionChanged | kIoTitlesChanged | kRoutingInfoChanged, {}},
        {0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Flags);
        TTraceHost host;
        TLinkedPlugin plugin(&host);
        plugin.Objects.ComponentHandler()->SetEnabled(true);
        EXPECT_EQ(plugin.Objects.ComponentHandler()->restartComponent(c.Flags), kResultOk);
        EXPECT_EQ(plugin.Calls, c.Calls);
    }
}

TEST(VST3UnitHandler, ProgramListChangeRereadsThePrograms)
{
    TTraceHost host;
    TLinkedPlugin plugin(&host);
    IUnitHandler* u = plugin.Objects.UnitHandler();
    EXPECT_EQ(u->notifyUnitSelection(3), kResultOk);
    EXPECT_TRUE(plugin.Calls.empty());
    EXPECT_EQ(u->notifyProgramListChange(0, 2), kResultOk);
    EXPECT_EQ(plugin.Calls, std::vector<std::string>{"ReadProgramList"});
}

TEST(VST3PluginObjects, ObjectsKeptByThePluginOutliveTheirOwnerSafely)
{
    IHostApplication* app = nullptr;
    IComponentHandler* handler = nullptr;
    IUnitHandler* units = nullptr;
    {
        TTraceHost host;
        TLinkedPlugin plugin(&host);
        plugin.Objects.ComponentHandler()->SetEnabled(true);
        app = plugin.Objects.HostApplication();
        handler = plugin.Objects.ComponentHandler();
        units = plugin.Objects.UnitHandler();
        app->addRef();
        handler->addRef();
        units->addRef();
    }
    // The plugin object is gone; a plugin that kept references gets "no" and no-ops.
    void* out = kGarbage;
    EXPECT_EQ(app->queryInterface(IHostApplication::iid, &out), kResultFalse);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(handler->performEdit(10, 0.5), kResultOk);
    EXPECT_EQ(handler->restartComponent(kReloadComponent), kResultOk);
    EXPECT_EQ(units->notifyProgramListChange(0, 0), kResultOk);
    // Messages can still be made.
    ASSERT_EQ(app->createInstance(IMessage::iid, IMessage::iid, &out), kResultOk);
    static_cast<FUnknown*>(out)->release();
    EXPECT_EQ(app->release(), 0u);
    EXPECT_EQ(handler->release(), 0u);
    EXPECT_EQ(units->release(), 0u);
}

} // namespace
