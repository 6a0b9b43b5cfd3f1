#include "platform/console.h"

namespace tovren::platform {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return {argv, argv + argc};
}

void setBinaryStdout() {}

}  // namespace tovren::platform
