// The exit statuses of kvx-flash, the contract with the scripts and production lines that run it.
#pragma once

namespace kvx {

inline constexpr int kExitCompleted = 0;  // the engine reported a completed upgrade
inline constexpr int kExitFailed = 1;     // the run failed, or a rule or the operator refused it
inline constexpr int kExitUsage = 2;      // bad command line, or a file or port unusable up front

// A run ended by a signal exits as a shell reports a process killed by it: 130 for SIGINT.
constexpr int ExitCodeForSignal(int signo) {
  return 128 + signo;
}

}  // namespace kvx
