// tovren-tool brand EXE --server-base URL [--testing-site-base URL] OUT
#include <cstdio>

#include "brand_runner.h"
#include "tool.h"

namespace tovren::tool {

int runBrand(const Arguments& args) {
    std::string usageMessage;
    int code = brandExecutable(args, stdout, stderr, usageMessage);
    return code == kUsageError ? usageError(usageMessage) : code;
}

}  // namespace tovren::tool
