#include "FaultGuard.h"

#include "WinHandle.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>

namespace {

// One active guard of this thread.
struct TGuardFrame {
    void* JumpBuffer[5] = {};      // __builtin_setjmp: frame pointer, resume address, stack pointer
    TGuardFrame* Outer = nullptr;  // the next guard out on this thread
    std::uintptr_t StackMark = 0;  // stack pointer just before the guarded call
    DWORD Code = 0;
    const void* Address = nullptr;
    DWORD NumberParameters = 0;
    unsigned long long Parameters[EXCEPTION_MAXIMUM_PARAMETERS] = {};
#if defined(__i386__)
    void* SehChain = nullptr;      // head of the thread's SEH chain when the call began
#endif
};

thread_local TGuardFrame* tInnermost = nullptr;

#if defined(__i386__)
// The head of the thread's SEH chain: the first word of its thread block, fs:[0].
void* SehChainHead()
{
    void* head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}
void SetSehChainHead(void* head)
{
    __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}
#endif

// System error codes: severity "error" and not customer-defined.
bool IsSystemFault(DWORD code)
{
    return (code & 0xF0000000u) == 0xC0000000u;
}

// Resumed here, on the dead part of the stack below the guard's frame, by the
// handler; never returns.
[[noreturn]] __attribute__((noinline)) void RescueFromFault()
{
    TGuardFrame* frame = tInnermost;
#if defined(__i386__)
    SetSehChainHead(frame->SehChain);
#endif
    __builtin_longjmp(frame->JumpBuffer, 1);
}

LONG CALLBACK FaultHandler(EXCEPTION_POINTERS* info)
{
    TGuardFrame* frame = tInnermost;
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (frame == nullptr || !IsSystemFault(record->ExceptionCode))
        return EXCEPTION_CONTINUE_SEARCH;

    frame->Code = record->ExceptionCode;
    frame->Address = record->ExceptionAddress;
    frame->NumberParameters = record->NumberParameters < EXCEPTION_MAXIMUM_PARAMETERS ? record->NumberParameters
                                                                                      : EXCEPTION_MAXIMUM_PARAMETERS;
    for (DWORD i = 0; i < frame->NumberParameters; ++i)
        frame->Parameters[i] = record->ExceptionInformation[i];

    // A fresh stack for the rescue routine, well below the guard's frame (the
    // plugin's frames there are dead) and aligned as at a function's entry.
    const std::uintptr_t sp = (frame->StackMark - 512) & ~static_cast<std::uintptr_t>(15);
    CONTEXT* context = info->ContextRecord;
#if defined(__x86_64__)
    context->Rsp = sp - 8;
    context->Rip = reinterpret_cast<DWORD64>(&RescueFromFault);
#elif defined(__i386__)
    context->Esp = sp - 4;
    context->Eip = reinterpret_cast<DWORD>(&RescueFromFault);
#else
#error "fault guard: unsupported processor"
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

struct TVectoredHandlerTraits {
    static bool Valid(void* h) { return h != nullptr; }
    static bool Close(void* h) { return RemoveVectoredExceptionHandler(h) != 0; }
};
using TOwnedVectoredHandler = TOwned<void*, TVectoredHandlerTraits>;

// The frame that a fault jumps back to. Kept out of line and free of objects
// with destructors: the jump skips everything between the fault and here.
__attribute__((noinline)) bool RunInFrame(TGuardFrame* frame, void (*fn)(void*), void* arg)
{
    if (__builtin_setjmp(frame->JumpBuffer) != 0)
        return false;
    std::uintptr_t sp;
#if defined(__x86_64__)
    __asm__ volatile("mov %%rsp, %0" : "=r"(sp));
#else
    __asm__ volatile("mov %%esp, %0" : "=r"(sp));
#endif
    frame->StackMark = sp;
    fn(arg);
    return true;
}

const char* FaultName(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: return "Access violation";
    case EXCEPTION_ILLEGAL_INSTRUCTION: return "Illegal instruction";
    case EXCEPTION_PRIV_INSTRUCTION: return "Privileged instruction";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return "Integer division by zero";
    case EXCEPTION_INT_OVERFLOW: return "Integer overflow";
    case EXCEPTION_STACK_OVERFLOW: return "Stack overflow";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO: return "Floating point division by zero";
    case EXCEPTION_FLT_INVALID_OPERATION: return "Invalid floating point operation";
    case EXCEPTION_FLT_OVERFLOW: return "Floating point overflow";
    case EXCEPTION_FLT_UNDERFLOW: return "Floating point underflow";
    case EXCEPTION_FLT_INEXACT_RESULT: return "Inexact floating point result";
    case EXCEPTION_FLT_DENORMAL_OPERAND: return "Denormal floating point operand";
    case EXCEPTION_FLT_STACK_CHECK: return "Floating point stack check";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: return "Array bounds exceeded";
    case EXCEPTION_DATATYPE_MISALIGNMENT: return "Misaligned data access";
    case EXCEPTION_IN_PAGE_ERROR: return "In-page error";
    default: return nullptr;
    }
}

} // namespace

std::string DescribeFault(unsigned long Code, const void* Address, unsigned long NumberParameters,
                          const unsigned long long* Parameters)
{
    char text[160];
    const char* name = FaultName(Code);
    const auto at = static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(Address));
    if (name == nullptr) {
        std::snprintf(text, sizeof text, "External exception %08lX at address %016llX", Code, at);
    } else if (Code == EXCEPTION_ACCESS_VIOLATION && NumberParameters >= 2) {
        const char* kind = Parameters[0] == 1 ? "Write" : Parameters[0] == 8 ? "Execution" : "Read";
        std::snprintf(text, sizeof text, "%s at address %016llX. %s of address %016llX", name, at, kind,
                      Parameters[1]);
    } else {
        std::snprintf(text, sizeof text, "%s at address %016llX", name, at);
    }
    return text;
}

bool CallFaultGuarded(void (*Fn)(void*), void* Arg, std::string& FaultText)
{
    TOwnedVectoredHandler handler(AddVectoredExceptionHandler(1, &FaultHandler));
    TGuardFrame frame;
    frame.Outer = tInnermost;
#if defined(__i386__)
    frame.SehChain = SehChainHead();
#endif
    tInnermost = &frame;
    bool returned = false;
    try {
        returned = RunInFrame(&frame, Fn, Arg);
    } catch (...) {
        tInnermost = frame.Outer;
        throw;
    }
    tInnermost = frame.Outer;
    if (!returned)
        FaultText = DescribeFault(frame.Code, frame.Address, frame.NumberParameters, frame.Parameters);
    return returned;
}
