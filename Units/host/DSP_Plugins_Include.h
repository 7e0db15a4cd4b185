#pragma once
// The plugins that a module offers, one record per class: what the VST3
// class enumeration reports. Pure: no Windows header.

#include "AudioPlug.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::uint8_t kPluginIDModule64Bit = 0x10; // TPluginID::Flags: the module is a 64-bit image

struct TPluginID {
    std::string Name;               // 8-bit text
    std::string FileName;           // 8-bit text, the module path
    std::vector<TClassID> ClassIDs; // VST3 entries hold exactly one
    std::uint8_t Kind = 0;          // 7 effect, 8 instrument (as TPluginDescription::Kind)
    std::uint8_t Flags = 0;         // kPluginIDModule64Bit
    std::uint8_t Reserved1 = 255;
    std::uint8_t Reserved2 = 255;
};

// A growable array of plugin records.
using TPluginList = std::vector<TPluginID>;
