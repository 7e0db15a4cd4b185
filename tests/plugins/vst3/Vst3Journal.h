#pragma once
// What the VST3 test modules record, and the settings a test gives them.
// The record lives in the test program, which exports
//   Vst3FixtureJournal()   the program's record
// so that it outlives the modules (InitDll and ExitDll are counted too). A
// module in a program without that export (the bridge) records into a
// record of its own that nobody reads, with every setting 0.

#include <cstdint>

inline constexpr int kJournalStateBytes = 64;

struct TVst3Journal {
    // What the host did.
    std::int32_t InitDll;
    std::int32_t ExitDll;
    std::int32_t ObjectsAlive;        // factories, components and controllers not yet freed
    std::int32_t ComponentInitialize;
    std::int32_t ComponentTerminate;
    std::int32_t ControllerInitialize; // separate controllers only
    std::int32_t ControllerTerminate;
    std::int32_t HandlerSet;           // setComponentHandler with a handler
    std::int32_t HandlerCleared;       // setComponentHandler with none
    std::int32_t SetComponentState;
    std::int32_t ComponentStateSize;   // bytes read by the last setComponentState
    std::uint8_t ComponentState[kJournalStateBytes];
    std::int32_t Connects;
    std::int32_t Disconnects;
    std::int32_t ActiveOn, ActiveOff;
    std::int32_t ProcessingOn, ProcessingOff;
    std::int32_t SetupCalls;
    std::int32_t SetupMode, SetupSampleSize, SetupMaxSamples;
    double SetupSampleRate;
    std::int32_t BusesActivated;
    std::int32_t HostNameAsked;        // the context answered IHostApplication and getName succeeded

    // Settings, read while the modules run.
    std::int32_t FailComponentInit;    // component initialize answers kResultFalse
    std::int32_t FailControllerInit;   // separate controller initialize answers kResultFalse
    std::int32_t FailSetup;            // setupProcessing answers kResultFalse
    std::int32_t ZeroControllerId;     // getControllerClassId answers an all-zero identifier
    std::int32_t EditWhileLoading;     // the effect edits "Mix" and asks for a restart as soon as it has a handler
};

using TVst3JournalProc = TVst3Journal* (*)();
inline constexpr char kVst3JournalExport[] = "Vst3FixtureJournal";
