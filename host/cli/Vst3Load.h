#pragma once
// Loading a VST3 plugin through the bridge from the command-line host: the
// module of a bundle folder, the class list the bridge reports, and the
// load request for the chosen class.

#include "BridgeHost.h"
#include "BridgeLayouts.h"
#include "Vst3Target.h"

#include <string>
#include <vector>

// The module file for Path: the module inside a bundle folder for this
// program's bitness, or Path itself when it is a file. False with Error when
// a folder holds no such module.
bool ResolveVst3Module(const std::string& Path, std::string& Module, std::string& Error);

enum class TVst3LoadResult { Loaded, Listed, Failed };

// Loads the module named in the host's load block (Name, FileName and
// Settings filled; Kind and ClassID are set here). The bridge is asked with
// no class first: a module with one class loads it and describes it, a
// module with several answers a shell listing them, and the chosen class is
// then requested by its identifier. Classes receives the module's classes.
// ListOnly: stops after the first answer (Listed). Failed: Error says why.
TVst3LoadResult LoadVst3(TBridgeHost& Host, const TClassChoice& Choice, bool ListOnly,
                         std::vector<TVst3ClassEntry>& Classes, std::string& Error);

// "Classes: n" and one line per class: position, name, kind, identifier.
void PrintVst3Classes(const std::vector<TVst3ClassEntry>& Classes);
