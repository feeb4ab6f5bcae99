// The three things kvx-flash does, one function each; each returns the exit status.
//
// Call from main's thread, after setlocale and after the command line has been parsed.
#pragma once

#include "cli/cli_options.h"

namespace kvx {

// --list-ports: the free serial ports on standard output, one a line.
int RunListPorts();

// --info FILE: the image's versions, size and segment counts on standard output.
int RunInfo(const CliOptions& options);

// An upgrade run through the engine (flash_session.cpp).
int RunFlash(const CliOptions& options);

}  // namespace kvx
