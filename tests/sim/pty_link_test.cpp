// The simulator on a real pseudo-terminal, reached through its link with plain POSIX calls, as
// the host reaches it. The waits only guard against a hang; nothing depends on timing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/files.h"
#include "pty_host.h"
#include "sim/sim_loop.h"
#include "support/temp_folder.h"

namespace kvx::sim {
namespace {

using kvx::test::TempFolder;

// A second descriptor for the terminal's end of the pty that `link` leads to, found among this
// process's descriptors (the simulator runs in it). While it is open the simulator's close does
// not drop the line; closing it does, once the simulator has closed its own.
ScopedFd HoldTerminalEnd(const std::string& link) {
  const std::string host_end = std::filesystem::read_symlink(link);
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code not_a_link;
    if (std::filesystem::read_symlink(entry.path(), not_a_link).filename() != "ptmx") continue;
    const int fd = std::stoi(entry.path().filename());
    std::array<char, 128> name{};
    if (ptsname_r(fd, name.data(), name.size()) == 0 && host_end == name.data()) {
      return ScopedFd(fcntl(fd, F_DUPFD_CLOEXEC, 0));
    }
  }
  return ScopedFd();
}

TEST(PtyLinkTest, AnswersTheLinkTestThroughTheLinkAt115200) {
  TempFolder folder;
  SimOptions options;
  options.link_path = folder / "ttyKVX0";
  options.ready_file = folder / "ready";
  RunningSim sim(options);
  ASSERT_TRUE(sim.started());

  std::ifstream ready(options.ready_file);
  std::string announced;
  std::getline(ready, announced);
  EXPECT_EQ(announced, options.link_path);

  const int fd = OpenHostSide(options.link_path, B115200);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "AT+CEXT=1\r", 10), 10);
  EXPECT_EQ(ReadUntil(fd, "\r\n"), "OK\r\n");
  close(fd);
}

TEST(PtyLinkTest, DownloadRequestDropsTheLineAndBringsItBackBehindTheSameLink) {
  TempFolder folder;
  SimOptions options;
  options.link_path = folder / "ttyKVX0";
  options.log_path = folder / "log";
  options.terminal.reset_after_ms = 0;
  options.terminal.restart_delay_ms = 20;
  RunningSim sim(options);
  ASSERT_TRUE(sim.started());
  // The line stays up until the host has read the "OK", however long a loaded machine takes.
  ScopedFd terminal_end = HoldTerminalEnd(options.link_path);
  ASSERT_TRUE(terminal_end.valid());

  int fd = OpenHostSide(options.link_path, B115200);
  ASSERT_GE(fd, 0);
  const std::string request = "AT+MMI=\"USB_DOWNLOAD\"\r";
  ASSERT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  EXPECT_EQ(ReadUntil(fd, "\r\n"), "OK\r\n");
  terminal_end.reset();
  EXPECT_TRUE(WaitForHangup(fd)) << "the host must see the terminal go away";
  close(fd);

  fd = OpenWhenBack(options.link_path, B460800);
  ASSERT_GE(fd, 0) << "the link must come back";
  ASSERT_EQ(write(fd, "AT+UPAPP\r", 9), 9);
  EXPECT_EQ(ReadUntil(fd, "\r\n"), "+UPAPP\r\n");
  close(fd);

  std::ifstream log(options.log_path);
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_NE(text.str().find("at 115200 \"AT+MMI=\\\"USB_DOWNLOAD\\\"\\r\"\n"), std::string::npos);
  EXPECT_NE(text.str().find("at 460800 \"AT+UPAPP\\r\"\n"), std::string::npos);
}

TEST(PtyLinkTest, ASecondSimulatorCannotTakeALinkInUseButReplacesAStaleOne) {
  TempFolder folder;
  const std::string link = folder / "ttyKVX0";
  {
    PtyLink first(link);
    std::string error;
    ASSERT_TRUE(first.Open(&error)) << error;
    PtyLink second(link);
    EXPECT_FALSE(second.Open(&error));
    EXPECT_NE(error.find("another kvx-sim"), std::string::npos) << error;
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)))
      << "the link goes with its simulator";

  std::filesystem::create_symlink("/dev/pts/nonexistent", link);  // left by a killed simulator
  PtyLink third(link);
  std::string error;
  ASSERT_TRUE(third.Open(&error)) << error;
  EXPECT_EQ(std::filesystem::read_symlink(link), third.slave_path());
}

}  // namespace
}  // namespace kvx::sim
