#pragma once
// tovren-tool check [--retries N] [--retry-wait-ms MS] SERVERBASE: validates a question server the
// way the client uses it.
#include <cstdio>
#include <string>

#include "tool.h"

namespace tovren::tool {

// Fetches the catalogue as the client does, then for every type of the type list and every
// question of its count the package (it must arrive whole under its own name and unpack) and its
// requirements (not empty), and the help document; everything goes through the client's download
// service and extraction, in a scratch folder that is removed afterwards. Prints one line per
// question, the warnings and a summary to `out`, progress to `err`. Returns 0 when everything is
// OK (warnings allowed), 1 otherwise, kUsageError with `usageMessage` on a usage error.
int checkServer(const Arguments& args, std::FILE* out, std::FILE* err, std::string& usageMessage);

}  // namespace tovren::tool
