#pragma once
// The VST2 state blob that the host keeps in its projects: the writer of the
// current version (-9) and the reader of every version the format has had.
// Both work on a TVstStateTarget, the few things they ask of the plugin, so
// that the byte handling runs without a plugin (tests, fuzzing) and
// TVSTPlugin supplies the real answers. No Windows header.
//
// Layout (integers 32-bit little-endian, values IEEE floats little-endian, a
// name 25 bytes: up to 24 characters, zero-filled):
//   Version -9, Flags (1 byte), ChunkSize, Program, then either the bank
//   chunk (ChunkSize > 0) or ValueCount, the values, NameCount, the names.
// Flags: bit 0 KeepEdits (property 6), bit 1 property 2 is off, bit 2
// property 9, bit 3 the plugin has chunks.
//
// Older versions as the reader takes them (V is the first integer):
//   V >= 0       V values, then optionally NameCount and names
//   -1, -3       ChunkSize, chunk
//   -2           ChunkSize, chunk, ValueCount, values, NameCount, names
//   -4           Program, ChunkSize, chunk
//   -5           ChunkSize; > 0: Program, chunk; else ValueCount, values,
//                NameCount, names and a trailing Program when it is there
//   -6, -7, -8   Flags, ChunkSize, (-7, chunk plugin, ChunkSize 0: one more
//                integer), Program, then chunk or values and names; a -6
//                chunk is a program chunk unless KeepEdits
//   123456       an empty state

#include "Streams.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::int32_t kVstStateVersion = -9;
inline constexpr std::int32_t kVstStateOldest = -9; // below: a version this reader does not know
inline constexpr std::int32_t kVstStateEmpty = 123456;
inline constexpr std::int32_t kVstStateNameSize = 25;

// Properties flags that the state carries.
inline constexpr int kVstStateKeepEditsFlag = 6;
inline constexpr int kVstStateCycleFlag = 2;
inline constexpr int kVstStateProgramCheckFlag = 9;

// The texts a state transfer shows, with %s for the plugin's name.
inline constexpr char kVstStateReadErrorText[] =
    "Error|An error occurred reading the state of the plugin \"%s\".\r\nThe project may still work, but might be "
    "unstable. We suggest you revert to a backup of your project.";
inline constexpr char kVstStateLoadErrorText[] =
    "Error|There was an error loading the settings for the plugin \"%s\".\r\nIts settings are not loaded.";
inline constexpr char kVstStateSendErrorText[] =
    "Error|There was an error sending the settings to the vst plugin \"%s\".\r\nThe settings have not been loaded.";
inline constexpr char kVstStateRetrieveErrorText[] =
    "Error|There was an error retrieving the settings from the VST plugin \"%s\". Its settings will not be saved.";
inline constexpr char kVstStateWriteErrorText[] =
    "Error|There was an error writing the settings for the vst plugin \"%s\".\r\nThe settings may not have been "
    "saved.";

// Text with its one %s replaced by Name.
std::string VstStateText(const char* Format, const std::string& Name);

// What the state transfer asks of the plugin. Operations that call plugin
// code throw a std::exception when the plugin fails inside them.
class TVstStateTarget {
public:
    virtual ~TVstStateTarget() = default;

    // Facts.
    virtual std::string PluginName() = 0;
    virtual bool HasChunks() = 0;            // the effect's effFlagsProgramChunks
    virtual bool IsOldVst() = 0;
    virtual std::int32_t ParamCount() = 0;   // NumParams
    virtual std::int32_t ProgramCount() = 0; // the effect's numPrograms
    virtual bool GetProperty(int Index) = 0;
    virtual void SetProperty(int Index, bool Value) = 0; // SetProperties

    // Programs and parameters.
    virtual std::int32_t CurrentProgram() = 0;
    virtual void SwitchProgram(std::int32_t Index) = 0;
    virtual float GetParamValue(std::int32_t Index) = 0;
    // SetParamValue (Index, False, Value, False).
    virtual void SetParamValue(std::int32_t Index, float Value) = 0;
    // GetProgramName (Index).
    virtual std::string ProgramName(std::int32_t Index) = 0;
    // effGetProgramName: the current program's name as the plugin gives it.
    virtual std::string CurrentProgramName() = 0;
    // RenameProgram (Index, Name, False).
    virtual void RenameProgram(std::int32_t Index, const std::string& Name) = 0;
    virtual void BeginSetProgram() = 0;
    virtual void EndSetProgram() = 0;

    // Chunks. GetChunk answers effGetChunk's size and data pointer (which
    // points into the plugin); CopyChunk copies Size bytes from there.
    virtual std::int64_t GetChunk(bool Bank, const std::uint8_t*& Data) = 0;
    virtual void CopyChunk(const std::uint8_t* Data, std::int64_t Size, std::vector<std::uint8_t>& Out) = 0;
    virtual void SetChunk(bool Bank, const std::uint8_t* Data, std::int32_t Size) = 0;

    // Display updates that the plugin asks for during a transfer wait for its end.
    virtual void SetCreating(bool Value) = 0;
    virtual void SetInStateTransfer(bool Value) = 0;
    virtual void ClearDeferredDisplayUpdate() = 0;
    // Whether an update was deferred; clears the note.
    virtual bool TakeDeferredDisplayUpdate() = 0;
    // The host callback for audioMasterUpdateDisplay.
    virtual void RunDisplayUpdate() = 0;
    virtual void UpdateDisplay(std::int32_t What, bool Flag) = 0;
    virtual void RefreshEditors(bool Force) = 0;

    // The host.
    virtual void HostLog(const std::string& Text, std::int32_t Indent) = 0;
    virtual std::int32_t MessageBox(const std::string& Text, std::int32_t Flags) = 0;
    virtual void ShowCrashWarning(const std::string& Text) = 0;
};

// The 32 lower-case hexadecimal digits that name a VST2 plugin where a VST3
// class identifier is expected: "565354" ("VST"), ShellId as eight digits,
// then the character codes of the first nine characters of the lower-cased
// Name, "00" beyond its end.
std::string VstClassIdText(std::int32_t ShellId, const std::string& Name);

// Appends the state (version -9) at the stream's position. Never throws: a
// plugin that fails while giving its chunk or values leaves Version and
// Flags only, with the crash warning shown.
void SaveVstState(TStream& Stream, TVstStateTarget& Target);

// Reads a state of any known version from the stream's position and applies
// it. Never throws: a state that ends early (or claims more bytes than it
// holds) shows the read error; a failure in the plugin shows the crash
// warning. Counts and sizes are checked against the bytes left before
// anything is allocated or handed to the plugin.
void RestoreVstState(TStream& Stream, TVstStateTarget& Target);
