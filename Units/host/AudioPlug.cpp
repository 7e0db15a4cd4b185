#include "AudioPlug.h"

#include "Exception.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

// ---------------------------------------------------------------------------
// Helpers

double RoundHalfEven(double Value)
{
    if (std::isnan(Value))
        return 0.0;
    const double lower = std::floor(Value);
    const double diff = Value - lower;
    if (diff < 0.5)
        return lower;
    if (diff > 0.5)
        return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

std::int32_t ClampMidiNote(double RoundedPitch)
{
    if (!(RoundedPitch > 0.0)) // also NaN
        return 0;
    if (RoundedPitch > 127.0)
        return 127;
    return static_cast<std::int32_t>(RoundedPitch);
}

void AbstractHostCall(const char* operation)
{
    throw Exception(std::string("Abstract host operation called: ") + operation);
}

// ---------------------------------------------------------------------------
// TBaseAudioPluginHost

void TBaseAudioPluginHost::ParamChanged(std::int32_t, float) {}
void TBaseAudioPluginHost::EditorResized(bool) {}
void TBaseAudioPluginHost::ShowMessage(const std::string&, std::uint8_t) {}

void TBaseAudioPluginHost::GetTimeInfo(std::int32_t, THostTimeInfo& Info)
{
    std::memset(&Info, 0, sizeof(Info));
}

void TBaseAudioPluginHost::MidiOut(std::int32_t, bool) {}
void TBaseAudioPluginHost::SysexOut(std::int32_t, std::int32_t, const void*) {}

void TBaseAudioPluginHost::HostReservedA(std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t,
                                         std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t,
                                         std::intptr_t)
{
    AbstractHostCall("HostReservedA");
}

void TBaseAudioPluginHost::HostReservedB(std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t,
                                         std::intptr_t, std::intptr_t, std::intptr_t)
{
    AbstractHostCall("HostReservedB");
}

void TBaseAudioPluginHost::HostReservedC(std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t)
{
    AbstractHostCall("HostReservedC");
}

void TBaseAudioPluginHost::Notify(std::int32_t) {}
void TBaseAudioPluginHost::Signal() {}
std::int32_t TBaseAudioPluginHost::ConvertTime(bool, std::int32_t) { return 0; }
void TBaseAudioPluginHost::Log(const std::string&, std::uint8_t, std::int32_t) {}
void TBaseAudioPluginHost::Lock(bool) {}
bool TBaseAudioPluginHost::CanAutomate(std::int32_t) { return true; }
void TBaseAudioPluginHost::UpdateDisplay(std::int32_t, bool) {}
bool TBaseAudioPluginHost::IsPinConnected(std::int32_t, bool) { return false; }
void TBaseAudioPluginHost::LatencyChanged(std::int32_t) {}
void TBaseAudioPluginHost::Idle() {}
void TBaseAudioPluginHost::IOChanged() {}
std::int32_t TBaseAudioPluginHost::MessageBox(const std::string&, std::int32_t) { return 0; }
std::int32_t TBaseAudioPluginHost::HostReservedD() { return 0; }
void TBaseAudioPluginHost::HostReservedE() { AbstractHostCall("HostReservedE"); }
void TBaseAudioPluginHost::HostReservedF() { AbstractHostCall("HostReservedF"); }

bool TBaseAudioPluginHost::GetMenuItem(std::int32_t, std::int32_t, THostMenuItem&)
{
    AbstractHostCall("GetMenuItem");
}

void TBaseAudioPluginHost::MenuItemClicked(std::int32_t, std::int32_t) { AbstractHostCall("MenuItemClicked"); }
void TBaseAudioPluginHost::HostReservedG() { AbstractHostCall("HostReservedG"); }
bool TBaseAudioPluginHost::CanResizeEditor(bool) { return true; }
void TBaseAudioPluginHost::PopupMenu(TMenuItemList*, std::int32_t, std::int32_t) { AbstractHostCall("PopupMenu"); }

// ---------------------------------------------------------------------------
// TShellPluginInfoList

TShellPluginInfoList::TShellPluginInfoList() = default; // case-insensitive, keys stored upper case
TShellPluginInfoList::~TShellPluginInfoList() = default;

TShellPluginInfo* TShellPluginInfoList::AddOrUpdate(const std::string& Name, std::int32_t Kind,
                                                    const TClassID& ClassID, std::int32_t Id)
{
    TShellPluginInfo* item = nullptr;
    const std::int32_t index = Names.FindSorted(Name);
    if (index >= 0) {
        item = static_cast<TShellPluginInfo*>(Names.Objects(index));
    } else {
        auto created = std::make_unique<TShellPluginInfo>();
        created->Name = Name;
        // An empty name cannot be a key: such an item is not kept.
        if (Names.AddSortedObject(Name, created.get()) < 0)
            return nullptr;
        item = created.get();
        Owned.push_back(std::move(created));
    }
    item->Kind = Kind;
    item->Id = Id;
    item->ClassID = ClassID;
    return item;
}

void TShellPluginInfoList::Assign(const TShellPluginInfoList* Other)
{
    if (Other == this)
        return;
    Clear();
    if (Other == nullptr)
        return;
    for (std::int32_t i = 0; i < Other->Count(); ++i) {
        const TShellPluginInfo* item = Other->GetItems(i);
        AddOrUpdate(item->Name, item->Kind, item->ClassID, item->Id);
    }
}

void TShellPluginInfoList::Clear()
{
    Names.Clear();
    Owned.clear();
}

std::int32_t TShellPluginInfoList::Count() const
{
    return Names.Count();
}

TShellPluginInfo* TShellPluginInfoList::GetItems(std::int32_t Index) const
{
    if (Index < 0 || Index >= Names.Count())
        return nullptr;
    return static_cast<TShellPluginInfo*>(Names.Objects(Index));
}

std::int32_t TShellPluginInfoList::IndexOf(const std::string& Name) const
{
    return Names.FindSorted(Name);
}

// ---------------------------------------------------------------------------
// TMenuItemList

TMenuItemList::TMenuItemList() = default;

TMenuItemList::~TMenuItemList()
{
    Clear();
}

std::unique_ptr<TParamMenuInfo> TMenuItemList::NewItem()
{
    return std::make_unique<TParamMenuInfo>();
}

void TMenuItemList::ItemAdded(std::int32_t, TParamMenuInfo*) {}

std::int32_t TMenuItemList::AddItem(std::int32_t MenuId, std::int32_t ItemIndex, std::int32_t Flags,
                                    const std::u16string& Text)
{
    std::unique_ptr<TParamMenuInfo> item = NewItem();
    if (!item)
        return -1;
    item->MenuId = MenuId;
    item->ItemIndex = ItemIndex;
    item->Text = Text;
    item->Flags = Flags;
    TParamMenuInfo* entry = item.get();
    const std::int32_t index = List.Add(entry);
    item.release(); // the list owns it now
    ItemAdded(index, entry);
    return index;
}

void TMenuItemList::Delete(std::int32_t Index)
{
    if (Index < 0 || Index >= List.Count)
        return;
    std::unique_ptr<TParamMenuInfo> item(GetItems(Index));
    List.Delete(Index);
}

void TMenuItemList::Clear()
{
    for (std::int32_t i = 0; i < List.Count; ++i)
        std::unique_ptr<TParamMenuInfo>{GetItems(i)};
    List.Clear();
}

// ---------------------------------------------------------------------------
// TBaseAudioPlugin

namespace {

// Properties defaults: flags 1, 2, 8 and 9 on.
constexpr std::array<bool, kPropertyCount> kDefaultProperties = {
    false, true, true, false, false, false, false, false, true, true, false,
    false, false, false, false, false,
};

// The text up to its terminator or the end of the field.
std::string FieldText(const char* field, std::size_t size)
{
    const void* end = std::memchr(field, 0, size);
    return std::string(field, end ? static_cast<const char*>(end) - field : size);
}

} // namespace

TBaseAudioPlugin::TBaseAudioPlugin(TAudioPluginHostIf* AHost, const TPluginDescription* ADescription,
                                   const TPluginSettings& Settings)
    : Host(AHost)
{
    if (Host == nullptr) {
        OwnHost = std::make_unique<TDummyHost>();
        Host = OwnHost.get();
    }
    if (ADescription != nullptr) {
        Name = FieldText(ADescription->Name, sizeof(ADescription->Name));
        std::memcpy(&Description, ADescription, sizeof(Description));
    }
    InitialName = Name;
    SampleRate = Settings.SampleRate;
    BlockSize = Settings.BlockSize;
    Tempo = Settings.Tempo;
    StepsPerBar = Settings.StepsPerBar;
    StepsPerBeat = Settings.StepsPerBeat;
    TicksPerBeat = Settings.TicksPerBeat;
    Properties = kDefaultProperties;
}

TBaseAudioPlugin::~TBaseAudioPlugin()
{
    FreeEditors();
}

// Forwarding to the host.
void TBaseAudioPlugin::EditorResized(bool Flag) { Host->EditorResized(Flag); }
void TBaseAudioPlugin::ParamChanged(std::int32_t Index, float Value) { Host->ParamChanged(Index, Value); }
void TBaseAudioPlugin::HostIdle() { Host->Idle(); }
void TBaseAudioPlugin::ShowMessage(const std::string& Text, std::uint8_t Flag) { Host->ShowMessage(Text, Flag); }
void TBaseAudioPlugin::UpdateDisplay(std::int32_t What, bool Flag) { Host->UpdateDisplay(What, Flag); }
void TBaseAudioPlugin::MidiOut(std::int32_t Msg, bool Flag) { Host->MidiOut(Msg, Flag); }

void TBaseAudioPlugin::SysexOut(std::int32_t Reserved, std::int32_t Size, const void* Data)
{
    Host->SysexOut(Reserved, Size, Data);
}

void TBaseAudioPlugin::HostReservedA(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3, std::intptr_t A4,
                                     std::intptr_t A5, std::intptr_t A6, std::intptr_t A7, std::intptr_t A8,
                                     std::intptr_t A9, std::intptr_t A10, std::intptr_t A11)
{
    Host->HostReservedA(A1, A2, A3, A4, A5, A6, A7, A8, A9, A10, A11);
}

void TBaseAudioPlugin::HostReservedB(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3, std::intptr_t A4,
                                     std::intptr_t A5, std::intptr_t A6, std::intptr_t A7, std::intptr_t A8)
{
    Host->HostReservedB(A1, A2, A3, A4, A5, A6, A7, A8);
}

void TBaseAudioPlugin::HostReservedC(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3, std::intptr_t A4,
                                     std::intptr_t A5)
{
    Host->HostReservedC(A1, A2, A3, A4, A5);
}

void TBaseAudioPlugin::HostSignal() { Host->Signal(); }

std::int32_t TBaseAudioPlugin::ConvertTime(bool ToSamples, std::int32_t Value)
{
    return Host->ConvertTime(ToSamples, Value);
}

void TBaseAudioPlugin::Log(const std::string& Text, std::uint8_t Level, std::int32_t Indent, bool Forward)
{
    if (Forward)
        Host->Log(Text, Level, Indent);
}

void TBaseAudioPlugin::IOChanged() { Host->IOChanged(); }
void TBaseAudioPlugin::LockHost(bool Locked) { Host->Lock(Locked); }
void TBaseAudioPlugin::LatencyChanged(std::int32_t Flag) { Host->LatencyChanged(Flag); }

bool TBaseAudioPlugin::CanAutomate(std::int32_t Index)
{
    return Host->CanAutomate(Index) && Properties[kPropReportParamChanges];
}

bool TBaseAudioPlugin::IsPinConnected(std::int32_t Index, bool IsInput)
{
    return Host->IsPinConnected(Index, IsInput);
}

bool TBaseAudioPlugin::GetProperties(std::int32_t Index)
{
    if (Index < 0 || Index >= kPropertyCount)
        return false;
    return Properties[static_cast<std::size_t>(Index)];
}

void TBaseAudioPlugin::SetProperties(std::int32_t Index, bool NewValue)
{
    if (Index >= 0 && Index < kPropertyCount)
        Properties[static_cast<std::size_t>(Index)] = NewValue;
}

void TBaseAudioPlugin::RefreshInfo(bool Force)
{
    if (Force)
        UpdateInfo();
}

bool TBaseAudioPlugin::ReservedQuery() { return true; }
void TBaseAudioPlugin::ProcessBuses(float**, float**, std::int32_t) {}
void TBaseAudioPlugin::Process(float**, float**, std::int32_t) {}
void TBaseAudioPlugin::ReservedA() {}
void TBaseAudioPlugin::ReservedB() {}
void TBaseAudioPlugin::Reset() {}
void TBaseAudioPlugin::ReservedC() {}
void TBaseAudioPlugin::MidiMessage(std::int32_t, std::int32_t, std::int32_t) {}

void TBaseAudioPlugin::NoteOn(std::int32_t, std::uint8_t Velocity, std::int64_t, float, float Pitch2,
                              std::uint8_t Channel, std::int32_t, bool, std::int32_t DeltaFrames, std::int32_t)
{
    LockHost(true);
    const std::int32_t note = ClampMidiNote(RoundHalfEven(Pitch2));
    MidiMessage(0, (0x90 | Channel) + (note << 8) + (static_cast<std::int32_t>(Velocity) << 16), DeltaFrames);
    LockHost(false);
}

void TBaseAudioPlugin::NoteOff(std::int32_t, std::uint8_t Velocity, std::int64_t, float Pitch, std::uint8_t Channel,
                               bool, std::int32_t DeltaFrames)
{
    LockHost(true);
    const std::int32_t note = ClampMidiNote(RoundHalfEven(Pitch));
    MidiMessage(0, (0x80 | Channel) + (note << 8) + (static_cast<std::int32_t>(Velocity) << 16), DeltaFrames);
    LockHost(false);
}

void TBaseAudioPlugin::ReservedD(std::intptr_t, std::intptr_t, std::intptr_t) {}
void TBaseAudioPlugin::ReservedE() {}

void TBaseAudioPlugin::SetSampleRate(std::int32_t Rate)
{
    SampleRate = Rate;
    RecomputeSamplesPerTick();
}

void TBaseAudioPlugin::SetBlockSize(std::int32_t Size) { BlockSize = Size; }

void TBaseAudioPlugin::SetTempo(double ATempo)
{
    Tempo = ATempo;
    RecomputeSamplesPerTick();
}

void TBaseAudioPlugin::SetTimeFormat(const TTimeFormat& Format)
{
    StepsPerBar = Format.StepsPerBar;
    StepsPerBeat = Format.StepsPerBeat;
    TicksPerBeat = Format.TicksPerBeat;
    // A format without steps per beat counts the whole beat as one step.
    // The quotient is formed in 64 bits, so that no pair of 32-bit values can trap.
    TicksPerStep = StepsPerBeat != 0
                       ? static_cast<double>(static_cast<std::int64_t>(TicksPerBeat) / StepsPerBeat)
                       : static_cast<double>(TicksPerBeat);
    RecomputeSamplesPerTick();
}

void TBaseAudioPlugin::SetPlaying(bool APlaying) { Playing = APlaying; }

void TBaseAudioPlugin::SetSongPosition(std::int32_t Position, bool Jumped, std::int32_t)
{
    SongPosition = Position;
    if (!PositionJumped)
        PositionJumped = Jumped;
}

void TBaseAudioPlugin::GetMidiKeyName(std::int32_t, std::string& AName) { AName.clear(); }
void TBaseAudioPlugin::SetProcessFlags(std::int32_t Flags) { ProcessFlags = Flags; }

void TBaseAudioPlugin::SetLatencies(std::int32_t Input, std::int32_t Output)
{
    InputLatency = Input;
    OutputLatency = Output;
}

void TBaseAudioPlugin::ReservedF(float) {}
void TBaseAudioPlugin::ReservedG() {}
void TBaseAudioPlugin::ReservedH() {}
void TBaseAudioPlugin::SaveRestoreState(TStream&, bool, std::int32_t) {}
void TBaseAudioPlugin::Idle() {}
void TBaseAudioPlugin::ReservedI() {}
void TBaseAudioPlugin::ReservedJ(std::int32_t) {}
void TBaseAudioPlugin::GetParamName(std::int32_t, std::string& AName) { AName.clear(); }
void TBaseAudioPlugin::GetParamDisplay(std::int32_t, bool, std::u16string& Text) { Text.clear(); }
void TBaseAudioPlugin::GetParamLabel(std::int32_t, std::string& Text) { Text.clear(); }
float TBaseAudioPlugin::GetParamValue(std::int32_t) { return 0.0f; }

void TBaseAudioPlugin::SetParamValue(std::int32_t Index, bool, float Value, bool Notify)
{
    if (Notify)
        NotifyParamValue(Index, Value);
}

void TBaseAudioPlugin::NotifyParamValue(std::int32_t Index, float Value) { ParamChanged(Index, Value); }
void TBaseAudioPlugin::ReservedK() {}
void TBaseAudioPlugin::PitchBend(std::int32_t, std::uint8_t, std::int32_t, std::int32_t) {}
void TBaseAudioPlugin::SetPitchBendRange(std::int32_t) {}
std::int32_t TBaseAudioPlugin::ReservedL() { return 0; }
void TBaseAudioPlugin::MenuItemSelected(TMenuItemList*, std::int32_t) {}
void TBaseAudioPlugin::ReservedM(std::int32_t, std::string& Text) { Text.clear(); }
std::int32_t TBaseAudioPlugin::GetCurrentProgram() { return 0; }
void TBaseAudioPlugin::GetProgramName(std::int32_t, std::int32_t, std::string& AName) { AName.clear(); }
void TBaseAudioPlugin::SetProgram(std::int32_t, std::int32_t) {}

void TBaseAudioPlugin::SetProgramName(std::int32_t, std::string&, bool Notify)
{
    if (Notify)
        UpdateDisplay(1, true);
}

void TBaseAudioPlugin::LoadPreset(TStream&) {}
void TBaseAudioPlugin::SavePreset(TStream&, bool) {}
void TBaseAudioPlugin::LoadVst3Preset(TStream&) {}
void TBaseAudioPlugin::TakeSnapshot() {}
void TBaseAudioPlugin::RestoreSnapshot() {}
std::int32_t TBaseAudioPlugin::ReservedN() { return 0; }
void TBaseAudioPlugin::SetActive(bool AActive) { Active = AActive; }
bool TBaseAudioPlugin::MatchesDescription(const TPluginDescription&) { return false; }
void TBaseAudioPlugin::GetVersionString(std::string& S) { S = "1"; }
void TBaseAudioPlugin::GetCategoryString(std::string& S) { S.clear(); }
std::int32_t TBaseAudioPlugin::GetUniqueID() { return 0; }

void TBaseAudioPlugin::GetPropertyFlags(std::int32_t& Mask, std::int32_t& Values)
{
    Mask = -1; // all 32 bits
    std::uint32_t bits = 0;
    for (int i = 0; i < kPropertyMaskBits; ++i) {
        if (Properties[static_cast<std::size_t>(i)])
            bits |= 1u << i;
    }
    Values = static_cast<std::int32_t>(bits);
}

void TBaseAudioPlugin::SetPropertyFlags(std::int32_t Mask, std::int32_t Values)
{
    const auto mask = static_cast<std::uint32_t>(Mask);
    const auto values = static_cast<std::uint32_t>(Values);
    for (int i = 0; i < kPropertyMaskBits; ++i) {
        if (mask & (1u << i))
            Properties[static_cast<std::size_t>(i)] = (values & (1u << i)) != 0;
    }
}

bool TBaseAudioPlugin::KeyDown(std::int32_t, TShiftState) { return false; }
bool TBaseAudioPlugin::KeyUp(std::int32_t, TShiftState) { return false; }
void TBaseAudioPlugin::ReservedO(std::int32_t) {}
void TBaseAudioPlugin::ReservedP() {}
void TBaseAudioPlugin::VendorCommand(std::int32_t) {}
void TBaseAudioPlugin::UpdateInfo() {}
void TBaseAudioPlugin::ScanShellPlugins() {}

void TBaseAudioPlugin::SetBusActive(bool IsInput, std::int32_t Index, bool AActive)
{
    std::vector<TBusState>& states = IsInput ? InputBusStates : OutputBusStates;
    if (Index >= 0 && static_cast<std::size_t>(Index) < states.size())
        states[static_cast<std::size_t>(Index)].Active = AActive;
}

void TBaseAudioPlugin::ReservedQ() {}
bool TBaseAudioPlugin::MouseWheel(std::int32_t) { return false; }
void TBaseAudioPlugin::ReservedR() {}
void TBaseAudioPlugin::ReservedS() {}
void TBaseAudioPlugin::ReservedT() {}
std::int32_t TBaseAudioPlugin::ReservedU(std::intptr_t) { return 0; }

// Plain operations.

void TBaseAudioPlugin::AddEditor(std::unique_ptr<TBaseAudioPluginEditor> Editor)
{
    if (!Editor)
        return;
    for (const auto& e : Editors) {
        if (e.get() == Editor.get()) {
            Editor.release(); // already owned by the list
            return;
        }
    }
    Editors.push_back(std::move(Editor));
}

TBaseAudioPluginEditor* TBaseAudioPlugin::GetEditors(std::int32_t Index) const
{
    if (Index < 0 || Index >= EditorCount())
        throw Exception("List index out of bounds (" + std::to_string(Index) + ")");
    return Editors[static_cast<std::size_t>(Index)].get();
}

void TBaseAudioPlugin::FreeEditors()
{
    for (auto& slot : Editors) {
        // The slot is empty before the editor's destructor runs, so an editor
        // that looks at the list while it goes no longer finds itself.
        std::unique_ptr<TBaseAudioPluginEditor> editor = std::move(slot);
        editor.reset();
    }
    Editors.clear();
}

void TBaseAudioPlugin::ResetBusStates(std::int32_t FirstInput, std::int32_t FirstOutput)
{
    auto reset = [](std::int32_t first, std::int32_t count, const std::vector<TBusInfo>& buses,
                    std::vector<TBusState>& states) {
        const std::size_t end = std::min({static_cast<std::size_t>(std::max(count, 0)), buses.size(), states.size()});
        for (std::size_t i = static_cast<std::size_t>(std::max(first, 0)); i < end; ++i) {
            states[i] = TBusState{};
            states[i].Active = buses[i].DefaultActive;
        }
    };
    reset(FirstInput, NumInputBuses, InputBuses, InputBusStates);
    reset(FirstOutput, NumOutputBuses, OutputBuses, OutputBusStates);
}

void TBaseAudioPlugin::RefreshEditors(bool Force)
{
    for (const auto& editor : Editors) {
        if (editor && (Force || !editor->SuppressRefresh))
            editor->Refresh();
    }
}

void TBaseAudioPlugin::ShowCrashWarning(const std::string& Msg)
{
    std::string text = kCrashWarningFormat;
    text.replace(text.find("%s"), 2, Msg);
    Host->MessageBox(text, kMessageBoxWarning);
}

void TBaseAudioPlugin::SetBusCount(bool IsInput, std::int32_t Count)
{
    const std::size_t n = static_cast<std::size_t>(std::max(Count, 0));
    (IsInput ? InputBuses : OutputBuses).resize(n, TBusInfo{});
    (IsInput ? InputBusStates : OutputBusStates).resize(n, TBusState{});
    (IsInput ? NumInputBuses : NumOutputBuses) = static_cast<std::int32_t>(n);
}

void TBaseAudioPlugin::SetEventBusCount(bool IsInput, std::int32_t Count)
{
    const std::size_t n = static_cast<std::size_t>(std::max(Count, 0));
    (IsInput ? EventInputBuses : EventOutputBuses).resize(n, TBusInfo{});
    (IsInput ? NumEventInputBuses : NumEventOutputBuses) = static_cast<std::int32_t>(n);
}

void TBaseAudioPlugin::RecomputeSamplesPerTick()
{
    const double divisor = Tempo * TicksPerStep;
    if (!(divisor > 0.0) || !std::isfinite(divisor))
        return;
    // SampleRate * 15 is formed as a 32-bit integer first.
    const auto samples15 = static_cast<std::int32_t>(static_cast<std::int64_t>(SampleRate) * 15);
    SamplesPerTick = samples15 / divisor;
}

// ---------------------------------------------------------------------------
// TBaseAudioPluginEditor

TBaseAudioPluginEditor::TBaseAudioPluginEditor(TBaseAudioPlugin* APlugin) : Plugin(APlugin) {}

void TBaseAudioPluginEditor::Open(void*, TWindowHandle Parent, std::int32_t, std::int32_t)
{
    if (IsOpen)
        Close();
    ParentWnd = Parent;
}

void TBaseAudioPluginEditor::Close()
{
    IsOpen = false;
    ParentWnd = nullptr;
}

void TBaseAudioPluginEditor::SetVisible(bool Value) { Visible = Value; }

void TBaseAudioPluginEditor::SetPosition(std::int32_t AX, std::int32_t AY)
{
    X = AX;
    Y = AY;
}

void TBaseAudioPluginEditor::SetRect(std::int32_t AX, std::int32_t AY, std::int32_t H, std::int32_t W)
{
    X = AX;
    Y = AY;
    Height = H;
    Width = W;
}

void TBaseAudioPluginEditor::ReservedEditorA() {}
void TBaseAudioPluginEditor::UpdateSize() {}
TWindowHandle TBaseAudioPluginEditor::GetWindowHandle() { return nullptr; }

void TBaseAudioPluginEditor::GetSizeLimits(TRect& Limits, TPoint& Origin)
{
    constexpr std::int32_t largest = std::numeric_limits<std::int32_t>::max();
    Limits = TRect{0, 0, largest, largest};
    Origin = TPoint{0, 0};
}

void TBaseAudioPluginEditor::Refresh() {}
void TBaseAudioPluginEditor::ReservedEditorB() {}
