// The record of every run that kvx-flash keeps for a quality department (--report FILE): one JSON
// object per line, appended and put on the disk when a run ends, so a crash loses nothing that
// was already written.
//
// Threads: a ReportFile belongs to one thread at a time; the rest are pure functions.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

#include "engine/run_record.h"
#include "platform/files.h"

namespace kvx {

// The firmware file a run used: its path as given, its size and its SHA-256 in lower-case hex.
struct ImageIdentity {
  std::string path;
  std::uint64_t size = 0;
  std::string sha256;
};

// Reads the regular file `path` once and hashes it.
std::error_code IdentifyImage(const std::string& path, ImageIdentity& out);

// How a run ended: the upgrade completed; it failed (a message of failure, or the terminal was
// not found); a version rule or the operator refused it; or Ctrl-C ended it.
enum class RunResult { kCompleted, kFailed, kRefused, kInterrupted };
const char* RunResultName(RunResult result);

struct RunReport {
  std::string port;        // as the operator gave it
  std::string port_by_id;  // its /dev/serial/by-id name, empty where there is none
  std::chrono::system_clock::time_point start;
  std::chrono::system_clock::time_point end;
  ImageIdentity image;
  RunRecord terminal;
  RunResult result = RunResult::kFailed;
  int message_id = 0;   // the operator message the run ended with, 0 for none
  std::string message;  // its text
};

// The report's line for `report`: one JSON object, without a line end.
std::string ReportLine(const RunReport& report);

class ReportFile {
 public:
  // Opens `path` for appending, creating it (mode 0644 less the umask) when it is not there.
  static std::optional<ReportFile> Open(const std::string& path, std::error_code& ec);

  // Appends the report's line and asks the system to put it on the disk.
  std::error_code Append(const RunReport& report);

 private:
  explicit ReportFile(ScopedFd fd) : fd_(std::move(fd)) {}
  ScopedFd fd_;
};

}  // namespace kvx
