#pragma once
// The seam where the system's web browser control is hosted: navigate, the latest status-bar
// text, and the new-window question. The placeholder below keeps the child window's place and
// records what it is asked; the hosted WebBrowser control takes its place behind this interface.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovren::platform::window {

class BrowserHost {
public:
    virtual ~BrowserHost() = default;
    virtual void navigate(std::string_view address) = 0;
    virtual std::string statusText() const = 0;
    // Raised when the browser is about to open a new window: false refuses it.
    std::function<std::optional<bool>()> onNewWindow;
};

// Keeps the addresses it was sent to and shows nothing.
class PlaceholderBrowser final : public BrowserHost {
public:
    void navigate(std::string_view address) override { navigations.emplace_back(address); }
    std::string statusText() const override { return status; }

    std::vector<std::string> navigations;
    std::string status;
};

}  // namespace tovren::platform::window
