#pragma once
// What the state test plugins (ChunkPlugin.cpp, ProgramsPlugin.cpp) export
// besides the common probe: FixtureState() gives their own record and
// settings, plain memory of the module that a test may read and change
// (settings before the plugin is loaded).

#include "VST2Types.h"

struct TStateFixture {
    // Settings.
    VstInt32 BankChunkSize;        // chunk plugin: bytes effGetChunk answers for the bank (0: 1000)
    VstInt32 ProgramCount;         // programs plugin: numPrograms (0: 32, at most 128)
    VstInt32 UpdateOnProgramChange;// programs plugin: 1 asks for a display update when its program changes
    VstInt32 UpdateOnGetChunk;     // chunk plugin: 1 asks for a display update inside effGetChunk
    // Record.
    VstInt32 GetChunkCalls;
    VstInt32 SetChunkCalls;        // every effSetChunk call
    VstInt32 LastSetChunkIndex;    // 0 bank, 1 program
    VstInt32 LastSetChunkSize;
    VstInt32 ChunksAccepted;       // chunks that the plugin found well-formed and took
    VstInt32 ChunksRefused;        // chunks it refused (wrong magic or size, damaged filler)
    VstInt32 DisplayUpdatesAsked;  // audioMasterUpdateDisplay calls it made
};

using TStateFixtureProc = TStateFixture* (*)();
