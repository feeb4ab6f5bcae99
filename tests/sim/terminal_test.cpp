#include "sim/terminal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host_frames.h"
#include "sim/recording_sink.h"

namespace kvx::sim {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

class TerminalTest : public ::testing::Test {
 protected:
  // A terminal that has acknowledged the download request and come back in download mode.
  void RestartIntoDownloadMode() {
    terminal_.Receive("AT+MMI=\"USB_DOWNLOAD\"\r", 115200);
    ASSERT_EQ(sink_.TakeSent(), "OK\r\n");
    ASSERT_EQ(sink_.restarts, 1);
    terminal_.Restarted();
    ASSERT_EQ(terminal_.mode(), TerminalMode::kBootLoader);
  }

  TerminalOptions options_;
  RecordingSink sink_;
  Terminal terminal_{options_, sink_};
};

TEST_F(TerminalTest, AnswersOnlyAtTheChosenSpeedAndLogsWhatItIgnored) {
  terminal_.Receive("AT\r", 460800);
  EXPECT_EQ(sink_.TakeSent(), "") << "at the wrong rate a UART sees only garbage";
  terminal_.Receive("AT+CEXT=1\r", 115200);
  EXPECT_EQ(sink_.TakeSent(), "OK\r\n");
  EXPECT_THAT(sink_.log, ElementsAre("ignored 460800 \"AT\\r\"", "at 115200 \"AT+CEXT=1\\r\"",
                                     "reply \"OK\\r\\n\""));
}

TEST(TerminalSpeedTest, AnySpeedAnswersAtEitherRate) {
  TerminalOptions options;
  options.normal_speed = LineSpeed{0};
  RecordingSink sink;
  Terminal terminal(options, sink);
  terminal.Receive("AT\r", 460800);
  terminal.Receive("AT+CEXT=1\r", 115200);
  EXPECT_EQ(sink.sent, "OK\r\nOK\r\n");
}

TEST_F(TerminalTest, CommandsAreAnsweredWhenTheirCrArrivesHoweverTheBytesAreSplit) {
  terminal_.Receive("at+hw", 115200);
  EXPECT_EQ(sink_.TakeSent(), "");
  terminal_.Receive("ver\rAT\r", 115200);
  EXPECT_EQ(sink_.TakeSent(), "+HWVER: SFQAABCDEFG V2.0.1\r\nOK\r\nOK\r\n");
  EXPECT_THAT(sink_.log, Contains("at 115200 \"at+hwver\\r\""));
}

TEST_F(TerminalTest, HostCloseLosesAHalfReceivedCommand) {
  terminal_.Receive("AT", 115200);
  terminal_.HostClosed();
  terminal_.Receive("\r", 115200);
  EXPECT_EQ(sink_.TakeSent(), "ERROR\r\n");
  EXPECT_EQ(terminal_.mode(), TerminalMode::kApplication) << "the application stays up";
}

TEST_F(TerminalTest, AnOverlongCommandIsRefusedAndLoggedTruncated) {
  terminal_.Receive(std::string(300, 'A') + "\r", 115200);
  EXPECT_EQ(sink_.TakeSent(), "ERROR\r\n");
  EXPECT_THAT(sink_.log, Contains("at 115200 " + std::string("\"") + std::string(256, 'A') +
                                  "\" truncated 45"));
}

TEST_F(TerminalTest, DownloadRequestRestartsIntoTheBootLoaderAtItsOwnSpeed) {
  RestartIntoDownloadMode();
  terminal_.Receive("AT+UPAPP\r", 115200);
  EXPECT_EQ(sink_.TakeSent(), "") << "download mode answers at 460800 only";
  terminal_.Receive("AT+UPAPP\r", 460800);
  EXPECT_EQ(sink_.TakeSent(), "+UPAPP\r\n");
}

TEST_F(TerminalTest, NothingIsAnsweredWhileTheTerminalRestarts) {
  terminal_.Receive("AT+MMI=\"USB_DOWNLOAD\"\rAT\r", 115200);
  EXPECT_EQ(sink_.TakeSent(), "OK\r\n") << "the command after the request falls into the reset";
  EXPECT_EQ(terminal_.mode(), TerminalMode::kResetting);
  terminal_.Receive("AT\r", 115200);
  EXPECT_EQ(sink_.TakeSent(), "");
}

TEST_F(TerminalTest, StartSwitchesToFramesSoTextAfterItIsNoLongerACommand) {
  RestartIntoDownloadMode();
  terminal_.Receive("AT+UPGRADE\rAT\r", 460800);
  EXPECT_EQ(sink_.TakeSent(), "+START\r\n");
  EXPECT_EQ(terminal_.mode(), TerminalMode::kBinary);
}

TEST_F(TerminalTest, HostClosingInDownloadModeRebootsTheTerminalIntoTheApplication) {
  RestartIntoDownloadMode();
  terminal_.HostClosed();
  EXPECT_EQ(sink_.restarts, 2);
  terminal_.Restarted();
  EXPECT_EQ(terminal_.mode(), TerminalMode::kApplication);
  terminal_.Receive("AT+CEXT=1\r", 115200);
  EXPECT_EQ(sink_.TakeSent(), "OK\r\n");
}

TEST_F(TerminalTest, FramesAfterStartGoToTheDownloadAndTheHostsCloseEndsIt) {
  RestartIntoDownloadMode();
  const std::string data = SampleData(1000, 1);
  // The first frame arrives in the same read as the command that starts the download.
  terminal_.Receive("AT+UPGRADE\r" + SetupFrame(0, data.size()), 460800);
  terminal_.Receive(WriteFrame(0, data) + FinishFrame(), 460800);
  const std::string sent = sink_.TakeSent();
  ASSERT_TRUE(sent.starts_with("+START\r\n"));
  const auto answers = ParseTerminalFrames(sent);
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[2].cmd, 'f');
  EXPECT_TRUE(sink_.summaries.empty()) << "a finish answer may be lost: the host may resend";

  terminal_.HostClosed();
  ASSERT_EQ(sink_.summaries.size(), 1u);
  EXPECT_TRUE(sink_.summaries[0].clean());
  EXPECT_EQ(sink_.ended_data, data);
  EXPECT_EQ(terminal_.mode(), TerminalMode::kResetting) << "the new firmware starts";
  terminal_.Restarted();
  EXPECT_EQ(terminal_.mode(), TerminalMode::kApplication);
}

TEST_F(TerminalTest, ShutdownDuringADownloadReportsItAbandoned) {
  RestartIntoDownloadMode();
  terminal_.Receive("AT+UPGRADE\r" + SetupFrame(0, 1000), 460800);
  terminal_.Shutdown();
  ASSERT_EQ(sink_.summaries.size(), 1u);
  EXPECT_FALSE(sink_.summaries[0].complete);
  EXPECT_EQ(sink_.summaries[0].mode, 0);
}

TEST(TerminalVanishTest, AVanishingTerminalHearsNothingMoreAndComesBackInTheApplication) {
  TerminalOptions options;
  options.download.faults = {{{'W', 1}, FaultKind::kVanish, 2500, 1}};
  RecordingSink sink;
  Terminal terminal(options, sink);
  terminal.Receive("AT+MMI=\"USB_DOWNLOAD\"\r", 115200);
  terminal.Restarted();
  const std::string data = SampleData(3 * 65536, 2);
  terminal.Receive("AT+UPGRADE\r" + SetupFrame(0, data.size()), 460800);
  sink.TakeSent();
  // Segment 1 makes it vanish; segment 2 in the same read is never heard.
  terminal.Receive(WriteFrame(0, std::string_view(data).substr(0, 65536)) +
                       WriteFrame(1, std::string_view(data).substr(65536, 65536)) +
                       WriteFrame(2, std::string_view(data).substr(131072)),
                   460800);
  const auto answers = ParseTerminalFrames(sink.TakeSent());
  ASSERT_EQ(answers.size(), 1u) << "only segment 0 is answered";
  EXPECT_EQ(answers[0].seg, 0);
  ASSERT_EQ(sink.summaries.size(), 1u);
  EXPECT_FALSE(sink.summaries[0].complete);
  EXPECT_EQ(sink.restarts, 2);
  EXPECT_EQ(sink.last_away, std::chrono::milliseconds(2500));
  terminal.Restarted();
  EXPECT_EQ(terminal.mode(), TerminalMode::kApplication);
}

}  // namespace
}  // namespace kvx::sim
