// kvx-sim's configuration: what the simulated terminal answers, where its line appears, which
// faults it injects, and the command-line parser that fills it.
//
// Plain data; parsing is a pure function, safe to call from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvx::sim {

// The steps of the AT dialogue, each named by the command that starts it.
enum class AtStep {
  kLink,         // "AT\r" or "AT+CEXT=1\r"
  kHwver,        // "at+hwver\r"
  kGgmr,         // "at+ggmr\r"
  kNvCheck,      // "AT+MMI=\"NV_VER_CHECK\"\r"
  kNvUpdate,     // "AT+MMI=\"NEW_NVM_VERSION\",xxxx\r"
  kSysver,       // "AT+SYSVer\r"
  kUsbDownload,  // "AT+MMI=\"USB_DOWNLOAD\"\r"
  kUpapp,        // "AT+UPAPP\r" (download mode)
  kUpgrade,      // "AT+UPGRADE\r" (download mode)
};
inline constexpr std::size_t kAtStepCount = 9;

// The option spelling of a step ("nv-check").
std::string_view AtStepName(AtStep step);
std::optional<AtStep> AtStepFromName(std::string_view name);

// How often an injected fault fires: on the first `times` occasions, or on every one.
inline constexpr int kEveryTime = -1;

// A budget of occasions; Take() consumes one.
class Countdown {
 public:
  explicit Countdown(int times = 0) : remaining_(times) {}
  // True while the budget lasts (always for kEveryTime), consuming one occasion.
  bool Take();

 private:
  int remaining_;
};

// A line speed the terminal answers at; 0 stands for any speed.
struct LineSpeed {
  int baud = 115200;
  bool Accepts(int host_baud) const { return baud == 0 || baud == host_baud; }
};

// The AT side. Reply texts are whole lines without their CR LF.
struct AtConfig {
  std::string hwver_reply = "+HWVER: SFQAABCDEFG V2.0.1";
  std::string ggmr_reply = "JQ_SAT_V3.1.0 2024/01/10";
  std::string nv_version = "1.00";  // the text after "NV_VER" in the NV check reply
  std::string sysver_reply = "OK+SYSVer:KVX_2.0.0_ML_VM";
  bool echo = false;
  std::array<int, kAtStepCount> error_times{};   // "ERROR" instead of the answer
  std::array<int, kAtStepCount> silent_times{};  // no answer, no action
};

// A calendar date and time as the download frames carry it.
struct DateTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const DateTime&) const = default;
};

// Faults on the answer to a received frame.
enum class FaultKind {
  kSilent,     // the frame is lost: no answer, nothing stored
  kBadCrc,     // the answer's head CRC is corrupted (the frame itself is taken)
  kCode,       // the answer carries result code `value`; the frame is not taken
  kSegError,   // RC_SEG_ERROR naming segment `value`; sending resumes there
  kRequest,    // a 'D' request frame instead of the answer; the frame is not taken
  kWrongMode,  // the setup answer echoes the other mode
  kNoise,      // `value` noise bytes before the answer
  kVanish,     // no answer: the terminal drops off the line for `value` ms and comes back
               // rebooted into the application, as after a cable pull or a power cut
};

// Which received frames a fault applies to.
struct FrameTarget {
  std::uint8_t cmd = 0;  // 'S', 'W', 'F', or 0 for any
  int segment = -1;      // for 'W': one segment, or -1 for any
};

struct FrameFault {
  FrameTarget target;
  FaultKind kind = FaultKind::kSilent;
  int value = 0;
  int times = 1;
};

// The download side after "+START".
struct DownloadConfig {
  std::optional<int> mode_echo;  // the mode the setup answer reports; none: the mode received
  std::string bsp_version = "SFQAABCDEFG V2.0.1";  // BSPVer, at most 64 bytes
  DateTime bsp_date{2024, 1, 10, 9, 30, 0};
  std::string tet_version = "OKR_TET_1.0.0";  // TETVer, at most 16 bytes
  DateTime tet_date{2024, 1, 10, 9, 30, 0};
  std::vector<FrameFault> faults;
};

// One terminal: what it answers, how it restarts and which faults it injects.
struct TerminalOptions {
  LineSpeed normal_speed{115200};
  LineSpeed download_speed{460800};
  AtConfig at;
  DownloadConfig download;
  int reset_after_ms = 100;    // from the "OK" to download mode until the line drops
  int restart_delay_ms = 500;  // how long the line stays away
};

// The most terminals one run may serve.
inline constexpr int kMaxTerminals = 10000;

struct SimOptions {
  std::string link_path;     // absolute
  TerminalOptions terminal;  // every terminal's, where it has none of its own
  std::string log_path;
  std::string ready_file;
  std::string output_path;
  bool once = false;
  bool line_rate = false;

  // A series of terminals on the one link (0: a single terminal served until stopped).
  int terminals = 0;
  int next_terminal_delay_ms = 1000;           // how long the link is gone between two terminals
  int host_gone_after_ms = 3000;               // a host away this long has ended the terminal's run
  std::map<int, TerminalOptions> own_options;  // by terminal number, from 1

  // The options of terminal `number` (from 1) of the series.
  const TerminalOptions& ForTerminal(int number) const;
};

struct ParsedOptions {
  std::optional<SimOptions>
      options;  // set when the arguments were valid and neither --help nor --version asked
  bool help = false;
  bool version = false;
  std::string error;  // set when the arguments were invalid
};

// Parses the arguments after the program name. `default_link` is used when --link is not
// given; `cwd` makes a relative --link absolute.
ParsedOptions ParseOptions(std::span<const std::string_view> args, std::string_view default_link,
                           std::string_view cwd);

// Where terminal `number` of a series writes the image it received: OUTPUT.number.
std::string SeriesOutputPath(std::string_view output_path, int number);

// "<$TMPDIR or /tmp>/kvx-sim/ttyKVX0".
std::string DefaultLinkPath(const char* tmpdir);

// The text of --help.
std::string HelpText();

// "2024-03-15T14:25:30".
std::string FormatDateTime(const DateTime& date);

}  // namespace kvx::sim
