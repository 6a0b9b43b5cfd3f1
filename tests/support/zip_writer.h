#pragma once
// The ZIP writer moved to tools/zip, where tovren-tool uses it too; tests keep their names.
#include "zip/zip_writer.h"

namespace tovren::testing {
using namespace tovren::zip;
}  // namespace tovren::testing
