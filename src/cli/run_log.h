// The runs of one kvx-flash session: every ended run is kept for the summary at the end and, with
// --report, appended to the report file at once.
//
// Threads: the front end's thread only (every port's window lives on it).
#pragma once

#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/run_report.h"

namespace kvx {

class RunLog {
 public:
  // `report` is the open report file, if any; `image` what every run of the session used.
  RunLog(std::optional<ReportFile> report, ImageIdentity image)
      : report_(std::move(report)), image_(std::move(image)) {}

  const ImageIdentity& image() const { return image_; }

  // Keeps `run` and appends it to the report. False, with `error` set, when the report could not
  // be written: the series must not start another run.
  bool Record(const RunReport& run, std::error_code& error);

  const std::vector<RunReport>& runs() const { return runs_; }

 private:
  std::optional<ReportFile> report_;
  ImageIdentity image_;
  std::vector<RunReport> runs_;
};

// The table printed at the end of a session: a row per run with its port, the terminal (its
// hardware and boot version as read), the result with the message id, and the time it took.
std::string FormatSummary(const std::vector<RunReport>& runs);

}  // namespace kvx
