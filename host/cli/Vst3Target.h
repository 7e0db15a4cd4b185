#pragma once
// Which VST3 module and class the command-line host loads: the module of a
// bundle folder, the class picked by "--class", and the text form of a class
// identifier. Pure: no Windows header.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One class of a module as the bridge lists it.
struct TVst3ClassEntry {
    std::int32_t Kind = 0; // 7 effect, 8 instrument
    std::string Name;
    std::array<std::uint8_t, 16> ClassID{};
};

// True when the path's last component ends in ".vst3" (any letter case),
// with or without a trailing separator.
bool HasVst3Extension(const std::string& Path);

// The module of a bundle folder for one bitness:
// <Bundle>/Contents/x86_64-win/<name>.vst3 (64-bit) or .../x86-win/... (32-bit),
// where <name> is the folder's name without its ".vst3". The separator is
// the one the path uses ('\\' when it has none). Empty for an empty path.
std::string Vst3BundleModulePath(const std::string& Bundle, bool Is64Bit);

// The 32 hexadecimal digits of a class identifier, in the order in which the
// identifier's text form is read: the first 32-bit field, the two 16-bit
// fields (all three as numbers), then the eight bytes.
std::string ClassIdText(const std::array<std::uint8_t, 16>& Id);

// The value of "--class": a number picks by position, anything else by name.
struct TClassChoice {
    bool Given = false;
    bool ByIndex = false;
    std::int32_t Index = 0;
    std::string Name;

    static TClassChoice Parse(const std::string& Value);
};

// The position of the chosen class in List, or -1. Without a choice the
// first class. A name matches exactly first, then without regard to case.
std::int32_t PickClass(const std::vector<TVst3ClassEntry>& List, const TClassChoice& Choice);
