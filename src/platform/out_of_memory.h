#pragma once
// Memory that cannot be had is an unrecoverable fault: the program ends through its fatal fault
// (one message box, exit code -1), never through std::terminate, and no caller on the way takes
// it for an ordinary failure.
namespace tovren::platform {

// Where an out-of-memory ends; it must not return. Without one the process ends with -1 at once.
using FaultRoutine = void (*)(void* context);
void setOutOfMemoryRoutine(FaultRoutine routine, void* context);
// Takes the routine away again, when it is still the one set with this context.
void clearOutOfMemoryRoutine(void* context);

// Ends the program through the routine. The first thread to get here does; any other waits for
// the end, so there is only ever one message. Safe to call from any thread.
[[noreturn]] void outOfMemory();

// Sends operator new's failures (the new-handler) and a std::bad_alloc that reaches
// std::terminate to outOfMemory(), and sets a little memory aside for the fault's message.
void routeOutOfMemory();

}  // namespace tovren::platform
