// The VST2 state blob without a plugin: the bytes the writer produces, every
// version the reader takes, and states that lie about their counts and sizes.

#include "LargestAllocation.h"
#include "VSTStateCore.h"
#include "VstStateModel.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// Little-endian bytes of a hand-made state.
struct TBytes {
    std::vector<std::uint8_t> B;
    TBytes& I(std::int32_t v)
    {
        for (int k = 0; k < 4; ++k)
            B.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * k)));
        return *this;
    }
    TBytes& F(float f)
    {
        std::int32_t v;
        std::memcpy(&v, &f, 4);
        return I(v);
    }
    TBytes& U8(std::uint8_t v)
    {
        B.push_back(v);
        return *this;
    }
    TBytes& Name(const std::string& s)
    {
        std::vector<std::uint8_t> field(25, 0);
        std::memcpy(field.data(), s.data(), std::min<std::size_t>(s.size(), 24));
        B.insert(B.end(), field.begin(), field.end());
        return *this;
    }
    TBytes& Raw(std::size_t n, std::uint8_t fill)
    {
        B.insert(B.end(), n, fill);
        return *this;
    }
    TBytes& Cut(std::size_t n)
    {
        B.resize(B.size() - n);
        return *this;
    }
};

std::int32_t IntAt(const std::vector<std::uint8_t>& b, std::size_t at)
{
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = (v << 8) | b.at(at + static_cast<std::size_t>(k));
    return static_cast<std::int32_t>(v);
}

float FloatAt(const std::vector<std::uint8_t>& b, std::size_t at)
{
    const std::int32_t v = IntAt(b, at);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

// A model with the defaults of a freshly loaded plugin: flags 1, 2, 8 and 9 on.
TVstStateModel Plugin(std::int32_t params = 3, std::int32_t programs = 2, bool chunks = false)
{
    TVstStateModel m;
    m.NumParams = params;
    m.NumPrograms = programs;
    m.Chunks = chunks;
    m.Resize();
    m.Properties[1] = m.Properties[2] = m.Properties[8] = m.Properties[9] = true;
    return m;
}

std::vector<std::uint8_t> Save(TVstStateModel& m)
{
    TMemoryStream s;
    SaveVstState(s, m);
    return std::vector<std::uint8_t>(s.Memory(), s.Memory() + s.GetSize());
}

void Restore(TVstStateModel& m, const std::vector<std::uint8_t>& bytes)
{
    TMemoryStream s;
    if (!bytes.empty())
        s.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    s.SetPosition(0);
    m.InputSize = static_cast<std::int64_t>(bytes.size());
    RestoreVstState(s, m);
}

int IndentSum(const TVstStateModel& m)
{
    int sum = 0;
    for (const auto& line : m.Log)
        sum += line.Indent;
    return sum;
}

const std::string kReadError = VstStateText(kVstStateReadErrorText, "Model");

// --- Saving ------------------------------------------------------------------------

TEST(VstStateSave, AChunkPluginWritesHeaderProgramAndChunk)
{
    TVstStateModel m = Plugin(2, 4, true);
    m.BankChunk.resize(1000);
    for (std::size_t i = 0; i < m.BankChunk.size(); ++i)
        m.BankChunk[i] = static_cast<std::uint8_t>(i * 13);
    m.Current = 3;
    const auto b = Save(m);
    ASSERT_EQ(b.size(), 4u + 1 + 4 + 4 + 1000);
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.begin() + 4), (std::vector<std::uint8_t>{0xF7, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(b[4], 0x0C) << "program check on, cycle on, chunks";
    EXPECT_EQ(IntAt(b, 5), 1000);
    EXPECT_EQ(IntAt(b, 9), 3) << "the current program";
    EXPECT_TRUE(std::equal(m.BankChunk.begin(), m.BankChunk.end(), b.begin() + 13));
    EXPECT_EQ(IndentSum(m), 0);
}

TEST(VstStateSave, KeepEditsOffWritesTheCurrentValuesAndOneName)
{
    TVstStateModel m = Plugin(3, 2);
    m.Current = 1;
    m.Names[1] = "Lead";
    const auto b = Save(m);
    ASSERT_EQ(b.size(), 4u + 1 + 4 + 4 + 4 + 12 + 4 + 25);
    EXPECT_EQ(b[4], 0x04);
    EXPECT_EQ(IntAt(b, 5), 0) << "ChunkSize";
    EXPECT_EQ(IntAt(b, 9), 1) << "Program";
    EXPECT_EQ(IntAt(b, 13), 3) << "ValueCount";
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(FloatAt(b, 17 + 4 * i), m.Values[1][static_cast<std::size_t>(i)]);
    EXPECT_EQ(IntAt(b, 29), 1) << "NameCount";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[33])), "Lead");
    EXPECT_TRUE(std::all_of(b.begin() + 37, b.end(), [](std::uint8_t c) { return c == 0; }));
}

TEST(VstStateSave, KeepEditsOnWritesEveryProgramAndComesBack)
{
    TVstStateModel m = Plugin(3, 2);
    m.Properties[6] = true;
    m.Current = 1;
    const auto b = Save(m);
    ASSERT_EQ(b.size(), 4u + 1 + 4 + 4 + 4 + 24 + 4 + 50);
    EXPECT_EQ(b[4], 0x05);
    EXPECT_EQ(IntAt(b, 13), 6) << "ValueCount";
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(FloatAt(b, 17 + 4 * (3 * p + i)), m.Values[static_cast<std::size_t>(p)][static_cast<std::size_t>(i)]);
    EXPECT_EQ(IntAt(b, 41), 2) << "NameCount";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[45])), "P0");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[70])), "P1");
    EXPECT_EQ(m.Current, 1) << "back on the program that was current";
}

TEST(VstStateSave, EdgeCasesOfTheParameterPart)
{
    struct TCase {
        const char* what;
        std::function<void(TVstStateModel&)> setup;
        std::vector<std::int32_t> ints; // ChunkSize, Program, ValueCount, then NameCount at the end
        std::size_t size;
    };
    const TCase cases[] = {
        {"chunk plugin without a chunk, KeepEdits on: no values",
         [](TVstStateModel& m) {
             m.Chunks = true;
             m.Properties[6] = true;
         },
         {0, 1, 0, 0}, 21},
        {"no data pointer counts as no chunk",
         [](TVstStateModel& m) {
             m.Chunks = true;
             m.BankChunk.assign(8, 1);
             m.NilChunkData = true;
         },
         {0, 1, 3, 1}, 58},
        {"a negative chunk size counts as none",
         [](TVstStateModel& m) {
             m.Chunks = true;
             m.BankChunk.assign(8, 1);
             m.ChunkSizeAnswer = static_cast<std::int64_t>(-5);
         },
         {0, 1, 3, 1}, 58},
        {"a current program outside the plugin's is written as 0",
         [](TVstStateModel& m) {
             m.NumPrograms = 1;
             m.Resize();
             m.Values.resize(2, std::vector<float>(3));
             m.Names.resize(2);
         },
         {0, 0, 3, 1}, 58},
        {"an old plugin writes program 0 and one program of values",
         [](TVstStateModel& m) {
             m.OldVst = true;
             m.Properties[6] = true;
         },
         {0, 0, 3, 1}, 58},
    };
    for (const TCase& c : cases) {
        TVstStateModel m = Plugin(3, 2);
        m.Current = 1;
        c.setup(m);
        const auto b = Save(m);
        ASSERT_EQ(b.size(), c.size) << c.what;
        EXPECT_EQ(IntAt(b, 5), c.ints[0]) << c.what;
        EXPECT_EQ(IntAt(b, 9), c.ints[1]) << c.what;
        EXPECT_EQ(IntAt(b, 13), c.ints[2]) << c.what;
        EXPECT_EQ(IntAt(b, 17 + 4 * static_cast<std::size_t>(c.ints[2])), c.ints[3]) << c.what;
    }
}

TEST(VstStateSave, FailuresInThePluginLeaveAStateThatReadsBack)
{
    const std::string retrieve = VstStateText(kVstStateRetrieveErrorText, "Model");
    {
        SCOPED_TRACE("effGetChunk raises: Version and Flags only, the crash warning");
        TVstStateModel m = Plugin(2, 4, true);
        m.FailGetChunk = true;
        const auto b = Save(m);
        EXPECT_EQ(b, (std::vector<std::uint8_t>{0xF7, 0xFF, 0xFF, 0xFF, 0x0C}));
        EXPECT_EQ(m.CrashWarnings, std::vector<std::string>{retrieve});
        EXPECT_FALSE(m.InStateTransfer);
        EXPECT_EQ(m.Log.back().Text, "Finished (TVSTPlugin - SAVE)");
        EXPECT_EQ(IndentSum(m), 0);
    }
    {
        SCOPED_TRACE("reading the chunk raises: the size field says 4, the write error is shown");
        TVstStateModel m = Plugin(2, 4, true);
        m.BankChunk.assign(100, 7);
        m.Current = 2;
        m.FailCopyChunk = true;
        const auto b = Save(m);
        ASSERT_EQ(b.size(), 13u);
        EXPECT_EQ(IntAt(b, 5), 4);
        EXPECT_EQ(IntAt(b, 9), 2);
        ASSERT_EQ(m.Boxes.size(), 1u);
        EXPECT_EQ(m.Boxes[0].Text, VstStateText(kVstStateWriteErrorText, "Model"));
        EXPECT_EQ(m.Boxes[0].Flags, 0x30);
    }
    {
        SCOPED_TRACE("getParameter raises: Version and Flags only, the crash warning");
        TVstStateModel m = Plugin(3, 2);
        m.FailGetParam = true;
        const auto b = Save(m);
        EXPECT_EQ(b.size(), 5u);
        EXPECT_EQ(m.CrashWarnings, std::vector<std::string>{retrieve});
    }
}

TEST(VstStateSave, ADisplayUpdateAskedForDuringEffGetChunkRunsOnceAfterIt)
{
    TVstStateModel m = Plugin(2, 4, true);
    m.BankChunk.assign(16, 1);
    m.UpdateOnGetChunk = true;
    Save(m);
    EXPECT_EQ(m.DisplayUpdatesRun, 1);
    EXPECT_FALSE(m.Pending);
    EXPECT_FALSE(m.InStateTransfer);
}

// --- Restoring ---------------------------------------------------------------------

TEST(VstStateRestore, WhatTheWriterWritesReadsBackIntoAnotherPlugin)
{
    for (bool keepEdits : {false, true}) {
        SCOPED_TRACE(keepEdits ? "KeepEdits on" : "KeepEdits off");
        TVstStateModel from = Plugin(3, 2);
        from.Properties[6] = keepEdits;
        from.Current = 1;
        from.Values[0] = {0.5f, 0.25f, 0.125f};
        from.Values[1] = {0.75f, 0.875f, 1.0f};
        from.Names = {"Bass", "Lead"};
        const auto b = Save(from);

        TVstStateModel to = Plugin(3, 2);
        Restore(to, b);
        EXPECT_EQ(to.Current, 1);
        EXPECT_EQ(to.Values[1], from.Values[1]);
        EXPECT_EQ(to.Names[1], "Lead");
        if (keepEdits) {
            EXPECT_EQ(to.Values[0], from.Values[0]);
            EXPECT_EQ(to.Names[0], "Bass");
        }
        EXPECT_EQ(to.Properties[6], keepEdits);
        EXPECT_TRUE(to.Boxes.empty());
        EXPECT_TRUE(to.CrashWarnings.empty());
        EXPECT_EQ(to.Violations, 0);
        EXPECT_EQ(IndentSum(to), 0);
    }
    TVstStateModel from = Plugin(2, 4, true);
    from.BankChunk = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    from.Current = 2;
    TVstStateModel to = Plugin(2, 4, true);
    Restore(to, Save(from));
    EXPECT_EQ(to.BankChunk, from.BankChunk);
    EXPECT_EQ(to.Current, 2);
}

TEST(VstStateRestore, EveryOlderVersionIsUnderstood)
{
    const std::vector<std::uint8_t> chunk = {9, 8, 7, 6, 5};
    auto withChunk = [&](TBytes b) {
        b.B.insert(b.B.end(), chunk.begin(), chunk.end());
        return b;
    };
    struct TCase {
        const char* what;
        bool chunks;
        TBytes bytes;
        std::vector<std::string> calls;   // calls that must be there, in this order
        std::vector<float> program1;      // values of program 1 afterwards (empty: unchanged)
        std::string name0, name1;         // names afterwards
        std::int32_t current;             // current program afterwards
        bool bankChunk, programChunk;     // which chunk arrived
    };
    const TCase cases[] = {
        {"V >= 0: a value count, values and names", false,
         TBytes().I(3).F(0.1f).F(0.2f).F(0.3f).I(1).Name("Old"),
         {"BeginSetProgram", "SetParam 0/0", "SetParam 0/2", "Rename 0 Old", "EndSetProgram", "SwitchProgram 1"},
         {}, "Old", "P1", 1, false, false},
        {"V >= 0 holding every program walks them from program 0", false,
         TBytes().I(6).F(1).F(2).F(3).F(4).F(5).F(6),
         {"SwitchProgram 0", "SetParam 0/0", "SwitchProgram 1", "SetParam 1/0", "SetParam 1/2"},
         {4, 5, 6}, "P0", "P1", 1, false, false},
        {"-1: a bank chunk", true, withChunk(TBytes().I(-1).I(5)), {"SetChunk bank 5"}, {}, "P0", "P1", 1, true, false},
        {"-3: a bank chunk", true, withChunk(TBytes().I(-3).I(5)), {"SetChunk bank 5"}, {}, "P0", "P1", 1, true, false},
        {"-2: a chunk, then values and names", true,
         withChunk(TBytes().I(-2).I(5)).I(3).F(7).F(8).F(9).I(2).Name("A").Name("B"),
         {"SetChunk bank 5", "BeginSetProgram", "SetParam 0/0", "Rename 0 A", "Rename 1 B", "EndSetProgram"},
         {}, "A", "B", 1, true, false},
        {"-4: program, then the chunk", true, withChunk(TBytes().I(-4).I(0).I(5)),
         {"SwitchProgram 0", "SetChunk bank 5"}, {}, "P0", "P1", 0, true, false},
        {"-5 with a chunk: size, program, chunk", true, withChunk(TBytes().I(-5).I(5).I(0)),
         {"SetChunk bank 5"}, {}, "P0", "P1", 0, true, false},
        {"-5 without a chunk: values, names and a trailing program", false,
         TBytes().I(-5).I(0).I(3).F(7).F(8).F(9).I(1).Name("Five").I(0),
         {"SetParam 0/0", "Rename 0 Five", "EndSetProgram"}, {}, "Five", "P1", 0, false, false},
        {"-6 KeepEdits off: a program chunk for the saved program", true,
         withChunk(TBytes().I(-6).U8(0).I(5).I(1)), {"SwitchProgram 1", "SetChunk program 5"}, {}, "P0", "P1", 1,
         false, true},
        {"-6 KeepEdits on: a bank chunk", true, withChunk(TBytes().I(-6).U8(1).I(5).I(1)), {"SetChunk bank 5"}, {},
         "P0", "P1", 1, true, false},
        {"-7 chunk plugin without a chunk: one more integer", true,
         TBytes().I(-7).U8(0).I(0).I(12345).I(1).I(3).F(7).F(8).F(9).I(1).Name("Seven"),
         {"BeginSetProgram", "SetParam 1/0", "SetParam 1/2", "Rename 1 Seven"}, {7, 8, 9}, "P0", "Seven", 1, false,
         false},
        {"-8 KeepEdits off: one name for the saved program", false,
         TBytes().I(-8).U8(0).I(0).I(1).I(3).F(7).F(8).F(9).I(1).Name("Eight"),
         {"SwitchProgram 1", "SetParam 1/0", "Rename 1 Eight"}, {7, 8, 9}, "P0", "Eight", 1, false, false},
        {"-9 holding every program", false,
         TBytes().I(-9).U8(1).I(0).I(1).I(6).F(1).F(2).F(3).F(4).F(5).F(6).I(2).Name("X").Name("Y"),
         {"SwitchProgram 1", "SwitchProgram 0", "SetParam 0/0", "SwitchProgram 1", "SetParam 1/2", "Rename 0 X",
          "Rename 1 Y", "EndSetProgram"},
         {4, 5, 6}, "X", "Y", 1, false, false},
    };
    for (const TCase& c : cases) {
        TVstStateModel m = Plugin(3, 2, c.chunks);
        m.Current = 1;
        Restore(m, c.bytes.B);
        SCOPED_TRACE(c.what);
        std::size_t at = 0;
        for (const std::string& call : c.calls) {
            while (at < m.Calls.size() && m.Calls[at] != call)
                ++at;
            EXPECT_LT(at, m.Calls.size()) << "missing or out of order: " << call;
        }
        if (!c.program1.empty()) {
            EXPECT_EQ(m.Values[1], c.program1);
        }
        EXPECT_EQ(m.Names[0], c.name0);
        EXPECT_EQ(m.Names[1], c.name1);
        EXPECT_EQ(m.Current, c.current);
        EXPECT_EQ(m.BankChunk == chunk, c.bankChunk);
        EXPECT_EQ(m.ProgramChunk == chunk, c.programChunk);
        EXPECT_EQ(m.Count("BeginSetProgram"), m.Count("EndSetProgram"));
        EXPECT_TRUE(m.Boxes.empty());
        EXPECT_TRUE(m.CrashWarnings.empty());
        EXPECT_EQ(m.Violations, 0);
    }
}

TEST(VstStateRestore, TheEmptyStateOnlySelectsProgramZero)
{
    TVstStateModel m = Plugin(3, 2);
    m.Current = 1;
    const auto values = m.Values;
    Restore(m, TBytes().I(123456).B);
    EXPECT_EQ(m.Current, 0);
    EXPECT_EQ(m.Values, values);
    EXPECT_TRUE(m.Properties[6]);
    EXPECT_EQ(m.Log.back().Text, "Finished (early)");
    EXPECT_EQ(IndentSum(m), 0);
    EXPECT_FALSE(m.Creating);
}

TEST(VstStateRestore, ATruncatedStateShowsTheReadErrorAndRunsTheDeferredUpdate)
{
    TVstStateModel m = Plugin(3, 2);
    m.Current = 1;
    m.UpdateOnSwitch = true; // the switch to program 0 asks for an update while restoring
    const auto values = m.Values;
    Restore(m, TBytes().I(-9).U8(0).I(0).I(1).I(3).F(7).F(8).B);
    ASSERT_EQ(m.Boxes.size(), 1u);
    EXPECT_EQ(m.Boxes[0].Text, kReadError);
    EXPECT_EQ(m.Boxes[0].Flags, 0x30);
    EXPECT_EQ(m.DisplayUpdatesRun, 1) << "deferred while restoring, carried out at the end";
    EXPECT_FALSE(m.Creating);
    EXPECT_EQ(m.Values, values) << "values that are not all there are not applied";
    EXPECT_TRUE(m.Properties[6]);
    EXPECT_EQ(m.Log[m.Log.size() - 2].Text, kReadError);
    EXPECT_EQ(m.Log.back().Text, "Finished (RESTORE)");
}

TEST(VstStateRestore, CountsAndSizesBeyondTheStreamAreRefusedBeforeThePluginSeesThem)
{
    struct TCase {
        const char* what;
        bool chunks;
        TBytes bytes;
        bool readError;
    };
    const TCase cases[] = {
        {"a value count of 2^31 - 1", false, TBytes().I(-9).U8(0).I(0).I(0).I(INT32_MAX).F(1).F(2), true},
        {"a value count of 2^31 (negative): no values", false, TBytes().I(-9).U8(0).I(0).I(0).I(INT32_MIN).F(1), false},
        {"an old state whose count is far beyond its bytes", false, TBytes().I(0x40000000).F(1), true},
        {"a chunk size beyond the end (-1)", true, TBytes().I(-1).I(1 << 30).Raw(10, 1), true},
        {"a chunk size beyond the end (-9)", true, TBytes().I(-9).U8(8).I(100).I(0).Raw(99, 1), true},
        {"a -9 state that ends before its chunk size", true, TBytes().I(-9).U8(8).Raw(2, 0), true},
        {"a name count beyond the end", false, TBytes().I(3).F(1).F(2).F(3).I(0x10000000).Name("x"), true},
        {"a negative chunk size is no chunk", true, TBytes().I(-9).U8(0).I(-5).I(0).I(0).I(0), false},
        {"a version older than the reader knows", false, TBytes().I(-10).Raw(64, 0xFF), false},
        {"nothing at all", false, TBytes(), true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TVstStateModel m = Plugin(3, 2, c.chunks);
        m.BankChunk = {1, 2, 3};
        TMemoryStream s;
        if (!c.bytes.B.empty())
            s.WriteBuffer(c.bytes.B.data(), static_cast<std::int64_t>(c.bytes.B.size()));
        s.SetPosition(0);
        m.InputSize = s.GetSize();
        ResetLargestAllocation();
        RestoreVstState(s, m);
        EXPECT_LT(LargestAllocation(), 4096u) << "no allocation follows a count beyond the input";
        EXPECT_EQ(m.Violations, 0);
        EXPECT_EQ(m.BankChunk, (std::vector<std::uint8_t>{1, 2, 3})) << "the plugin's chunk is kept";
        EXPECT_EQ(m.Count("SetChunk bank " + std::to_string(c.bytes.B.size())), 0);
        EXPECT_EQ(m.Boxes.size(), c.readError ? 1u : 0u);
        if (c.readError && !m.Boxes.empty()) {
            EXPECT_EQ(m.Boxes[0].Text, kReadError);
        }
        EXPECT_TRUE(m.CrashWarnings.empty());
        EXPECT_EQ(m.Count("BeginSetProgram"), m.Count("EndSetProgram"));
        EXPECT_FALSE(m.Creating);
    }
    // Only the values are applied when the names after them lie.
    TVstStateModel m = Plugin(3, 2);
    Restore(m, TBytes().I(3).F(7).F(8).F(9).I(0x10000000).Name("x").B);
    EXPECT_EQ(m.Values[0], (std::vector<float>{7, 8, 9}));
    EXPECT_EQ(m.Names[0], "P0");
}

TEST(VstStateRestore, ProgramsAndNamesStayInsideThePlugin)
{
    struct TCase {
        const char* what;
        TBytes bytes;
        std::int32_t current;
    };
    const TCase cases[] = {
        {"a program beyond the plugin's", TBytes().I(-9).U8(1).I(0).I(7).I(0).I(0), 0},
        {"a negative program", TBytes().I(-9).U8(1).I(0).I(-3).I(0).I(0), 0},
        {"a trailing -5 program beyond the plugin's", TBytes().I(-5).I(0).I(0).I(0).I(99), 0},
        {"more names than programs",
         TBytes().I(0).I(4).Name("a").Name("b").Name("c").Name("d"), 1},
        {"a name without its terminator", TBytes().I(0).I(1).Raw(25, 'z'), 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TVstStateModel m = Plugin(3, 2);
        m.Current = 1;
        Restore(m, c.bytes.B);
        EXPECT_EQ(m.Violations, 0);
        EXPECT_EQ(m.Current, c.current);
        EXPECT_TRUE(m.Boxes.empty());
    }
}

TEST(VstStateRestore, FailuresInThePluginShowTheirTexts)
{
    {
        SCOPED_TRACE("effSetChunk raises: the send error, and restoring goes on");
        TVstStateModel m = Plugin(2, 4, true);
        m.Current = 2;
        m.FailSetChunk = true;
        Restore(m, TBytes().I(-9).U8(0x08).I(3).I(2).Raw(3, 1).B);
        ASSERT_EQ(m.Boxes.size(), 1u);
        EXPECT_EQ(m.Boxes[0].Text, VstStateText(kVstStateSendErrorText, "Model"));
        EXPECT_EQ(m.Boxes[0].Flags, 0x30);
        EXPECT_EQ(m.Count("SetProperty 6 off"), 1) << "the last step ran";
        EXPECT_EQ(m.Displays, (std::vector<std::pair<std::int32_t, bool>>{{1, true}}));
    }
    {
        SCOPED_TRACE("setParameter raises: the load error as a crash warning");
        TVstStateModel m = Plugin(3, 2);
        m.FailSetParamAfter = 1;
        Restore(m, TBytes().I(3).F(1).F(2).F(3).B);
        const std::string text = VstStateText(kVstStateLoadErrorText, "Model");
        EXPECT_EQ(m.CrashWarnings, std::vector<std::string>{text});
        EXPECT_TRUE(m.Boxes.empty());
        EXPECT_TRUE(m.Properties[6]);
        EXPECT_EQ(m.Count("BeginSetProgram"), m.Count("EndSetProgram"));
        EXPECT_EQ(m.Log[m.Log.size() - 2].Text, text);
        EXPECT_EQ(m.Log[m.Log.size() - 2].Indent, -1);
    }
}

TEST(VstStateText, TheClassIdentifierTextOfAPlugin)
{
    EXPECT_EQ(VstClassIdText(0x12345678, "Delay"), "56535412345678" "64656c6179" "00000000");
    EXPECT_EQ(VstClassIdText(-1, "ABCDEFGHIJKL"), "565354ffffffff" "616263646566676869");
}

} // namespace
