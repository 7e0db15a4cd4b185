#pragma once
// A plugin model for the state transfer without a plugin: programs with
// values and names, an optional bank or program chunk, the Properties flags,
// and a record of everything the transfer asked. It also checks what a real
// plugin could not survive (a program, parameter or name outside the
// plugin's range, a chunk larger than the input) and counts those as
// Violations. Used by the state tests and the state fuzz target.

#include "VSTStateCore.h"

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class TVstStateModel : public TVstStateTarget {
public:
    struct TLogLine {
        std::string Text;
        std::int32_t Indent;
    };
    struct TBox {
        std::string Text;
        std::int32_t Flags;
    };

    // The plugin.
    std::string Name = "Model";
    bool Chunks = false;
    bool OldVst = false;
    std::int32_t NumParams = 3;
    std::int32_t NumPrograms = 2;
    std::int32_t Current = 0;
    std::vector<std::vector<float>> Values;  // [program][param]
    std::vector<std::string> Names;          // [program]
    std::vector<std::uint8_t> BankChunk;     // what effGetChunk (bank) answers; also what effSetChunk stored
    std::vector<std::uint8_t> ProgramChunk;  // the same for program chunks
    std::array<bool, 16> Properties{};
    std::int64_t InputSize = 0; // chunks larger than this are violations

    // What the plugin does on request.
    bool FailGetChunk = false;     // effGetChunk raises
    bool FailCopyChunk = false;    // reading the chunk's memory raises
    bool FailSetChunk = false;     // effSetChunk raises
    int FailSetParamAfter = -1;    // SetParamValue raises on this call (0: the first)
    bool FailGetParam = false;     // getParameter raises
    bool NilChunkData = false;     // effGetChunk gives a size but no data
    std::optional<std::int64_t> ChunkSizeAnswer; // effGetChunk's size when set, else the chunk's length
    bool UpdateOnSwitch = false;   // a program switch asks for a display update
    bool UpdateOnGetChunk = false; // effGetChunk asks for a display update

    // The record.
    std::vector<std::string> Calls;
    std::vector<TLogLine> Log;
    std::vector<TBox> Boxes;
    std::vector<std::string> CrashWarnings;
    std::vector<std::pair<std::int32_t, bool>> Displays;
    int DisplayUpdatesRun = 0;
    int Violations = 0;
    bool Creating = false, InStateTransfer = false, Pending = false;

    TVstStateModel() { Resize(); }

    // Programs and values after NumParams/NumPrograms changed: program p
    // parameter i holds p + i / 10, names "P<p>".
    void Resize()
    {
        const int programs = NumPrograms > 0 ? NumPrograms : 1;
        Values.assign(static_cast<std::size_t>(programs), std::vector<float>(static_cast<std::size_t>(NumParams)));
        Names.assign(static_cast<std::size_t>(programs), std::string());
        for (int p = 0; p < programs; ++p) {
            Names[static_cast<std::size_t>(p)] = "P" + std::to_string(p);
            for (int i = 0; i < NumParams; ++i)
                Values[static_cast<std::size_t>(p)][static_cast<std::size_t>(i)] = static_cast<float>(p) + i / 10.0f;
        }
    }

    int Count(const std::string& call) const
    {
        int n = 0;
        for (const std::string& c : Calls)
            n += c == call;
        return n;
    }

    // --- TVstStateTarget -----------------------------------------------------
    std::string PluginName() override { return Name; }
    bool HasChunks() override { return Chunks; }
    bool IsOldVst() override { return OldVst; }
    std::int32_t ParamCount() override { return NumParams; }
    std::int32_t ProgramCount() override { return NumPrograms; }
    bool GetProperty(int Index) override { return Index >= 0 && Index < 16 && Properties[static_cast<std::size_t>(Index)]; }
    void SetProperty(int Index, bool Value) override
    {
        Calls.push_back("SetProperty " + std::to_string(Index) + (Value ? " on" : " off"));
        if (Index >= 0 && Index < 16)
            Properties[static_cast<std::size_t>(Index)] = Value;
    }

    std::int32_t CurrentProgram() override { return Current; }
    void SwitchProgram(std::int32_t Index) override
    {
        Calls.push_back("SwitchProgram " + std::to_string(Index));
        if (!ProgramInRange(Index)) {
            ++Violations;
            return;
        }
        if (Index != Current && UpdateOnSwitch)
            AskDisplayUpdate();
        Current = Index;
    }
    float GetParamValue(std::int32_t Index) override
    {
        if (FailGetParam)
            throw std::runtime_error("Access violation in getParameter");
        if (Index < 0 || Index >= NumParams) {
            ++Violations;
            return 0.0f;
        }
        return Values[Slot()][static_cast<std::size_t>(Index)];
    }
    void SetParamValue(std::int32_t Index, float Value) override
    {
        if (FailSetParamAfter == 0)
            throw std::runtime_error("Access violation in setParameter");
        if (FailSetParamAfter > 0)
            --FailSetParamAfter;
        Calls.push_back("SetParam " + std::to_string(Current) + "/" + std::to_string(Index));
        if (Index < 0 || Index >= NumParams) {
            ++Violations;
            return;
        }
        Values[Slot()][static_cast<std::size_t>(Index)] = Value;
    }
    std::string ProgramName(std::int32_t Index) override
    {
        if (!ProgramInRange(Index)) {
            ++Violations;
            return {};
        }
        return Names[static_cast<std::size_t>(Index)];
    }
    std::string CurrentProgramName() override
    {
        Calls.push_back("effGetProgramName");
        return Names[Slot()];
    }
    void RenameProgram(std::int32_t Index, const std::string& NewName) override
    {
        Calls.push_back("Rename " + std::to_string(Index) + " " + NewName);
        if (!ProgramInRange(Index) || NewName.size() > 24) {
            ++Violations;
            return;
        }
        Names[static_cast<std::size_t>(Index)] = NewName;
    }
    void BeginSetProgram() override { Calls.push_back("BeginSetProgram"); }
    void EndSetProgram() override { Calls.push_back("EndSetProgram"); }

    std::int64_t GetChunk(bool Bank, const std::uint8_t*& Data) override
    {
        Calls.push_back(Bank ? "GetChunk bank" : "GetChunk program");
        if (UpdateOnGetChunk)
            AskDisplayUpdate();
        if (FailGetChunk)
            throw std::runtime_error("Access violation in effGetChunk");
        const std::vector<std::uint8_t>& chunk = Bank ? BankChunk : ProgramChunk;
        Data = NilChunkData ? nullptr : chunk.data();
        return ChunkSizeAnswer ? *ChunkSizeAnswer : static_cast<std::int64_t>(chunk.size());
    }
    void CopyChunk(const std::uint8_t* Data, std::int64_t Size, std::vector<std::uint8_t>& Out) override
    {
        if (FailCopyChunk)
            throw std::runtime_error("Access violation reading the chunk");
        Out.assign(Data, Data + Size);
    }
    void SetChunk(bool Bank, const std::uint8_t* Data, std::int32_t Size) override
    {
        Calls.push_back(std::string(Bank ? "SetChunk bank " : "SetChunk program ") + std::to_string(Size));
        if (Size < 0 || Size > InputSize) {
            ++Violations;
            return;
        }
        if (FailSetChunk)
            throw std::runtime_error("Access violation in effSetChunk");
        (Bank ? BankChunk : ProgramChunk).assign(Data, Data + Size);
        AskDisplayUpdate();
    }

    void SetCreating(bool Value) override { Creating = Value; }
    void SetInStateTransfer(bool Value) override { InStateTransfer = Value; }
    void ClearDeferredDisplayUpdate() override { Pending = false; }
    bool TakeDeferredDisplayUpdate() override
    {
        const bool pending = Pending;
        Pending = false;
        return pending;
    }
    void RunDisplayUpdate() override
    {
        // What the host callback does: defer while a transfer runs.
        if (Creating || InStateTransfer)
            Pending = true;
        else
            ++DisplayUpdatesRun;
    }
    void UpdateDisplay(std::int32_t What, bool Flag) override { Displays.emplace_back(What, Flag); }
    void RefreshEditors(bool Force) override { Calls.push_back(Force ? "RefreshEditors forced" : "RefreshEditors"); }

    void HostLog(const std::string& Text, std::int32_t Indent) override { Log.push_back({Text, Indent}); }
    std::int32_t MessageBox(const std::string& Text, std::int32_t Flags) override
    {
        Boxes.push_back({Text, Flags});
        return 1;
    }
    void ShowCrashWarning(const std::string& Text) override { CrashWarnings.push_back(Text); }

private:
    bool ProgramInRange(std::int32_t Index) const { return Index >= 0 && Index < (NumPrograms > 0 ? NumPrograms : 1); }
    std::size_t Slot() const { return static_cast<std::size_t>(Current); }
    void AskDisplayUpdate() { RunDisplayUpdate(); }
};
