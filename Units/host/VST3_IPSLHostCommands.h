#pragma once
// The PreSonus host-command extension of VST 3: a plugin asks the host, through
// IHostCommandHandler, for the host's commands of one parameter (an
// ICommandList) and pops them up as a menu. Same binary rules as Vst3Base.h.
// Pure declarations, no Windows header.

#include "Vst3Base.h"

namespace Presonus {

using Vst3::int32;
using Vst3::tresult;
using Vst3::TUID;

// One command as the plugin reads it: 260 bytes.
struct CommandInfo {
    enum Flags : int32 {
        kCanExecute = 1 << 0,
        kSeparator = 1 << 1,
        kChecked = 1 << 2,
    };
    Vst3::String128 title;
    int32 flags;
};

class ICommandList : public Vst3::FUnknown {
public:
    // {C5A687DB-82F3-44E9-B378-254A47C4D712}
    static constexpr TUID iid = TUID::FromWords(0xC5A687DB, 0x82F344E9, 0xB378254A, 0x47C4D712);
    virtual int32 VST3CALL getCommandCount() = 0;
    virtual tresult VST3CALL getCommandInfo(int32 index, CommandInfo& info) = 0;
    virtual tresult VST3CALL executeCommand(int32 index) = 0;
};

class IHostCommandHandler : public Vst3::FUnknown {
public:
    // {F92032CD-7A84-407C-ABE6-F863058EA6C2}
    static constexpr TUID iid = TUID::FromWords(0xF92032CD, 0x7A84407C, 0xABE6F863, 0x058EA6C2);
    // The host's commands for one parameter, with one reference for the caller.
    virtual ICommandList* VST3CALL createParamCommands(Vst3::ParamID id) = 0;
    // Pops the commands up at x, y; view is null when x and y are relative to
    // the plugin's editor.
    virtual tresult VST3CALL popupCommandMenu(ICommandList* commands, int32 x, int32 y, void* view) = 0;
};

static_assert(sizeof(CommandInfo) == 260);
static_assert(offsetof(CommandInfo, title) == 0 && offsetof(CommandInfo, flags) == 256);

} // namespace Presonus
