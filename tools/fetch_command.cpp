// tovren-tool fetch [OPTIONS] URL LOCALPATH
#include <cstdio>

#include "fetch_runner.h"
#include "tool.h"

namespace tovren::tool {

int runFetch(const Arguments& args) {
    std::string usageMessage;
    int code = runFetchTask(args, stdout, stderr, usageMessage);
    return code == kUsageError ? usageError(usageMessage) : code;
}

}  // namespace tovren::tool
