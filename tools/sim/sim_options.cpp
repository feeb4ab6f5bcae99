#include "sim/sim_options.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <map>

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

ParsedOptions ParseOptions(std::span<const std::string_view> args, std::string_view default_link,
                           std::string_view cwd) {
  SimOptions options;
  std::string link(default_link);
  ParsedOptions result;

  // Each handler takes the option's value (empty for flags) and returns an error text or "".
  using Handler = std::function<std::string(std::string_view)>;
  struct Spec {
    bool takes_value;
    Handler handle;
  };
  const auto text_option = [](std::string* target, std::size_t max_size) {
    return Spec{true, [target, max_size](std::string_view v) -> std::string {
                  if (v.size() > max_size) return "is longer than " + std::to_string(max_size);
                  *target = std::string(v);
                  return "";
                }};
  };
  const auto speed_option = [](LineSpeed* target) {
    return Spec{true, [target](std::string_view v) -> std::string {
                  const auto speed = ParseSpeed(v);
                  if (!speed) return "must be 115200, 460800 or any";
                  *target = *speed;
                  return "";
                }};
  };
  const auto delay_option = [](int* target) {
    return Spec{true, [target](std::string_view v) -> std::string {
                  const auto ms = ParseNumber(v, 0, kMaxDelayMs);
                  if (!ms) return "must be a number of milliseconds up to 3600000";
                  *target = static_cast<int>(*ms);
                  return "";
                }};
  };
  const auto step_option = [](std::array<int, kAtStepCount>* target) {
    return Spec{true, [target](std::string_view v) -> std::string {
                  const auto parsed = ParseStepFault(v);
                  if (!parsed) {
                    return "must be STEP[:N|:all] with STEP one of link, hwver, ggmr, nv-check, "
                           "nv-update, sysver, usb-download, upapp, upgrade";
                  }
                  (*target)[static_cast<std::size_t>(parsed->first)] = parsed->second;
                  return "";
                }};
  };
  const auto date_option = [](DateTime* target) {
    return Spec{true, [target](std::string_view v) -> std::string {
                  const auto date = ParseDateTime(v);
                  if (!date) return "must be YYYY-MM-DDTHH:MM:SS";
                  *target = *date;
                  return "";
                }};
  };
  const auto flag = [](bool* target) {
    return Spec{false, [target](std::string_view) -> std::string {
                  *target = true;
                  return "";
                }};
  };

  const std::map<std::string_view, Spec> specs = {
      {"--link", text_option(&link, 4096)},
      {"--baud", speed_option(&options.normal_speed)},
      {"--download-baud", speed_option(&options.download_speed)},
      {"--echo", flag(&options.at.echo)},
      {"--hwver", text_option(&options.at.hwver_reply, 256)},
      {"--ggmr", text_option(&options.at.ggmr_reply, 256)},
      {"--nv", text_option(&options.at.nv_version, 64)},
      {"--sysver", text_option(&options.at.sysver_reply, 256)},
      {"--error-at", step_option(&options.at.error_times)},
      {"--silent-at", step_option(&options.at.silent_times)},
      {"--reset-after", delay_option(&options.reset_after_ms)},
      {"--restart-delay", delay_option(&options.restart_delay_ms)},
      {"--log", text_option(&options.log_path, 4096)},
      {"--ready-file", text_option(&options.ready_file, 4096)},
      {"--once", flag(&options.once)},
      {"--output", text_option(&options.output_path, 4096)},
      {"--line-rate", flag(&options.line_rate)},
      {"--mode-echo", Spec{true,
                           [&options](std::string_view v) -> std::string {
                             const auto mode = ParseNumber(v, 0, 255);
                             if (!mode) return "must be a byte value 0..255";
                             options.download.mode_echo = static_cast<int>(*mode);
                             return "";
                           }}},
      {"--bspver", text_option(&options.download.bsp_version, kMaxBspVersion)},
      {"--bsp-date", date_option(&options.download.bsp_date)},
      {"--tetver", text_option(&options.download.tet_version, kMaxTetVersion)},
      {"--tet-date", date_option(&options.download.tet_date)},
      {"--fault", Spec{true,
                       [&options](std::string_view v) -> std::string {
                         std::string why;
                         const auto fault = ParseFrameFault(v, &why);
                         if (!fault) return why;
                         options.download.faults.push_back(*fault);
                         return "";
                       }}},
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      result.help = true;
      return result;
    }
    std::optional<std::string_view> inline_value;
    if (const auto equals = arg.find('=');
        arg.starts_with("--") && equals != std::string_view::npos) {
      inline_value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
    }
    const auto spec = specs.find(arg);
    if (spec == specs.end()) {
      result.error = "unknown option " + std::string(arg);
      return result;
    }
    std::string_view value;
    if (spec->second.takes_value) {
      if (inline_value) {
        value = *inline_value;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        result.error = std::string(arg) + " needs a value";
        return result;
      }
    } else if (inline_value) {
      result.error = std::string(arg) + " takes no value";
      return result;
    }
    if (std::string why = spec->second.handle(value); !why.empty()) {
      result.error = std::string(arg) + ": " + why;
      return result;
    }
  }
  if (link.empty()) {
    result.error = "--link: must not be empty";
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
Without --once the terminal then restarts into the application and serves the next upgrade.

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

Run:
  --log FILE              log every received command and frame, one line each (see below)
  --ready-file FILE       write the link path to FILE once the terminal listens
  --once                  exit when the first transfer has ended (the host closes the line after
                          "+START", or a signal arrives): status 0 when it completed with every
                          frame passing the checks and no stray bytes, 1 otherwise
  -h, --help              show this help

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
  event TEXT              line up and down, host open and close, restarts, vanishing

Numbers may be given in decimal or with 0x in hexadecimal. SIGINT and SIGTERM end the program
and remove the link.
)";
}

}  // namespace kvx::sim
