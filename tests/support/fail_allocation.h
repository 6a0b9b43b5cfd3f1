#pragma once
// What operator new does when the system has no memory for it.
#include <cstddef>
#include <cstdio>
#include <new>

namespace tovren::testing {

inline void failAnAllocation() {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's operator new reports a failure itself and never calls the new-handler.
    std::get_new_handler()();
#else
    volatile std::size_t huge = std::size_t(1) << 60;
    char* bytes = new char[huge];
    std::fprintf(stderr, "allocated %p\n", static_cast<void*>(bytes));
#endif
}

}  // namespace tovren::testing
