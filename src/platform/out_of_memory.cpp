#include "platform/out_of_memory.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

namespace tovren::platform {
namespace {

std::mutex routineLock;
FaultRoutine routine = nullptr;
void* routineContext = nullptr;

// Freed when memory runs out, so the message box and its texts can still be made.
char* reserve = nullptr;
constexpr size_t kReserveBytes = 256 * 1024;

std::terminate_handler previousTerminate = nullptr;

void onNewFailure() { outOfMemory(); }

void onTerminate() {
    if (std::exception_ptr escaped = std::current_exception()) {
        try {
            std::rethrow_exception(escaped);
        } catch (const std::bad_alloc&) {
            outOfMemory();
        } catch (...) {
        }
    }
    if (previousTerminate) previousTerminate();
    std::abort();
}

}  // namespace

void setOutOfMemoryRoutine(FaultRoutine newRoutine, void* context) {
    std::lock_guard lock(routineLock);
    routine = newRoutine;
    routineContext = context;
}

void clearOutOfMemoryRoutine(void* context) {
    std::lock_guard lock(routineLock);
    if (routineContext != context) return;
    routine = nullptr;
    routineContext = nullptr;
}

void outOfMemory() {
    static std::mutex once;
    static thread_local bool faulting = false;
    // A second failure while this thread shows the message: nothing more can be shown.
    if (faulting) std::_Exit(-1);
    faulting = true;
    if (!once.try_lock()) {
        // Another thread is ending the program; this one waits for that end.
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }
    FaultRoutine chosen;
    void* context;
    {
        std::lock_guard lock(routineLock);
        delete[] reserve;
        reserve = nullptr;
        chosen = routine;
        context = routineContext;
    }
    if (chosen)
        chosen(context);
    else
        std::fputs("out of memory\n", stderr);  // a program without windows (tovren-tool)
    std::fflush(stderr);
    std::_Exit(-1);
}

void routeOutOfMemory() {
    std::set_new_handler(onNewFailure);
    std::terminate_handler current = std::set_terminate(onTerminate);
    if (current != onTerminate) previousTerminate = current;
    std::lock_guard lock(routineLock);
    if (!reserve) reserve = new (std::nothrow) char[kReserveBytes];
}

}  // namespace tovren::platform
