// Ports side by side on one stream (standard error).
//
// On a terminal the board keeps one line per port at the bottom: the port, what it is doing and,
// during a download, its bar with segments, rate and time left; the lines are redrawn in place,
// and every other text is written above them, prefixed with its port. Elsewhere (a file, a pipe)
// every text and each tenth of a download is a line of its own, prefixed with its port.
//
// Threads: every member, and every view's, may be called from any thread; one lock keeps each
// write whole and in order.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/run_output.h"
#include "cli/terminal_output.h"

namespace kvx {

class PortBoard {
 public:
  // One row per label, in order. `sink` must outlive the board.
  PortBoard(TextSink& sink, TerminalOutput::Settings settings, std::vector<std::string> labels);
  ~PortBoard();
  PortBoard(const PortBoard&) = delete;
  PortBoard& operator=(const PortBoard&) = delete;

  // The output of row `row`'s port. Lives as long as the board.
  RunOutput& view(std::size_t row);
  // A line of the board's own (the summary), written above the rows.
  void Line(std::string_view text);
  // The rows stay as they were; later texts go below them.
  void Close();

 private:
  struct Row;
  class View;

  void Text(std::size_t row, std::string_view text, bool end_line, bool message = false);
  void Progress(std::size_t row, std::optional<std::int64_t> total, std::int64_t done,
                Clock::TimePoint now);
  void EndProgress(std::size_t row);
  void SetPhase(std::size_t row, std::string_view text);
  bool StatusChanged(std::size_t row, std::string_view text);

  void WriteLocked(std::string_view text);
  void ClearRowsLocked();
  void DrawRowsLocked();
  std::string RowTextLocked(const Row& row, int width) const;

  TextSink& sink_;
  const TerminalOutput::Settings settings_;
  std::mutex mutex_;
  std::vector<Row> rows_;
  std::vector<std::unique_ptr<View>> views_;
  std::size_t label_width_ = 0;
  bool rows_shown_ = false;
  bool prompt_open_ = false;
  bool closed_ = false;
};

}  // namespace kvx
