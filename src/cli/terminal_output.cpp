#include "cli/terminal_output.h"

#include "cli/operator_text.h"
#include "platform/codepage.h"
#include "platform/files.h"

namespace kvx {
namespace {

// Back to the start of the line, and erase it.
constexpr std::string_view kClearLine = "\r\033[K";

}  // namespace

void FdTextSink::Write(std::string_view text) {
  (void)WriteAll(fd_, text);
}

TerminalOutput::TerminalOutput(TextSink& sink, Settings settings)
    : sink_(sink), settings_(std::move(settings)) {}

void TerminalOutput::Message(std::string_view text) {
  Line(MessageLines(text));
}

void TerminalOutput::Status(std::string_view text) {
  {
    std::lock_guard guard(mutex_);
    if (last_status_ == text) return;
    last_status_ = std::string(text);
  }
  Line(text);
}

void TerminalOutput::Line(std::string_view text) {
  std::lock_guard guard(mutex_);
  ClearBarLocked();
  WriteLocked(text);
  if (text.empty() || text.back() != '\n') WriteLocked("\n");
  if (progress_.active() && settings_.is_terminal) DrawBarLocked();
}

void TerminalOutput::Prompt(std::string_view text) {
  std::lock_guard guard(mutex_);
  ClearBarLocked();
  WriteLocked(text);
}

void TerminalOutput::BeginProgress(std::int64_t total, Clock::TimePoint now) {
  std::lock_guard guard(mutex_);
  progress_.Begin(total, now);
  if (settings_.is_terminal) DrawBarLocked();
}

void TerminalOutput::UpdateProgress(std::int64_t done, Clock::TimePoint now) {
  std::lock_guard guard(mutex_);
  if (!progress_.Update(done, now)) return;
  if (settings_.is_terminal) {
    DrawBarLocked();
  } else if (progress_.ReachedNewTenth()) {
    WriteLocked(FormatTenthLine(progress_.Sample()) + "\n");
  }
}

void TerminalOutput::EndProgress() {
  std::lock_guard guard(mutex_);
  if (bar_shown_) WriteLocked("\n");
  bar_shown_ = false;
  progress_.End();
}

void WriteText(TextSink& sink, bool to_locale, std::string_view text) {
  if (to_locale) {
    sink.Write(Utf8ToLocale(text));
  } else {
    sink.Write(text);
  }
}

void TerminalOutput::WriteLocked(std::string_view text) {
  WriteText(sink_, settings_.to_locale, text);
}

void TerminalOutput::ClearBarLocked() {
  if (!bar_shown_) return;
  WriteLocked(kClearLine);
  bar_shown_ = false;
}

void TerminalOutput::DrawBarLocked() {
  // One column short of the width, so the cursor never wraps onto a new line.
  const int width = settings_.columns() - 1;
  WriteLocked(std::string(kClearLine) + FormatProgressBar(progress_.Sample(), width));
  bar_shown_ = true;
}

}  // namespace kvx
