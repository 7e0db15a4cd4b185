#pragma once
// The load block of channel 5: what the host asks the bridge to load, and
// the shell list written back. Pure: no Windows header.

#include "BridgeLayouts.h"

#include <memory>

struct TLoadRequest {
    TPluginDescription Description{};
    TPluginSettings Settings{};
    // The shell's known sub-plugins from the request, or null when it has none.
    std::unique_ptr<TShellPluginInfoList> ShellList;
};

// Reads the request. Texts without a terminator are taken up to the end of
// their field; a shell count outside 0..1024 is limited to that range.
TLoadRequest ReadLoadRequest(const TLoadBlock& block);

// Writes the plugin's shell list (at most 1024 entries) and its count.
void WriteShellList(TLoadBlock& block, const TShellPluginInfoList& list);
