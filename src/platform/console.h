#pragma once
// The command line and standard streams of a console program, the same on every build.
#include <string>
#include <vector>

namespace tovren::platform {

// The program's arguments as UTF-8, the program name first (on Windows from the wide command
// line, whatever the console's code page).
std::vector<std::string> utf8Arguments(int argc, char** argv);

// Standard output takes bytes as they are: no CR is added before LF.
void setBinaryStdout();

}  // namespace tovren::platform
