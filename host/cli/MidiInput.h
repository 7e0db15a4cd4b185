#pragma once
// MIDI for the command-line host, as short messages at sample positions:
// from a Standard MIDI File (format 0 or 1, ticks per quarter note, with its
// tempo changes) or from a small text file, one message per line:
//
//     # comment
//     <time> <status> <data1> [<data2>]
//
// time is a sample frame ("4410") or seconds with an "s" suffix ("0.5s");
// the bytes are hexadecimal ("90 3C 64"). Pure: no Windows header.

#include <cstdint>
#include <string>
#include <vector>

struct TMidiMessage {
    std::int64_t Frame = 0;
    std::uint32_t Packed = 0; // status | data1 << 8 | data2 << 16
};

// Messages sorted by frame (stable). False and a one-line reason on bad input.
bool ParseMidiText(const std::string& text, std::int32_t sampleRate, std::vector<TMidiMessage>& out,
                   std::string& error);
bool ParseMidiFile(const std::vector<std::uint8_t>& bytes, std::int32_t sampleRate, std::vector<TMidiMessage>& out,
                   std::string& error);
// By content: "MThd" at the start is a MIDI file, anything else text.
bool ParseMidiInput(const std::vector<std::uint8_t>& bytes, std::int32_t sampleRate, std::vector<TMidiMessage>& out,
                    std::string& error);
