// The host-side VST 3 objects: message, attribute list, memory stream, and the
// objects tied to one plugin with their shared lookup.

#include "VST3HostObjects.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

using namespace Vst3;

// --- TVST3AttributeList -----------------------------------------------------------

TInterfaceRef<TVST3AttributeList> TVST3AttributeList::Create()
{
    return TInterfaceRef<TVST3AttributeList>(new TVST3AttributeList());
}

template <class T>
const T* TVST3AttributeList::Find(AttrID id) const
{
    if (!id)
        return nullptr;
    auto it = Entries.find(id);
    if (it == Entries.end())
        return nullptr;
    return std::get_if<T>(&it->second);
}

tresult VST3CALL TVST3AttributeList::setInt(AttrID id, int64 value)
{
    if (!id)
        return kInvalidArgument;
    Entries[id] = value;
    return kResultOk;
}

tresult VST3CALL TVST3AttributeList::getInt(AttrID id, int64& value)
{
    const int64* v = Find<int64>(id);
    if (!v)
        return kResultFalse;
    value = *v;
    return kResultOk;
}

tresult VST3CALL TVST3AttributeList::setFloat(AttrID id, double value)
{
    if (!id)
        return kInvalidArgument;
    Entries[id] = value;
    return kResultOk;
}

tresult VST3CALL TVST3AttributeList::getFloat(AttrID id, double& value)
{
    const double* v = Find<double>(id);
    if (!v)
        return kResultFalse;
    value = *v;
    return kResultOk;
}

tresult VST3CALL TVST3AttributeList::setString(AttrID id, const TChar* string)
{
    if (!id || !string)
        return kInvalidArgument;
    std::u16string text(string);
    text.push_back(u'\0'); // stored with its terminator
    Entries[id] = std::move(text);
    return kResultOk;
}

tresult VST3CALL TVST3AttributeList::getString(AttrID id, TChar* string, uint32 sizeInBytes)
{
    if (!string && sizeInBytes > 0)
        return kInvalidArgument;
    const std::u16string* v = Find<std::u16string>(id);
    if (!v)
        return kResultFalse;
    if (sizeInBytes == 0)
        return kResultOk;
    std::memset(string, 0, sizeInBytes);
    const std::size_t n = std::min<std::size_t>(sizeInBytes, v->size() * sizeof(char16_t));
    std::memcpy(string, v->data(), n);
    return kResultOk;
}

tresult VST3CALL TVST3AttributeList::setBinary(AttrID id, const void* data, uint32 sizeInBytes)
{
    if (!id || (!data && sizeInBytes > 0))
        return kInvalidArgument;
    const auto* p = static_cast<const std::uint8_t*>(data);
    Entries[id] = std::vector<std::uint8_t>(p, p + sizeInBytes);
    return kResultOk;
}

tresult VST3CALL TVST3AttributeList::getBinary(AttrID id, const void*& data, uint32& sizeInBytes)
{
    const auto* v = Find<std::vector<std::uint8_t>>(id);
    if (!v)
        return kResultFalse;
    data = v->data();
    sizeInBytes = static_cast<uint32>(v->size());
    return kResultOk;
}

// --- TVST3Message -----------------------------------------------------------------

TVST3Message::TVST3Message() : Attributes(TVST3AttributeList::Create()) {}

TInterfaceRef<TVST3Message> TVST3Message::Create() { return TInterfaceRef<TVST3Message>(new TVST3Message()); }

void VST3CALL TVST3Message::setMessageID(FIDString id) { MessageID = id ? id : ""; }

// --- TVST3BStream -----------------------------------------------------------------

TInterfaceRef<TVST3BStream> TVST3BStream::Create() { return TInterfaceRef<TVST3BStream>(new TVST3BStream()); }

tresult VST3CALL TVST3BStream::read(void* buffer, int32 numBytes, int32* numBytesRead)
{
    if (numBytesRead)
        *numBytesRead = 0;
    if (!buffer && numBytes > 0)
        return kInvalidArgument;
    const std::int64_t n = numBytes > 0 ? Data.Read(buffer, numBytes) : 0;
    if (numBytesRead)
        *numBytesRead = static_cast<int32>(n);
    return kResultOk;
}

tresult VST3CALL TVST3BStream::write(void* buffer, int32 numBytes, int32* numBytesWritten)
{
    if (numBytesWritten)
        *numBytesWritten = 0;
    if (!buffer && numBytes > 0)
        return kInvalidArgument;
    std::int64_t n = 0;
    if (numBytes > 0) {
        // A plugin may seek anywhere; the end must stay within kMaxSize.
        if (Data.GetPosition() > kMaxSize - numBytes)
            return kOutOfMemory;
        try {
            n = Data.Write(buffer, numBytes);
        } catch (const std::bad_alloc&) {
            return kOutOfMemory;
        } catch (const std::length_error&) {
            return kOutOfMemory;
        }
    }
    if (numBytesWritten)
        *numBytesWritten = static_cast<int32>(n);
    return kResultOk;
}

tresult VST3CALL TVST3BStream::seek(int64 pos, int32 mode, int64* result)
{
    std::int64_t base = 0;
    bool move = true;
    switch (mode) {
    case kIBSeekSet:
        base = 0;
        break;
    case kIBSeekCur:
        base = Data.GetPosition();
        break;
    case kIBSeekEnd:
        base = Data.GetSize();
        break;
    default:
        move = false;
        break;
    }
    if (move) {
        std::int64_t target = 0;
        if (__builtin_add_overflow(base, pos, &target))
            target = pos > 0 ? std::numeric_limits<std::int64_t>::max() : 0;
        Data.SetPosition(std::max<std::int64_t>(0, target));
    }
    if (result)
        *result = Data.GetPosition();
    return kResultOk;
}

tresult VST3CALL TVST3BStream::tell(int64* pos)
{
    if (!pos)
        return kInvalidArgument;
    *pos = Data.GetPosition();
    return kResultOk;
}

// --- Objects tied to one plugin -----------------------------------------------------

namespace {

// The plugin's shared lookup, or "no" once the plugin is gone.
tresult AskPlugin(const std::atomic<TVST3PluginLink*>& plugin, const TUID& iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    *obj = nullptr;
    TVST3PluginLink* p = plugin.load();
    return p ? p->QueryInterface(iid, obj) : kResultFalse;
}

} // namespace

tresult VST3CALL TVST3HostInstance::queryInterface(const TUID& iid, void** obj) { return AskPlugin(Plugin, iid, obj); }

tresult VST3CALL TVST3HostInstance::getName(TChar* name)
{
    if (!name)
        return kInvalidArgument;
    const std::u16string_view host(kVST3HostName);
    const std::size_t n = std::min<std::size_t>(host.size(), 127);
    std::copy_n(host.data(), n, name);
    name[n] = u'\0';
    return kResultOk;
}

tresult VST3CALL TVST3HostInstance::createInstance(const TUID&, const TUID& iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    *obj = nullptr;
    if (!(iid == IMessage::iid))
        return kResultFalse;
    TInterfaceRef<TVST3Message> message = TVST3Message::Create();
    // The caller's reference comes from queryInterface; the creation reference
    // goes when `message` does.
    return message->queryInterface(IMessage::iid, obj);
}

tresult VST3CALL TVST3ComponentHandler::queryInterface(const TUID& iid, void** obj)
{
    return AskPlugin(Plugin, iid, obj);
}

tresult VST3CALL TVST3ComponentHandler::performEdit(ParamID id, ParamValue valueNormalized)
{
    TVST3PluginLink* p = Plugin.load();
    if (!p || !Enabled.load())
        return kResultOk;
    const std::int32_t index = p->ParamIndexOf(id);
    TBaseAudioPlugin& plugin = p->LinkedPlugin();
    if (index >= 0 && plugin.CanAutomate(index))
        plugin.NotifyParamValue(index, static_cast<float>(valueNormalized));
    p->QueueParamValue(static_cast<std::int32_t>(id), index, 0, valueNormalized, true);
    return kResultOk;
}

tresult VST3CALL TVST3ComponentHandler::restartComponent(int32 flags)
{
    TVST3PluginLink* p = Plugin.load();
    if (!p || !Enabled.load())
        return kResultOk;
    TBaseAudioPlugin& plugin = p->LinkedPlugin();
    if (flags & (kReloadComponent | kIoChanged | kParamValuesChanged | kParamTitlesChanged))
        plugin.UpdateInfo();
    if (flags & kReloadComponent)
        flags |= kIoChanged | kParamValuesChanged | kLatencyChanged | kParamTitlesChanged;
    if (flags & kIoChanged)
        plugin.IOChanged();
    if (flags & kLatencyChanged) {
        plugin.Latency = p->ProcessorLatency();
        plugin.LatencyChanged(0);
    }
    if (flags & (kParamTitlesChanged | kParamValuesChanged))
        plugin.UpdateDisplay(2, true);
    return kResultOk;
}

tresult VST3CALL TVST3UnitHandler::queryInterface(const TUID& iid, void** obj) { return AskPlugin(Plugin, iid, obj); }

tresult VST3CALL TVST3UnitHandler::notifyProgramListChange(ProgramListID, int32)
{
    if (TVST3PluginLink* p = Plugin.load())
        p->ReadProgramList();
    return kResultOk;
}

TVST3PluginObjects::TVST3PluginObjects(TVST3PluginLink& plugin)
    : Plugin(plugin),
      HostApp(new TVST3HostInstance(&plugin)),
      Handler(new TVST3ComponentHandler(&plugin)),
      Units(new TVST3UnitHandler(&plugin))
{
}

TVST3PluginObjects::~TVST3PluginObjects()
{
    // A plugin that kept a reference must not reach the plugin object any more.
    HostApp->Plugin.store(nullptr);
    Handler->Plugin.store(nullptr);
    Handler->SetEnabled(false);
    Units->Plugin.store(nullptr);
}

void TVST3PluginObjects::SetComponentHandler3(TInterfaceRef<IComponentHandler3> handler)
{
    Handler3 = std::move(handler);
}

void TVST3PluginObjects::SetCommandHandler(TInterfaceRef<Presonus::IHostCommandHandler> handler)
{
    Commands = std::move(handler);
}

tresult TVST3PluginObjects::Lookup(const TUID& iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    *obj = nullptr;
    TAudioPluginHostIf& host = *Plugin.LinkedPlugin().Host;
    host.Log("TVST3Plugin.QueryInterface", 1, 1);
    FUnknown* found = nullptr;
    if (iid == IHostApplication::iid) {
        host.Log("IHostApplication", 1, 0);
        found = static_cast<IHostApplication*>(HostApp.Get());
    } else if (iid == IComponentHandler::iid) {
        host.Log("IComponentHandler", 1, 0);
        found = static_cast<IComponentHandler*>(Handler.Get());
    } else if (iid == IComponentHandler3::iid) {
        found = Handler3.Get();
    } else if (iid == IUnitHandler::iid) {
        host.Log("IUnitHandler", 1, 0);
        found = static_cast<IUnitHandler*>(Units.Get());
    } else if (iid == Presonus::IHostCommandHandler::iid) {
        host.Log("IHostCommandHandler", 1, 0);
        found = Commands.Get();
    }
    tresult result = kResultFalse;
    if (found) {
        found->addRef();
        *obj = found;
        result = kResultOk;
    }
    host.Log("Finished (TVST3Plugin.QueryInterface)", 1, -1);
    return result;
}
