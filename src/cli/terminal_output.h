// Everything kvx-flash writes while it runs: operator messages, status lines, trace lines,
// the question prompt and the download's progress, all on one stream (standard error).
//
// On a terminal the progress is a bar redrawn in place on the last line; any other text first
// clears the bar and then draws it again below itself, so lines and bar never mix. Elsewhere
// (a file, a pipe) the progress is one line for each tenth of the download reached.
//
// Threads: every member may be called from any thread (the front end's, the engine's for trace
// lines, the cable warning's); one lock keeps each write whole and in order.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "cli/progress_format.h"
#include "cli/run_output.h"
#include "platform/clock.h"

namespace kvx {

class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void Write(std::string_view text) = 0;
};

// Writes to a file descriptor it does not own; a failed write (a closed pipe) is dropped, so
// output can never stop an upgrade.
class FdTextSink final : public TextSink {
 public:
  explicit FdTextSink(int fd) : fd_(fd) {}
  void Write(std::string_view text) override;

 private:
  int fd_;
};

// Writes UTF-8 `text` to `sink`, in the locale's character set when `to_locale` is set.
void WriteText(TextSink& sink, bool to_locale, std::string_view text);

class TerminalOutput final : public RunOutput {
 public:
  struct Settings {
    bool is_terminal = false;  // draw a bar rather than tenth lines
    bool to_locale = false;    // convert the UTF-8 texts to the locale's character set
    std::function<int()> columns = [] { return 80; };
  };

  // `sink` must outlive this object.
  TerminalOutput(TextSink& sink, Settings settings);

  // An operator message: "kvx-flash: " and the text (see MessageLines).
  void Message(std::string_view text) override;
  void Status(std::string_view text) override;
  void Line(std::string_view text) override;
  void Prompt(std::string_view text) override;
  void BeginProgress(std::int64_t total, Clock::TimePoint now) override;
  void UpdateProgress(std::int64_t done, Clock::TimePoint now) override;
  // The run is over: the last bar stays on its own line.
  void EndProgress() override;

 private:
  void WriteLocked(std::string_view text);
  void ClearBarLocked();
  void DrawBarLocked();

  TextSink& sink_;
  const Settings settings_;

  std::mutex mutex_;
  std::optional<std::string> last_status_;
  DownloadProgress progress_;
  bool bar_shown_ = false;
};

}  // namespace kvx
