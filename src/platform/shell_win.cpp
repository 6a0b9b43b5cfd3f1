#include <windows.h>

#include <shellapi.h>

#include "platform/shell.h"
#include "platform/wide.h"

namespace tovren::platform {

void shellOpen(std::string_view verb, std::string_view path) {
    ShellExecuteW(nullptr, widen(verb).c_str(), widen(path).c_str(), nullptr, L"", SW_SHOWNORMAL);
}

}  // namespace tovren::platform
