// ModemManager, the desktop's modem daemon, opens new USB serial devices and probes them with AT
// commands, which can disturb the terminal's own AT dialogue and its restart into download mode.
// This tells whether it runs, and the warning that says so.
//
// It is found by its task name in /proc/PID/comm rather than over D-Bus: no D-Bus library, no
// system bus (containers often have none), no child process, no privilege. A /proc mounted with
// hidepid=2 hides it, and it may already be told to leave the terminal alone by a udev rule: so
// the warning says "may".
//
// Threads: any.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kvx {

// At most this many /proc entries are looked at.
inline constexpr int kMaxProcEntries = 1 << 17;

// True when a process named ModemManager runs under `proc_root`.
bool ModemManagerRunning(const std::filesystem::path& proc_root = "/proc");

// The warning for the operator, one line each, without line ends.
std::vector<std::string> ModemManagerWarning();

}  // namespace kvx
