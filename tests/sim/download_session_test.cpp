#include "sim/download_session.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host_frames.h"
#include "sim/recording_sink.h"

namespace kvx::sim {
namespace {

// 150,000 bytes: two whole segments and a last one of 18,928 bytes.
constexpr std::size_t kImageSize = 150000;

class DownloadSessionTest : public ::testing::Test {
 protected:
  DownloadSessionTest() : image_(SampleData(kImageSize, 7)) {}

  void Feed(const std::string& bytes) { session_.Receive(bytes); }

  std::string Segment(std::size_t seg) const { return image_.substr(seg * 65536, 65536); }

  // The answers sent since the last call.
  std::vector<TerminalFrame> Answers() { return ParseTerminalFrames(sink_.TakeSent()); }

  // One answer, expected alone.
  TerminalFrame Answer() {
    const auto answers = Answers();
    EXPECT_EQ(answers.size(), 1u);
    return answers.empty() ? TerminalFrame{} : answers.front();
  }

  // Setup and every segment taken: only the finish is left.
  void SendAllSegments() {
    Feed(SetupFrame(0, kImageSize));
    for (std::uint16_t seg = 0; seg < 3; ++seg) Feed(WriteFrame(seg, Segment(seg)));
    ASSERT_EQ(Answers().size(), 4u);
  }

  std::string image_;
  DownloadConfig config_;
  FaultPlan faults_{{}};
  RecordingSink sink_;
  DownloadSession session_{config_, faults_, sink_};
};

TEST_F(DownloadSessionTest, AWholeTransferIsAnsweredStoredAndSummarised) {
  Feed(SetupFrame(0, kImageSize));
  TerminalFrame setup = Answer();
  EXPECT_EQ(setup.cmd, 's');
  EXPECT_EQ(setup.code, 0xC0);
  EXPECT_TRUE(setup.head_crc_ok);
  ASSERT_EQ(setup.body.size(), 111u);
  EXPECT_EQ(setup.body[0], 0) << "the mode is echoed";
  EXPECT_EQ(setup.body.substr(1, 18), "SFQAABCDEFG V2.0.1");
  EXPECT_EQ(setup.body.substr(70, 13), "OKR_TET_1.0.0");
  const std::uint32_t body_crc =
      static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(setup.body.data()), 107));
  EXPECT_EQ(
      setup.body.substr(107),
      std::string({static_cast<char>(body_crc & 0xFF), static_cast<char>(body_crc >> 8 & 0xFF),
                   static_cast<char>(body_crc >> 16 & 0xFF), static_cast<char>(body_crc >> 24)}));

  for (std::uint16_t seg = 0; seg < 3; ++seg) {
    Feed(WriteFrame(seg, Segment(seg)));
    const TerminalFrame write = Answer();
    EXPECT_EQ(write.cmd, 'w');
    EXPECT_EQ(write.code, 0xC0);
    EXPECT_EQ(write.seg, seg);
  }
  Feed(FinishFrame());
  const TerminalFrame finish = Answer();
  EXPECT_EQ(finish.cmd, 'f');
  EXPECT_EQ(finish.code, 0xC0);

  EXPECT_EQ(session_.data(), image_);
  const TransferSummary summary = session_.Summary();
  EXPECT_TRUE(summary.complete);
  EXPECT_TRUE(summary.clean());
  EXPECT_EQ(summary.frames, 5);
  EXPECT_EQ(summary.segments, 3);
  EXPECT_EQ(summary.mode, 0);
  EXPECT_EQ(summary.bytes, kImageSize);
  EXPECT_EQ(summary.crc32,
            crc32(0, reinterpret_cast<const Bytef*>(image_.data()), static_cast<uInt>(kImageSize)));
  ASSERT_TRUE(summary.finish);
  EXPECT_EQ((*summary.finish)[0].version, "JQ_SAT_V3.1.7");
  EXPECT_EQ((*summary.finish)[1].date, (DateTime{2024, 3, 15, 14, 25, 30}));
}

TEST_F(DownloadSessionTest, EachDamagedOrWrongFrameIsRefusedWithTheTerminalsCode) {
  const std::string good_write = WriteFrame(0, Segment(0));
  struct Case {
    const char* why;
    bool after_setup;
    std::function<std::string()> frame;
    std::uint8_t code;
    char answer;
    std::uint16_t seg;
  };
  const Case cases[] = {
      {"a head CRC off by one bit", true,
       [&] {
         std::string f = good_write;
         f[15] ^= 1;
         return f;
       },
       0xC2, 'w', 0},
      {"no ETX where Body says the frame ends", true,
       [&] {
         std::string f = good_write;
         f.back() = '\x00';
         return f;
       },
       0xC5, 'w', 0},
      {"a body longer than any frame may carry", true,
       [] { return HostFrame('W', 0, std::string(131073, 'x'), 65536); }, 0xC8, 'w', 0},
      {"a host frame must carry PACKET_CMD_REQ", true,
       [&] {
         return HostFrame('W', 0, good_write.substr(19, good_write.size() - 20), 65536, 0xC0);
       },
       0xC6, 'w', 0},
      {"an unknown command letter", true, [] { return HostFrame('X', 0, "", 0); }, 0xC6, 'w', 0},
      {"setup body CRC", false,
       [] {
         std::string f = SetupFrame(0, kImageSize);
         f[19 + 13] ^= 0x40;
         RefixCrc(f, 15, 2, 13);
         return f;
       },
       0xC2, 's', 0},
      {"setup body of 16 bytes", false, [] { return HostFrame('S', 0, std::string(16, '\0'), 16); },
       0xC8, 's', 0},
      {"setup mode other than 0 and 1", false, [] { return SetupFrame(2, kImageSize); }, 0xCF, 's',
       0},
      {"setup segment size other than 65536", false, [] { return SetupFrame(0, kImageSize, 4096); },
       0xCE, 's', 0},
      {"nothing to send", false, [] { return SetupFrame(0, 0); }, 0xCD, 's', 0},
      {"more than the largest image", false, [] { return SetupFrame(1, 0x3600001); }, 0xCD, 's', 0},
      {"a segment before the setup", false, [&] { return good_write; }, 0xC6, 'w', 0},
      {"a segment out of order names the one expected", true,
       [&] { return WriteFrame(1, Segment(1)); }, 0xCB, 'w', 0},
      {"R_Body must be the segment's length", true,
       [&] { return WriteFrame(0, Segment(0).substr(0, 65535)); }, 0xC8, 'w', 0},
      {"a body that is no zlib stream", true,
       [] { return HostFrame('W', 0, std::string(100, 'z'), 65536); }, 0xC3, 'w', 0},
      {"a stream that inflates short of R_Body", true,
       [&] {
         const std::string short_write = WriteFrame(0, Segment(0).substr(0, 1000));
         return HostFrame('W', 0, short_write.substr(19, short_write.size() - 20), 65536);
       },
       0xC3, 'w', 0},
      {"bytes after the end of the zlib stream", true,
       [&] {
         return HostFrame('W', 0, good_write.substr(19, good_write.size() - 20) + "!", 65536);
       },
       0xC3, 'w', 0},
      {"a finish before every segment arrived", true, [] { return FinishFrame(); }, 0xCD, 'f', 0},
      {"a finish before any setup", false, [] { return FinishFrame(); }, 0xC6, 'f', 0},
  };
  for (const auto& c : cases) {
    RecordingSink sink;
    FaultPlan faults{{}};
    DownloadSession session(config_, faults, sink);
    if (c.after_setup) session.Receive(SetupFrame(0, kImageSize));
    sink.TakeSent();
    session.Receive(c.frame());
    const auto answers = ParseTerminalFrames(sink.sent);
    ASSERT_EQ(answers.size(), 1u) << c.why;
    EXPECT_EQ(answers[0].code, c.code) << c.why;
    EXPECT_EQ(answers[0].cmd, c.answer) << c.why;
    EXPECT_EQ(answers[0].seg, c.seg) << c.why;
    EXPECT_EQ(session.Summary().refused, 1) << c.why;
  }
}

TEST_F(DownloadSessionTest, FinishBodyFaultsAreRefusedOnceEverySegmentIsIn) {
  struct Case {
    const char* why;
    std::function<void(std::string&)> damage;
    std::uint8_t code;
  };
  const Case cases[] = {
      {"finish body CRC", [](std::string& body) { body[0] ^= 1; }, 0xC2},
      {"a bit beyond the year's 14 bits",
       [](std::string& body) {
         body[17] |= 0x40;
         RefixCrc(body, 46, 0, 46);
       },
       0xC1},
      {"a month byte with high bits",
       [](std::string& body) {
         body[16 + 23 + 2] |= 0x10;
         RefixCrc(body, 46, 0, 46);
       },
       0xC1},
  };
  for (const auto& c : cases) {
    RecordingSink sink;
    FaultPlan faults{{}};
    DownloadSession session(config_, faults, sink);
    session.Receive(SetupFrame(0, kImageSize));
    for (std::uint16_t seg = 0; seg < 3; ++seg) session.Receive(WriteFrame(seg, Segment(seg)));
    sink.TakeSent();
    std::string body = FinishBody("A", "B");
    c.damage(body);
    session.Receive(HostFrame('F', 0, body, 50));
    const auto answers = ParseTerminalFrames(sink.sent);
    ASSERT_EQ(answers.size(), 1u) << c.why;
    EXPECT_EQ(answers[0].code, c.code) << c.why;
    EXPECT_FALSE(session.finished()) << c.why;
  }
}

TEST_F(DownloadSessionTest, AGoodFrameRightAfterADamagedOneIsStillFound) {
  Feed(SetupFrame(0, kImageSize));
  Answers();
  std::string damaged = WriteFrame(0, Segment(0));
  damaged[15] ^= 1;
  Feed(damaged + WriteFrame(0, Segment(0)));
  const auto answers = Answers();
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].code, 0xC2);
  EXPECT_EQ(answers[1].code, 0xC0);
  EXPECT_EQ(session_.Summary().stray_bytes, 0u) << "the damaged frame's bytes are not stray";
}

TEST_F(DownloadSessionTest, FramesSplitAtAnyByteAreReadTheSame) {
  const std::string setup = SetupFrame(1, kImageSize);
  for (std::size_t split = 0; split <= setup.size(); ++split) {
    RecordingSink sink;
    FaultPlan faults{{}};
    DownloadSession session(config_, faults, sink);
    session.Receive(setup.substr(0, split));
    session.Receive(setup.substr(split));
    const auto answers = ParseTerminalFrames(sink.sent);
    ASSERT_EQ(answers.size(), 1u) << "split at " << split;
    EXPECT_EQ(answers[0].code, 0xC0) << "split at " << split;
  }
}

TEST_F(DownloadSessionTest, NoiseFromTheHostIsCountedAndMakesTheTransferUnclean) {
  Feed("garbage" + SetupFrame(0, kImageSize));
  EXPECT_EQ(Answer().code, 0xC0);
  EXPECT_EQ(session_.Summary().stray_bytes, 7u);
  for (std::uint16_t seg = 0; seg < 3; ++seg) Feed(WriteFrame(seg, Segment(seg)));
  Feed(FinishFrame());
  EXPECT_TRUE(session_.Summary().complete);
  EXPECT_FALSE(session_.Summary().clean());
}

TEST_F(DownloadSessionTest, AResendOfTheSegmentJustTakenIsAnsweredAgainAndStoredOnce) {
  Feed(SetupFrame(0, kImageSize));
  Feed(WriteFrame(0, Segment(0)));
  Answers();
  Feed(WriteFrame(0, Segment(0)));
  const TerminalFrame again = Answer();
  EXPECT_EQ(again.code, 0xC0);
  EXPECT_EQ(again.seg, 0);
  Feed(WriteFrame(1, Segment(1)));
  EXPECT_EQ(Answer().code, 0xC0) << "the resend did not move the expected segment";
  EXPECT_EQ(session_.Summary().resends, 1);
}

struct FaultCase {
  const char* why;
  std::string fault;  // as given to --fault
  // What the terminal answers to the first W1, and whether it took that frame.
  char answer;
  std::uint8_t code;
  std::uint16_t seg;
  bool head_crc_ok;
  bool taken;
};

class FrameFaultTest : public DownloadSessionTest,
                       public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FrameFaultTest, ShapesTheAnswerToTheChosenFrameOnly) {
  const FaultCase& c = GetParam();
  const auto parsed = ParseOptions(std::vector<std::string_view>{"--fault", c.fault}, "/l", "/");
  ASSERT_TRUE(parsed.options) << parsed.error;
  FaultPlan faults(parsed.options->terminal.download.faults);
  RecordingSink sink;
  DownloadSession session(config_, faults, sink);

  session.Receive(SetupFrame(0, kImageSize));
  session.Receive(WriteFrame(0, Segment(0)));
  ASSERT_EQ(ParseTerminalFrames(sink.TakeSent()).size(), 2u) << "other frames are answered";

  session.Receive(WriteFrame(1, Segment(1)));
  const auto answers = ParseTerminalFrames(sink.TakeSent());
  if (c.answer == 0) {
    EXPECT_TRUE(answers.empty()) << c.why;
  } else {
    ASSERT_EQ(answers.size(), 1u) << c.why;
    EXPECT_EQ(answers[0].cmd, c.answer) << c.why;
    EXPECT_EQ(answers[0].code, c.code) << c.why;
    EXPECT_EQ(answers[0].seg, c.seg) << c.why;
    EXPECT_EQ(answers[0].head_crc_ok, c.head_crc_ok) << c.why;
  }
  EXPECT_EQ(session.Summary().bytes, c.taken ? 131072u : 65536u) << c.why;

  // The host's resend of W1 (or, after RC_SEG_ERROR, the segment named) is answered normally:
  // each fault fires once.
  session.Receive(WriteFrame(1, Segment(1)));
  const auto again = ParseTerminalFrames(sink.TakeSent());
  ASSERT_EQ(again.size(), 1u) << c.why;
  EXPECT_EQ(again[0].code, 0xC0) << c.why;
  EXPECT_TRUE(again[0].head_crc_ok) << c.why;
  EXPECT_EQ(session.Summary().refused, 0) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FrameFaultTest,
    ::testing::Values(
        FaultCase{"a lost frame gets no answer and is not stored", "W1:silent", 0, 0, 0, false,
                  false},
        FaultCase{"a damaged answer still means the frame was taken", "W1:bad-crc", 'w', 0xC0, 1,
                  false, true},
        FaultCase{"a flash error declines the frame", "W1:code=0xC9", 'w', 0xC9, 1, true, false},
        FaultCase{"code 0, which the host calls undefined", "W1:code=0", 'w', 0x00, 1, true, false},
        FaultCase{"a request frame instead of the answer", "W1:request", 'D', 0xB0, 1, true, false},
        FaultCase{"RC_SEG_ERROR naming the segment already sent", "W1:seg-error=1", 'w', 0xCB, 1,
                  true, false}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(DownloadSessionTest, SegErrorMakesTheTerminalExpectTheSegmentItNamed) {
  FaultPlan faults(std::vector<FrameFault>{{{'W', 2}, FaultKind::kSegError, 1, 1}});
  RecordingSink sink;
  DownloadSession session(config_, faults, sink);
  session.Receive(SetupFrame(0, kImageSize));
  session.Receive(WriteFrame(0, Segment(0)));
  session.Receive(WriteFrame(1, Segment(1)));
  session.Receive(WriteFrame(2, Segment(2)));
  EXPECT_EQ(ParseTerminalFrames(sink.TakeSent()).back().code, 0xCB);
  session.Receive(WriteFrame(1, Segment(1)));
  session.Receive(WriteFrame(2, Segment(2)));
  session.Receive(FinishFrame());
  for (const auto& answer : ParseTerminalFrames(sink.TakeSent())) EXPECT_EQ(answer.code, 0xC0);
  EXPECT_TRUE(session.Summary().clean());
  EXPECT_EQ(session.data(), image_);
}

TEST_F(DownloadSessionTest, ASilentFaultWithACountDropsThatManyReceptions) {
  FaultPlan faults(std::vector<FrameFault>{{{'F', -1}, FaultKind::kSilent, 0, 2}});
  RecordingSink sink;
  DownloadSession session(config_, faults, sink);
  session.Receive(SetupFrame(0, kImageSize));
  for (std::uint16_t seg = 0; seg < 3; ++seg) session.Receive(WriteFrame(seg, Segment(seg)));
  sink.TakeSent();
  session.Receive(FinishFrame());
  session.Receive(FinishFrame());
  EXPECT_TRUE(sink.TakeSent().empty());
  session.Receive(FinishFrame());
  EXPECT_EQ(ParseTerminalFrames(sink.TakeSent()).size(), 1u);
  EXPECT_EQ(session.Summary().resends, 2);
  EXPECT_TRUE(session.finished());
}

TEST_F(DownloadSessionTest, SetupAnswerModeFollowsModeEchoAndTheWrongModeFault) {
  struct Case {
    const char* why;
    std::optional<int> mode_echo;
    bool wrong_mode;
    std::uint8_t sent;
    char echoed;
  };
  const Case cases[] = {
      {"the mode received by default", std::nullopt, false, 1, 1},
      {"a configured mode echo", 5, false, 0, 5},
      {"the wrong-mode fault flips it", std::nullopt, true, 0, 1},
  };
  for (const auto& c : cases) {
    DownloadConfig config;
    config.mode_echo = c.mode_echo;
    std::vector<FrameFault> list;
    if (c.wrong_mode) list.push_back({{'S', -1}, FaultKind::kWrongMode, 0, 1});
    FaultPlan faults(list);
    RecordingSink sink;
    DownloadSession session(config, faults, sink);
    session.Receive(SetupFrame(c.sent, kImageSize));
    const auto answers = ParseTerminalFrames(sink.sent);
    ASSERT_EQ(answers.size(), 1u) << c.why;
    EXPECT_EQ(answers[0].body[0], c.echoed) << c.why;
  }
}

TEST_F(DownloadSessionTest, NoiseBeforeAnAnswerNeverHoldsSyn) {
  FaultPlan faults(std::vector<FrameFault>{{{0, -1}, FaultKind::kNoise, 64, kEveryTime}});
  RecordingSink sink;
  DownloadSession session(config_, faults, sink);
  session.Receive(SetupFrame(0, kImageSize));
  ASSERT_GT(sink.sent.size(), 64u);
  EXPECT_EQ(sink.sent.substr(0, 64).find('\x96'), std::string::npos);
  EXPECT_EQ(sink.sent.substr(64, 3), "\x96\x96\x82");
}

}  // namespace
}  // namespace kvx::sim
