#pragma once
// The Windows shell: opening a document with its associated application ("open") or a folder
// in the file manager ("explore"). Windows only; window code reaches it through the window
// system, whose test backends record the calls instead.
#include <string_view>

namespace tovren::platform {

// Hands the path to the shell with the verb: no owner window, no parameters, no default
// directory, shown normally. The shell's answer is dropped: a failure shows as nothing opening.
void shellOpen(std::string_view verb, std::string_view path);

}  // namespace tovren::platform
