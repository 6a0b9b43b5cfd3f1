#pragma once
// tovren-tool's commands. Each takes the arguments after its own name and returns the exit code.
#include <string>
#include <vector>

namespace tovren::tool {

using Arguments = std::vector<std::string>;

inline constexpr int kUsageError = 64;

int runCatalogue(const Arguments& args);
int runUnzip(const Arguments& args);
int runFetch(const Arguments& args);
int runCheck(const Arguments& args);
int runBank(const Arguments& args);
int runBrand(const Arguments& args);
int runGrade(const Arguments& args);

// Prints "tovren-tool: <message>" and the usage line to stderr; returns kUsageError.
int usageError(const std::string& message);

}  // namespace tovren::tool
