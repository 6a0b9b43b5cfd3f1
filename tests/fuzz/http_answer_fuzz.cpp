// libFuzzer target: any bytes as a server's answer, through the head reader and everything that
// reads the head's values (lengths, Content-Range, Location, Content-Disposition names).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "http_answer_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string problem = tovren::fetch::fuzzing::answerProblem(
        std::string_view(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
