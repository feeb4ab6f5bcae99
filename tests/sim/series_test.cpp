// A production line on one link: the simulator serves terminal after terminal, each coming up
// fresh behind the same link once the host has ended its run on the one before. The host here
// speaks the dialogue and the frames itself over the pseudo-terminal, as the engine would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host_frames.h"
#include "pty_host.h"
#include "sim/sim_options.h"
#include "support/temp_folder.h"

namespace kvx::sim {
namespace {

using kvx::test::TempFolder;

constexpr std::uint8_t kResultOk = 0xC0;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Waits until the log holds `line` as a whole line.
bool WaitForLogLine(const std::filesystem::path& log, const std::string& line) {
  const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string text = "\n" + ReadFile(log);
    if (text.find("\n" + line + "\n") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// The log's lines from "event terminal `number`" up to the next terminal's.
std::string LogOfTerminal(const std::string& log, int number) {
  const std::string start = "event terminal " + std::to_string(number) + "\n";
  const auto from = log.find(start);
  if (from == std::string::npos) return "";
  const auto to = log.find("event terminal ", from + start.size());
  return log.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

SimOptions ParseOrFail(std::vector<std::string_view> args) {
  const ParsedOptions parsed = ParseOptions(args, "/unused", "/");
  EXPECT_TRUE(parsed.options) << parsed.error;
  return parsed.options.value_or(SimOptions{});
}

// Sends one AT command and returns the reply up to its line end.
std::string Command(int fd, const std::string& command) {
  if (!WriteAll(fd, command)) return "(not sent)";
  return ReadUntil(fd, "\r\n");
}

// Sends one frame and returns the terminal's answer to it.
TerminalFrame Exchange(int fd, const std::string& frame) {
  if (!WriteAll(fd, frame)) return {};
  const std::string wire =
      ReadWhile(fd, [](const std::string& data) { return !ParseTerminalFrames(data).empty(); });
  const std::vector<TerminalFrame> answers = ParseTerminalFrames(wire);
  return answers.empty() ? TerminalFrame{} : answers.front();
}

// What the host saw of one terminal.
struct HostRun {
  std::string nv_reply;
  std::vector<std::uint8_t> codes;  // of the answers to setup, write and finish, as far as it got
};

// The host upgrades the terminal on the line: reads and updates its NV version, sends it into
// download mode, and sends `image` in one segment, giving up at the first answer that is not
// OK; then it closes the port, which ends the run.
HostRun UpgradeOneTerminal(const std::string& link, const std::string& image) {
  HostRun run;
  int fd = OpenWhenBack(link, B115200);
  if (fd < 0) return run;
  run.nv_reply = Command(fd, "AT+MMI=\"NV_VER_CHECK\"\r");
  Command(fd, "AT+MMI=\"NEW_NVM_VERSION\",1.05\r");
  WriteAll(fd, "AT+MMI=\"USB_DOWNLOAD\"\r");
  const bool restarted = WaitForHangup(fd);
  close(fd);
  if (!restarted) return run;

  fd = OpenWhenBack(link, B460800);
  if (fd < 0) return run;
  if (Command(fd, "AT+UPGRADE\r") == "+START\r\n") {
    for (const std::string& frame :
         {SetupFrame(0, image.size()), WriteFrame(0, image), FinishFrame()}) {
      run.codes.push_back(Exchange(fd, frame).code);
      if (run.codes.back() != kResultOk) break;
    }
  }
  close(fd);
  return run;
}

TEST(SimSeriesTest, ThreeTerminalsInARowTheSecondFailingEachFreshWithItsOwnOutput) {
  TempFolder folder;
  const std::string link = folder / "ttyKVX0";
  const std::string log = folder / "sim.log";
  const std::string output = folder / "received.bin";
  const SimOptions options = ParseOrFail({"--link",
                                          link,
                                          "--log",
                                          log,
                                          "--output",
                                          output,
                                          "--terminals",
                                          "3",
                                          "--reset-after",
                                          "0",
                                          "--restart-delay",
                                          "20",
                                          "--next-terminal-delay",
                                          "50",
                                          "--for-terminal",
                                          "2",
                                          "--fault",
                                          "W0:code=0xC9:all",
                                          "--for-terminal",
                                          "3",
                                          "--nv",
                                          "0.99"});
  RunningSim sim(options);
  ASSERT_TRUE(sim.started());
  const std::string images[] = {SampleData(3000, 1), SampleData(2000, 2), SampleData(1000, 3)};

  const HostRun first = UpgradeOneTerminal(link, images[0]);
  EXPECT_EQ(first.nv_reply, "NV_VER1.00\r\n");
  EXPECT_EQ(first.codes, (std::vector<std::uint8_t>{kResultOk, kResultOk, kResultOk}));

  // The host must not take the terminal it has just left for the next one.
  ASSERT_TRUE(WaitForLogLine(log, "event terminal 2"));
  const HostRun second = UpgradeOneTerminal(link, images[1]);
  EXPECT_EQ(second.nv_reply, "NV_VER1.00\r\n") << "a new terminal, not the one updated to 1.05";
  EXPECT_EQ(second.codes, (std::vector<std::uint8_t>{kResultOk, 0xC9}));

  ASSERT_TRUE(WaitForLogLine(log, "event terminal 3"));
  const HostRun third = UpgradeOneTerminal(link, images[2]);
  EXPECT_EQ(third.nv_reply, "NV_VER0.99\r\n");
  EXPECT_EQ(third.codes, (std::vector<std::uint8_t>{kResultOk, kResultOk, kResultOk}));

  EXPECT_EQ(sim.WaitForEnd(), 0) << "the failed run is the host's to report";
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  EXPECT_EQ(ReadFile(output + ".1"), images[0]);
  EXPECT_FALSE(std::filesystem::exists(output + ".2")) << "terminal 2 received no image";
  EXPECT_EQ(ReadFile(output + ".3"), images[2]);
  EXPECT_FALSE(std::filesystem::exists(output)) << "a series writes only numbered files";

  const std::string text = ReadFile(log);
  for (int number = 1; number <= 3; ++number) {
    SCOPED_TRACE("terminal " + std::to_string(number));
    const std::string own = LogOfTerminal(text, number);
    EXPECT_TRUE(own.starts_with("event terminal " + std::to_string(number) + "\nevent line up "));
    EXPECT_TRUE(Contains(own, "event line back in download mode\n"));
    EXPECT_TRUE(Contains(own, number == 2 ? "summary result=aborted" : "summary result=complete"));
    EXPECT_TRUE(Contains(own, "event run ended (host closed the line in download mode)\n"));
    if (number < 3) {
      EXPECT_TRUE(own.ends_with("event line down\n")) << "gone before the next comes: " << own;
    }
  }
  EXPECT_TRUE(Contains(LogOfTerminal(text, 2), "response w code=0xC9 seg=0 fault=code"));
}

// Waits for `line` in the log as a host waiting for the next terminal might: looking at the port
// all the while, opening it for a moment without a word and closing it again.
bool LookAtThePortUntilLogLine(const std::string& link, const std::filesystem::path& log,
                               const std::string& line) {
  const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string text = "\n" + ReadFile(log);
    if (text.find("\n" + line + "\n") != std::string::npos) return true;
    const int fd = OpenHostSide(link, B115200);
    // Longer than the simulator's look at a closed line, so it sees the host come back.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    if (fd >= 0) close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(SimSeriesTest, AHostThatLeavesBeforeDownloadModeEndsTheRunOnceItHasStayedAway) {
  TempFolder folder;
  const std::string link = folder / "ttyKVX0";
  const std::string log = folder / "sim.log";
  const SimOptions options =
      ParseOrFail({"--link", link, "--log", log, "--terminals", "2", "--host-gone-after", "200",
                   "--next-terminal-delay", "20", "--for-terminal", "1", "--error-at", "link:all"});
  RunningSim sim(options);
  ASSERT_TRUE(sim.started());

  for (int number = 1; number <= 2; ++number) {
    const std::string next = "event terminal " + std::to_string(number);
    // Looking at the port after the run must not keep the run going.
    ASSERT_TRUE(number == 1 ? WaitForLogLine(log, next)
                            : LookAtThePortUntilLogLine(link, log, next));
    const int fd = OpenWhenBack(link, B115200);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Command(fd, "AT+CEXT=1\r"), number == 1 ? "ERROR\r\n" : "OK\r\n")
        << "terminal " << number;
    close(fd);
  }
  EXPECT_EQ(sim.WaitForEnd(), 0);
  const std::string text = ReadFile(log);
  EXPECT_TRUE(Contains(LogOfTerminal(text, 1), "event run ended (host gone for 200 ms)\n"));
  EXPECT_TRUE(Contains(LogOfTerminal(text, 2), "event run ended (host gone for 200 ms)\n"));
}

TEST(SimSeriesTest, TwoSeriesSideBySideEachGoTheirOwnWay) {
  TempFolder folder;
  const std::string links[] = {folder / "ttyKVX0", folder / "ttyKVX1"};
  const std::string logs[] = {folder / "sim0.log", folder / "sim1.log"};
  const SimOptions first = ParseOrFail({"--link", links[0], "--log", logs[0], "--terminals", "2",
                                        "--host-gone-after", "100", "--next-terminal-delay", "20"});
  const SimOptions second =
      ParseOrFail({"--link", links[1], "--log", logs[1], "--terminals", "2", "--host-gone-after",
                   "100", "--next-terminal-delay", "20", "--nv", "2.00"});
  RunningSim sims[] = {RunningSim(first), RunningSim(second)};
  ASSERT_TRUE(sims[0].started() && sims[1].started());

  // The host leaves the first line's terminal 1 while it keeps the second line's open.
  const int kept = OpenHostSide(links[1], B115200);
  ASSERT_GE(kept, 0);
  EXPECT_EQ(Command(kept, "AT+MMI=\"NV_VER_CHECK\"\r"), "NV_VER2.00\r\n");
  const int left = OpenHostSide(links[0], B115200);
  ASSERT_GE(left, 0);
  EXPECT_EQ(Command(left, "AT+MMI=\"NV_VER_CHECK\"\r"), "NV_VER1.00\r\n");
  close(left);

  ASSERT_TRUE(WaitForLogLine(logs[0], "event terminal 2"));
  EXPECT_FALSE(Contains(ReadFile(logs[1]), "event terminal 2")) << "the other line's host is on it";
  EXPECT_EQ(Command(kept, "AT+CEXT=1\r"), "OK\r\n");
  close(kept);
  ASSERT_TRUE(WaitForLogLine(logs[1], "event terminal 2"));
}

TEST(SimSeriesTest, ASeriesStoppedBeforeItsLastTerminalExitsWithFailure) {
  TempFolder folder;
  const std::string link = folder / "ttyKVX0";
  const SimOptions options = ParseOrFail({"--link", link, "--terminals", "2"});
  RunningSim sim(options);
  ASSERT_TRUE(sim.started());
  EXPECT_EQ(sim.Stop(), 1);
}

}  // namespace
}  // namespace kvx::sim
