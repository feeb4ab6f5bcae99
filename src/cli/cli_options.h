// The command line of kvx-flash:
//
//   kvx-flash (--port PORT... | --all-ports) [--repeat] [--count N] [--report FILE]
//             [--compression=max] [--downgrade] [--force-boot] [--yes | --no] [--dev]
//             [--dump-segments] [--trace[=FILE]] FILE
//   kvx-flash --list-ports
//   kvx-flash --info FILE
//   kvx-flash --version
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
  kVersion,    // print the program's version
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

enum class CompressionMode {
  kStandard,  // zlib's default level
  kMax,       // --compression=max: the smallest zlib stream
};

struct CliOptions {
  CliMode mode = CliMode::kFlash;
  std::vector<std::string> ports;  // as given, in order; resolved against the port list later
  bool all_ports = false;          // --all-ports: every free port of the engine's list
  bool repeat = false;             // --repeat or --count: a series of terminals on each port
  int count = 0;                   // --count N: runs per port; 0 until Ctrl-C
  std::string report_file;         // --report FILE; empty for none
  CompressionMode compression = CompressionMode::kStandard;
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
