// tovren-tool unzip ARCHIVE FOLDER: unpacks as the client does and prints the result.
#include <cstdio>
#include <string>

#include "fetch/extract.h"
#include "tool.h"

namespace tovren::tool {

int runUnzip(const Arguments& args) {
    if (args.size() != 2) return usageError("unzip takes ARCHIVE and FOLDER");
    std::string line = std::to_string(fetch::extractAll(args[0], args[1])) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    // The result is the output; the exit code says only that the command ran.
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace tovren::tool
