// The command line of kvx-flash:
//
//   kvx-flash --port PORT [--downgrade] [--force-boot] [--yes | --no] [--dev] [--dump-segments]
//             [--trace[=FILE]] FILE
//   kvx-flash --list-ports
//   kvx-flash --info FILE
//
// Parsing is a pure function of the arguments, so every usage error is decided before anything
// is opened or started.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/message.h"

namespace kvx {

enum class CliMode {
  kFlash,      // upgrade a terminal
  kListPorts,  // print the free serial ports
  kInfo,       // print what an image holds
};

// How the question "The same version is already on the KVX-01..." is answered.
enum class AnswerMode {
  kAsk,  // on the terminal when standard input is one, else No
  kYes,  // --yes
  kNo,   // --no
};

enum class TraceTarget {
  kNone,
  kStandardError,  // --trace
  kFile,           // --trace=FILE
};

struct CliOptions {
  CliMode mode = CliMode::kFlash;
  std::string port;  // as given; resolved against the port list later
  std::string file;  // the firmware file (flash and info)
  bool downgrade = false;
  bool force_boot = false;
  bool dev = false;
  bool dump_segments = false;
  AnswerMode answer = AnswerMode::kAsk;
  TraceTarget trace = TraceTarget::kNone;
  std::string trace_file;
};

struct ParsedCommandLine {
  enum class Outcome {
    kRun,    // `options` holds what to do
    kHelp,   // print the usage to standard output and exit 0
    kError,  // print `error` and the usage to standard error and exit 2
  };
  Outcome outcome = Outcome::kError;
  CliOptions options;
  std::string error;
};

// `args` are the arguments after the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The three synopsis lines.
std::string_view UsageSynopsis();
// The synopsis, every option and the exit statuses (--help).
std::string_view UsageText();

// lParam of WM_USER_UPGRADE_START, as the Start button builds it: bit 0 downgrade, bit 2 forced
// bootloader; bit 1 (forced stack) is never set.
LPARAM StartOptionBits(const CliOptions& options);

}  // namespace kvx
