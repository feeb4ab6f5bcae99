#include "sim/sim_options.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <utility>
#include <vector>

namespace kvx::sim {
namespace {

constexpr std::array<std::string_view, kAtStepCount> kStepNames = {
    "link", "hwver", "ggmr", "nv-check", "nv-update", "sysver", "usb-download", "upapp", "upgrade",
};

constexpr std::size_t kMaxBspVersion = 64;
constexpr std::size_t kMaxTetVersion = 16;
constexpr int kMaxDelayMs = 3'600'000;

// Decimal, or hexadecimal with 0x.
std::optional<long long> ParseNumber(std::string_view text, long long min, long long max) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < min ||
      value > max) {
    return std::nullopt;
  }
  return value;
}

std::optional<LineSpeed> ParseSpeed(std::string_view text) {
  if (text == "any") return LineSpeed{0};
  if (text == "115200") return LineSpeed{115200};
  if (text == "460800") return LineSpeed{460800};
  return std::nullopt;
}

// "N" or "all" after a fault's last ':'; absent means once.
std::optional<int> ParseTimes(std::string_view text) {
  if (text == "all") return kEveryTime;
  const auto n = ParseNumber(text, 1, 1'000'000);
  if (!n) return std::nullopt;
  return static_cast<int>(*n);
}

// Splits "STEP[:N|:all]".
std::optional<std::pair<AtStep, int>> ParseStepFault(std::string_view text) {
  const auto colon = text.find(':');
  const auto step = AtStepFromName(text.substr(0, colon));
  if (!step) return std::nullopt;
  int times = 1;
  if (colon != std::string_view::npos) {
    const auto parsed = ParseTimes(text.substr(colon + 1));
    if (!parsed) return std::nullopt;
    times = *parsed;
  }
  return std::pair{*step, times};
}

std::optional<FrameTarget> ParseTarget(std::string_view text) {
  if (text == "any") return FrameTarget{};
  if (text == "S") return FrameTarget{'S', -1};
  if (text == "F") return FrameTarget{'F', -1};
  if (text == "W") return FrameTarget{'W', -1};
  if (text.size() > 1 && text[0] == 'W') {
    const auto seg = ParseNumber(text.substr(1), 0, 0xFFFF);
    if (seg) return FrameTarget{'W', static_cast<int>(*seg)};
  }
  return std::nullopt;
}

// "TARGET:KIND[=VALUE][:N|:all]".
std::optional<FrameFault> ParseFrameFault(std::string_view text, std::string* why) {
  const auto first = text.find(':');
  if (first == std::string_view::npos) {
    *why = "expected TARGET:KIND";
    return std::nullopt;
  }
  FrameFault fault;
  const auto target = ParseTarget(text.substr(0, first));
  if (!target) {
    *why = "target must be S, F, W, W<segment> or any";
    return std::nullopt;
  }
  fault.target = *target;
  std::string_view rest = text.substr(first + 1);
  const auto second = rest.find(':');
  if (second != std::string_view::npos) {
    const auto times = ParseTimes(rest.substr(second + 1));
    if (!times) {
      *why = "count must be a positive number or all";
      return std::nullopt;
    }
    fault.times = *times;
    rest = rest.substr(0, second);
  }
  const auto equals = rest.find('=');
  const std::string_view kind = rest.substr(0, equals);
  const std::string_view value =
      equals == std::string_view::npos ? std::string_view{} : rest.substr(equals + 1);
  const bool has_value = equals != std::string_view::npos;

  struct KindSpec {
    FaultKind kind;
    bool needs_value;
    long long max;
  };
  static const std::map<std::string_view, KindSpec> kKinds = {
      {"silent", {FaultKind::kSilent, false, 0}},
      {"bad-crc", {FaultKind::kBadCrc, false, 0}},
      {"code", {FaultKind::kCode, true, 0xFF}},
      {"seg-error", {FaultKind::kSegError, true, 0xFFFF}},
      {"request", {FaultKind::kRequest, false, 0}},
      {"wrong-mode", {FaultKind::kWrongMode, false, 0}},
      {"noise", {FaultKind::kNoise, true, 65536}},
      {"vanish", {FaultKind::kVanish, true, 600000}},
  };
  const auto spec = kKinds.find(kind);
  if (spec == kKinds.end()) {
    *why = "unknown fault kind";
    return std::nullopt;
  }
  if (spec->second.needs_value != has_value) {
    *why = spec->second.needs_value ? "this fault needs =VALUE" : "this fault takes no value";
    return std::nullopt;
  }
  fault.kind = spec->second.kind;
  if (has_value) {
    const auto number = ParseNumber(value, 0, spec->second.max);
    if (!number) {
      *why = "value out of range";
      return std::nullopt;
    }
    fault.value = static_cast<int>(*number);
  }
  if (fault.kind == FaultKind::kWrongMode && fault.target.cmd != 'S') {
    *why = "wrong-mode applies to the setup frame only (target S)";
    return std::nullopt;
  }
  return fault;
}

// "YYYY-MM-DDTHH:MM:SS" (a space may stand for the T); fields within what the frames can hold.
std::optional<DateTime> ParseDateTime(std::string_view text) {
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' ||
      (text[10] != 'T' && text[10] != ' ') || text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  const auto field = [&](std::size_t at, std::size_t len, int min, int max) {
    return ParseNumber(text.substr(at, len), min, max);
  };
  const auto year = field(0, 4, 0, 9999);
  const auto month = field(5, 2, 1, 12);
  const auto day = field(8, 2, 1, 31);
  const auto hour = field(11, 2, 0, 23);
  const auto minute = field(14, 2, 0, 59);
  const auto second = field(17, 2, 0, 59);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  return DateTime{static_cast<int>(*year), static_cast<int>(*month),  static_cast<int>(*day),
                  static_cast<int>(*hour), static_cast<int>(*minute), static_cast<int>(*second)};
}

std::string MakeAbsolute(std::string_view path, std::string_view cwd) {
  if (!path.empty() && path[0] == '/') return std::string(path);
  std::string absolute(cwd);
  if (absolute.empty() || absolute.back() != '/') absolute += '/';
  absolute += path;
  return absolute;
}

// Each handler takes the option's value (empty for flags) and returns an error text or "".
using Handler = std::function<std::string(std::string_view)>;
struct Spec {
  bool takes_value;
  Handler handle;
};
using SpecTable = std::map<std::string_view, Spec>;

Spec TextOption(std::string* target, std::size_t max_size) {
  return Spec{true, [target, max_size](std::string_view v) -> std::string {
                if (v.size() > max_size) return "is longer than " + std::to_string(max_size);
                *target = std::string(v);
                return "";
              }};
}

Spec SpeedOption(LineSpeed* target) {
  return Spec{true, [target](std::string_view v) -> std::string {
                const auto speed = ParseSpeed(v);
                if (!speed) return "must be 115200, 460800 or any";
                *target = *speed;
                return "";
              }};
}

Spec DelayOption(int* target) {
  return Spec{true, [target](std::string_view v) -> std::string {
                const auto ms = ParseNumber(v, 0, kMaxDelayMs);
                if (!ms) return "must be a number of milliseconds up to 3600000";
                *target = static_cast<int>(*ms);
                return "";
              }};
}

Spec StepOption(std::array<int, kAtStepCount>* target) {
  return Spec{true, [target](std::string_view v) -> std::string {
                const auto parsed = ParseStepFault(v);
                if (!parsed) {
                  return "must be STEP[:N|:all] with STEP one of link, hwver, ggmr, nv-check, "
                         "nv-update, sysver, usb-download, upapp, upgrade";
                }
                (*target)[static_cast<std::size_t>(parsed->first)] = parsed->second;
                return "";
              }};
}

Spec DateOption(DateTime* target) {
  return Spec{true, [target](std::string_view v) -> std::string {
                const auto date = ParseDateTime(v);
                if (!date) return "must be YYYY-MM-DDTHH:MM:SS";
                *target = *date;
                return "";
              }};
}

Spec Flag(bool* target) {
  return Spec{false, [target](std::string_view) -> std::string {
                *target = true;
                return "";
              }};
}

// The options that describe one terminal, and so may be given for one terminal of a series.
SpecTable TerminalSpecs(TerminalOptions& t) {
  return {
      {"--baud", SpeedOption(&t.normal_speed)},
      {"--download-baud", SpeedOption(&t.download_speed)},
      {"--echo", Flag(&t.at.echo)},
      {"--hwver", TextOption(&t.at.hwver_reply, 256)},
      {"--ggmr", TextOption(&t.at.ggmr_reply, 256)},
      {"--nv", TextOption(&t.at.nv_version, 64)},
      {"--sysver", TextOption(&t.at.sysver_reply, 256)},
      {"--error-at", StepOption(&t.at.error_times)},
      {"--silent-at", StepOption(&t.at.silent_times)},
      {"--reset-after", DelayOption(&t.reset_after_ms)},
      {"--restart-delay", DelayOption(&t.restart_delay_ms)},
      {"--mode-echo", Spec{true,
                           [&t](std::string_view v) -> std::string {
                             const auto mode = ParseNumber(v, 0, 255);
                             if (!mode) return "must be a byte value 0..255";
                             t.download.mode_echo = static_cast<int>(*mode);
                             return "";
                           }}},
      {"--bspver", TextOption(&t.download.bsp_version, kMaxBspVersion)},
      {"--bsp-date", DateOption(&t.download.bsp_date)},
      {"--tetver", TextOption(&t.download.tet_version, kMaxTetVersion)},
      {"--tet-date", DateOption(&t.download.tet_date)},
      {"--fault", Spec{true,
                       [&t](std::string_view v) -> std::string {
                         std::string why;
                         const auto fault = ParseFrameFault(v, &why);
                         if (!fault) return why;
                         t.download.faults.push_back(*fault);
                         return "";
                       }}},
  };
}

// The options of the simulator as a whole.
SpecTable SimulatorSpecs(SimOptions& o, std::string& link) {
  return {
      {"--link", TextOption(&link, 4096)},
      {"--log", TextOption(&o.log_path, 4096)},
      {"--ready-file", TextOption(&o.ready_file, 4096)},
      {"--once", Flag(&o.once)},
      {"--output", TextOption(&o.output_path, 4096)},
      {"--line-rate", Flag(&o.line_rate)},
      {"--terminals", Spec{true,
                           [&o](std::string_view v) -> std::string {
                             const auto n = ParseNumber(v, 1, kMaxTerminals);
                             if (!n) return "must be a number from 1 to 10000";
                             o.terminals = static_cast<int>(*n);
                             return "";
                           }}},
      {"--next-terminal-delay", DelayOption(&o.next_terminal_delay_ms)},
      {"--host-gone-after", DelayOption(&o.host_gone_after_ms)},
      // Names the terminal the option after it is for; the parser itself takes both.
      {"--for-terminal", Spec{true, [](std::string_view) { return std::string(); }}},
  };
}

// One option found on the command line with its value (empty for a flag).
struct GivenOption {
  std::string_view name;
  std::string_view value;
};

// Reads the option at args[*i] and its value ("--name=value" or "--name value") from the first
// of `tables` that knows it, advancing *i past what it took. Error text, or "" with *given and
// *spec filled.
std::string ReadOption(std::span<const std::string_view> args, std::size_t* i,
                       std::initializer_list<const SpecTable*> tables, GivenOption* given,
                       const Spec** spec) {
  std::string_view arg = args[*i];
  std::optional<std::string_view> inline_value;
  if (const auto equals = arg.find('=');
      arg.starts_with("--") && equals != std::string_view::npos) {
    inline_value = arg.substr(equals + 1);
    arg = arg.substr(0, equals);
  }
  *spec = nullptr;
  for (const SpecTable* table : tables) {
    if (const auto found = table->find(arg); found != table->end()) {
      *spec = &found->second;
      break;
    }
  }
  if (*spec == nullptr) return "unknown option " + std::string(arg);
  given->name = arg;
  given->value = {};
  if ((*spec)->takes_value) {
    if (inline_value) {
      given->value = *inline_value;
    } else if (*i + 1 < args.size()) {
      given->value = args[++*i];
    } else {
      return std::string(arg) + " needs a value";
    }
  } else if (inline_value) {
    return std::string(arg) + " takes no value";
  }
  return "";
}

// The option after "--for-terminal NUMBER", kept in *own for ApplyOwnOptions; *i is at NUMBER.
std::string ReadOwnOption(std::span<const std::string_view> args, std::size_t* i,
                          std::string_view number_text, const SpecTable& terminal_specs,
                          const SpecTable& simulator_specs,
                          std::vector<std::pair<int, GivenOption>>* own) {
  const auto number = ParseNumber(number_text, 1, kMaxTerminals);
  if (!number) return "must be a terminal number from 1 to 10000";
  if (++*i == args.size()) return "needs an option after the terminal number";
  GivenOption given;
  const Spec* spec = nullptr;
  std::string why = ReadOption(args, i, {&terminal_specs}, &given, &spec);
  const std::string_view name = args[*i].substr(0, args[*i].find('='));
  if (spec == nullptr && simulator_specs.contains(name)) {
    return std::string(name) + " applies to the whole simulator, not to one terminal";
  }
  if (!why.empty()) return why;
  own->emplace_back(static_cast<int>(*number), given);
  return "";
}

// Terminal `number`'s own options: every terminal's, then its own applied in the order given.
std::string ApplyOwnOptions(const std::vector<std::pair<int, GivenOption>>& own, SimOptions& o) {
  for (const auto& [number, given] : own) {
    if (number > o.terminals) {
      return "--for-terminal " + std::to_string(number) + ": the series has " +
             std::to_string(o.terminals) + " terminals";
    }
    TerminalOptions& terminal = o.own_options.try_emplace(number, o.terminal).first->second;
    const SpecTable specs = TerminalSpecs(terminal);
    if (std::string why = specs.at(given.name).handle(given.value); !why.empty()) {
      return "--for-terminal " + std::to_string(number) + " " + std::string(given.name) + ": " +
             why;
    }
  }
  return "";
}

}  // namespace

std::string_view AtStepName(AtStep step) {
  return kStepNames[static_cast<std::size_t>(step)];
}

std::optional<AtStep> AtStepFromName(std::string_view name) {
  for (std::size_t i = 0; i < kStepNames.size(); ++i) {
    if (kStepNames[i] == name) return static_cast<AtStep>(i);
  }
  return std::nullopt;
}

bool Countdown::Take() {
  if (remaining_ == kEveryTime) return true;
  if (remaining_ <= 0) return false;
  --remaining_;
  return true;
}

std::string DefaultLinkPath(const char* tmpdir) {
  std::string base = tmpdir != nullptr && tmpdir[0] != '\0' ? tmpdir : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/kvx-sim/ttyKVX0";
}

std::string FormatDateTime(const DateTime& d) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                d.minute, d.second);
  return text;
}

const TerminalOptions& SimOptions::ForTerminal(int number) const {
  const auto own = own_options.find(number);
  return own == own_options.end() ? terminal : own->second;
}

std::string SeriesOutputPath(std::string_view output_path, int number) {
  return std::string(output_path) + "." + std::to_string(number);
}

ParsedOptions ParseOptions(std::span<const std::string_view> args, std::string_view default_link,
                           std::string_view cwd) {
  SimOptions options;
  std::string link(default_link);
  ParsedOptions result;
  const SpecTable terminal_specs = TerminalSpecs(options.terminal);
  const SpecTable simulator_specs = SimulatorSpecs(options, link);
  // Applied once every terminal's options are known, since they start from those.
  std::vector<std::pair<int, GivenOption>> own;

  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      result.help = true;
      return result;
    }
    if (args[i] == "--version") {
      result.version = true;
      return result;
    }
    GivenOption given;
    const Spec* spec = nullptr;
    if (std::string why = ReadOption(args, &i, {&terminal_specs, &simulator_specs}, &given, &spec);
        !why.empty()) {
      result.error = std::move(why);
      return result;
    }
    if (given.name == "--for-terminal") {
      if (std::string why =
              ReadOwnOption(args, &i, given.value, terminal_specs, simulator_specs, &own);
          !why.empty()) {
        result.error = "--for-terminal: " + why;
        return result;
      }
      continue;
    }
    if (std::string why = spec->handle(given.value); !why.empty()) {
      result.error = std::string(given.name) + ": " + why;
      return result;
    }
  }
  if (link.empty()) {
    result.error = "--link: must not be empty";
    return result;
  }
  if (options.once && options.terminals > 0) {
    result.error = "--once and --terminals exclude each other";
    return result;
  }
  if (!own.empty() && options.terminals == 0) {
    result.error = "--for-terminal needs --terminals";
    return result;
  }
  if (std::string why = ApplyOwnOptions(own, options); !why.empty()) {
    result.error = std::move(why);
    return result;
  }
  options.link_path = MakeAbsolute(link, cwd);
  result.options = std::move(options);
  return result;
}

std::string HelpText() {
  return R"(Usage: kvx-sim [OPTION]...
A simulated Velmora KVX-01 terminal on a pseudo-terminal. It answers the AT dialogue, restarts
into download mode, checks every download frame strictly and can inject faults.

On start it prints two lines on standard output:
  export KVX_SERIAL_PORTS=<link>     the line to export for the host
  ready <link>                       the link is in place and the terminal listens
and when a transfer ends (the host closes the line after "+START"):
  summary result=complete|aborted frames=N resends=N refused=N stray=N mode=N|none segments=N
      bytes=N crc32=0xXXXXXXXX           (one line; bytes: image data received in order)
  finish first="TEXT" first_date=DATE second="TEXT" second_date=DATE   (when completed)
Without --once or --terminals the terminal then restarts into the application and serves the
next upgrade. With --terminals the next terminal of the series comes up instead, and
  terminal K                         terminal K of the series is on the line

Line:
  --link PATH             symlink to the terminal's pty, kept across restarts
                          (default $TMPDIR/kvx-sim/ttyKVX0, TMPDIR defaulting to /tmp)
  --baud 115200|460800|any
                          line speed answered before download mode (default 115200);
                          bytes received at another speed are ignored
  --download-baud 115200|460800|any
                          line speed answered in download mode (default 460800)
  --reset-after MS        after acknowledging USB_DOWNLOAD, drop off the line MS after the
                          "OK" has gone out (default 100)
  --restart-delay MS      how long the line stays away before the new pty appears
                          behind the same link (default 500)
  --line-rate             pace both directions at baud/10 bytes per second

AT replies (LINE is the whole reply line without its CR LF):
  --echo                  echo each command before its reply
  --hwver LINE            reply to at+hwver, followed by OK (default "+HWVER: SFQAABCDEFG V2.0.1")
  --ggmr LINE             reply to at+ggmr, followed by OK (default "JQ_SAT_V3.1.0 2024/01/10";
                          "EMERGENCY" makes an emergency-mode terminal)
  --nv TEXT               NV version: the reply to the NV check is "NV_VER" TEXT (default "1.00");
                          AT+MMI="NEW_NVM_VERSION",xxxx replaces it
  --sysver LINE           reply to AT+SYSVer (default "OK+SYSVer:KVX_2.0.0_ML_VM")
  --error-at STEP[:N|:all]
                          answer "ERROR" at STEP, the first N times (default 1) or always;
                          "ERROR" at usb-download means no restart, at upgrade no "+START"
  --silent-at STEP[:N|:all]
                          give no answer at STEP and take no action, N times or always
                          STEP is one of: link hwver ggmr nv-check nv-update sysver
                          usb-download upapp upgrade (both options may be repeated)

Download mode:
  --mode-echo N           mode byte reported in the setup answer (default: the mode received)
  --bspver TEXT           BSPVer of the setup answer, at most 64 bytes
                          (default "SFQAABCDEFG V2.0.1")
  --bsp-date DATE         BSP date, YYYY-MM-DDTHH:MM:SS (default 2024-01-10T09:30:00)
  --tetver TEXT           TETVer of the setup answer, at most 16 bytes (default "OKR_TET_1.0.0")
  --tet-date DATE         TET date (default 2024-01-10T09:30:00)
  --fault TARGET:KIND[=VALUE][:N|:all]
                          fault on the answer to matching frames that pass every check: the
                          first N of them, resends included (default 1), or all; may be
                          repeated. TARGET: S, F, W (any write), W<seg>, any.
                          KIND: silent          frame lost, no answer
                                bad-crc         answer with a corrupted head CRC
                                code=BYTE       answer with this result code (0xC9, 0, ...)
                                seg-error=SEG   answer RC_SEG_ERROR naming segment SEG
                                request         answer with a 'D' request frame
                                wrong-mode      setup answer echoes the other mode (S only)
                                noise=COUNT     COUNT noise bytes (never SYN) before the answer
                                vanish=MS       no answer; the line goes away for MS ms and
                                                the terminal comes back in the application
  --output FILE           write the image data of a completed transfer to FILE

A series of terminals (a production line: one terminal after another on the same link):
  --terminals N           serve N terminals, 1 to 10000, then exit. When terminal K's run has
                          ended, the link goes away and terminal K+1 comes up behind it, fresh:
                          a new pty, in the application, with its own options. A run has ended
                            - when the host closes the line in download mode (after a completed
                              transfer, or when it gives up there), or
                            - when the host, having spoken to this terminal, has closed the
                              line and not spoken again for the --host-gone-after time (a run
                              that failed before download mode, or a terminal that vanished and
                              was not opened again);
                          the host's own closes within a run (connection attempts at the other
                          speed, a test whether the port is free, the restart into download
                          mode) are far shorter. Opening the port without a word neither starts
                          a run nor keeps one going; holding it open does. Excludes --once.
  --next-terminal-delay MS
                          how long the link is gone between two terminals (default 1000); keep
                          it above the interval at which the host looks for the port
  --host-gone-after MS    see above (default 3000)
  --for-terminal K OPTION [VALUE]
                          OPTION applies to terminal K only, on top of the options every
                          terminal has; repeat the prefix for each such option. OPTION is one of
                          --baud --download-baud --reset-after --restart-delay, the AT reply
                          and download options above. Example, terminal 2 of 3 refuses a write:
                            --terminals 3 --for-terminal 2 --fault W1:code=0xC9:all
                          Faults count their occasions per terminal.
  With --output FILE, terminal K writes to FILE.K; the log marks where each terminal begins
  with "event terminal K". Exit status: 0 when all N terminals have run and every transfer that
  completed passed every check and was written; 1 otherwise (a failed run is the host's to
  report: the summary line says result=aborted).

Run:
  --log FILE              log every received command and frame, one line each (see below)
  --ready-file FILE       write the link path to FILE once the terminal listens
  --once                  exit when the first transfer has ended (the host closes the line after
                          "+START", or a signal arrives): status 0 when it completed with every
                          frame passing the checks and no stray bytes, 1 otherwise
  -h, --help              show this help
  --version               print the program's version

Log lines (strings in double quotes with C escapes: \r \n \t \" \\ and \xHH, two hex digits):
  at BAUD "COMMAND" [truncated N]
                          a command the terminal answered or refused, CR included; one
                          longer than 256 bytes is refused and its first 256 bytes logged
  ignored BAUD "BYTES" [truncated N]
                          bytes received at a speed not answered, or while restarting
                          (the first 1024 of each read)
  reply "BYTES"           what the terminal sent back
  frame C seg=N body=N raw=N [resend ]VERDICT
                          a download frame of the host; "resend" when it repeats the frame
                          before it byte for byte. VERDICT: accepted; declined (a fault made
                          the terminal turn it down); dropped (lost by a silent fault); or
                          refused 0xHH REASON (it failed a check; answered with code 0xHH)
  response C code=0xHH seg=N [fault=KIND]
                          a download frame the terminal sent
  noise N                 noise bytes sent before an answer
  stray N                 bytes from the host outside any frame
  summary ..., finish ... the lines printed when a transfer ends
  event TEXT              line up and down, host open and close, restarts, vanishing, and in
                          a series: terminal K, and run ended (REASON) with the reason

Numbers may be given in decimal or with 0x in hexadecimal. SIGINT and SIGTERM end the program
and remove the link.
)";
}

}  // namespace kvx::sim
