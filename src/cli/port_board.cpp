#include "cli/port_board.h"

#include <algorithm>

#include "cli/operator_text.h"
#include "cli/progress_format.h"

namespace kvx {

namespace {

constexpr std::string_view kClearLine = "\r\033[K";
constexpr std::string_view kLineUp = "\033[1A";

// Every line of `text` begins with `prefix`.
std::string Prefixed(std::string_view prefix, std::string_view text) {
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end + 1;
    out += prefix;
    out += text.substr(start, stop - start);
    start = stop;
  }
  if (out.empty()) out = std::string(prefix);
  return out;
}

}  // namespace

struct PortBoard::Row {
  std::string label;
  std::string phase;
  std::optional<std::string> last_status;
  DownloadProgress progress;
};

class PortBoard::View final : public RunOutput {
 public:
  View(PortBoard& board, std::size_t row) : board_(board), row_(row) {}

  // "kvx-flash: PORT: text", so a message reads as on one port alone with the port named.
  void Message(std::string_view text) override { board_.Text(row_, text, true, true); }
  void Status(std::string_view text) override {
    if (board_.StatusChanged(row_, text)) board_.Text(row_, text, true);
  }
  void Line(std::string_view text) override { board_.Text(row_, text, true); }
  void Prompt(std::string_view text) override { board_.Text(row_, text, false); }
  void BeginProgress(std::int64_t total, Clock::TimePoint now) override {
    board_.Progress(row_, total, 0, now);
  }
  void UpdateProgress(std::int64_t done, Clock::TimePoint now) override {
    board_.Progress(row_, std::nullopt, done, now);
  }
  void EndProgress() override { board_.EndProgress(row_); }
  void Phase(std::string_view text) override { board_.SetPhase(row_, text); }

 private:
  PortBoard& board_;
  const std::size_t row_;
};

PortBoard::PortBoard(TextSink& sink, TerminalOutput::Settings settings,
                     std::vector<std::string> labels)
    : sink_(sink), settings_(std::move(settings)) {
  for (std::string& label : labels) {
    label_width_ = std::max(label_width_, label.size());
    Row row;
    row.label = std::move(label);
    row.phase = "starting";
    rows_.push_back(std::move(row));
  }
  for (std::size_t k = 0; k < rows_.size(); ++k) views_.push_back(std::make_unique<View>(*this, k));
}

PortBoard::~PortBoard() = default;

RunOutput& PortBoard::view(std::size_t row) {
  return *views_.at(row);
}

void PortBoard::Line(std::string_view text) {
  std::lock_guard guard(mutex_);
  ClearRowsLocked();
  WriteLocked(text);
  if (text.empty() || text.back() != '\n') WriteLocked("\n");
  DrawRowsLocked();
}

void PortBoard::Close() {
  std::lock_guard guard(mutex_);
  if (rows_shown_) WriteLocked("\n");
  rows_shown_ = false;
  closed_ = true;
}

void PortBoard::Text(std::size_t row, std::string_view text, bool end_line, bool message) {
  std::lock_guard guard(mutex_);
  ClearRowsLocked();
  const std::string prefix = rows_[row].label + ": ";
  std::string line = Prefixed(prefix, text);
  // A message names the program first, as every message of kvx-flash does.
  if (message) line = MessageLines(line);
  if (end_line && line.back() != '\n') line += '\n';
  WriteLocked(line);
  // A prompt keeps the last line until the operator has answered.
  prompt_open_ = !end_line;
  DrawRowsLocked();
}

void PortBoard::Progress(std::size_t row, std::optional<std::int64_t> total, std::int64_t done,
                         Clock::TimePoint now) {
  std::lock_guard guard(mutex_);
  Row& r = rows_[row];
  if (total) {
    r.progress.Begin(*total, now);
  } else if (!r.progress.Update(done, now)) {
    return;
  }
  if (settings_.is_terminal) {
    ClearRowsLocked();
    DrawRowsLocked();
  } else if (r.progress.ReachedNewTenth()) {
    WriteLocked(r.label + ": " + FormatTenthLine(r.progress.Sample()) + "\n");
  }
}

void PortBoard::EndProgress(std::size_t row) {
  std::lock_guard guard(mutex_);
  rows_[row].progress.End();
}

void PortBoard::SetPhase(std::size_t row, std::string_view text) {
  std::lock_guard guard(mutex_);
  if (rows_[row].phase == text) return;
  rows_[row].phase = std::string(text);
  if (!settings_.is_terminal) return;  // elsewhere the messages say it
  ClearRowsLocked();
  DrawRowsLocked();
}

bool PortBoard::StatusChanged(std::size_t row, std::string_view text) {
  std::lock_guard guard(mutex_);
  if (rows_[row].last_status == text) return false;
  rows_[row].last_status = std::string(text);
  return true;
}

void PortBoard::WriteLocked(std::string_view text) {
  WriteText(sink_, settings_.to_locale, text);
}

void PortBoard::ClearRowsLocked() {
  if (!rows_shown_) return;
  std::string clear;
  for (std::size_t k = 1; k < rows_.size(); ++k) {
    clear += kClearLine;
    clear += kLineUp;
  }
  clear += kClearLine;
  WriteLocked(clear);
  rows_shown_ = false;
}

void PortBoard::DrawRowsLocked() {
  if (!settings_.is_terminal || prompt_open_ || closed_) return;
  // One column short of the width, so the cursor never wraps onto a new line.
  const int width = settings_.columns() - 1;
  std::string rows;
  for (std::size_t k = 0; k < rows_.size(); ++k) {
    if (k > 0) rows += '\n';
    rows += kClearLine;
    rows += RowTextLocked(rows_[k], width);
  }
  WriteLocked(rows);
  rows_shown_ = true;
}

std::string PortBoard::RowTextLocked(const Row& row, int width) const {
  std::string text = row.label;
  text.resize(label_width_, ' ');
  text += "  ";
  if (row.progress.active()) {
    const int left = width - static_cast<int>(text.size());
    text += FormatProgressBar(row.progress.Sample(), std::max(left, 0));
  } else {
    text += row.phase;
  }
  if (width > 0 && text.size() > static_cast<std::size_t>(width)) {
    text.resize(static_cast<std::size_t>(width));
  }
  return text;
}

}  // namespace kvx
