#pragma once
// tovren-tool brand EXE --server-base URL [--testing-site-base URL] OUT: a copy of tovren.exe
// whose compiled-in addresses are a school's own, written into the executable's brand place.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "tool.h"

namespace tovren::tool {

// Why the client could not use `address` as a compiled-in base, or nothing when it can: a plain
// "http://host[:port]" (no path, no trailing "/"), at most the brand field's length in UTF-8,
// every character with a GBK form (the request line carries the address in GBK).
std::optional<std::string> baseAddressProblem(std::string_view address);

// Never changes EXE. OUT is written under a temporary name in its folder and takes its name only
// when complete; a refused EXE, address or OUT leaves no file. Prints one line to `out` and
// returns 0; returns 1 with a one-line reason on `err` when EXE or OUT is refused. On a usage
// error (unusable address included) returns kUsageError with the message in `usageMessage`.
int brandExecutable(const Arguments& args, std::FILE* out, std::FILE* err, std::string& usageMessage);

}  // namespace tovren::tool
