// Runs kvx-sim as a child process for end-to-end tests: a fresh folder for its link, log, ready
// file and output, and the process ended (SIGTERM, then SIGKILL) when the fixture goes away.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kvx::test {

class SimProcess {
 public:
  // `program` is the kvx-sim executable; `options` are added to the link, ready-file, log and
  // output options this fixture chooses.
  SimProcess(const std::string& program, const std::vector<std::string>& options)
      : program_(program) {
    char pattern[] = "/tmp/kvx-e2e-XXXXXX";
    folder_ = ::mkdtemp(pattern);
    Spawn(options);
  }

  ~SimProcess() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // True once the simulator has its link in place; false if it died or did not get there
  // within `bound` (a failing test).
  bool WaitUntilReady(std::chrono::seconds bound = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline) {
      if (std::filesystem::exists(ready_file())) return true;
      if (pid_ == 0 || ::waitpid(pid_, &status_, WNOHANG) == pid_) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // True once the terminal is idle on its line: the host's last close has been seen, with the
  // transfer it ended written out, and any restart it caused is over (the log then stays still
  // for a moment). False if that does not happen within about ten seconds.
  bool WaitUntilIdle() const {
    for (int i = 0; i < 1000; ++i) {
      const std::string log = ReadFile(log_file());
      const bool idle = log.ends_with("event host closed\n") ||
                        log.ends_with("event line back in application mode\n");
      if (idle && std::filesystem::exists(link())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (ReadFile(log_file()) == log) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // Waits for the process to end by itself (--once) and returns its exit status, or -1.
  int WaitForExit(std::chrono::seconds bound = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (pid_ != 0 && std::chrono::steady_clock::now() < deadline) {
      if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
        pid_ = 0;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
  }

  void Stop() {
    if (pid_ == 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 400 && ::waitpid(pid_, &status_, WNOHANG) != pid_; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
    pid_ = 0;
  }

  // Ends the simulator and starts a new one with `options` on the same link, as a terminal
  // swapped on the same port.
  void Respawn(const std::vector<std::string>& options) {
    Stop();
    std::error_code ignored;
    std::filesystem::remove(ready_file(), ignored);
    Spawn(options);
  }

  std::string link() const { return folder_ + "/ttyKVX0"; }
  std::string ready_file() const { return folder_ + "/ready"; }
  std::string log_file() const { return folder_ + "/sim.log"; }
  std::string output_file() const { return folder_ + "/received.bin"; }
  std::string stdout_file() const { return folder_ + "/stdout"; }
  const std::string& folder() const { return folder_; }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  void Spawn(const std::vector<std::string>& options) {
    std::vector<std::string> args = {program_, "--link",   link(),     "--ready-file", ready_file(),
                                     "--log",  log_file(), "--output", output_file()};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string stdout_path = folder_ + "/stdout";
    posix_spawn_file_actions_addopen(&actions, 1, stdout_path.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (posix_spawn(&pid_, program_.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
  }

  std::string program_;
  std::string folder_;
  pid_t pid_ = 0;
  int status_ = 0;
};

}  // namespace kvx::test
