// TVSTPlugin: the state blob the host keeps in its projects, and the VST2
// preset files. The byte formats live in VSTStateCore and Fxb; here they meet
// the plugin. Every call into plugin code runs under the fault guard, so that
// a plugin that crashes while giving or taking its settings becomes a shown
// error instead of the end of the bridge. [main thread]

#include "VSTPlug.h"

#include "FPUState.h"
#include "FaultGuard.h"
#include "Fxb.h"
#include "VSTStateCore.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace {

// The confirmation for a preset without an identifier: Yes/No buttons, a
// question mark; Yes answers 6.
constexpr std::int32_t kConfirmFlags = MB_YESNO | MB_ICONQUESTION;
constexpr std::int32_t kConfirmYes = IDYES;
constexpr char kInvalidIdQuestion[] = "This preset has an invalid ID. Do you want to try to load it anyway?";
constexpr char kNotForThisPlugin[] = "^eThis preset is not for this plugin";

// Runs Call under the fault guard: a processor fault inside the plugin
// becomes Exception with the fault's description.
template <class F>
void Guarded(F&& Call)
{
    std::string fault;
    if (!CallFaultGuarded(Call, fault)) {
        RestoreFPUState();
        throw Exception(fault);
    }
}

std::string ExceptionText(std::exception_ptr Failure)
{
    try {
        std::rethrow_exception(Failure);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

// The state transfer's view of one TVSTPlugin with an effect.
class TPluginStateTarget final : public TVstStateTarget {
public:
    explicit TPluginStateTarget(TVSTPlugin& Plugin) : P(Plugin) {}

    std::string PluginName() override { return P.Name; }
    bool HasChunks() override { return (P.Effect->flags & effFlagsProgramChunks) != 0; }
    bool IsOldVst() override { return P.OldVst; }
    std::int32_t ParamCount() override { return P.NumParams; }
    std::int32_t ProgramCount() override { return P.Effect->numPrograms; }
    bool GetProperty(int Index) override { return P.GetProperties(Index); }
    void SetProperty(int Index, bool Value) override
    {
        Guarded([&] { P.SetProperties(Index, Value); });
    }

    std::int32_t CurrentProgram() override
    {
        std::int32_t program = 0;
        Guarded([&] { program = P.GetCurrentProgram(); });
        return program;
    }
    void SwitchProgram(std::int32_t Index) override
    {
        Guarded([&] { P.SwitchProgram(Index); });
    }
    float GetParamValue(std::int32_t Index) override
    {
        float value = 0.0f;
        Guarded([&] { value = P.GetParamValue(Index); });
        return value;
    }
    void SetParamValue(std::int32_t Index, float Value) override
    {
        Guarded([&] { P.SetParamValue(Index, false, Value, false); });
    }
    std::string ProgramName(std::int32_t Index) override
    {
        std::string name;
        Guarded([&] { P.GetProgramName(Index, 0, name); });
        return name;
    }
    std::string CurrentProgramName() override
    {
        char buffer[513] = {}; // 65 bytes are asked for; the rest is room for plugins that write more
        Guarded([&] { P.Dispatch(effGetProgramName, 0, 0, buffer); });
        return VstFieldText(buffer, sizeof buffer, 64);
    }
    void RenameProgram(std::int32_t Index, const std::string& Name) override
    {
        std::string name = Name;
        Guarded([&] { P.RenameProgram(Index, name, false); });
    }
    void BeginSetProgram() override
    {
        Guarded([&] { P.Dispatch(effBeginSetProgram); });
    }
    void EndSetProgram() override
    {
        Guarded([&] { P.Dispatch(effEndSetProgram); });
    }

    std::int64_t GetChunk(bool Bank, const std::uint8_t*& Data) override
    {
        void* data = nullptr;
        VstIntPtr size = 0;
        Guarded([&] { size = P.Dispatch(effGetChunk, Bank ? 0 : 1, 0, &data); });
        Data = static_cast<const std::uint8_t*>(data);
        return size;
    }
    void CopyChunk(const std::uint8_t* Data, std::int64_t Size, std::vector<std::uint8_t>& Out) override
    {
        Out.resize(static_cast<std::size_t>(Size));
        if (Size <= 0)
            return;
        std::uint8_t* to = Out.data();
        Guarded([&] { std::memcpy(to, Data, static_cast<std::size_t>(Size)); });
    }
    void SetChunk(bool Bank, const std::uint8_t* Data, std::int32_t Size) override
    {
        auto* data = const_cast<std::uint8_t*>(Data);
        Guarded([&] { P.Dispatch(effSetChunk, Bank ? 0 : 1, Size, data); });
    }

    void SetCreating(bool Value) override { P.Creating = Value; }
    void SetInStateTransfer(bool Value) override { P.InStateTransfer = Value; }
    void ClearDeferredDisplayUpdate() override { P.DisplayUpdatePending = false; }
    bool TakeDeferredDisplayUpdate() override
    {
        const bool pending = P.DisplayUpdatePending;
        P.DisplayUpdatePending = false;
        return pending;
    }
    void RunDisplayUpdate() override
    {
        AEffect* effect = P.Effect;
        Guarded([&] { VSTHostCallback(effect, audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f); });
    }
    void UpdateDisplay(std::int32_t What, bool Flag) override { P.UpdateDisplay(What, Flag); }
    void RefreshEditors(bool Force) override
    {
        Guarded([&] { P.RefreshEditors(Force); });
    }

    void HostLog(const std::string& Text, std::int32_t Indent) override { P.Log(Text, 0, Indent, true); }
    std::int32_t MessageBox(const std::string& Text, std::int32_t Flags) override
    {
        return P.Host->MessageBox(Text, Flags);
    }
    void ShowCrashWarning(const std::string& Text) override { P.ShowCrashWarning(Text); }

private:
    TVSTPlugin& P;
};

} // namespace

// ---------------------------------------------------------------------------
// State

void TVSTPlugin::SaveRestoreState(TStream& Stream, bool Saving, std::int32_t)
{
    if (Effect == nullptr || !IsValid)
        return;
    TPluginStateTarget target(*this);
    try {
        if (Saving)
            SaveVstState(Stream, target);
        else
            RestoreVstState(Stream, target);
    } catch (...) {
        // Only the host's own operations can end up here.
        Creating = false;
        InStateTransfer = false;
        Trace("EXCEPTION (SaveRestoreState): " + ExceptionText(std::current_exception()));
    }
    RestoreFPUState();
}

// ---------------------------------------------------------------------------
// Preset files

bool TVSTPlugin::PresetIdPasses(std::int32_t FxID)
{
    bool passes = false;
    if (FxID != 0)
        passes = FxID == ShellId;
    else
        passes = Host->MessageBox(kInvalidIdQuestion, kConfirmFlags) == kConfirmYes;
    if (!passes)
        ShowMessage(kNotForThisPlugin, 0);
    return passes;
}

void TVSTPlugin::SavePreset(TStream& Stream, bool AsProgram)
{
    Trace("SaveCubasePreset", 1);
    if (Effect == nullptr || !IsValid) {
        Trace("Finished (SaveCubasePreset)", -1);
        return;
    }
    if (Effect->uniqueID != 0 && Effect->uniqueID != ShellId)
        ShellId = Effect->uniqueID;
    Trace("uniqueid=" + FxCodeToText(ShellId));

    TPluginStateTarget target(*this);
    const bool chunks = (Effect->flags & effFlagsProgramChunks) != 0;
    const std::int32_t numParams = std::max(NumParams, 0);
    const std::int32_t numPrograms = std::max(Effect->numPrograms, 0);

    // One record with the header every kind shares.
    auto header = [&](std::int32_t magic) {
        TFxRecord r;
        r.FxMagic = magic;
        r.Version = 1;
        r.FxID = ShellId;
        r.FxVersion = Effect->version;
        return r;
    };
    // A regular program record of the current program, named as program Index.
    auto program = [&](std::int32_t index) {
        TFxRecord r = header(kFxProgram);
        r.Count = numParams;
        r.ByteSize = static_cast<std::int32_t>(FxProgramByteSize(numParams));
        r.SetName(target.ProgramName(index));
        r.Params.resize(static_cast<std::size_t>(numParams));
        float* values = r.Params.data();
        AEffect* effect = Effect;
        Guarded([&] {
            if (effect->getParameter != nullptr) {
                for (std::int32_t i = 0; i < numParams; ++i)
                    values[i] = effect->getParameter(effect, i);
            }
        });
        RestoreFPUState();
        return r;
    };
    // An opaque record with the chunk effGetChunk gives for Bank.
    auto chunk = [&](std::int32_t magic, bool bank) {
        TFxRecord r = header(magic);
        const std::uint8_t* data = nullptr;
        std::int64_t size = target.GetChunk(bank, data);
        if (data == nullptr || size < 0 || size > INT32_MAX - 152)
            size = 0;
        target.CopyChunk(data, size, r.Chunk);
        return r;
    };

    TFxRecordList records;
    const std::int32_t previous = target.CurrentProgram();
    bool switched = false;
    try {
        if (AsProgram && chunks) {
            TFxRecord r = chunk(kFxChunkProgram, false);
            r.Count = 1;
            r.SetName(target.ProgramName(previous));
            r.ByteSize = static_cast<std::int32_t>(FxChunkProgramByteSize(static_cast<std::int64_t>(r.Chunk.size())));
            records.push_back(std::move(r));
        } else if (AsProgram) {
            records.push_back(program(previous));
        } else if (chunks) {
            TFxRecord r = chunk(kFxChunkBank, true);
            r.Count = numPrograms;
            r.ByteSize = static_cast<std::int32_t>(FxChunkBankByteSize(static_cast<std::int64_t>(r.Chunk.size())));
            records.push_back(std::move(r));
        } else {
            TFxRecord bank = header(kFxBank);
            bank.Count = numPrograms;
            bank.ByteSize = static_cast<std::int32_t>(FxBankByteSize(numPrograms, numParams));
            records.push_back(std::move(bank));
            switched = true;
            for (std::int32_t p = 0; p < numPrograms; ++p) {
                target.SwitchProgram(p);
                records.push_back(program(p));
            }
            switched = false;
            target.SwitchProgram(previous);
        }
        WriteFxRecords(Stream, records, true);
    } catch (...) {
        // Nothing reaches the stream: a preset cut short is no preset.
        Trace("EXCEPTION (SaveCubasePreset): " + ExceptionText(std::current_exception()));
        FreeFxRecords(records);
        if (switched) {
            try {
                target.SwitchProgram(previous);
            } catch (...) {
            }
        }
        ShowCrashWarning(VstStateText(kVstStateRetrieveErrorText, Name));
    }
    Trace("Finished (SaveCubasePreset)", -1);
}

void TVSTPlugin::LoadPreset(TStream& Stream)
{
    Trace("LoadCubasePreset", 1);
    if (Effect == nullptr || !IsValid) {
        Trace("Finished (LoadCubasePreset)", -1);
        return;
    }
    if (Effect->uniqueID != 0 && Effect->uniqueID != ShellId)
        ShellId = Effect->uniqueID;

    TFxRecordList records;
    ReadFxRecords(Stream, records);
    if (records.empty()) {
        Trace("Finished (LoadCubasePreset)", -1);
        return;
    }

    TPluginStateTarget target(*this);
    const TFxRecord& first = records.front();
    Trace("unique=" + FxCodeToText(ShellId) + " magic=" + FxCodeToText(first.FxMagic));
    Trace("id=" + FxCodeToText(first.FxID));
    const bool chunks = (Effect->flags & effFlagsProgramChunks) != 0;
    const std::int32_t numParams = std::max(NumParams, 0);
    try {
        if (first.FxMagic == kFxBank) {
            if (PresetIdPasses(first.FxID)) {
                const std::int32_t previous = target.CurrentProgram();
                // Programs beyond the plugin's own are left out.
                const std::size_t programs =
                    std::min<std::size_t>(records.size() - 1, static_cast<std::size_t>(std::max(Effect->numPrograms, 1)));
                try {
                    for (std::size_t k = 0; k < programs; ++k) {
                        const TFxRecord& r = records[k + 1];
                        if (r.FxMagic != kFxProgram)
                            continue;
                        const auto index = static_cast<std::int32_t>(k);
                        target.SwitchProgram(index);
                        target.RenameProgram(index, r.Name());
                        const std::int32_t n = std::min(numParams, std::max(r.Count, 0));
                        for (std::int32_t i = 0; i < n; ++i) {
                            const float value = r.Param(i);
                            Guarded([&] { SetParamValue(i, false, value, true); });
                        }
                    }
                } catch (...) {
                    try {
                        target.SwitchProgram(previous);
                    } catch (...) {
                    }
                    throw;
                }
                target.SwitchProgram(previous);
            }
        } else if (first.FxMagic == kFxProgram) {
            if (PresetIdPasses(first.FxID)) {
                target.RenameProgram(target.CurrentProgram(), first.Name());
                const std::int32_t n = std::min(numParams, std::max(first.Count, 0));
                for (std::int32_t i = 0; i < n; ++i) {
                    const float value = first.Param(i);
                    Guarded([&] { SetParamValue(i, true, value, true); });
                }
            }
        } else if (first.FxMagic == kFxChunkProgram) {
            if (PresetIdPasses(first.FxID) && chunks) {
                target.RenameProgram(target.CurrentProgram(), first.Name());
                target.SetChunk(false, first.Chunk.data(), static_cast<std::int32_t>(first.Chunk.size()));
            }
        } else if (first.FxMagic == kFxChunkBank) {
            if (PresetIdPasses(first.FxID) && chunks)
                target.SetChunk(true, first.Chunk.data(), static_cast<std::int32_t>(first.Chunk.size()));
        }
    } catch (...) {
        Trace("EXCEPTION (LoadCubasePreset): " + ExceptionText(std::current_exception()));
        Host->MessageBox(VstStateText(kVstStateSendErrorText, Name), kMessageBoxWarning);
    }
    FreeFxRecords(records);

    try {
        if (CurrentProgramBackup.Valid) {
            ReleaseBackup(CurrentProgramBackup);
            if (!Properties[kPropPluginKeepsProgramEdits])
                Guarded([&] { TakeBackup(CurrentProgramBackup); });
        }
        Guarded([&] { UpdateInfo(); });
        UpdateDisplay(1, false);
        target.SwitchProgram(target.CurrentProgram());
    } catch (...) {
        Trace("EXCEPTION (LoadCubasePreset): " + ExceptionText(std::current_exception()));
    }
    RestoreFPUState();
    Trace("Finished (LoadCubasePreset)", -1);
}
