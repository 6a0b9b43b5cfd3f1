#pragma once
// The seam where the system's web browser control is hosted: navigate, the latest status-bar
// text, and the new-window question (WebBrowserBox in browser_control.h is the Windows one).
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tovren::platform::window {

class BrowserHost {
public:
    virtual ~BrowserHost() = default;
    virtual void navigate(std::string_view address) = 0;
    virtual std::string statusText() const = 0;
    // Raised when the browser is about to open a new window: false refuses it.
    std::function<std::optional<bool>()> onNewWindow;
};

}  // namespace tovren::platform::window
