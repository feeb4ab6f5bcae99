#include "cli/cli_options.h"

#include <optional>

#include "platform/user_messages.h"

namespace kvx {
namespace {

constexpr std::string_view kSynopsis =
    "Usage: kvx-flash --port PORT [--downgrade] [--force-boot] [--yes | --no] [--dev]\n"
    "                 [--dump-segments] [--trace[=FILE]] FILE\n"
    "       kvx-flash --list-ports\n"
    "       kvx-flash --info FILE\n";

constexpr std::string_view kUsage =
    "Usage: kvx-flash --port PORT [--downgrade] [--force-boot] [--yes | --no] [--dev]\n"
    "                 [--dump-segments] [--trace[=FILE]] FILE\n"
    "       kvx-flash --list-ports\n"
    "       kvx-flash --info FILE\n"
    "\n"
    "Upgrades a Velmora KVX-01 terminal on a serial port with the firmware FILE (an .stf\n"
    "archive or a .bin image).\n"
    "\n"
    "  --port PORT      the terminal's serial port: a name such as ttyUSB0 or a path; it must\n"
    "                   be one of the system's serial ports (a pseudo-terminal must be named\n"
    "                   in KVX_SERIAL_PORTS)\n"
    "  --downgrade      install an image older than the terminal's software\n"
    "  --force-boot     send the whole image, bootloader included\n"
    "  --yes, --no      answer the question whether to install the version the terminal\n"
    "                   already has; without either it is asked on the terminal when\n"
    "                   standard input is one, and answered no otherwise\n"
    "  --dev            switch the engine's development mode on\n"
    "  --dump-segments  write every segment sent to dump files in the current folder\n"
    "                   (needs --dev)\n"
    "  --trace[=FILE]   write the engine's trace to standard error, or to FILE\n"
    "  --list-ports     print the free serial ports, one a line, in the engine's order\n"
    "  --info FILE      print the image's versions, size and segment counts\n"
    "  -h, --help       print this help\n"
    "\n"
    "Exit status: 0 upgrade completed; 1 upgrade failed or refused; 2 usage error, or a file\n"
    "or port that cannot be used; 130 interrupted (the port is closed before the exit).\n";

// Collects the options as given; the checks between them come afterwards.
struct Collected {
  CliOptions options;
  bool list_ports = false;
  bool info = false;
  bool port_given = false;
  bool yes = false;
  bool no = false;
  bool trace_given = false;
  int files = 0;

  bool AnyFlashOption() const {
    return port_given || options.downgrade || options.force_boot || yes || no || options.dev ||
           options.dump_segments || trace_given;
  }
};

ParsedCommandLine Error(std::string text) {
  ParsedCommandLine result;
  result.outcome = ParsedCommandLine::Outcome::kError;
  result.error = std::move(text);
  return result;
}

// Splits "--name=value" into its name and value.
struct LongOption {
  std::string_view name;
  std::optional<std::string_view> value;
};
LongOption SplitLongOption(std::string_view arg) {
  const auto equals = arg.find('=');
  if (equals == std::string_view::npos) return {arg, std::nullopt};
  return {arg.substr(0, equals), arg.substr(equals + 1)};
}

// The checks between options once all have been read.
ParsedCommandLine Validate(Collected c) {
  if (c.list_ports && c.info) return Error("--list-ports and --info exclude each other");
  if (c.files > 1) return Error("more than one FILE given");
  if (c.list_ports) {
    if (c.AnyFlashOption() || c.files > 0) return Error("--list-ports takes no other options");
    c.options.mode = CliMode::kListPorts;
  } else if (c.info) {
    if (c.AnyFlashOption()) return Error("--info takes no other options");
    if (c.files == 0) return Error("--info needs a FILE");
    c.options.mode = CliMode::kInfo;
  } else {
    if (!c.port_given) return Error("--port PORT is required");
    if (c.files == 0) return Error("no FILE given");
    if (c.yes && c.no) return Error("--yes and --no exclude each other");
    if (c.options.dump_segments && !c.options.dev) return Error("--dump-segments needs --dev");
    c.options.mode = CliMode::kFlash;
    c.options.answer = c.yes ? AnswerMode::kYes : c.no ? AnswerMode::kNo : AnswerMode::kAsk;
  }
  ParsedCommandLine result;
  result.outcome = ParsedCommandLine::Outcome::kRun;
  result.options = std::move(c.options);
  return result;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  Collected c;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg == "-" || !arg.starts_with("-")) {
      if (arg.empty()) return Error("FILE is empty");
      ++c.files;
      c.options.file = arg;
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      ParsedCommandLine help;
      help.outcome = ParsedCommandLine::Outcome::kHelp;
      return help;
    }
    const LongOption option = SplitLongOption(arg);
    if (option.name == "--port") {
      if (c.port_given) return Error("--port given more than once");
      std::string_view port;
      if (option.value) {
        port = *option.value;
      } else if (i + 1 < args.size()) {
        port = args[++i];
      } else {
        return Error("--port needs a PORT");
      }
      if (port.empty()) return Error("--port needs a PORT");
      c.port_given = true;
      c.options.port = port;
      continue;
    }
    if (option.name == "--trace") {
      c.trace_given = true;
      if (!option.value) {
        c.options.trace = TraceTarget::kStandardError;
      } else if (option.value->empty()) {
        return Error("--trace= needs a FILE");
      } else {
        c.options.trace = TraceTarget::kFile;
        c.options.trace_file = *option.value;
      }
      continue;
    }
    bool* flag = nullptr;
    if (option.name == "--downgrade") flag = &c.options.downgrade;
    if (option.name == "--force-boot") flag = &c.options.force_boot;
    if (option.name == "--yes") flag = &c.yes;
    if (option.name == "--no") flag = &c.no;
    if (option.name == "--dev") flag = &c.options.dev;
    if (option.name == "--dump-segments") flag = &c.options.dump_segments;
    if (option.name == "--list-ports") flag = &c.list_ports;
    if (option.name == "--info") flag = &c.info;
    if (!flag) return Error("unknown option '" + arg + "'");
    if (option.value) return Error("option " + std::string(option.name) + " takes no value");
    *flag = true;
  }
  return Validate(std::move(c));
}

std::string_view UsageSynopsis() {
  return kSynopsis;
}

std::string_view UsageText() {
  return kUsage;
}

LPARAM StartOptionBits(const CliOptions& options) {
  LPARAM bits = 0;
  if (options.downgrade) bits |= OPTION_DOWNGRADE;
  if (options.force_boot) bits |= OPTION_FORCE_BOOT;
  return bits;
}

}  // namespace kvx
