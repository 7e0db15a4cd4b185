#pragma once
// Calls into plugin code that survive a processor fault inside them.
//
// g++ has no __try. The guard runs the call in a frame of its own that
// carries a frame-based exception handler (on x64 through the unwind tables
// of a small thunk, on x86 as a record of the thread's SEH chain). The system
// asks frame handlers from the innermost frame outwards, so the plugin's own
// handlers (copy protection, a JIT, IsBadReadPtr and the like) see a fault
// first; only a system error exception (an access violation, illegal or
// privileged instruction, integer division by zero, stack overflow, a
// floating-point fault, ... - every code of error severity that is not
// customer-defined) that none of them handled reaches the guard. The guard
// records it and resumes the thread in a small rescue routine, which jumps
// back to the guard's frame with __builtin_longjmp. The frames of the plugin
// between the two are abandoned. On x86 the rescue also puts the thread's SEH
// chain back to what it was when the call began.
//
// Other exceptions pass untouched: debugger notifications (OutputDebugString,
// thread names), C++ exceptions of any compiler, and software exceptions of
// other runtimes go through normal dispatch. Registering nothing, a guarded
// call costs a jump buffer and allocates nothing. [Windows builds only]

#include "Exception.h"

#include <string>
#include <type_traits>
#include <utility>

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

// A processor fault inside plugin code that the plugin did not handle itself,
// as an exception: it takes the paths on which the caller handles what the
// plugin raises.
class EPluginFault : public Exception {
public:
    using Exception::Exception;
};

// Calls Call; a fault inside it becomes EPluginFault with the fault's text.
template <class F>
void CallPluginCode(F&& Call)
{
    std::string text;
    if (!CallFaultGuarded(std::forward<F>(Call), text))
        throw EPluginFault(text);
}

// The message for an exception code and its parameters, in the style of
// "Access violation at address 0000000010001234. Write of address 0000000000000000".
std::string DescribeFault(unsigned long Code, const void* Address, unsigned long NumberParameters,
                          const unsigned long long* Parameters);
