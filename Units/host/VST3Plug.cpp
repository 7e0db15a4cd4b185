#include "VST3Plug.h"

#include "AnsiText.h"
#include "FPUState.h"
#include "FaultGuard.h"
#include "x32x64.h"

#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>

using namespace Vst3;

namespace {

std::atomic<TVST3TraceSink*> gTraceSink{nullptr};

// Counts taken from a plugin are trusted only up to these limits.
constexpr std::int32_t kMaxClasses = 65536;
constexpr std::int32_t kMaxParams = 1 << 20;
constexpr std::int32_t kMaxBuses = 4096;
constexpr std::int32_t kMaxPrograms = 1 << 20;


constexpr std::int32_t kFlagSample32 = 0x2000;
constexpr std::int32_t kFlagSample64 = 0x4000;
constexpr std::int32_t kFlagsAlwaysVst3 = 0x23981E;



// A function the module exports, or null.
template <class F>
F Export(HMODULE module, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Runs Call under the fault guard; C++ exceptions count as failures too.
template <class F>
bool RunGuarded(F&& Call, std::string& Fault)
{
    try {
        return CallFaultGuarded(Call, Fault);
    } catch (const std::exception& e) {
        Fault = e.what();
    } catch (...) {
        Fault = "unknown exception";
    }
    return false;
}

template <class F>
bool RunGuarded(F&& Call)
{
    std::string fault;
    return RunGuarded(Call, fault);
}

// A text field of a factory record: up to its terminator or its end.
std::string FieldText(const char* field, std::size_t size)
{
    const void* zero = std::memchr(field, 0, size);
    return std::string(field, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : size);
}

// A String128 (or any UTF-16 field) as 8-bit text, at most MaxChars characters.
std::string WideFieldText(const char16_t* field, std::size_t size, std::size_t maxChars)
{
    std::size_t n = 0;
    while (n < size && field[n] != u'\0')
        ++n;
    std::string text = Utf16ToAnsi(std::u16string(field, n));
    if (text.size() > maxChars)
        text.resize(maxChars);
    return text;
}

std::wstring WidePath(const std::string& path)
{
    const std::u16string wide = AnsiToUtf16(path);
    return std::wstring(wide.begin(), wide.end());
}

std::u16string WideField(const char16_t* field, std::size_t size)
{
    std::size_t n = 0;
    while (n < size && field[n] != u'\0')
        ++n;
    return std::u16string(field, n);
}

TClassID ClassIdOf(const TUID& id)
{
    TClassID out;
    static_assert(sizeof(TUID) == 16);
    std::memcpy(out.data(), id.Bytes, 16);
    return out;
}

TUID TuidOf(const TClassID& id)
{
    return TUID::FromBytes(id.data());
}

bool IsZeroId(const TClassID& id)
{
    return std::all_of(id.begin(), id.end(), [](std::uint8_t b) { return b == 0; });
}

bool SameId(const TUID& a, const TClassID& b)
{
    return std::memcmp(a.Bytes, b.data(), 16) == 0;
}

} // namespace

void SetVST3TraceSink(TVST3TraceSink* Sink)
{
    gTraceSink.store(Sink);
}

// ---------------------------------------------------------------------------
// Module calls

bool TVST3Dummy::GetPluginFactory(IPluginFactory*& Factory)
{
    if (Factory != nullptr)
        return true;
    const auto entry = Export<GetFactoryProc>(Module, kGetFactoryProcName);
    if (entry != nullptr)
        Factory = entry();
    return Factory != nullptr;
}

bool TVST3Dummy::CreateMessage(IHostApplication* HostApplication, IMessage*& Message)
{
    Message = nullptr;
    if (HostApplication == nullptr)
        return false;
    void* obj = nullptr;
    if (HostApplication->createInstance(IMessage::iid, IMessage::iid, &obj) == kResultOk)
        Message = static_cast<IMessage*>(obj);
    return Message != nullptr;
}

bool TVST3Dummy::CreateView(IEditController* Controller, const char* Name, IPlugView*& View)
{
    View = Controller != nullptr ? Controller->createView(Name) : nullptr;
    return View != nullptr;
}

// ---------------------------------------------------------------------------
// One module

TVST3InstanceInfo::TVST3InstanceInfo(const std::u16string& APath) : Path(APath) // [main thread]
{
    // No "file not found" box while the library loads.
    HMODULE module = nullptr;
    {
        const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        RunGuarded([&] { module = LoadLibraryW(reinterpret_cast<const wchar_t*>(Path.c_str())); });
        SetErrorMode(oldMode);
    }
    Module.Reset(module);
    if (!Module)
        return;

    if (const auto init = Export<InitModuleProc>(Module.Get(), kInitModuleProcName)) {
        bool accepted = false;
        RunGuarded([&] { accepted = init(); });
        if (!accepted) {
            RunGuarded([&] { Module.Reset(); });
            Module.Release();
            RestoreFPUState();
            return;
        }
    }
    RestoreFPUState();

    Calls = std::make_unique<TVST3Dummy>(Module.Get());
    IPluginFactory* factory = nullptr;
    RunGuarded([&] { Calls->GetPluginFactory(factory); });
    Factory = factory;
    if (Factory != nullptr) {
        void* face = nullptr;
        tresult r = kResultFalse;
        RunGuarded([&] { r = Factory->queryInterface(IPluginFactory2::iid, &face); });
        Factory2 = r == kResultOk ? static_cast<IPluginFactory2*>(face) : nullptr;
    }
    RestoreFPUState();
}

TVST3InstanceInfo::~TVST3InstanceInfo() // [main thread]
{
    if (IPluginFactory2* f2 = std::exchange(Factory2, nullptr))
        RunGuarded([&] { f2->release(); });
    if (IPluginFactory* f = std::exchange(Factory, nullptr))
        RunGuarded([&] { f->release(); });
    Calls.reset();
    if (Module) {
        if (const auto exitDll = Export<ExitModuleProc>(Module.Get(), kExitModuleProcName))
            RunGuarded([&] { exitDll(); });
        RunGuarded([&] { Module.Reset(); });
        Module.Release();
        RestoreFPUState();
    }
}

// ---------------------------------------------------------------------------
// The module list

TInstanceInfoList::TInstanceInfoList()
{
    List.IgnoreCase = true;
    List.SetStoreUpperCase(true);
}

TInstanceInfoList::~TInstanceInfoList() // [main thread]
{
    while (List.Count() > 0)
        ReleaseIndex(0);
}

std::string TInstanceInfoList::KeyOf(const std::u16string& Path)
{
    return Utf16ToAnsi(Path);
}

TVST3InstanceInfo* TInstanceInfoList::Find(const std::u16string& Path) const
{
    const std::int32_t index = List.FindSorted(KeyOf(Path));
    return index >= 0 ? static_cast<TVST3InstanceInfo*>(List.Objects(index)) : nullptr;
}

TVST3InstanceInfo* TInstanceInfoList::Acquire(const std::u16string& Path) // [main thread]
{
    const std::string key = KeyOf(Path);
    TVST3InstanceInfo* info = nullptr;
    const std::int32_t index = List.FindSorted(key);
    if (index >= 0) {
        info = static_cast<TVST3InstanceInfo*>(List.Objects(index));
    } else {
        auto created = std::make_unique<TVST3InstanceInfo>(Path);
        if (List.AddSortedObject(key, created.get()) < 0)
            return nullptr; // the new entry is freed here
        info = created.release();
    }
    ++info->UseCount;
    return info;
}

void TInstanceInfoList::Release(const std::u16string& Path) // [main thread]
{
    const std::int32_t index = List.FindSorted(KeyOf(Path));
    if (index >= 0)
        ReleaseIndex(index);
}

void TInstanceInfoList::ReleaseIndex(std::int32_t Index)
{
    auto* info = static_cast<TVST3InstanceInfo*>(List.Objects(Index));
    if (--info->UseCount < 1) {
        const std::unique_ptr<TVST3InstanceInfo> owned(info); // the entry's object: freed with it
        List.Delete(Index);
    }
}

TInstanceInfoList& InstanceInfoList()
{
    static TInstanceInfoList list;
    return list;
}

// ---------------------------------------------------------------------------
// Classes of a module

void EnumerateVST3Classes(IPluginFactory* Factory, const std::string& FilePath, TPluginList& List)
{
    if (Factory == nullptr)
        return;
    const TInterfaceRef<IPluginFactory2> factory2 = Vst3::QueryInterface<IPluginFactory2>(Factory);
    const std::uint8_t flags = IsModule64Bit(WidePath(FilePath)) ? kPluginIDModule64Bit : 0;
    const std::int32_t count = std::clamp<std::int32_t>(Factory->countClasses(), 0, kMaxClasses);
    for (std::int32_t i = 0; i < count; ++i) {
        PClassInfo info{};
        if (Factory->getClassInfo(i, &info) != kResultOk)
            continue;
        if (FieldText(info.category, sizeof info.category) != kVstAudioEffectClass)
            continue;
        TPluginID id;
        id.Kind = static_cast<std::uint8_t>(kKindVst3Effect);
        PClassInfo2 info2{};
        if (factory2 && factory2->getClassInfo2(i, &info2) == kResultOk) {
            std::string sub = FieldText(info2.subCategories, sizeof info2.subCategories);
            for (char& c : sub)
                c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            if (sub.find("instrument") != std::string::npos)
                id.Kind = static_cast<std::uint8_t>(kKindVst3Instrument);
        }
        id.Name = FieldText(info.name, sizeof info.name);
        id.FileName = FilePath;
        id.ClassIDs.push_back(ClassIdOf(info.cid));
        id.Flags = flags;
        List.push_back(std::move(id));
    }
}

// ---------------------------------------------------------------------------
// Construction and destruction

TVST3Plugin::TVST3Plugin(TAudioPluginHostIf* AHost, const TPluginDescription* ADescription,
                         const TPluginSettings& Settings)
    : TBaseAudioPlugin(AHost, ADescription, Settings)
{
    Trace("TVST3Plugin.Create", 1);
    ActivationTime = timeGetTime();
    IsValid = LoadPlugin(ADescription, Settings);
    UpdateInfo();
    Trace("Finished (TVST3Plugin.Create)", -1);
}

TVST3Plugin::~TVST3Plugin() // [main thread]
{
    Trace("TVST3Plugin.Destroy", 1);
    UnloadPlugin(true);
    // A plugin that still holds a host object keeps it; HostObjects detaches
    // it from this plugin when it goes.
    Trace("Finished (TVST3Plugin.Destroy)", -1);
}

void TVST3Plugin::Trace(const std::string& Text, std::int32_t Indent, std::uint8_t Level)
{
    Log(Text, Level, Indent, false);
    if (TVST3TraceSink* sink = gTraceSink.load())
        sink->Trace(Text, Level, Indent);
}

template <class F>
bool TVST3Plugin::Guarded(F&& Call, const char* What)
{
    std::string fault;
    if (RunGuarded(Call, fault))
        return true;
    RestoreFPUState();
    char line[512];
    std::snprintf(line, sizeof line, "EXCEPTION! \"%s\" (%s)", fault.c_str(), What);
    Trace(line);
    return false;
}

// ---------------------------------------------------------------------------
// Loading

bool TVST3Plugin::LoadPlugin(const TPluginDescription* ADescription, const TPluginSettings& Settings) // [main thread]
{
    Trace("TVST3Plugin.LoadPlugin", 1);
    if (ADescription == nullptr)
        return false;
    Description = *ADescription;
    // The caller's shell list is not used for VST3 (a shell's list is built
    // here) and does not outlive the request: no pointer to it is kept.
    Description.ShellList = nullptr;
    SampleRate = Settings.SampleRate;
    BlockSize = Settings.BlockSize;
    Tempo = Settings.Tempo;
    StepsPerBar = Settings.StepsPerBar;
    StepsPerBeat = Settings.StepsPerBeat;
    TicksPerBeat = Settings.TicksPerBeat;

    // 1: the module.
    Trace("1");
    const std::string fileName = FieldText(Description.FileName, sizeof Description.FileName);
    ModuleInfo = InstanceInfoList().Acquire(AnsiToUtf16(fileName));
    if (ModuleInfo == nullptr)
        return false;
    if (ModuleInfo->Factory == nullptr) {
        ReleaseModule();
        return false;
    }

    // 2 to 21 under the fault guard. Outcome: 0 failed (already traced),
    // 1 shell, 2 loaded.
    Trace("2");
    RestoreFPUState();
    TPluginList classes;
    int outcome = 0;
    std::string fault;
    const bool returned = RunGuarded([&] { outcome = LoadStages(classes, fileName); }, fault);
    if (!returned) {
        // The interfaces obtained so far stay until UnloadPlugin, which
        // releases them before it gives the module back.
        RestoreFPUState();
        char line[512];
        std::snprintf(line, sizeof line, "EXCEPTION! \"%s\"", fault.c_str());
        Trace(line);
        Trace("Finished early 5", -1);
        return false;
    }
    if (outcome != 2)
        return outcome == 1;

    Trace("Finished (TVST3Plugin.LoadPlugin)", -1);
    ApplyProcessSetup();
    HostObjects.ComponentHandler()->SetEnabled(true);
    return true;
}

int TVST3Plugin::LoadStages(TPluginList& Classes, const std::string& FileName)
{
    ShellPlugins.Clear();
    IsShell = false;
    Classes.clear();

    Trace("3");
    EnumerateVST3Classes(ModuleInfo->Factory, FileName, Classes);

    Trace("4");
    if (!IsZeroId(Description.ClassID)) {
        for (const TPluginID& id : Classes) {
            if (!id.ClassIDs.empty() && id.ClassIDs[0] == Description.ClassID) {
                Name = id.Name;
                Description.Kind = id.Kind;
                break;
            }
        }
    } else {
        Trace("5");
        if (Classes.size() == 1) {
            Description.ClassID = Classes[0].ClassIDs[0];
            Description.Kind = Classes[0].Kind;
            Name = Classes[0].Name;
        } else if (Classes.size() > 1) {
            for (const TPluginID& id : Classes)
                ShellPlugins.AddOrUpdate(id.Name, id.Kind, id.ClassIDs[0], 0);
            IsShell = true;
            ReleaseModule();
            Trace("Finished early 1", -1);
            return 1;
        }
    }

    Trace("6");
    ReadMakerData();
    Trace("7");
    ReadClassDetails();

    // 8: the component.
    Trace("8");
    RestoreFPUState();
    const TUID cid = TuidOf(Description.ClassID);
    const tresult created =
        ModuleInfo->Factory->createInstance(cid.AsFIDString(), IComponent::iid.AsFIDString(), Component.PutVoid());
    if (created != kResultOk || !Component) {
        Component.Reset();
        ReleaseModule();
        Trace("Finished early 2", -1);
        return 0;
    }

    // 9: initialise it.
    Trace("9");
    Trace("Calling Initialize", 1);
    if (Component->initialize(HostObjects.HostApplication()) != kResultOk) {
        UnloadPlugin(false);
        Trace("Finished early 3", -1);
        return 0;
    }
    Trace("Finished (calling Initialize)", -1);

    // 10: the edit controller, the component's own or a separate one.
    Trace("10");
    RestoreFPUState();
    SingleComponent = true;
    tresult r = kResultFalse;
    Controller = Vst3::QueryInterface<IEditController>(Component.Get(), &r);
    if (r != kResultOk || !Controller) {
        SingleComponent = false;
        Controller.Reset();
        TUID controllerId{};
        r = Component->getControllerClassId(controllerId);
        if (r >= 0 && !IsZeroId(ClassIdOf(controllerId))) {
            r = ModuleInfo->Factory->createInstance(controllerId.AsFIDString(), IEditController::iid.AsFIDString(),
                                                    Controller.PutVoid());
            if (r == kResultOk && Controller)
                r = Controller->initialize(HostObjects.HostApplication());
        } else {
            r = kResultFalse;
        }
    }
    if (!Controller || r != kResultOk) {
        Controller.Reset();
        UnloadPlugin(true);
        Trace("Finished early 3", -1);
        return 0;
    }

    // 11: the processor.
    Trace("11");
    RestoreFPUState();
    Processor = Vst3::QueryInterface<IAudioProcessor>(Component.Get());
    if (!Processor) {
        Processor.Reset();
        UnloadPlugin(true);
        Trace("Finished early 4", -1);
        return 0;
    }

    Trace("12");
    Trace("13");
    RestoreFPUState();
    Controller->setComponentHandler(HostObjects.ComponentHandler());

    Trace("14");
    ConnectComponents();

    // 15: a separate controller learns the component's state.
    Trace("15");
    if (!SingleComponent) {
        const TInterfaceRef<TVST3BStream> stream = TVST3BStream::Create();
        Component->getState(stream.Get());
        stream->Data.Seek(0, TSeekOrigin::soBeginning);
        Controller->setComponentState(stream.Get());
    }

    // 16 to 20: the editor belongs to the editor support, which this build
    // does not have; the stages are passed through.
    Trace("16");
    if (Controller) {
        Trace("17");
        Trace("18");
        Trace("19a");
        Trace("20");
    }

    Trace("21");
    RestoreFPUState();
    RestoreFPUState();
    return 2;
}

void TVST3Plugin::ReadMakerData()
{
    Vendor.clear();
    VendorURL.clear();
    VendorEmail.clear();
    PFactoryInfo info{};
    if (ModuleInfo->Factory->getFactoryInfo(&info) == kResultOk) {
        Vendor = FieldText(info.vendor, sizeof info.vendor);
        VendorURL = FieldText(info.url, sizeof info.url);
        VendorEmail = FieldText(info.email, sizeof info.email);
    }
}

void TVST3Plugin::ReadClassDetails()
{
    SubCategories.clear();
    SdkVersion.clear();
    IPluginFactory* factory = ModuleInfo->Factory;
    IPluginFactory2* factory2 = ModuleInfo->Factory2;
    const std::int32_t count = std::clamp<std::int32_t>(factory->countClasses(), 0, kMaxClasses);
    for (std::int32_t i = 0; i < count; ++i) {
        PClassInfo info{};
        if (factory->getClassInfo(i, &info) != kResultOk || !SameId(info.cid, Description.ClassID))
            continue;
        PClassInfo2 info2{};
        if (factory2 != nullptr && factory2->getClassInfo2(i, &info2) == kResultOk) {
            SubCategories = FieldText(info2.subCategories, sizeof info2.subCategories);
            SdkVersion = FieldText(info2.sdkVersion, sizeof info2.sdkVersion);
        }
    }
}

// ---------------------------------------------------------------------------
// Connections and unloading

void TVST3Plugin::ConnectComponents()
{
    UnitInfo.Reset();
    MidiMapping.Reset();
    ComponentConnection.Reset();
    ControllerConnection.Reset();
    ProgramListData.Reset();
    ComponentConnection = Vst3::QueryInterface<IConnectionPoint>(Component.Get());
    ProgramListData = Vst3::QueryInterface<IProgramListData>(Component.Get());
    if (Controller) {
        UnitInfo = Vst3::QueryInterface<IUnitInfo>(Controller.Get());
        MidiMapping = Vst3::QueryInterface<IMidiMapping>(Controller.Get());
        ControllerConnection = Vst3::QueryInterface<IConnectionPoint>(Controller.Get());
    }
    if (ComponentConnection && ControllerConnection && !SingleComponent) {
        if (ComponentConnection->connect(ControllerConnection.Get()) == kResultOk)
            ControllerConnection->connect(ComponentConnection.Get());
    }
}

void TVST3Plugin::UnloadPlugin(bool Terminate) // [main thread]
{
    // Each step on its own under the guard: a plugin that faults while it is
    // torn down still gives back everything else.
    for (std::int32_t i = 0; i < EditorCount(); ++i)
        Guarded([&] { GetEditors(i)->Close(); }, "closing an editor");
    Guarded([&] { ProgramListData.Reset(); }, "ProgramListData");
    if (ComponentConnection && ControllerConnection) {
        Guarded([&] { ComponentConnection->disconnect(ControllerConnection.Get()); }, "disconnect");
        Guarded([&] { ControllerConnection->disconnect(ComponentConnection.Get()); }, "disconnect");
    }
    Guarded([&] { UnitInfo.Reset(); }, "UnitInfo");
    Guarded([&] { MidiMapping.Reset(); }, "MidiMapping");
    Guarded([&] { ComponentConnection.Reset(); }, "ComponentConnection");
    Guarded([&] { ControllerConnection.Reset(); }, "ControllerConnection");
    if (Terminate && Controller) {
        Guarded([&] { Controller->setComponentHandler(nullptr); }, "setComponentHandler");
        if (!SingleComponent)
            Guarded([&] { Controller->terminate(); }, "controller terminate");
    }
    Guarded([&] { Controller.Reset(); }, "Controller");
    Guarded([&] { Processor.Reset(); }, "Processor");
    if (Terminate && Component)
        Guarded([&] { Component->terminate(); }, "component terminate");
    Guarded([&] { Component.Reset(); }, "Component");
    RestoreFPUState();
    ReleaseModule();
}

void TVST3Plugin::ReleaseModule()
{
    if (ModuleInfo == nullptr)
        return;
    ModuleInfo = nullptr;
    const std::string fileName = FieldText(Description.FileName, sizeof Description.FileName);
    InstanceInfoList().Release(AnsiToUtf16(fileName));
}

// ---------------------------------------------------------------------------
// Description

void TVST3Plugin::UpdateInfo() // [main thread]
{
    PluginFlags = 0;
    TBaseAudioPlugin::UpdateInfo();
    if (!IsValid)
        return;
    HasEditor = EditorCount() > 0;
    IsSynth = Description.Kind == kKindVst3Instrument;
    IsEffect = !IsSynth;
    PluginFlags |= kPluginAlways | kPluginReplacing;
    const bool read = Guarded(
        [&] {
            ReadParameters();
            const std::int32_t oldInputs = NumInputBuses, oldOutputs = NumOutputBuses;
            ReadAudioBuses();
            if (NumInputBuses > 1)
                PluginFlags |= kPluginMultiInput;
            if (NumOutputBuses > 1)
                PluginFlags |= kPluginMultiOutput;
            ResetBusStates(oldInputs, oldOutputs);
            ReadEventBuses();
            Latency = Processor ? Processor->getLatencySamples() : 0;
            ReadProgramList();
            AcceptsMidi = true;
            if (Processor && Processor->canProcessSampleSize(kSample32) == kResultOk)
                PluginFlags |= kFlagSample32;
            if (Processor && Processor->canProcessSampleSize(kSample64) == kResultOk)
                PluginFlags |= kFlagSample64;
        },
        "UpdateInfo");
    if (!read)
        IsValid = false; // a plugin that faults while it is described is not used
    PluginFlags |= kFlagsAlwaysVst3;
}

void TVST3Plugin::ReadParameters()
{
    NumParams = 0;
    ParamInfos.clear();
    LastParam.store(kNoParam);
    if (Controller)
        NumParams = std::clamp<std::int32_t>(Controller->getParameterCount(), 0, kMaxParams);
    ParamInfos.resize(static_cast<std::size_t>(NumParams));
    for (std::int32_t i = 0; i < NumParams; ++i) {
        ParameterInfo& info = ParamInfos[static_cast<std::size_t>(i)];
        std::memset(&info, 0, sizeof info);
        Controller->getParameterInfo(i, info);
    }
}

void TVST3Plugin::ReadBuses(std::int32_t MediaType, std::int32_t Direction, std::vector<TBusInfo>& Buses,
                            bool Activate)
{
    Buses.clear();
    const std::int32_t n = std::clamp<std::int32_t>(Component->getBusCount(MediaType, Direction), 0, kMaxBuses);
    for (std::int32_t i = 0; i < n; ++i) {
        BusInfo info{};
        if (Component->getBusInfo(MediaType, Direction, i, info) != kResultOk)
            continue;
        TBusInfo bus{};
        const std::string name = WideFieldText(info.name, std::size(info.name), sizeof bus.Name - 1);
        std::memcpy(bus.Name, name.data(), name.size());
        bus.Channels = info.channelCount;
        bus.DefaultActive = (info.flags & BusInfo::kDefaultActive) != 0;
        if (bus.DefaultActive && Activate)
            Component->activateBus(MediaType, Direction, i, true);
        Buses.push_back(bus);
    }
}

void TVST3Plugin::ReadAudioBuses()
{
    NumInputBuses = NumOutputBuses = 0;
    InputBuses.clear();
    OutputBuses.clear();
    if (!Component) {
        SetBusCount(true, 0);
        SetBusCount(false, 0);
        return;
    }
    std::vector<TBusInfo> inputs, outputs;
    ReadBuses(kAudio, kInput, inputs, true);
    ReadBuses(kAudio, kOutput, outputs, true);
    SetBusCount(true, static_cast<std::int32_t>(inputs.size()));
    SetBusCount(false, static_cast<std::int32_t>(outputs.size()));
    std::copy(inputs.begin(), inputs.end(), InputBuses.begin());
    std::copy(outputs.begin(), outputs.end(), OutputBuses.begin());
}

void TVST3Plugin::ReadEventBuses()
{
    NumEventInputBuses = NumEventOutputBuses = 0;
    EventInputBuses.clear();
    EventOutputBuses.clear();
    if (!Component)
        return;
    ReadBuses(kEvent, kInput, EventInputBuses, false);
    ReadBuses(kEvent, kOutput, EventOutputBuses, false);
    NumEventInputBuses = static_cast<std::int32_t>(EventInputBuses.size());
    NumEventOutputBuses = static_cast<std::int32_t>(EventOutputBuses.size());
}

void TVST3Plugin::ReadProgramList()
{
    ProgramEntries.clear();
    NumPrograms = 0;
    NumUnitPrograms = 0;
    if (UnitInfo) {
        const std::int32_t lists = std::clamp<std::int32_t>(UnitInfo->getProgramListCount(), 0, kMaxPrograms);
        for (std::int32_t i = 0; i < lists; ++i) {
            ProgramListInfo info{};
            if (UnitInfo->getProgramListInfo(i, info) != kResultOk)
                continue;
            const std::int32_t count = std::clamp<std::int32_t>(info.programCount, 0, kMaxPrograms - NumUnitPrograms);
            for (std::int32_t k = 0; k < count; ++k)
                ProgramEntries.push_back({info.id, k});
            NumUnitPrograms += count;
        }
    }
    NumPrograms = NumUnitPrograms;
    if (CurrentProgram >= NumPrograms)
        CurrentProgram = std::max(NumPrograms - 1, 0);
}

std::int32_t TVST3Plugin::ParamIndexOf(ParamID Id)
{
    const std::uint64_t cached = LastParam.load();
    if (cached != kNoParam && static_cast<std::uint32_t>(cached >> 32) == Id)
        return static_cast<std::int32_t>(cached & 0xFFFFFFFFu);
    for (std::size_t i = 0; i < ParamInfos.size(); ++i) {
        if (ParamInfos[i].id == Id) {
            LastParam.store((static_cast<std::uint64_t>(Id) << 32) | static_cast<std::uint32_t>(i));
            return static_cast<std::int32_t>(i);
        }
    }
    return -1;
}

// ---------------------------------------------------------------------------
// Operations of the plugin abstraction

void TVST3Plugin::SetActive(bool AActive)
{
    TBaseAudioPlugin::SetActive(AActive);
    SwitchProcessing(AActive);
}

void TVST3Plugin::Reset()
{
    if (!Active || !Component)
        return;
    Guarded(
        [&] {
            Component->setActive(false);
            Component->setActive(true);
        },
        "Reset");
    RestoreFPUState();
}

void TVST3Plugin::SetSampleRate(std::int32_t Rate)
{
    TBaseAudioPlugin::SetSampleRate(Rate);
    ApplyProcessSetup();
}

void TVST3Plugin::SetBlockSize(std::int32_t Size)
{
    TBaseAudioPlugin::SetBlockSize(Size);
    ApplyProcessSetup();
}

void TVST3Plugin::SetProcessFlags(std::int32_t Flags)
{
    TBaseAudioPlugin::SetProcessFlags(Flags);
    ApplyProcessSetup();
}

void TVST3Plugin::SwitchProcessing(bool On) // [main thread]
{
    if (!Component || !Processor)
        return;
    Guarded(
        [&] {
            if (On) {
                Component->setActive(true);
                Processor->setProcessing(true);
            } else {
                Processor->setProcessing(false);
                Component->setActive(false);
            }
        },
        "SwitchProcessing");
    if (On)
        ActivationTime = timeGetTime();
    RestoreFPUState();
}

void TVST3Plugin::ApplyProcessSetup() // [main thread]
{
    if (!Processor)
        return;
    if (Active)
        SwitchProcessing(false);
    ProcessSetup setup{};
    setup.processMode = IsOffline() ? kOffline : kRealtime;
    setup.symbolicSampleSize = kSample32;
    setup.maxSamplesPerBlock = BlockSize;
    setup.sampleRate = static_cast<double>(SampleRate);
    tresult r = kResultFalse;
    Guarded([&] { r = Processor->setupProcessing(setup); }, "setupProcessing");
    RestoreFPUState();
    if (r != kResultOk)
        ShowMessage("setup processing failed!", 0);
    if (Active)
        SwitchProcessing(true);
}

void TVST3Plugin::GetMidiKeyName(std::int32_t, std::string& Name)
{
    Name.clear();
}

bool TVST3Plugin::MatchesDescription(const TPluginDescription& ADescription)
{
    return ADescription.ClassID == Description.ClassID;
}

void TVST3Plugin::GetVersionString(std::string& S)
{
    S = SdkVersion;
}

void TVST3Plugin::GetCategoryString(std::string& S)
{
    S = SubCategories;
}

void TVST3Plugin::ScanShellPlugins() {}

void TVST3Plugin::GetParamName(std::int32_t Index, std::string& AName)
{
    AName.clear();
    if (Index >= 0 && static_cast<std::size_t>(Index) < ParamInfos.size()) {
        const ParameterInfo& p = ParamInfos[static_cast<std::size_t>(Index)];
        AName = WideFieldText(p.title, std::size(p.title), 128);
    }
}

void TVST3Plugin::GetParamLabel(std::int32_t Index, std::string& Text)
{
    Text.clear();
    if (Index >= 0 && static_cast<std::size_t>(Index) < ParamInfos.size()) {
        const ParameterInfo& p = ParamInfos[static_cast<std::size_t>(Index)];
        Text = WideFieldText(p.units, std::size(p.units), 128);
    }
}

float TVST3Plugin::GetParamValue(std::int32_t Index)
{
    if (!Controller || Index < 0 || static_cast<std::size_t>(Index) >= ParamInfos.size())
        return 0.0f;
    double value = 0.0;
    const std::uint32_t id = ParamInfos[static_cast<std::size_t>(Index)].id;
    Guarded([&] { value = Controller->getParamNormalized(id); }, "getParamNormalized");
    return static_cast<float>(value);
}

void TVST3Plugin::GetParamDisplay(std::int32_t Index, bool, std::u16string& Text)
{
    Text.clear();
    if (!Controller || Index < 0 || static_cast<std::size_t>(Index) >= ParamInfos.size())
        return;
    const double value = GetParamValue(Index);
    const std::uint32_t id = ParamInfos[static_cast<std::size_t>(Index)].id;
    String128 s{};
    tresult r = kResultFalse;
    Guarded([&] { r = Controller->getParamStringByValue(id, value, s); }, "getParamStringByValue");
    if (r == kResultOk)
        Text = WideField(s, 128);
}

std::int32_t TVST3Plugin::GetCurrentProgram()
{
    return CurrentProgram;
}

void TVST3Plugin::GetProgramName(std::int32_t Index, std::int32_t, std::string& AName)
{
    AName.clear();
    if (!UnitInfo || Index < 0 || Index >= NumUnitPrograms ||
        static_cast<std::size_t>(Index) >= ProgramEntries.size())
        return;
    const TVST3ProgramEntry& e = ProgramEntries[static_cast<std::size_t>(Index)];
    String128 s{};
    tresult r = kResultFalse;
    Guarded([&] { r = UnitInfo->getProgramName(e.ListId, e.Index, s); }, "getProgramName");
    if (r == kResultOk)
        AName = WideFieldText(s, 128, 128);
}

// ---------------------------------------------------------------------------
// The link of the host-side objects

tresult TVST3Plugin::QueryInterface(const TUID& Iid, void** Obj)
{
    return HostObjects.Lookup(Iid, Obj);
}

void TVST3Plugin::QueueParamValue(std::int32_t, std::int32_t, std::int32_t, double, bool) {}

std::int32_t TVST3Plugin::ProcessorLatency()
{
    if (!Processor)
        return 0;
    std::int32_t latency = 0;
    Guarded([&] { latency = static_cast<std::int32_t>(Processor->getLatencySamples()); }, "getLatencySamples");
    return latency;
}
