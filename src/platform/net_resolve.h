#pragma once
// Name resolution for both socket layers. The system's resolver cannot be interrupted and may
// wait many seconds for a name server that has gone quiet, so it runs on a thread of its own
// and the caller waits for it or for the cancel, whichever comes first: a stop never waits for
// a name server. A resolution that nobody waits for any more finishes on its thread and
// releases what it found there.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/net.h"

namespace tovren::platform::detail {

// `resolve()` returns what it found (null for nothing); `release(found)` frees it. Both are
// copied to the resolving thread. Null with `why` = Cancelled when the cancel came first.
template <typename Found, typename Resolve, typename Release>
Found resolveUnlessCancelled(Resolve resolve, Release release, const NetCancel& cancel,
                             NetResult& why) {
    struct Resolution {
        std::mutex lock;
        std::condition_variable finished;
        bool done = false;
        bool abandoned = false;
        Found found{};
    };
    auto shared = std::make_shared<Resolution>();
    try {
        std::thread([shared, resolve, release] {
            Found found = resolve();
            std::lock_guard guard(shared->lock);
            if (shared->abandoned) {
                if (found) release(found);
            } else {
                shared->found = found;
            }
            shared->done = true;
            shared->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return resolve();  // no thread to spare: resolve here, as the system does
    }
    std::unique_lock guard(shared->lock);
    // The cancel has no hook into this wait; it is looked at every few milliseconds.
    while (!shared->done) {
        if (cancel.isCancelled()) {
            shared->abandoned = true;
            why = NetResult::Cancelled;
            return Found{};
        }
        shared->finished.wait_for(guard, std::chrono::milliseconds(10));
    }
    return shared->found;
}

}  // namespace tovren::platform::detail
