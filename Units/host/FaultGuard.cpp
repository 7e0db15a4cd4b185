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

constexpr DWORD kUnwindFlags = 0x2 | 0x4; // unwinding, exit unwind

} // namespace

// The frame handler of the guard's own frame. The system asks it only after
// every frame between the fault and the guard (the plugin's own handlers
// among them) passed the exception on: what reaches it is a fault nobody
// below handled.
extern "C" EXCEPTION_DISPOSITION PelorinGuardFrameHandler(EXCEPTION_RECORD* record, void*, CONTEXT* context, void*)
{
    TGuardFrame* frame = tInnermost;
    if (frame == nullptr || (record->ExceptionFlags & kUnwindFlags) != 0 || !IsSystemFault(record->ExceptionCode))
        return ExceptionContinueSearch;

    frame->Code = record->ExceptionCode;
    frame->Address = record->ExceptionAddress;
    frame->NumberParameters = record->NumberParameters < EXCEPTION_MAXIMUM_PARAMETERS ? record->NumberParameters
                                                                                      : EXCEPTION_MAXIMUM_PARAMETERS;
    for (DWORD i = 0; i < frame->NumberParameters; ++i)
        frame->Parameters[i] = record->ExceptionInformation[i];

    // A fresh stack for the rescue routine, well below the guard's frame (the
    // plugin's frames there are dead) and aligned as at a function's entry.
    const std::uintptr_t sp = (frame->StackMark - 512) & ~static_cast<std::uintptr_t>(15);
#if defined(__x86_64__)
    context->Rsp = sp - 8;
    context->Rip = reinterpret_cast<DWORD64>(&RescueFromFault);
#elif defined(__i386__)
    context->Esp = sp - 4;
    context->Eip = reinterpret_cast<DWORD>(&RescueFromFault);
#else
#error "fault guard: unsupported processor"
#endif
    return ExceptionContinueExecution;
}

#if defined(__x86_64__)
// Calls fn(arg) in a frame of its own whose unwind data names the guard's
// frame handler (x64 finds frame handlers through the unwind tables).
extern "C" void PelorinGuardedThunk(void (*fn)(void*), void* arg);
__asm__(R"(
    .text
    .globl PelorinGuardedThunk
    .def PelorinGuardedThunk; .scl 2; .type 32; .endef
    .seh_proc PelorinGuardedThunk
PelorinGuardedThunk:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    movq %rcx, %rax
    movq %rdx, %rcx
    call *%rax
    nop
    addq $40, %rsp
    ret
    .seh_handler PelorinGuardFrameHandler, @except
    .seh_endproc
)");
#endif

namespace {

#if defined(__i386__)
// A record of the thread's SEH chain (x86 finds frame handlers through it).
struct TSehRecord {
    TSehRecord* Next;
    void* Handler;
};
#endif

// The frame that a fault jumps back to. Kept out of line and free of objects
// with destructors: the jump skips everything between the fault and here.
__attribute__((noinline)) bool RunInFrame(TGuardFrame* frame, void (*fn)(void*), void* arg)
{
    if (__builtin_setjmp(frame->JumpBuffer) != 0)
        return false;
    std::uintptr_t sp;
#if defined(__x86_64__)
    __asm__ volatile("mov %%rsp, %0" : "=r"(sp));
    frame->StackMark = sp;
    PelorinGuardedThunk(fn, arg);
#else
    __asm__ volatile("mov %%esp, %0" : "=r"(sp));
    frame->StackMark = sp;
    // The record lives in this frame, above every frame of the call.
    volatile TSehRecord record{static_cast<TSehRecord*>(frame->SehChain),
                               reinterpret_cast<void*>(&PelorinGuardFrameHandler)};
    SetSehChainHead(const_cast<TSehRecord*>(&record));
    fn(arg);
    SetSehChainHead(frame->SehChain);
#endif
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
#if defined(__i386__)
        SetSehChainHead(frame.SehChain); // the exception left the guard's record behind
#endif
        throw;
    }
    tInnermost = frame.Outer;
    if (!returned)
        FaultText = DescribeFault(frame.Code, frame.Address, frame.NumberParameters, frame.Parameters);
    return returned;
}
