// The simulator on a real pseudo-terminal, reached through its link with plain POSIX calls, as
// the host reaches it. The waits below only guard against a hang; nothing depends on timing.
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
#include "sim/sim_loop.h"
#include "support/temp_folder.h"

namespace kvx::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kHangGuard = 10s;

using kvx::test::TempFolder;

// Opens the port as a host does: raw 8N1 at `speed`.
int OpenHostSide(const std::string& path, speed_t speed) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  termios modes{};
  tcgetattr(fd, &modes);
  cfmakeraw(&modes);
  cfsetspeed(&modes, speed);
  tcsetattr(fd, TCSANOW, &modes);
  return fd;
}

// Reads until the data read ends with `ending`, the line hangs up or the guard runs out.
std::string ReadUntil(int fd, const std::string& ending) {
  std::string data;
  const auto deadline = Clock::now() + kHangGuard;
  while (Clock::now() < deadline && !data.ends_with(ending)) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buffer[256];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  return data;
}

bool WaitForHangup(int fd) {
  const auto deadline = Clock::now() + kHangGuard;
  while (Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0) return true;
  }
  return false;
}

int OpenWhenBack(const std::string& link, speed_t speed) {
  const auto deadline = Clock::now() + kHangGuard;
  while (Clock::now() < deadline) {
    const int fd = OpenHostSide(link, speed);
    if (fd >= 0) return fd;
    std::this_thread::sleep_for(5ms);
  }
  return -1;
}

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

// The loop on a thread of its own, stopped and joined at the end.
class RunningSim {
 public:
  explicit RunningSim(const SimOptions& options) : loop_(options, nullptr, nullptr) {
    std::string error;
    started_ = loop_.Start(&error);
    EXPECT_TRUE(started_) << error;
    if (started_) thread_ = std::thread([this] { status_ = loop_.Run(); });
  }
  ~RunningSim() {
    loop_.RequestStop();
    if (thread_.joinable()) thread_.join();
  }
  bool started() const { return started_; }

 private:
  SimLoop loop_;
  bool started_ = false;
  int status_ = -1;
  std::thread thread_;
};

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
  options.reset_after_ms = 0;
  options.restart_delay_ms = 20;
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
