#pragma once
// tovren-tool bank SOURCE OUT: builds a question server's folder from a readable source.
//
// SOURCE holds one folder per question, named "<Type>-<N>" (Word-1, Excel-3, ...), with the
// question's exercise files and a UTF-8 "requirements.txt", one requirement per line; optionally
// ITHelp.chm beside them. OUT receives Kavrel/config.txt (GBK, both sections), one ZIP package
// per question and the help document.
#include <cstdio>
#include <string>

#include "tool.h"

namespace tovren::tool {

// Checks the whole source first: a refused source writes nothing under OUT. Every file is
// written under a temporary name and takes its final name only when all of them are complete.
// Prints one line per file written to `out` and returns 0; returns 1 with the reason on `err`
// when the source is refused or a file cannot be written. On a usage error returns kUsageError
// with the message in `usageMessage`.
int buildBank(const Arguments& args, std::FILE* out, std::FILE* err, std::string& usageMessage);

}  // namespace tovren::tool
