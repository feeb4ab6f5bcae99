#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace kvx::sim {
namespace {

ParsedOptions Parse(std::vector<std::string_view> args) {
  return ParseOptions(args, "/tmp/kvx-sim/ttyKVX0", "/home/op");
}

// The words of a command line written as one string literal, split at its spaces.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  for (std::size_t start = 0; start < line.size();) {
    const std::size_t end = std::min(line.find(' ', start), line.size());
    words.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

TEST(SimOptionsTest, DefaultsAnswerAt115200WithTheDefaultLink) {
  const auto parsed = Parse({});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->link_path, "/tmp/kvx-sim/ttyKVX0");
  EXPECT_EQ(parsed.options->terminal.normal_speed.baud, 115200);
  EXPECT_EQ(parsed.options->terminal.download_speed.baud, 460800);
  EXPECT_FALSE(parsed.options->terminal.at.echo);
  EXPECT_FALSE(parsed.options->once);
}

TEST(SimOptionsTest, DefaultLinkLivesUnderTmpdir) {
  EXPECT_EQ(DefaultLinkPath("/var/tmp/"), "/var/tmp/kvx-sim/ttyKVX0");
  EXPECT_EQ(DefaultLinkPath(nullptr), "/tmp/kvx-sim/ttyKVX0");
  EXPECT_EQ(DefaultLinkPath(""), "/tmp/kvx-sim/ttyKVX0");
}

TEST(SimOptionsTest, ARelativeLinkIsMadeAbsoluteBecauseTheHostPrefixesBareNamesWithDev) {
  const auto parsed = Parse({"--link", "run/ttyKVX1"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->link_path, "/home/op/run/ttyKVX1");
}

TEST(SimOptionsTest, ValuesAreTakenInlineOrAsTheNextArgument) {
  const auto parsed =
      Parse({"--baud=any", "--download-baud", "115200", "--echo", "--hwver", "SFQA V1",
             "--error-at=upgrade:3", "--silent-at", "upapp:all", "--restart-delay=0x20",
             "--mode-echo", "7", "--bsp-date", "2023-12-31 23:59:58", "--once", "--line-rate"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const SimOptions& o = *parsed.options;
  EXPECT_EQ(o.terminal.normal_speed.baud, 0);
  EXPECT_EQ(o.terminal.download_speed.baud, 115200);
  EXPECT_TRUE(o.terminal.at.echo);
  EXPECT_EQ(o.terminal.at.hwver_reply, "SFQA V1");
  EXPECT_EQ(o.terminal.at.error_times[static_cast<std::size_t>(AtStep::kUpgrade)], 3);
  EXPECT_EQ(o.terminal.at.silent_times[static_cast<std::size_t>(AtStep::kUpapp)], kEveryTime);
  EXPECT_EQ(o.terminal.restart_delay_ms, 32);
  EXPECT_EQ(o.terminal.download.mode_echo, 7);
  EXPECT_EQ(o.terminal.download.bsp_date, (DateTime{2023, 12, 31, 23, 59, 58}));
  EXPECT_TRUE(o.once);
  EXPECT_TRUE(o.line_rate);
}

TEST(SimOptionsTest, FaultsNameTheirFrameKindValueAndCount) {
  const auto parsed = Parse({"--fault", "W3:code=0xC9:2", "--fault", "W:seg-error=1", "--fault",
                             "any:noise=16:all", "--fault", "S:wrong-mode", "--fault", "F:silent"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const auto& faults = parsed.options->terminal.download.faults;
  ASSERT_EQ(faults.size(), 5u);
  EXPECT_EQ(faults[0].target.cmd, 'W');
  EXPECT_EQ(faults[0].target.segment, 3);
  EXPECT_EQ(faults[0].kind, FaultKind::kCode);
  EXPECT_EQ(faults[0].value, 0xC9);
  EXPECT_EQ(faults[0].times, 2);
  EXPECT_EQ(faults[1].target.segment, -1);
  EXPECT_EQ(faults[1].kind, FaultKind::kSegError);
  EXPECT_EQ(faults[1].times, 1) << "a fault fires once unless told otherwise";
  EXPECT_EQ(faults[2].target.cmd, 0);
  EXPECT_EQ(faults[2].value, 16);
  EXPECT_EQ(faults[2].times, kEveryTime);
  EXPECT_EQ(faults[3].kind, FaultKind::kWrongMode);
  EXPECT_EQ(faults[4].target.cmd, 'F');
}

TEST(SimOptionsTest, ASeriesGivesEachTerminalTheCommonOptionsWithItsOwnOnTop) {
  // The common --hwver comes last: a terminal's own options start from every common one.
  const auto parsed = Parse(
      Words("--terminals 3 --nv 1.00 --fault W0:silent --for-terminal 2 --fault W1:code=0xC9:all "
            "--for-terminal=3 --nv=0.99 --for-terminal 2 --error-at upgrade "
            "--next-terminal-delay 250 --host-gone-after 5000 --hwver +HWVER:X"));
  ASSERT_TRUE(parsed.options) << parsed.error;
  const SimOptions& o = *parsed.options;
  EXPECT_EQ(o.terminals, 3);
  EXPECT_EQ(o.next_terminal_delay_ms, 250);
  EXPECT_EQ(o.host_gone_after_ms, 5000);

  const TerminalOptions& first = o.ForTerminal(1);
  EXPECT_EQ(first.at.nv_version, "1.00");
  ASSERT_EQ(first.download.faults.size(), 1u);
  EXPECT_EQ(first.at.error_times[static_cast<std::size_t>(AtStep::kUpgrade)], 0);

  const TerminalOptions& second = o.ForTerminal(2);
  ASSERT_EQ(second.download.faults.size(), 2u) << "its own fault comes after the common one";
  EXPECT_EQ(second.download.faults[0].kind, FaultKind::kSilent);
  EXPECT_EQ(second.download.faults[1].kind, FaultKind::kCode);
  EXPECT_EQ(second.download.faults[1].target.segment, 1);
  EXPECT_EQ(second.download.faults[1].times, kEveryTime);
  EXPECT_EQ(second.at.error_times[static_cast<std::size_t>(AtStep::kUpgrade)], 1);
  EXPECT_EQ(second.at.hwver_reply, "+HWVER:X");

  const TerminalOptions& third = o.ForTerminal(3);
  EXPECT_EQ(third.at.nv_version, "0.99");
  EXPECT_EQ(third.download.faults.size(), 1u);
  EXPECT_EQ(third.at.hwver_reply, "+HWVER:X");
}

TEST(SimOptionsTest, ASeriesWaitsASecondBetweenTerminalsAndThreeForAHostThatLeft) {
  const auto parsed = Parse({"--terminals", "2"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->next_terminal_delay_ms, 1000);
  EXPECT_EQ(parsed.options->host_gone_after_ms, 3000)
      << "longer than the engine's attempt and pause (1.4 s)";
  EXPECT_EQ(Parse({}).options->terminals, 0) << "without --terminals: one terminal, no series";
}

TEST(SimOptionsTest, VersionIsRecognisedAmongOtherOptions) {
  EXPECT_TRUE(Parse({"--version"}).version);
  EXPECT_TRUE(Parse({"--nv", "1.01", "--version"}).version);
  EXPECT_FALSE(Parse({"--version"}).options);
}

TEST(SimOptionsTest, InvalidArgumentsAreRefusedWithAMessage) {
  struct Case {
    const char* why;
    std::vector<std::string_view> args;
    const char* says = "";  // part of the message, where it must point at the fix
  };
  const std::string too_long_bspver(65, 'S');
  const Case cases[] = {
      {"unknown option", {"--bogus"}},
      {"missing value", {"--log"}},
      {"a flag takes no value", {"--echo=1"}},
      {"only the two rates of the terminal", {"--baud", "9600"}},
      {"unknown step", {"--error-at", "hello"}},
      {"count must be positive", {"--silent-at", "link:0"}},
      {"wrong mode only makes sense for the setup answer", {"--fault", "W1:wrong-mode"}},
      {"a result code is one byte", {"--fault", "W1:code=0x1C9"}},
      {"seg-error needs the segment", {"--fault", "W1:seg-error"}},
      {"vanish needs how long", {"--fault", "W1:vanish"}},
      {"vanish is bounded to ten minutes", {"--fault", "W1:vanish=600001"}},
      {"silent takes no value", {"--fault", "S:silent=1"}},
      {"unknown target", {"--fault", "X:silent"}},
      {"dates need every field", {"--tet-date", "2024-03-15"}},
      {"month out of range", {"--tet-date", "2024-13-15T00:00:00"}},
      {"BSPVer has 64 bytes", {"--bspver", too_long_bspver}},
      {"TETVer has 16 bytes", {"--tetver", "OKR_0123456789ABC"}},
      {"mode echo is a byte", {"--mode-echo", "256"}},
      {"delays are bounded", {"--restart-delay", "-1"}},
      {"a series has at least one terminal", {"--terminals", "0"}},
      {"a series is bounded", {"--terminals", "10001"}},
      {"--once ends after the first transfer, a series after the last terminal",
       {"--terminals", "2", "--once"}},
      {"the delay between terminals is bounded",
       {"--terminals", "2", "--next-terminal-delay", "x"}},
      {"a terminal's own options need a series",
       {"--for-terminal", "1", "--nv", "1.01"},
       "--for-terminal needs --terminals"},
      {"no terminal beyond the series",
       {"--terminals", "3", "--for-terminal", "4", "--nv", "1"},
       "the series has 3 terminals"},
      {"terminals count from 1", {"--terminals", "3", "--for-terminal", "0", "--nv", "1"}},
      {"the link belongs to the simulator",
       {"--terminals", "3", "--for-terminal", "2", "--link", "/tmp/x"},
       "--link applies to the whole simulator"},
      {"so does the output", {"--terminals", "3", "--for-terminal", "2", "--output=/tmp/x"}},
      {"the prefix needs its option", {"--terminals", "3", "--for-terminal", "2"}},
      {"one prefix per option",
       {"--terminals", "3", "--for-terminal", "2", "--for-terminal", "3", "--nv", "1"}},
      {"a terminal's own values are checked as any",
       {"--terminals", "3", "--for-terminal", "2", "--fault", "X:silent"},
       "--for-terminal 2 --fault: target must be"},
      {"and need their value", {"--terminals", "3", "--for-terminal", "2", "--fault"}},
  };
  for (const auto& c : cases) {
    const auto parsed = Parse(c.args);
    EXPECT_FALSE(parsed.options) << c.why;
    EXPECT_FALSE(parsed.error.empty()) << c.why;
    EXPECT_NE(parsed.error.find(c.says), std::string::npos) << c.why << ": " << parsed.error;
  }
}

TEST(SimOptionsTest, HelpIsRecognisedAndDocumentsEveryOption) {
  EXPECT_TRUE(Parse({"--baud", "any", "--help"}).help);
  EXPECT_TRUE(Parse({"-h"}).help);
  const std::string help = HelpText();
  const std::vector<std::string_view> options = Words(
      "--link --baud --download-baud --reset-after --restart-delay --line-rate --echo --hwver "
      "--ggmr --nv --sysver --error-at --silent-at --mode-echo --bspver --bsp-date --tetver "
      "--tet-date --fault --output --log --ready-file --once --help --version --terminals "
      "--for-terminal --next-terminal-delay --host-gone-after");
  for (const std::string_view option : options) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace kvx::sim
