#pragma once
// VST3 hosting: the process-wide list of loaded VST3 modules, what a
// module's factory says about itself and its classes, and TVST3Plugin, one
// VST3 plugin loaded from such a module and driven through the operations of
// TBaseAudioPlugin. [Windows builds only]
//
// Threads: modules are loaded and released, and plugins created, described,
// activated, set up and destroyed on the thread that creates plugins (the
// bridge's main thread). Nothing here is locked.

// <windows.h> comes first: AudioPlug.h then removes its MessageBox macro.
#include "WinHandle.h"

#include "AudioPlug.h"
#include "DSP_Plugins_Include.h"
#include "VST3HostObjects.h"
#include "Vst3Base.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Modules

// The calls that enter a module, behind one indirection per module.
class TVST3DummyIntf {
public:
    virtual ~TVST3DummyIntf() = default;
    // Factory already set: true at once. Otherwise the module's
    // "GetPluginFactory" result when it exports one; true when Factory is set.
    virtual bool GetPluginFactory(Vst3::IPluginFactory*& Factory) = 0;
    // Asks the host application for a message object (class and interface
    // identifier both Vst3::IMessage); true when one came back.
    virtual bool CreateMessage(Vst3::IHostApplication* HostApplication, Vst3::IMessage*& Message) = 0;
    // Controller.createView(Name); true when a view came back.
    virtual bool CreateView(Vst3::IEditController* Controller, const char* Name, Vst3::IPlugView*& View) = 0;
};

class TVST3Dummy final : public TVST3DummyIntf {
public:
    explicit TVST3Dummy(HMODULE AModule) : Module(AModule) {}
    bool GetPluginFactory(Vst3::IPluginFactory*& Factory) override;
    bool CreateMessage(Vst3::IHostApplication* HostApplication, Vst3::IMessage*& Message) override;
    bool CreateView(Vst3::IEditController* Controller, const char* Name, Vst3::IPlugView*& View) override;

private:
    HMODULE Module; // not owned
};

// One loaded module. Constructing loads it (LoadLibrary, "InitDll", the
// factory); destroying releases the factory and unloads it ("ExitDll").
// A module that failed to load keeps its entry, with no Factory.
class TVST3InstanceInfo {
public:
    explicit TVST3InstanceInfo(const std::u16string& APath);
    ~TVST3InstanceInfo();
    TVST3InstanceInfo(const TVST3InstanceInfo&) = delete;
    TVST3InstanceInfo& operator=(const TVST3InstanceInfo&) = delete;

    std::int32_t UseCount = 0;
    TOwnedModule Module;
    std::u16string Path;
    Vst3::IPluginFactory* Factory = nullptr;   // one reference
    Vst3::IPluginFactory2* Factory2 = nullptr; // one reference, or none
    std::unique_ptr<TVST3DummyIntf> Calls;
};

// The loaded modules of the process, one per path in any letter case.
class TInstanceInfoList {
public:
    TInstanceInfoList();
    // Releases entry 0 until none is left: every module is unloaded.
    ~TInstanceInfoList();
    TInstanceInfoList(const TInstanceInfoList&) = delete;
    TInstanceInfoList& operator=(const TInstanceInfoList&) = delete;

    // The module of Path, loaded on first use; its UseCount grows by one.
    // Null only when the list cannot take the entry.
    TVST3InstanceInfo* Acquire(const std::u16string& Path);
    // UseCount down by one; at 0 the entry goes and the module is unloaded.
    void Release(const std::u16string& Path);
    std::int32_t Count() const { return List.Count(); }
    // The entry of Path, or null; the use count is not changed.
    TVST3InstanceInfo* Find(const std::u16string& Path) const;

private:
    static std::string KeyOf(const std::u16string& Path);
    void ReleaseIndex(std::int32_t Index);
    TAbcStringlist List; // key: the path as 8-bit text; object: the owned entry
};

// The one list of the process, created on first use, destroyed at exit.
TInstanceInfoList& InstanceInfoList();

// The audio classes of a factory ("Audio Module Class"), Kind 8 when the
// subcategories name an instrument, else 7. Calls into the module.
void EnumerateVST3Classes(Vst3::IPluginFactory* Factory, const std::string& FilePath, TPluginList& List);

// ---------------------------------------------------------------------------
// The plugin

// One program that the plugin publishes through its unit information.
struct TVST3ProgramEntry {
    std::int32_t ListId = 0;
    std::int32_t Index = 0; // within the list
};

// Receives the trace lines of VST3 plugins (they are not forwarded to the
// host). None is installed in the bridge, which drops them; tests install
// one. Process-wide; the sink must outlive its installation.
class TVST3TraceSink {
public:
    virtual ~TVST3TraceSink() = default;
    virtual void Trace(const std::string& Text, std::uint8_t Level, std::int32_t Indent) = 0;
};
void SetVST3TraceSink(TVST3TraceSink* Sink);

class TVST3Plugin : public TBaseAudioPlugin, public TVST3PluginLink {
public:
    // Loads the class named by Description (a zero class identifier: the
    // module's only class, or a shell listing all of them). Never throws for
    // a module that fails to load or faults: IsValid tells. [main thread]
    TVST3Plugin(TAudioPluginHostIf* Host, const TPluginDescription* Description, const TPluginSettings& Settings);
    ~TVST3Plugin() override;

    // --- Overrides -------------------------------------------------------------
    void Reset() override;
    void SetSampleRate(std::int32_t Rate) override;
    void SetBlockSize(std::int32_t Size) override;
    void SetProcessFlags(std::int32_t Flags) override;
    void SetActive(bool Active) override;
    void GetMidiKeyName(std::int32_t Key, std::string& Name) override;
    bool MatchesDescription(const TPluginDescription& Description) override;
    void GetVersionString(std::string& S) override;
    void GetCategoryString(std::string& S) override;
    void UpdateInfo() override;
    void ScanShellPlugins() override;
    // Parameters as the controller describes them; an index outside the
    // parameters answers empty texts and 0.
    void GetParamName(std::int32_t Index, std::string& Name) override;
    void GetParamDisplay(std::int32_t Index, bool Unicode, std::u16string& Text) override;
    void GetParamLabel(std::int32_t Index, std::string& Text) override;
    float GetParamValue(std::int32_t Index) override;
    // Programs published through the unit information.
    std::int32_t GetCurrentProgram() override;
    void GetProgramName(std::int32_t Index, std::int32_t Reserved, std::string& Name) override;

    // --- The link of the host-side objects --------------------------------
    // The shared lookup of the objects tied to this plugin.
    Vst3::tresult QueryInterface(const Vst3::TUID& Iid, void** Obj) override;
    TBaseAudioPlugin& LinkedPlugin() override { return *this; }
    // The index of the parameter with identifier Id, or -1 (one-entry cache).
    std::int32_t ParamIndexOf(Vst3::ParamID Id) override;
    // Values for the processor and the controller are delivered with the
    // audio blocks, which this build does not send to a VST3 plugin yet:
    // nothing is queued.
    void QueueParamValue(std::int32_t Id, std::int32_t Index, std::int32_t SampleOffset, double Value,
                         bool ToProcessor) override;
    std::int32_t ProcessorLatency() override;
    // Re-reads the program list.
    void ReadProgramList() override;

    // --- Internal operations ---------------------------------------------------
    bool LoadPlugin(const TPluginDescription* ADescription, const TPluginSettings& Settings);
    void UnloadPlugin(bool Terminate);
    void ReleaseModule();
    void ConnectComponents();
    void ReadParameters();
    void ReadAudioBuses();
    void ReadEventBuses();
    void SwitchProcessing(bool On);
    void ApplyProcessSetup();
    // Trace line for the sink. [any thread]
    void Trace(const std::string& Text, std::int32_t Indent = 0, std::uint8_t Level = 1);

    // --- Fields ------------------------------------------------------------------
    // The host application, component handler(s), unit handler and
    // command handler; detached from this plugin when it is destroyed.
    TVST3PluginObjects HostObjects{*this};
    TVST3InstanceInfo* ModuleInfo = nullptr; // an entry of the module list, held by one use
    bool SingleComponent = false;
    Vst3::TInterfaceRef<Vst3::IComponent> Component;
    Vst3::TInterfaceRef<Vst3::IAudioProcessor> Processor;
    Vst3::TInterfaceRef<Vst3::IEditController> Controller;
    Vst3::TInterfaceRef<Vst3::IUnitInfo> UnitInfo;
    Vst3::TInterfaceRef<Vst3::IMidiMapping> MidiMapping;
    Vst3::TInterfaceRef<Vst3::IConnectionPoint> ComponentConnection;
    Vst3::TInterfaceRef<Vst3::IConnectionPoint> ControllerConnection;
    Vst3::TInterfaceRef<Vst3::IProgramListData> ProgramListData;
    std::string SdkVersion;
    std::string SubCategories;
    std::vector<Vst3::ParameterInfo> ParamInfos;
    std::vector<TVST3ProgramEntry> ProgramEntries;
    std::int32_t NumUnitPrograms = 0;
    std::int32_t CurrentProgram = 0;
    // The one-entry cache of ParamIndexOf: identifier in the high half,
    // index in the low half, read and written as one pair.
    static constexpr std::uint64_t kNoParam = ~std::uint64_t{0};
    std::atomic<std::uint64_t> LastParam{kNoParam};
    std::uint32_t ActivationTime = 0;

private:
    // Stages 2 to 21 of LoadPlugin: 0 failed, 1 a shell, 2 loaded.
    int LoadStages(TPluginList& Classes, const std::string& FileName);
    // The maker's data and the class details from the factory.
    void ReadMakerData();
    void ReadClassDetails();
    // One bus list of one media type and direction into Buses.
    void ReadBuses(std::int32_t MediaType, std::int32_t Direction, std::vector<TBusInfo>& Buses, bool Activate);
    // Runs Call under the fault guard; false (and a trace line) when it
    // faulted or threw.
    template <class F>
    bool Guarded(F&& Call, const char* What);
};
