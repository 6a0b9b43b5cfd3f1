// windows.h first: the other system headers build on it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/console.h"
#include "platform/wide.h"

namespace tovren::platform {

std::vector<std::string> utf8Arguments(int, char**) {
    std::vector<std::string> out;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return out;
    for (int i = 0; i < count; ++i) out.push_back(narrow(wide[i]));
    LocalFree(wide);
    return out;
}

void setBinaryStdout() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace tovren::platform
