#include "cli/run_log.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "cli/progress_format.h"

namespace kvx {

namespace {

std::string ResultText(const RunReport& run) {
  std::string text = RunResultName(run.result);
  if (run.result != RunResult::kCompleted && run.message_id != 0) {
    text += " (" + std::to_string(run.message_id) + ")";
  }
  return text;
}

}  // namespace

bool RunLog::Record(const RunReport& run, std::error_code& error) {
  runs_.push_back(run);
  if (!report_) return true;
  error = report_->Append(run);
  return !error;
}

std::string FormatSummary(const std::vector<RunReport>& runs) {
  using Cells = std::array<std::string, 5>;
  std::vector<Cells> table = {{"run", "port", "terminal", "result", "time"}};
  for (std::size_t k = 0; k < runs.size(); ++k) {
    const RunReport& run = runs[k];
    const std::chrono::duration<double> took = run.end - run.start;
    table.push_back({std::to_string(k + 1), run.port,
                     run.terminal.hw_version.empty() ? "-" : run.terminal.hw_version,
                     ResultText(run), FormatDuration(took.count())});
  }
  std::array<std::size_t, 5> widths{};
  for (const Cells& row : table) {
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string text;
  for (const Cells& row : table) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      std::string cell = row[c];
      if (c + 1 < row.size()) cell.resize(widths[c] + 2, ' ');
      line += cell;
    }
    text += line + '\n';
  }
  return text;
}

}  // namespace kvx
