#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace kvx::sim {
namespace {

ParsedOptions Parse(std::vector<std::string_view> args) {
  return ParseOptions(args, "/tmp/kvx-sim/ttyKVX0", "/home/op");
}

TEST(SimOptionsTest, DefaultsAnswerAt115200WithTheDefaultLink) {
  const auto parsed = Parse({});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->link_path, "/tmp/kvx-sim/ttyKVX0");
  EXPECT_EQ(parsed.options->normal_speed.baud, 115200);
  EXPECT_EQ(parsed.options->download_speed.baud, 460800);
  EXPECT_FALSE(parsed.options->at.echo);
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
  EXPECT_EQ(o.normal_speed.baud, 0);
  EXPECT_EQ(o.download_speed.baud, 115200);
  EXPECT_TRUE(o.at.echo);
  EXPECT_EQ(o.at.hwver_reply, "SFQA V1");
  EXPECT_EQ(o.at.error_times[static_cast<std::size_t>(AtStep::kUpgrade)], 3);
  EXPECT_EQ(o.at.silent_times[static_cast<std::size_t>(AtStep::kUpapp)], kEveryTime);
  EXPECT_EQ(o.restart_delay_ms, 32);
  EXPECT_EQ(o.download.mode_echo, 7);
  EXPECT_EQ(o.download.bsp_date, (DateTime{2023, 12, 31, 23, 59, 58}));
  EXPECT_TRUE(o.once);
  EXPECT_TRUE(o.line_rate);
}

TEST(SimOptionsTest, FaultsNameTheirFrameKindValueAndCount) {
  const auto parsed = Parse({"--fault", "W3:code=0xC9:2", "--fault", "W:seg-error=1", "--fault",
                             "any:noise=16:all", "--fault", "S:wrong-mode", "--fault", "F:silent"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const auto& faults = parsed.options->download.faults;
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

TEST(SimOptionsTest, InvalidArgumentsAreRefusedWithAMessage) {
  struct Case {
    const char* why;
    std::vector<std::string_view> args;
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
  };
  for (const auto& c : cases) {
    const auto parsed = Parse(c.args);
    EXPECT_FALSE(parsed.options) << c.why;
    EXPECT_FALSE(parsed.error.empty()) << c.why;
  }
}

TEST(SimOptionsTest, HelpIsRecognisedAndDocumentsEveryOption) {
  EXPECT_TRUE(Parse({"--baud", "any", "--help"}).help);
  EXPECT_TRUE(Parse({"-h"}).help);
  const std::string help = HelpText();
  for (const char* option :
       {"--link",      "--baud",       "--download-baud", "--reset-after", "--restart-delay",
        "--line-rate", "--echo",       "--hwver",         "--ggmr",        "--nv",
        "--sysver",    "--error-at",   "--silent-at",     "--mode-echo",   "--bspver",
        "--bsp-date",  "--tetver",     "--tet-date",      "--fault",       "--output",
        "--log",       "--ready-file", "--once",          "--help"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace kvx::sim
