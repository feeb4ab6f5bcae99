#include "cli/port_board.h"

#include <gtest/gtest.h>

#include <string>

#include "cli/run_log.h"

namespace kvx {
namespace {

class StringSink final : public TextSink {
 public:
  void Write(std::string_view text) override { text_ += text; }
  std::string text_;
};

TerminalOutput::Settings Settings(bool terminal) {
  return {.is_terminal = terminal, .to_locale = false, .columns = [] { return 100; }};
}

TEST(PortBoard, ElsewhereEveryTextAndProgressTenthNamesItsPort) {
  StringSink sink;
  PortBoard board(sink, Settings(false), {"ttyUSB0", "ttyUSB1"});
  board.view(1).Message("Upgrade failed.\nPlease reboot");
  board.view(0).Line("T: AT\n");
  board.view(0).BeginProgress(10, Clock::TimePoint{});
  board.view(0).UpdateProgress(1, Clock::TimePoint{} + std::chrono::seconds(1));
  board.view(0).Phase("downloading");  // has no place here
  EXPECT_EQ(sink.text_,
            "kvx-flash: ttyUSB1: Upgrade failed.\n"
            "ttyUSB1: Please reboot\n"
            "ttyUSB0: T: AT\n"
            "ttyUSB0: progress  10%  1/10 segments  64/640 KiB\n");
}

TEST(PortBoard, OnATerminalEachPortKeepsOneLineRedrawnBelowTheTexts) {
  StringSink sink;
  PortBoard board(sink, Settings(true), {"ttyUSB0", "ttyS1"});
  board.view(0).Phase("connecting");
  board.view(1).Phase("waiting for the next terminal");
  sink.text_.clear();
  board.view(1).Message("connect the next terminal");
  // The two rows are cleared (the cursor goes up one line), the message is written, and the
  // rows come back below it, labels padded to one width.
  EXPECT_EQ(sink.text_,
            "\r\033[K\033[1A\r\033[K"
            "kvx-flash: ttyS1: connect the next terminal\n"
            "\r\033[KttyUSB0  connecting\n"
            "\r\033[KttyS1    waiting for the next terminal");

  sink.text_.clear();
  board.view(0).BeginProgress(4, Clock::TimePoint{});
  EXPECT_NE(sink.text_.find("ttyUSB0  ["), std::string::npos) << sink.text_;
  EXPECT_NE(sink.text_.find("0/4 seg"), std::string::npos) << sink.text_;
  EXPECT_NE(sink.text_.find("ttyS1    waiting"), std::string::npos) << "the other row stays";

  sink.text_.clear();
  board.Close();
  board.view(0).Message("after the end");
  EXPECT_EQ(sink.text_, "\nkvx-flash: ttyUSB0: after the end\n") << "no rows drawn any more";
}

TEST(RunSummary, ARowPerRunWithPortTerminalResultAndTime) {
  RunReport completed;
  completed.port = "/dev/ttyUSB0";
  completed.terminal.hw_version = "SFQAABCDEFG V2.0.1";
  completed.result = RunResult::kCompleted;
  completed.message_id = 141;
  completed.end = completed.start + std::chrono::seconds(83);
  RunReport failed;
  failed.port = "/dev/ttyUSB1";
  failed.result = RunResult::kFailed;
  failed.message_id = 147;
  failed.end = failed.start + std::chrono::seconds(14);
  EXPECT_EQ(FormatSummary({completed, failed}),
            "run  port          terminal            result        time\n"
            "1    /dev/ttyUSB0  SFQAABCDEFG V2.0.1  completed     1:23\n"
            "2    /dev/ttyUSB1  -                   failed (147)  0:14\n");
}

}  // namespace
}  // namespace kvx
