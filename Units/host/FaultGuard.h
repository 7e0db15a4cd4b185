#pragma once
// Calls into plugin code that survive a processor fault inside them.
//
// g++ has no __try. The guard is a vectored exception handler that is
// registered for the duration of the call: when the guarded thread raises a
// system error exception (an access violation, illegal or privileged
// instruction, integer division by zero, stack overflow, a floating-point
// fault, ... - every code of error severity that is not customer-defined),
// the handler records the fault and resumes the thread in a small rescue
// routine, which jumps back to the guard's frame with __builtin_longjmp. The
// frames of the plugin between the two are abandoned. On x86 the rescue also
// puts the thread's SEH chain back to what it was when the call began,
// because the abandoned frames may have linked records into it.
//
// Other exceptions pass untouched: debugger notifications (OutputDebugString,
// thread names), C++ exceptions of any compiler, and software exceptions of
// other runtimes go through normal dispatch. A vectored handler sees an
// exception before the plugin's own frame handlers do, so a system error that
// the plugin would have handled itself inside the guarded call is taken as a
// crash of that call. [Windows builds only]

#include <string>
#include <type_traits>

// Calls Fn(Arg) on the calling thread. True when it returned; false when it
// faulted, with FaultText describing the fault. C++ exceptions thrown by Fn
// propagate unchanged. Guards nest.
bool CallFaultGuarded(void (*Fn)(void*), void* Arg, std::string& FaultText);

// The same for any callable.
template <class F>
bool CallFaultGuarded(F&& Call, std::string& FaultText)
{
    auto trampoline = [](void* p) { (*static_cast<std::remove_reference_t<F>*>(p))(); };
    return CallFaultGuarded(+trampoline, const_cast<void*>(static_cast<const void*>(&Call)), FaultText);
}

// The message for an exception code and its parameters, in the style of
// "Access violation at address 0000000010001234. Write of address 0000000000000000".
std::string DescribeFault(unsigned long Code, const void* Address, unsigned long NumberParameters,
                          const unsigned long long* Parameters);
