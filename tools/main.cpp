// tovren-tool: the command-line companion for people who run a question server, built from the
// same libraries as the client.
#include <cstdio>
#include <string_view>

#include "platform/console.h"
#include "tool.h"

namespace tovren::tool {

namespace {
constexpr const char* kUsage =
    "usage: tovren-tool catalogue FILE count TYPE | catalogue FILE list COUNT |"
    " catalogue FILE requirements KEY | unzip ARCHIVE FOLDER\n"
    "       tovren-tool fetch [--retries N] [--retry-wait-ms MS] [--connect-timeout-ms MS]"
    " [--send-timeout-ms MS] [--receive-timeout-ms MS] [--stop-after-ms MS] URL LOCALPATH\n"
    "       tovren-tool check [--retries N] [--retry-wait-ms MS] SERVERBASE | bank SOURCE OUT\n"
    "       tovren-tool brand EXE --server-base URL [--testing-site-base URL] OUT\n"
    "       tovren-tool grade CATALOGUE KEY FOLDER\n";

struct Command {
    std::string_view name;
    int (*run)(const Arguments&);
};
constexpr Command kCommands[] = {
    {"catalogue", runCatalogue},
    {"unzip", runUnzip},
    {"fetch", runFetch},
    {"check", runCheck},
    {"bank", runBank},
    {"brand", runBrand},
    {"grade", runGrade},
};
}  // namespace

int usageError(const std::string& message) {
    std::fprintf(stderr, "tovren-tool: %s\n%s", message.c_str(), kUsage);
    return kUsageError;
}

}  // namespace tovren::tool

int main(int argc, char** argv) {
    using namespace tovren;
    platform::setBinaryStdout();
    tool::Arguments args = platform::utf8Arguments(argc, argv);
    if (args.size() < 2) return tool::usageError("no command given");
    for (const tool::Command& command : tool::kCommands) {
        if (args[1] == command.name)
            return command.run(tool::Arguments(args.begin() + 2, args.end()));
    }
    return tool::usageError("unknown command '" + args[1] + "'");
}
