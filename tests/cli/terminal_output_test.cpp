#include "cli/terminal_output.h"

#include <gtest/gtest.h>

#include <string>

namespace kvx {
namespace {

constexpr std::string_view kClear = "\r\033[K";

class StringSink final : public TextSink {
 public:
  void Write(std::string_view text) override { text_ += text; }
  std::string Take() { return std::exchange(text_, {}); }

 private:
  std::string text_;
};

Clock::TimePoint Seconds(int s) {
  return Clock::TimePoint(std::chrono::seconds(s));
}

TerminalOutput::Settings Terminal() {
  return {.is_terminal = true, .to_locale = false, .columns = [] { return 100; }};
}

TerminalOutput::Settings Pipe() {
  return {.is_terminal = false, .to_locale = false, .columns = [] { return 100; }};
}

TEST(TerminalOutput, MessagesCarryTheProgramNameAndEndTheirLine) {
  StringSink sink;
  TerminalOutput out(sink, Pipe());
  out.Message("Upgrade failed.\nPlease reboot your Velmora KVX-01 and PC.");
  out.Message("KVX is not connected.\r\nPlease connect the device and try again.");
  EXPECT_EQ(sink.Take(),
            "kvx-flash: Upgrade failed.\nPlease reboot your Velmora KVX-01 and PC.\n"
            "kvx-flash: KVX is not connected.\nPlease connect the device and try again.\n");
}

TEST(TerminalOutput, StatusIsWrittenOnlyWhenItChanges) {
  StringSink sink;
  TerminalOutput out(sink, Pipe());
  out.Status("Initialization is in progress (2/2)");
  out.Status("Initialization is in progress (2/2)");
  out.Status("Upgrade is in progress");
  EXPECT_EQ(sink.Take(), "Initialization is in progress (2/2)\nUpgrade is in progress\n");
}

TEST(TerminalOutput, OnATerminalALineClearsTheBarAndTheBarComesBackBelowIt) {
  StringSink sink;
  TerminalOutput out(sink, Terminal());
  out.BeginProgress(64, Seconds(0));
  out.UpdateProgress(16, Seconds(8));
  const std::string bar = FormatProgressBar({16, 64, 8.0}, 99);
  EXPECT_EQ(sink.Take(),
            std::string(kClear) + FormatProgressBar({0, 64, 0}, 99) + std::string(kClear) + bar);

  out.Line("[2024/01/10 09:30:00.000] T: AT+UPAPP\n");
  EXPECT_EQ(sink.Take(), std::string(kClear) + "[2024/01/10 09:30:00.000] T: AT+UPAPP\n" +
                             std::string(kClear) + bar);

  out.EndProgress();
  EXPECT_EQ(sink.Take(), "\n") << "the last bar stays on its own line";
  out.Message("done");
  EXPECT_EQ(sink.Take(), "kvx-flash: done\n") << "no bar after the run";
}

TEST(TerminalOutput, APromptHidesTheBarUntilTheNextProgress) {
  StringSink sink;
  TerminalOutput out(sink, Terminal());
  out.BeginProgress(10, Seconds(0));
  sink.Take();
  out.Prompt("kvx-flash: again? [y/N] ");
  EXPECT_EQ(sink.Take(), std::string(kClear) + "kvx-flash: again? [y/N] ");
  out.UpdateProgress(1, Seconds(1));
  EXPECT_EQ(sink.Take(), std::string(kClear) + FormatProgressBar({1, 10, 1.0}, 99));
}

TEST(TerminalOutput, ElsewhereEachTenthReachedGivesOneLine) {
  StringSink sink;
  TerminalOutput out(sink, Pipe());
  out.UpdateProgress(5, Seconds(0));
  EXPECT_EQ(sink.Take(), "") << "no range announced yet";

  out.BeginProgress(16, Seconds(0));  // the range at the start of the run
  out.BeginProgress(12, Seconds(5));  // and again when the download begins
  EXPECT_EQ(sink.Take(), "");
  std::string expected;
  for (int done = 1; done <= 12; ++done) {
    out.UpdateProgress(done, Seconds(5 + done));
    if (done == 2 || done == 3 || done == 4 || done == 5 || done == 6 || done >= 8) {
      expected += FormatTenthLine({done, 12, 0}) + "\n";
    }
  }
  // 7 of 12 is 58%, still the fifth tenth that 6 of 12 reached.
  EXPECT_EQ(sink.Take(), expected);
}

TEST(TerminalOutput, ARepeatedPositionWritesNothingMore) {
  StringSink sink;
  TerminalOutput out(sink, Pipe());
  out.BeginProgress(10, Seconds(0));
  out.UpdateProgress(1, Seconds(1));
  out.UpdateProgress(1, Seconds(2));
  EXPECT_EQ(sink.Take(), FormatTenthLine({1, 10, 0}) + "\n");
}

}  // namespace
}  // namespace kvx
