#pragma once
// tovren-tool fetch [OPTIONS] URL LOCALPATH: one download task exactly as the client runs it.
#include <cstdio>
#include <string>

#include "tool.h"

namespace tovren::tool {

// Runs the task and waits for its end. Prints the complete file's path to `out` and returns 0;
// returns 1 when the task ended without a complete file, 2 when it was refused. On a usage error
// returns kUsageError with the message in `usageMessage`. Progress goes to `err`.
int runFetchTask(const Arguments& args, std::FILE* out, std::FILE* err, std::string& usageMessage);

}  // namespace tovren::tool
