#pragma once
// The objects the bridge hands a VST 3 plugin so that it can talk back to its
// host (part of unit VST3Plug, kept in its own files):
//
//   TVST3Object<D, I>        reference counting and queryInterface for one
//                            host object D implementing interface I
//   TVST3HostInstance        IHostApplication: given to initialize; creates
//                            IMessage objects on request
//   TVST3ComponentHandler    IComponentHandler: given to setComponentHandler;
//                            ignores edits and restarts until switched on
//   TVST3UnitHandler         IUnitHandler
//   TVST3Message             IMessage with its attribute list
//   TVST3AttributeList       IAttributeList: integer, float, string and binary
//                            values by attribute ID
//   TVST3BStream             IBStream over an owned memory stream
//   TVST3PluginObjects       the five objects tied to one plugin (host
//                            application, component handler, component
//                            handler 3, unit handler, host-command handler),
//                            owned together, and the one lookup through which
//                            all of them answer queryInterface
//
// How a plugin object uses them:
//
//   class TVST3Plugin : public TBaseAudioPlugin, public TVST3PluginLink {
//       TVST3PluginObjects HostObjects{*this};   // creates the three of this file
//       Vst3::tresult QueryInterface(const Vst3::TUID& iid, void** obj) override
//       { return HostObjects.Lookup(iid, obj); }
//       TBaseAudioPlugin& LinkedPlugin() override { return *this; }
//       ... ParamIndexOf, QueueParamValue, ProcessorLatency, ReadProgramList
//   };
//   initialize(HostObjects.HostApplication()), setComponentHandler(
//   HostObjects.ComponentHandler()); at the end of a successful load
//   HostObjects.ComponentHandler()->SetEnabled(true). The two objects of the
//   context-menu work are handed in with SetComponentHandler3 and
//   SetCommandHandler when they exist; until then those IIDs are not answered.
//   Destroying TVST3PluginObjects detaches its three objects from the plugin
//   (a plugin that still holds one gets kResultFalse and no-ops from then on)
//   and gives up its references on all five.
//
// Rules of every object here: a 32-bit reference count changed atomically;
// addRef and release answer the new count and release frees at 0; objects
// start with one reference that belongs to their creator. queryInterface
// clears *obj first, answers kResultOk with one more reference for an IID it
// knows and kResultFalse otherwise; no object answers the FUnknown IID. A null
// out-pointer or buffer is answered with kInvalidArgument, never a fault.
//
// Threads: performEdit and restartComponent arrive on whichever thread the
// plugin calls from (usually the main thread); the attribute list and the
// message are used by one thread at a time; the stream by its owner and the
// plugin in turn. Pure code, no Windows header.

#include "AudioPlug.h"
#include "VST3_IPSLHostCommands.h"
#include "Vst3Base.h"
#include "Streams.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

class TVST3PluginObjects;

// What the host objects need of the plugin they belong to; TVST3Plugin
// implements it. The calls come from the plugin's own threads, possibly while
// the plugin is still being loaded (the component handler filters those out
// until it is switched on; the unit handler does not).
class TVST3PluginLink {
public:
    // The shared lookup of the five objects tied to this plugin: *obj cleared,
    // then the object for iid with one more reference and kResultOk, or
    // kResultFalse. TVST3PluginObjects::Lookup implements it.
    virtual Vst3::tresult QueryInterface(const Vst3::TUID& iid, void** obj) = 0;
    // The plugin as the format-neutral object: CanAutomate, NotifyParamValue,
    // UpdateInfo, IOChanged, LatencyChanged, UpdateDisplay, Latency and Host.
    virtual TBaseAudioPlugin& LinkedPlugin() = 0;
    // The index of a VST 3 parameter ID (the cached lookup), or -1.
    virtual std::int32_t ParamIndexOf(Vst3::ParamID id) = 0;
    // Queues a value for the processor (when toProcessor) and the controller;
    // id or index may be -1 (unknown).
    virtual void QueueParamValue(std::int32_t id, std::int32_t index, std::int32_t sampleOffset, double value,
                                 bool toProcessor) = 0;
    // The processor's getLatencySamples(), 0 without a processor.
    virtual std::int32_t ProcessorLatency() = 0;
    // Re-reads the program list (programs of IUnitInfo and preset files).
    virtual void ReadProgramList() = 0;

protected:
    ~TVST3PluginLink() = default;
};

// Reference counting and the plain queryInterface (only I's IID) for a host
// object D that implements interface I. D is final and created with new by
// its own Create; release frees it.
template <class D, class I>
class TVST3Object : public I {
public:
    Vst3::tresult VST3CALL queryInterface(const Vst3::TUID& iid, void** obj) override
    {
        if (!obj)
            return Vst3::kInvalidArgument;
        *obj = nullptr;
        if (!(iid == I::iid))
            return Vst3::kResultFalse;
        this->addRef();
        *obj = static_cast<I*>(this);
        return Vst3::kResultOk;
    }
    Vst3::uint32 VST3CALL addRef() override { return static_cast<Vst3::uint32>(++RefCount); }
    Vst3::uint32 VST3CALL release() override
    {
        const std::int32_t n = --RefCount;
        if (n == 0)
            delete static_cast<D*>(this);
        return static_cast<Vst3::uint32>(n);
    }

    std::int32_t GetRefCount() const { return RefCount.load(); }

protected:
    explicit TVST3Object(std::int32_t initialCount = 1) : RefCount(initialCount) {}
    ~TVST3Object() = default;
    TVST3Object(const TVST3Object&) = delete;
    TVST3Object& operator=(const TVST3Object&) = delete;

private:
    std::atomic<std::int32_t> RefCount;
};

// --- Message and attribute list --------------------------------------------------

class TVST3AttributeList final : public TVST3Object<TVST3AttributeList, Vst3::IAttributeList> {
public:
    // A new list with one reference for the caller.
    static Vst3::TInterfaceRef<TVST3AttributeList> Create();

    // Setters answer kResultOk; a value of another kind under the same ID is
    // replaced. Getters answer kResultFalse for a missing ID or another kind.
    Vst3::tresult VST3CALL setInt(Vst3::AttrID id, Vst3::int64 value) override;
    Vst3::tresult VST3CALL getInt(Vst3::AttrID id, Vst3::int64& value) override;
    Vst3::tresult VST3CALL setFloat(Vst3::AttrID id, double value) override;
    Vst3::tresult VST3CALL getFloat(Vst3::AttrID id, double& value) override;
    // Stores the text with its terminator.
    Vst3::tresult VST3CALL setString(Vst3::AttrID id, const Vst3::TChar* string) override;
    // Zero-fills sizeInBytes bytes, then copies at most sizeInBytes bytes of the
    // stored text (a text that fills the buffer has no terminator).
    Vst3::tresult VST3CALL getString(Vst3::AttrID id, Vst3::TChar* string, Vst3::uint32 sizeInBytes) override;
    Vst3::tresult VST3CALL setBinary(Vst3::AttrID id, const void* data, Vst3::uint32 sizeInBytes) override;
    // data points into the list: valid until the entry is replaced or the list freed.
    Vst3::tresult VST3CALL getBinary(Vst3::AttrID id, const void*& data, Vst3::uint32& sizeInBytes) override;

    std::size_t Count() const { return Entries.size(); }

private:
    friend class TVST3Object<TVST3AttributeList, Vst3::IAttributeList>;
    TVST3AttributeList() = default;
    ~TVST3AttributeList() = default;

    // Kind 0 integer, 1 float, 2 string (UTF-16 with terminator), 3 binary.
    using TValue = std::variant<Vst3::int64, double, std::u16string, std::vector<std::uint8_t>>;
    template <class T>
    const T* Find(Vst3::AttrID id) const;

    // Key: the attribute ID as given (case-sensitive, bytes compared unsigned).
    std::map<std::string, TValue> Entries;
};

class TVST3Message final : public TVST3Object<TVST3Message, Vst3::IMessage> {
public:
    // A new message with one reference for the caller and an empty ID.
    static Vst3::TInterfaceRef<TVST3Message> Create();

    Vst3::FIDString VST3CALL getMessageID() override { return MessageID.c_str(); }
    // A copy of id; null gives the empty ID.
    void VST3CALL setMessageID(Vst3::FIDString id) override;
    // The message's own list; no reference is added.
    Vst3::IAttributeList* VST3CALL getAttributes() override { return Attributes.Get(); }

private:
    friend class TVST3Object<TVST3Message, Vst3::IMessage>;
    TVST3Message();
    ~TVST3Message() = default;

    std::string MessageID;
    Vst3::TInterfaceRef<TVST3AttributeList> Attributes; // one reference owned
};

// --- Memory stream ---------------------------------------------------------------

class TVST3BStream final : public TVST3Object<TVST3BStream, Vst3::IBStream> {
public:
    // A new, empty stream with one reference for the caller.
    static Vst3::TInterfaceRef<TVST3BStream> Create();

    // Up to numBytes from the position; the count read goes to numBytesRead.
    Vst3::tresult VST3CALL read(void* buffer, Vst3::int32 numBytes, Vst3::int32* numBytesRead) override;
    // numBytes at the position, growing the data (a gap before it is zero);
    // kOutOfMemory and a count of 0 when the data cannot grow that far (past
    // kMaxSize, or the memory is not there).
    Vst3::tresult VST3CALL write(void* buffer, Vst3::int32 numBytes, Vst3::int32* numBytesWritten) override;
    // mode 0 from the start, 1 from the position, 2 from the end; any other
    // mode keeps the position. Past the end is allowed; before the start gives 0.
    Vst3::tresult VST3CALL seek(Vst3::int64 pos, Vst3::int32 mode, Vst3::int64* result) override;
    Vst3::tresult VST3CALL tell(Vst3::int64* pos) override;

    // The largest size a write may reach: half the address space on x86,
    // 1 TiB on x86-64.
    static constexpr std::int64_t kMaxSize =
        sizeof(void*) == 8 ? (std::int64_t{1} << 40) : std::int64_t{0x7FFFFFFF};

    // The bytes, for the owner to empty, rewind, size or copy.
    TMemoryStream Data;

private:
    friend class TVST3Object<TVST3BStream, Vst3::IBStream>;
    TVST3BStream() = default;
    ~TVST3BStream() = default;
};

// --- Objects tied to one plugin ----------------------------------------------------

// The system's host name as plugins read it from getName: empty.
inline constexpr char16_t kVST3HostName[] = u"";

class TVST3HostInstance final : public TVST3Object<TVST3HostInstance, Vst3::IHostApplication> {
public:
    // Answers through the plugin's shared lookup.
    Vst3::tresult VST3CALL queryInterface(const Vst3::TUID& iid, void** obj) override;
    // The host name (at most 127 units and a terminator).
    Vst3::tresult VST3CALL getName(Vst3::TChar* name) override;
    // Only for the IMessage IID (whatever the class ID): a new TVST3Message
    // whose one reference goes to the caller. Anything else: kResultFalse.
    Vst3::tresult VST3CALL createInstance(const Vst3::TUID& cid, const Vst3::TUID& iid, void** obj) override;

private:
    friend class TVST3Object<TVST3HostInstance, Vst3::IHostApplication>;
    friend class TVST3PluginObjects;
    explicit TVST3HostInstance(TVST3PluginLink* plugin) : Plugin(plugin) {}
    ~TVST3HostInstance() = default;

    std::atomic<TVST3PluginLink*> Plugin; // null once the plugin is gone
};

class TVST3ComponentHandler final : public TVST3Object<TVST3ComponentHandler, Vst3::IComponentHandler> {
public:
    Vst3::tresult VST3CALL queryInterface(const Vst3::TUID& iid, void** obj) override;
    Vst3::tresult VST3CALL beginEdit(Vst3::ParamID) override { return Vst3::kResultOk; }
    // The host hears of the change when the parameter can be automated; the
    // value is queued for the processor and the controller in any case.
    Vst3::tresult VST3CALL performEdit(Vst3::ParamID id, Vst3::ParamValue valueNormalized) override;
    Vst3::tresult VST3CALL endEdit(Vst3::ParamID) override { return Vst3::kResultOk; }
    // Re-reads what the flags name and reports it to the host.
    Vst3::tresult VST3CALL restartComponent(Vst3::int32 flags) override;

    // Off until the plugin has loaded: performEdit and restartComponent then
    // answer kResultOk and do nothing.
    void SetEnabled(bool enabled) { Enabled.store(enabled); }
    bool IsEnabled() const { return Enabled.load(); }

private:
    friend class TVST3Object<TVST3ComponentHandler, Vst3::IComponentHandler>;
    friend class TVST3PluginObjects;
    explicit TVST3ComponentHandler(TVST3PluginLink* plugin) : Plugin(plugin) {}
    ~TVST3ComponentHandler() = default;

    std::atomic<TVST3PluginLink*> Plugin;
    std::atomic<bool> Enabled{false};
};

class TVST3UnitHandler final : public TVST3Object<TVST3UnitHandler, Vst3::IUnitHandler> {
public:
    Vst3::tresult VST3CALL queryInterface(const Vst3::TUID& iid, void** obj) override;
    Vst3::tresult VST3CALL notifyUnitSelection(Vst3::UnitID) override { return Vst3::kResultOk; }
    // Re-reads the plugin's program list.
    Vst3::tresult VST3CALL notifyProgramListChange(Vst3::ProgramListID listId, Vst3::int32 programIndex) override;

private:
    friend class TVST3Object<TVST3UnitHandler, Vst3::IUnitHandler>;
    friend class TVST3PluginObjects;
    explicit TVST3UnitHandler(TVST3PluginLink* plugin) : Plugin(plugin) {}
    ~TVST3UnitHandler() = default;

    std::atomic<TVST3PluginLink*> Plugin;
};

// The five objects of one plugin and their shared lookup. [main thread]
class TVST3PluginObjects {
public:
    explicit TVST3PluginObjects(TVST3PluginLink& plugin);
    ~TVST3PluginObjects();
    TVST3PluginObjects(const TVST3PluginObjects&) = delete;
    TVST3PluginObjects& operator=(const TVST3PluginObjects&) = delete;

    TVST3HostInstance* HostApplication() const { return HostApp.Get(); }
    TVST3ComponentHandler* ComponentHandler() const { return Handler.Get(); }
    TVST3UnitHandler* UnitHandler() const { return Units.Get(); }
    Vst3::IComponentHandler3* ComponentHandler3() const { return Handler3.Get(); }
    Presonus::IHostCommandHandler* CommandHandler() const { return Commands.Get(); }
    // Take over the caller's reference on the object answered for that IID.
    void SetComponentHandler3(Vst3::TInterfaceRef<Vst3::IComponentHandler3> handler);
    void SetCommandHandler(Vst3::TInterfaceRef<Presonus::IHostCommandHandler> handler);

    // The shared lookup, traced on the plugin's host: IHostApplication,
    // IComponentHandler, IComponentHandler3, IUnitHandler, IHostCommandHandler.
    Vst3::tresult Lookup(const Vst3::TUID& iid, void** obj);

private:
    TVST3PluginLink& Plugin;
    Vst3::TInterfaceRef<TVST3HostInstance> HostApp;
    Vst3::TInterfaceRef<TVST3ComponentHandler> Handler;
    Vst3::TInterfaceRef<Vst3::IComponentHandler3> Handler3;
    Vst3::TInterfaceRef<TVST3UnitHandler> Units;
    Vst3::TInterfaceRef<Presonus::IHostCommandHandler> Commands;
};
