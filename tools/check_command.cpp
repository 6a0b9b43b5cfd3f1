// tovren-tool check [--retries N] [--retry-wait-ms MS] SERVERBASE
#include <cstdio>

#include "check_runner.h"
#include "tool.h"

namespace tovren::tool {

int runCheck(const Arguments& args) {
    std::string usageMessage;
    int code = checkServer(args, stdout, stderr, usageMessage);
    return code == kUsageError ? usageError(usageMessage) : code;
}

}  // namespace tovren::tool
