// Runs kvx-flash as a child process for end-to-end tests, the way a script on a production line
// does: arguments, KVX_SERIAL_PORTS naming the simulator's link, standard output and error kept
// in files, and a bounded wait for its exit status.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/sim_process.h"

namespace kvx::test {

class FlashProcess {
 public:
  // Starts `program` with `args`; its output goes to `<out_prefix>.out` and `<out_prefix>.err`.
  FlashProcess(const std::string& program, const std::vector<std::string>& args,
               const std::string& serial_ports, const std::string& out_prefix)
      : stdout_path_(out_prefix + ".out"), stderr_path_(out_prefix + ".err") {
    std::vector<std::string> argv_text = {program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argv_text) argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::vector<std::string> env_text;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (std::string_view(*entry).starts_with("KVX_SERIAL_PORTS=")) continue;
      env_text.emplace_back(*entry);
    }
    env_text.push_back("KVX_SERIAL_PORTS=" + serial_ports);
    std::vector<char*> envp;
    for (auto& entry : env_text) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, stdout_path_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, stderr_path_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
      pid_ = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
  }

  ~FlashProcess() {
    if (pid_ == 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }

  FlashProcess(const FlashProcess&) = delete;
  FlashProcess& operator=(const FlashProcess&) = delete;

  // The exit status, 128 + the signal for a program a signal ended, or -1 when it had not
  // ended within `bound` (it is then killed).
  int WaitForExit(std::chrono::seconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int status = 0;
    while (pid_ != 0) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
      }
      if (std::chrono::steady_clock::now() >= deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  void Signal(int signo) {
    if (pid_ != 0) ::kill(pid_, signo);
  }

  std::string Stdout() const { return SimProcess::ReadFile(stdout_path_); }
  std::string Stderr() const { return SimProcess::ReadFile(stderr_path_); }

 private:
  std::string stdout_path_;
  std::string stderr_path_;
  pid_t pid_ = 0;
};

}  // namespace kvx::test
