#pragma once
// TVSTPlugin: one VST2 plugin module, loaded, opened and driven through the
// format-neutral operations of TBaseAudioPlugin, with the host callback that
// the plugin calls back through. [Windows builds only]
//
// Threads: construction, destruction, parameters, programs and queries run on
// the main thread; blocks, the event operations and the host-state setters
// before each block on the audio thread. The host callback is entered on
// whichever thread the plugin calls from.

// <windows.h> comes first: AudioPlug.h then removes its MessageBox macro.
#include "WinHandle.h"

#include "AudioPlug.h"
#include "VST2Types.h"
#include "VSTPlugCore.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TVSTPluginEditor;

// A saved state of one program: its chunk, or one value per parameter.
struct TProgramBackup {
    bool Valid = false;
    std::int32_t Program = -1; // the program the data belongs to; -1 when not valid
    std::string Name;          // that program's name when the backup was taken
    std::vector<std::uint8_t> Data;
    std::int32_t Size = 0; // chunk size in bytes (chunk backups)
};

// Receives the trace lines that a VST2 plugin does not forward to its host.
// None is installed in the bridge, which drops them; diagnostics and tests
// install one. Process-wide; the sink must outlive its installation.
class TVSTTraceSink {
public:
    virtual ~TVSTTraceSink() = default;
    virtual void Trace(const std::string& Text, std::uint8_t Level, std::int32_t Indent) = 0;
};
void SetVSTTraceSink(TVSTTraceSink* Sink);

// The host callback handed to every plugin's entry point.
VstIntPtr VSTCALL VSTHostCallback(AEffect* Effect, VstInt32 Opcode, VstInt32 Index, VstIntPtr Value, void* Ptr,
                                  float Opt);

class TVSTPlugin : public TBaseAudioPlugin {
public:
    // Loads, opens and reads the plugin named by Description. Never throws
    // for a module that fails to load: IsValid tells. [main thread]
    TVSTPlugin(TAudioPluginHostIf* Host, const TPluginDescription* Description, const TPluginSettings& Settings,
               std::int32_t ShellId);
    ~TVSTPlugin() override;

    // --- Overrides -------------------------------------------------------------
    void Log(const std::string& Text, std::uint8_t Level, std::int32_t Indent, bool Forward) override;
    void SetProperties(std::int32_t Index, bool NewValue) override;

    // [audio thread]
    void ProcessBuses(float** Inputs, float** Outputs, std::int32_t SampleFrames) override;
    void Process(float** Inputs, float** Outputs, std::int32_t SampleFrames) override;
    void Reset() override;
    // Queue one event for the next block. [any thread]
    void MidiMessage(std::int32_t Port, std::int32_t Msg, std::int32_t DeltaFrames) override;
    void NoteOn(std::int32_t Port, std::uint8_t Velocity, std::int64_t NoteId, float Pitch, float Pitch2,
                std::uint8_t Channel, std::int32_t Length, bool Realtime, std::int32_t DeltaFrames,
                std::int32_t Reserved) override;
    void NoteOff(std::int32_t Port, std::uint8_t Velocity, std::int64_t NoteId, float Pitch, std::uint8_t Channel,
                 bool Realtime, std::int32_t DeltaFrames) override;
    void SetSampleRate(std::int32_t Rate) override;
    void SetBlockSize(std::int32_t Size) override;
    void SetTempo(double Tempo) override;
    void SetPlaying(bool Playing) override;

    void GetMidiKeyName(std::int32_t Key, std::string& Name) override;
    void GetParamName(std::int32_t Index, std::string& Name) override;
    void GetParamDisplay(std::int32_t Index, bool Unicode, std::u16string& Text) override;
    void GetParamLabel(std::int32_t Index, std::string& Text) override;
    float GetParamValue(std::int32_t Index) override;
    void SetParamValue(std::int32_t Index, bool RefreshEditors, float Value, bool Notify) override;

    std::int32_t GetCurrentProgram() override;
    void GetProgramName(std::int32_t Index, std::int32_t Reserved, std::string& Name) override;
    void SetProgram(std::int32_t Index, std::int32_t Reserved) override;
    void SetProgramName(std::int32_t Index, std::string& Name, bool Notify) override;
    void TakeSnapshot() override;
    void RestoreSnapshot() override;
    // A latency the plugin changed without telling (initialDelay written
    // after processing, no audioMasterIOChanged): checked on the bridge's
    // 50 ms tick, it is reported as audioMasterIOChanged reports it. [main thread]
    void CheckLatency();
    void SetActive(bool Active) override;

    // The state blob and the preset files (VSTPlugState.cpp). [main thread]
    void SaveRestoreState(TStream& Stream, bool Saving, std::int32_t Reserved) override;
    void SavePreset(TStream& Stream, bool AsProgram) override;
    void LoadPreset(TStream& Stream) override;

    bool MatchesDescription(const TPluginDescription& Description) override;
    void GetVersionString(std::string& S) override;
    void GetCategoryString(std::string& S) override;
    std::int32_t GetUniqueID() override;
    bool KeyDown(std::int32_t Key, TShiftState Shift) override;
    bool KeyUp(std::int32_t Key, TShiftState Shift) override;
    void VendorCommand(std::int32_t Value) override;
    void UpdateInfo() override;
    void ScanShellPlugins() override;
    bool MouseWheel(std::int32_t Delta) override;
    // The idle pass: the size check, focus return, effIdle and effEditIdle.
    // [main thread]
    void Idle() override;

    // The module's entry point under the first of the accepted names that it
    // exports; null without a module or when it exports none of them.
    virtual VstPluginMainProc FindMainFunction(HMODULE AModule);

    // The plugin's answer for one host request (the callback resolves the
    // plugin, then calls this). [any thread]
    VstIntPtr HostCallback(AEffect* AEffectPtr, VstInt32 Opcode, VstInt32 Index, VstIntPtr Value, void* Ptr,
                           float Opt);

    // The editor object of an effect that declares one. [main thread]
    void CreateEditor();
    // The first editor, or null.
    TVSTPluginEditor* Editor() const;

    // --- Plugin calls ------------------------------------------------------------
    // One dispatcher call, followed by RestoreFPUState; 0 without an effect.
    VstIntPtr Dispatch(VstInt32 Opcode, VstInt32 Index = 0, VstIntPtr Value = 0, void* Ptr = nullptr,
                       float Opt = 0.0f);

    // Program primitives. [main thread]
    void SwitchProgram(std::int32_t Index);
    std::string ReadProgramName(std::int32_t Index, bool Force);
    void RenameProgram(std::int32_t Index, std::string& NewName, bool Notify);
    void TakeBackup(TProgramBackup& Backup);
    void RestoreBackup(TProgramBackup& Backup);
    void ReleaseBackup(TProgramBackup& Backup);
    // After a display update: puts back the edits of a program that the
    // plugin left by itself. [main thread]
    void CheckProgramChange();
    // Whether a preset's fxID belongs to this plugin: equal to ShellId, or 0
    // and the user agrees to try; a refusal is shown to the user. [main thread]
    bool PresetIdPasses(std::int32_t FxID);

    // --- Fields ----------------------------------------------------------------
    bool Constructing = false;
    bool Creating = false; // loading or restoring: display updates wait, idle work is skipped
    bool WantsMidi = false;
    char DllDir[261] = {};
    TOwnedModule Module;
    AEffect* Effect = nullptr;
    std::int32_t ShellId = 0;
    std::uint32_t ActivationTime = 0;
    bool ProgramChunks = false;
    std::int32_t VstVersion = 0;
    bool OldVst = false;
    std::optional<std::vector<std::string>> ProgramNames; // OldVst plugins: all names read at load
    std::optional<std::vector<std::string>> ParamNames;   // OldVst plugins without editor
    std::vector<TProgramBackup> ProgramTable;
    TProgramBackup CurrentProgramBackup;
    TProgramBackup Snapshot;

    VstTimeInfo TimeInfo{}; // answer buffer of audioMasterGetTime
    bool TransportChanged = false;
    bool TempoChanged = false;
    bool IdleSizeCheck = false;
    bool NeedIdle = false;
    bool IdleGuard = false;
    bool InIdle = false; // an idle pass is running
    bool InStateTransfer = false;
    bool DisplayUpdatePending = false;
    bool InProgramCheck = false;

    TVstEventQueue EventQueue; // with its lock and the VstEvents buffer

private:
    void Trace(const std::string& Text, std::int32_t Indent = 0, std::uint8_t Level = 1);
    void Construct(const TPluginSettings& Settings, std::int32_t AShellId);
    bool LoadAndOpen(const TPluginSettings& Settings, std::int32_t AShellId);
    void ReadPins(bool IsInput);
    void BuildProgramTable();
    VstIntPtr OnUpdateDisplay();
    void FillTimeInfo(VstInt32 Value);
    // The first step of every block: the queued events as one list, sent to
    // a plugin that takes them. False without an effect. [audio thread]
    bool SendBlockEvents();
    bool ForwardKey(VstInt32 Opcode, std::int32_t Key, TShiftState Shift);
};

// The plugin whose constructor is running, if any: the host callback's answer
// for calls that arrive before the effect knows its plugin object.
extern std::atomic<TVSTPlugin*> LoadingPlugin;
