// tovren-tool bank SOURCE OUT
#include <cstdio>

#include "bank_runner.h"
#include "tool.h"

namespace tovren::tool {

int runBank(const Arguments& args) {
    std::string usageMessage;
    int code = buildBank(args, stdout, stderr, usageMessage);
    return code == kUsageError ? usageError(usageMessage) : code;
}

}  // namespace tovren::tool
