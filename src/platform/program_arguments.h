// The program's command-line arguments as UTF-8 text, whatever the system hands main.
#pragma once

#include <string>
#include <vector>

namespace kvx {

// The arguments after the program's name. On Linux these are main's `argv` as they stand (file
// names are bytes there); on Windows they are read from the wide command line, since main's
// `argv` holds them in the ANSI code page, which cannot name every file.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace kvx
