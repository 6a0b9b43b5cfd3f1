#pragma once
// The embedded browser's rendering mode. Left alone, the WebBrowser control on Windows 10 and 11
// draws pages as Internet Explorer 7 does, which today's sites do not work with.
#include <cstdint>
#include <string>

namespace tovren::platform {

// The FEATURE_BROWSER_EMULATION value that makes the control render as Internet Explorer 11
// whatever the page's document mode says.
inline constexpr uint32_t kBrowserEmulationIe11 = 11001;

// Writes the running program's own value (its executable's file name -> 11001) under the current
// user's FEATURE_BROWSER_EMULATION key; called before the first browser control is made, which
// reads the key when it is created. Nothing else in the key is touched; false when it could not
// be written, which callers ignore (the control then renders as it would have anyway).
bool chooseBrowserEmulation();

// The value name that chooseBrowserEmulation() writes: the executable's file name ("tovren.exe").
std::string browserEmulationName();

}  // namespace tovren::platform
