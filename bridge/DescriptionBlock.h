#pragma once
// Fills the description block of channel 1 from the loaded plugin: identity,
// MIDI key names, parameters, programs, buses and event buses. Every text
// field is written the shared way: a shorter text gets a zero byte, a text
// that fills the field is cut without one, nothing goes past the field.
// Pure: no Windows header. The block has no lock: every field has this one
// writer, called from the main, description and audio threads.

#include "BridgeLayouts.h"

#include <cstddef>
#include <string>

// Writes text into a field of size bytes.
void WriteFieldText(char* field, std::size_t size, const std::string& text);

class TDescriptionWriter {
public:
    explicit TDescriptionWriter(TDescriptionBlock* block) : Block(block) {}

    // All of these do nothing without a plugin.
    void UpdateIdentity(TBaseAudioPlugin* plugin);
    void UpdateKeyNames(TBaseAudioPlugin* plugin);
    // Records First..Last when 0 <= First <= Last <= count - 1, otherwise all.
    void UpdateParams(TBaseAudioPlugin* plugin, std::int32_t first, std::int32_t last);
    void UpdatePrograms(TBaseAudioPlugin* plugin);
    void UpdateBuses(TBaseAudioPlugin* plugin);
    void UpdateEventBuses(TBaseAudioPlugin* plugin);
    // Only for an index below the parameter count already written.
    void SetParamRecordValue(std::int32_t index, float value);
    void SetLatency(std::int32_t latency);
    void SetShellFlag(bool isShell);
    void Clear();

    std::int32_t WrittenParamCount() const { return Block->ParamCount; }
    TDescriptionBlock* Data() const { return Block; }

private:
    TDescriptionBlock* Block;
};
