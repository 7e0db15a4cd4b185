#pragma once
// The plugin's editor in the command-line host: a top-level window of ours
// that the bridge's editor window is embedded in (or, for pictures under
// Wine, the bridge's editor window shown on its own), following the editor's
// size until the window is closed or the time is up, and a PNG picture of
// the editor as drawn. [Windows builds only; the calling thread owns the window]

#include "BridgeHost.h"

#include <string>

struct TEditorOptions {
    bool Show = false;           // --editor
    double Seconds = 0;          // --editor-seconds: 0 means until the window is closed
    std::string Screenshot;      // --screenshot: the PNG file to write
    bool Embed = true;           // --no-embed clears it
};

extern const char kEditorUsage[];

// Takes the editor option at argv[i] and its value (i then points at the
// value). False when argv[i] is no editor option; Error set for a bad value.
bool TakeEditorOption(int argc, char** argv, int& i, TEditorOptions& Options, std::string& Error);

// Opens the editor through the bridge, shows it, keeps it in step with the
// plugin's size changes, takes the picture and closes it again; prints what
// it did. Throws Exception when the bridge does not answer or the picture
// cannot be written.
void RunEditor(TBridgeHost& Host, const TEditorOptions& Options);
