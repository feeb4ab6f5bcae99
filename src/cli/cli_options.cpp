#include "cli/cli_options.h"

#include <optional>

#include "cli/port_option_text.h"
#include "platform/user_messages.h"

namespace kvx {
namespace {

constexpr std::string_view kSynopsis =
    "Usage: kvx-flash (--port PORT... | --all-ports) [--repeat] [--count N] [--report FILE]\n"
    "                 [--compression=max] [--downgrade] [--force-boot] [--yes | --no] [--dev]\n"
    "                 [--dump-segments] [--trace[=FILE]] FILE\n"
    "       kvx-flash --list-ports\n"
    "       kvx-flash --info FILE\n"
    "       kvx-flash --version\n";

constexpr std::string_view kIntroduction =
    "\n"
    "Upgrades Velmora KVX-01 terminals on serial ports with the firmware FILE (an .stf archive\n"
    "or a .bin image): one terminal, several side by side, or a series on each port.\n"
    "\n";

// After the --port option, whose text names the system's ports (cli/port_option_text.h).
constexpr std::string_view kOptions =
    "  --all-ports      every free serial port of the list, side by side\n"
    "  --repeat         after each run, wait for the next terminal on the port (the device\n"
    "                   unplugged and another plugged in, or Enter) and upgrade it, until\n"
    "                   Ctrl-C\n"
    "  --count N        N runs on each port, then stop (implies --repeat)\n"
    "  --report FILE    append one JSON line per run to FILE\n"
    "  --compression=max  compress segments to the smallest zlib stream (fewer bytes on the\n"
    "                   line, more work on this computer); --compression=standard is the\n"
    "                   default\n"
    "  --downgrade      install an image older than the terminal's software\n"
    "  --force-boot     send the whole image, bootloader included\n"
    "  --yes, --no      answer the question whether to install the version the terminal\n"
    "                   already has; without either it is asked on the terminal when\n"
    "                   standard input is one, and answered no otherwise\n"
    "  --dev            switch the engine's development mode on\n"
    "  --dump-segments  write every segment sent to dump files in the current folder\n"
    "                   (needs --dev, one port only)\n"
    "  --trace[=FILE]   write the engine's trace to standard error, or to FILE (with several\n"
    "                   ports, FILE.PORT for each)\n"
    "  --list-ports     print the free serial ports, one a line, in the engine's order\n"
    "  --info FILE      print the image's versions, size and segment counts\n"
    "  --version        print the version\n"
    "  -h, --help       print this help\n"
    "\n"
    "Exit status: 0 every upgrade completed; 1 an upgrade failed or was refused; 2 usage error,\n"
    "or a file or port that cannot be used; 130 interrupted (the ports are closed before the\n"
    "exit).\n";

// Collects the options as given; the checks between them come afterwards.
struct Collected {
  CliOptions options;
  bool list_ports = false;
  bool info = false;
  bool version = false;
  bool count_given = false;
  bool compression_given = false;
  bool yes = false;
  bool no = false;
  bool trace_given = false;
  int files = 0;

  bool AnyFlashOption() const {
    return !options.ports.empty() || options.all_ports || options.repeat || count_given ||
           !options.report_file.empty() || compression_given || options.downgrade ||
           options.force_boot || yes || no || options.dev || options.dump_segments || trace_given;
  }
};

ParsedCommandLine Error(std::string text) {
  ParsedCommandLine result;
  result.outcome = ParsedCommandLine::Outcome::kError;
  result.error = std::move(text);
  return result;
}

// "1" to "100000"; anything else is no count.
std::optional<int> PositiveCount(std::string_view text) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int value = 0;
  for (const char ch : text) {
    if (ch < '0' || ch > '9') return std::nullopt;
    value = value * 10 + (ch - '0');
  }
  if (value < 1 || value > 100000) return std::nullopt;
  return value;
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
  if (c.list_ports + c.info + c.version > 1) {
    return Error("--list-ports, --info and --version exclude each other");
  }
  if (c.version) {
    if (c.AnyFlashOption() || c.files > 0) return Error("--version takes no other options");
    c.options.mode = CliMode::kVersion;
    ParsedCommandLine result;
    result.outcome = ParsedCommandLine::Outcome::kRun;
    result.options = std::move(c.options);
    return result;
  }
  if (c.files > 1) return Error("more than one FILE given");
  if (c.list_ports) {
    if (c.AnyFlashOption() || c.files > 0) return Error("--list-ports takes no other options");
    c.options.mode = CliMode::kListPorts;
  } else if (c.info) {
    if (c.AnyFlashOption()) return Error("--info takes no other options");
    if (c.files == 0) return Error("--info needs a FILE");
    c.options.mode = CliMode::kInfo;
  } else {
    if (c.options.ports.empty() && !c.options.all_ports) {
      return Error("--port PORT or --all-ports is required");
    }
    if (!c.options.ports.empty() && c.options.all_ports) {
      return Error("--port and --all-ports exclude each other");
    }
    const bool several = c.options.ports.size() > 1 || c.options.all_ports;
    if (c.options.dump_segments && several) return Error("--dump-segments takes one port");
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
      std::string_view port;
      if (option.value) {
        port = *option.value;
      } else if (i + 1 < args.size()) {
        port = args[++i];
      } else {
        return Error("--port needs a PORT");
      }
      if (port.empty()) return Error("--port needs a PORT");
      c.options.ports.emplace_back(port);
      continue;
    }
    if (option.name == "--count" || option.name == "--report") {
      std::string_view value;
      if (option.value) {
        value = *option.value;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      }
      if (option.name == "--report") {
        if (value.empty()) return Error("--report needs a FILE");
        c.options.report_file = value;
        continue;
      }
      const std::optional<int> count = PositiveCount(value);
      if (!count) return Error("--count needs a number of runs from 1 to 100000");
      c.count_given = true;
      c.options.count = *count;
      c.options.repeat = true;
      continue;
    }
    if (option.name == "--compression") {
      if (option.value == "max") {
        c.options.compression = CompressionMode::kMax;
      } else if (option.value == "standard") {
        c.options.compression = CompressionMode::kStandard;
      } else {
        return Error("--compression takes max or standard");
      }
      c.compression_given = true;
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
    if (option.name == "--version") flag = &c.version;
    if (option.name == "--all-ports") flag = &c.options.all_ports;
    if (option.name == "--repeat") flag = &c.options.repeat;
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
  static const std::string usage = std::string(kSynopsis) + std::string(kIntroduction) +
                                   std::string(kPortOptionText) + std::string(kOptions);
  return usage;
}

LPARAM StartOptionBits(const CliOptions& options) {
  LPARAM bits = 0;
  if (options.downgrade) bits |= OPTION_DOWNGRADE;
  if (options.force_boot) bits |= OPTION_FORCE_BOOT;
  return bits;
}

}  // namespace kvx
