#include "platform/window/driver.h"

namespace tovren::platform::window {

Driver::Driver(WindowSystem& system) : system_(system) {
    system_.useVirtualClock();
    system_.setMessageBoxAnswerer([this](const MessageBoxCall& call) {
        shown_.push_back(call);
        for (auto& w : system_.windows())
            if (w->exists() && w->enabled()) ++boxesWithEnabledWindows_;
        if (answers_.empty()) return Answer::None;
        Answer next = answers_.front();
        answers_.pop_front();
        return next;
    });
}

}  // namespace tovren::platform::window
