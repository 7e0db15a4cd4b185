// The fault guard around calls into plugin code, under Wine.

#include "FaultGuard.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace {

volatile int* gNowhere = nullptr;
volatile int gZero = 0;

using TFaultyCall = void (*)();

void WriteNowhere() { *gNowhere = 1; }
void ReadNowhere() { volatile int v = *gNowhere; (void)v; }
void DivideByZero() { volatile int v = 10 / gZero; (void)v; }
void IllegalInstruction() { __asm__ volatile("ud2"); }
void JumpNowhere() { reinterpret_cast<void (*)()>(reinterpret_cast<std::uintptr_t>(gNowhere))(); }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
void Recurse(int depth)
{
    volatile char pad[4096];
    pad[0] = static_cast<char>(depth);
    Recurse(depth + 1);
    pad[1] = pad[0]; // not a tail call: every level keeps its frame
}
#pragma GCC diagnostic pop
void OverflowStack() { Recurse(0); }

TEST(CallFaultGuarded, SurvivesEveryKindOfProcessorFault)
{
    struct Row {
        const char* What;
        TFaultyCall Call;
        const char* Prefix;
    };
    const Row rows[] = {
        {"write through null", &WriteNowhere, "Access violation at address "},
        {"read through null", &ReadNowhere, "Access violation at address "},
        {"integer division by zero", &DivideByZero, "Integer division by zero at address "},
        {"illegal instruction", &IllegalInstruction, "Illegal instruction at address "},
        {"call to address 0", &JumpNowhere, "Access violation at address "},
    };
    for (const Row& row : rows) {
        std::string text;
        const int before = 1234567;
        volatile int local = before; // survives the jump back in this frame
        EXPECT_FALSE(CallFaultGuarded([&] { row.Call(); }, text)) << row.What;
        EXPECT_EQ(text.rfind(row.Prefix, 0), 0u) << row.What << ": " << text;
        EXPECT_EQ(local, before) << row.What;
    }
    std::string text;
    EXPECT_FALSE(CallFaultGuarded([&] { WriteNowhere(); }, text));
    EXPECT_NE(text.find("Write of address 0000000000000000"), std::string::npos) << text;
    EXPECT_FALSE(CallFaultGuarded([&] { ReadNowhere(); }, text));
    EXPECT_NE(text.find("Read of address 0000000000000000"), std::string::npos) << text;
}

TEST(CallFaultGuarded, SurvivesAStackOverflow)
{
    std::string text;
    EXPECT_FALSE(CallFaultGuarded([&] { OverflowStack(); }, text));
    EXPECT_EQ(text.rfind("Stack overflow", 0), 0u) << text;
}

TEST(CallFaultGuarded, ReturnsNormallyAndLetsOtherExceptionsThrough)
{
    std::string text = "untouched";
    int calls = 0;
    EXPECT_TRUE(CallFaultGuarded([&] { ++calls; }, text));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(text, "untouched");

    // Debugger notifications are not faults.
    EXPECT_TRUE(CallFaultGuarded([&] { OutputDebugStringA("guarded"); }, text));

    // C++ exceptions propagate as they are, and the guard is gone afterwards.
    EXPECT_THROW(CallFaultGuarded([&] { throw std::runtime_error("boom"); }, text), std::runtime_error);
    EXPECT_FALSE(CallFaultGuarded([&] { WriteNowhere(); }, text));
}

TEST(CallFaultGuarded, NestedGuardsCatchAtTheInnermostLevel)
{
    std::string outer, inner;
    bool innerResult = true;
    bool reachedAfterInner = false;
    const bool outerResult = CallFaultGuarded(
        [&] {
            innerResult = CallFaultGuarded([&] { WriteNowhere(); }, inner);
            reachedAfterInner = true;
            DivideByZero();
        },
        outer);
    EXPECT_FALSE(innerResult);
    EXPECT_TRUE(reachedAfterInner);
    EXPECT_FALSE(outerResult);
    EXPECT_EQ(inner.rfind("Access violation", 0), 0u) << inner;
    EXPECT_EQ(outer.rfind("Integer division by zero", 0), 0u) << outer;
}

// A vectored handler of the plugin's own that steps over the faulting
// instruction (the 2-byte read of FaultyRead below).
LONG CALLBACK SkipFaultingRead(EXCEPTION_POINTERS* info)
{
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
#if defined(__x86_64__)
    info->ContextRecord->Rip += 2;
#else
    info->ContextRecord->Eip += 2;
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

__attribute__((noinline)) int FaultyRead()
{
    int v = 7;
    // A 2-byte instruction (8B 01) reading through a null pointer.
#if defined(__x86_64__)
    __asm__ volatile("xor %%ecx, %%ecx\n\tmov (%%rcx), %0" : "+a"(v) : : "rcx", "memory");
#else
    __asm__ volatile("xor %%ecx, %%ecx\n\tmov (%%ecx), %0" : "+a"(v) : : "ecx", "memory");
#endif
    return v;
}

TEST(CallFaultGuarded, LeavesFaultsThePluginHandlesItselfToThePlugin)
{
    struct Row {
        const char* What;
        void (*Call)(bool& handled);
    };
    const Row rows[] = {
        // The system routine probes the memory under its own frame handler.
        {"IsBadReadPtr on unmapped memory",
         [](bool& handled) { handled = IsBadReadPtr(reinterpret_cast<const void*>(0x10), 4) != FALSE; }},
        {"IsBadWritePtr on unmapped memory",
         [](bool& handled) { handled = IsBadWritePtr(reinterpret_cast<void*>(0x10), 4) != FALSE; }},
        // A handler that the plugin registered (last in the vectored list)
        // repairs the fault and the plugin goes on.
        {"the plugin's own vectored handler",
         [](bool& handled) {
             void* own = AddVectoredExceptionHandler(0, &SkipFaultingRead);
             handled = FaultyRead() == 7;
             RemoveVectoredExceptionHandler(own);
         }},
    };
    for (const Row& row : rows) {
        std::string text;
        bool handled = false;
        EXPECT_TRUE(CallFaultGuarded([&] { row.Call(handled); }, text)) << row.What << ": " << text;
        EXPECT_TRUE(handled) << row.What;
    }
    // After the plugin handled its own faults, an unhandled one is still caught.
    std::string text;
    EXPECT_FALSE(CallFaultGuarded([&] { WriteNowhere(); }, text));
}

TEST(CallPluginCode, TurnsAnUnhandledFaultIntoAnException)
{
    int after = 0;
    try {
        CallPluginCode([&] {
            WriteNowhere();
            after = 1;
        });
        ADD_FAILURE() << "no exception";
    } catch (const EPluginFault& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Access violation at address ", 0), 0u) << e.what();
    }
    EXPECT_EQ(after, 0);
    int calls = 0;
    EXPECT_NO_THROW(CallPluginCode([&] { ++calls; }));
    EXPECT_EQ(calls, 1);
}

TEST(DescribeFault, NamesTheCodeAndTheAccess)
{
    const unsigned long long write[2] = {1, 0x10};
    const unsigned long long execute[2] = {8, 0x20};
    EXPECT_EQ(DescribeFault(EXCEPTION_ACCESS_VIOLATION, reinterpret_cast<const void*>(0x1000), 2, write),
              "Access violation at address 0000000000001000. Write of address 0000000000000010");
    EXPECT_EQ(DescribeFault(EXCEPTION_ACCESS_VIOLATION, reinterpret_cast<const void*>(0x1000), 2, execute),
              "Access violation at address 0000000000001000. Execution of address 0000000000000020");
    EXPECT_EQ(DescribeFault(0xC0001234, reinterpret_cast<const void*>(0x2000), 0, nullptr),
              "External exception C0001234 at address 0000000000002000");
}

} // namespace
