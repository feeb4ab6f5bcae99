// The download after "+START": the setup, segment and finish exchanges, their resends and
// time-outs, the finish body, completion, and the segment dumps of development mode.

#include <gtest/gtest.h>
#include <zlib.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/timer_ids.h"
#include "engine_fixture.h"

namespace kvx::test {
namespace {

using test::PrintTo;

using Message = RecordingFrontEnd::Message;

// "S W0 W1 ... F": the frames in the order sent.
std::string Sequence(const std::vector<HostFrame>& frames) {
  std::string out;
  for (const HostFrame& f : frames) {
    if (!out.empty()) out += ' ';
    out += static_cast<char>(f.cmd);
    if (f.cmd == kCmdWrite) out += std::to_string(f.seg);
  }
  return out;
}

std::vector<std::uint8_t> Inflate(const HostFrame& frame) {
  std::vector<std::uint8_t> out(frame.raw_length + 1);  // room to notice a longer stream
  uLongf length = out.size();
  EXPECT_EQ(uncompress(out.data(), &length, frame.body.data(), frame.body.size()), Z_OK);
  out.resize(length);
  return out;
}

// Checks what every host frame has in common: code, head CRC, ETX, Body = body size.
void ExpectWellFormed(const HostFrame& f) {
  EXPECT_EQ(f.code, PACKET_CMD_REQ);
  EXPECT_TRUE(f.head_crc_ok);
  EXPECT_TRUE(f.etx_ok);
  EXPECT_EQ(f.body_length, f.body.size());
  EXPECT_EQ(f.bytes.size(), kFrameOverhead + f.body.size());
}

struct SegmentCase {
  const char* reason;
  std::size_t send_size;
  std::size_t segments;
  std::uint32_t last_length;
};

class SegmentTest : public EngineTest, public ::testing::WithParamInterface<SegmentCase> {};

TEST_P(SegmentTest, SendsTheImageAfterItsBootRegionInCompressedSegments) {
  const SegmentCase& c = GetParam();
  SampleImageSpec spec;
  spec.size = kSampleBootRegionSize + c.send_size;
  UseImage(spec);
  StartRun();

  const auto frames = terminal.frames();
  std::string expected = "S";
  for (std::size_t k = 0; k < c.segments; ++k) expected += " W" + std::to_string(k);
  EXPECT_EQ(Sequence(frames), expected + " F");

  const HostFrame& setup = frames.front();
  ExpectWellFormed(setup);
  EXPECT_EQ(setup.bytes.size(), 37u);
  EXPECT_EQ(setup.raw_length, kSetupBodySize);
  EXPECT_EQ(setup.seg, 0);
  ASSERT_EQ(setup.body.size(), kSetupBodySize);
  EXPECT_EQ(setup.body[0], 0) << "main upgrade";
  EXPECT_EQ(ReadLe32(setup.body, kSetupSegmentSizeOffset), 65536u);
  EXPECT_EQ(ReadLe64(setup.body, kSetupDataSizeOffset), c.send_size);
  EXPECT_EQ(ReadLe32(setup.body, kSetupCrcOffset),
            Crc32(std::span(setup.body).first(kSetupCrcOffset)));

  std::vector<std::uint8_t> received;
  const auto writes = terminal.frames(kCmdWrite);
  for (std::size_t k = 0; k < writes.size(); ++k) {
    SCOPED_TRACE("segment " + std::to_string(k));
    ExpectWellFormed(writes[k]);
    EXPECT_EQ(writes[k].raw_length, k + 1 == c.segments ? c.last_length : 65536u);
    const auto raw = Inflate(writes[k]);
    EXPECT_EQ(raw.size(), writes[k].raw_length);
    received.insert(received.end(), raw.begin(), raw.end());
  }
  EXPECT_TRUE(std::equal(received.begin(), received.end(),
                         image.begin() + static_cast<std::ptrdiff_t>(kSampleBootRegionSize),
                         image.end()) &&
              received.size() == c.send_size)
      << "the inflated segments are the image from the send start";
  const auto setups = front_end.Of(WM_USER_PROG_SETUP);
  ASSERT_EQ(setups.size(), 2u);
  EXPECT_EQ(setups[1].wParam, c.segments);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SegmentTest,
    ::testing::Values(SegmentCase{"an exact multiple of 65536 gives full segments only", 3 * 65536,
                                  3, 65536},
                      SegmentCase{"one byte more adds a segment of 1 byte", 3 * 65536 + 1, 4, 1}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(EngineTest, ACompletedUpgradeReportsItsProgressInOrderAndEndsWith149) {
  StartRun();
  // Disconnect sends its BTN_ENABLE, which may overtake a progress message still queued; every
  // other message is posted, in order.
  std::vector<Message> posted;
  std::vector<std::size_t> enable_at;
  for (const Message& m : front_end.messages) {
    if (m.msg == WM_USER_BTN_CTRL && m.wParam == BTN_ENABLE) {
      enable_at.push_back(posted.size());
    } else {
      posted.push_back(m);
    }
  }
  EXPECT_EQ(posted, (std::vector<Message>{
                        {WM_USER_BTN_CTRL, BTN_DISABLE, 0, "", 0},
                        {WM_USER_STATIC_LOG_CTRL, 0, IDS_INIT_IN_PROGRESS, "", 0},
                        {WM_USER_PROG_SETUP, 8, UPGRADE_PART, "", 0},
                        {WM_USER_STATIC_LOG_CTRL, 0, IDS_UPGRADE_IN_PROGRESS, "", 0},
                        {WM_USER_PROG_SETUP, 4, UPGRADE_PART, "", 0},
                        {WM_USER_PROG_PROC, 0, 1, "", 0},
                        {WM_USER_PROG_PROC, 0, 2, "", 0},
                        {WM_USER_PROG_PROC, 0, 3, "", 0},
                        {WM_USER_PROG_PROC, 0, 4, "", 0},
                        {WM_USER_END, 0, UPGRADE_END_ID, "", 0},
                    }))
      << "the whole image's count at the start, the sent part's after the setup response";
  EXPECT_EQ(front_end.Enables(), (std::vector<LPARAM>{0}));
  ASSERT_EQ(enable_at.size(), 1u);
  EXPECT_LT(enable_at[0], posted.size()) << "BTN_ENABLE comes before WM_USER_END";

  std::vector<std::string> tail;
  for (const TraceEntry& e : Trace()) tail.push_back(e.text);
  ASSERT_GE(tail.size(), 5u);
  tail.erase(tail.begin(), tail.end() - 5);
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "Disconnect() : WM_USER_BTN_CTRL BTN_ENABLE occur[0]\n",
                      "Finish response received\n", "IDT_FINISH_RESPONSE timer kill\n",
                      "WM_USER_END IDS_UPGRADE_COMPLETE_2 occur\n", "FINISH!!!\n"}));
  EXPECT_FALSE(port->is_open());
  EXPECT_EQ(worker.com().RxMode(), RX_MODE_LINE);
  EXPECT_FALSE(loop.NextTimerDue().has_value());
  EXPECT_FALSE(worker.run_active());
  EXPECT_EQ(worker.Snapshot().m_nCurDataCount, 0);
}

TEST_F(EngineTest, EndingARunMidSegmentStopsEveryTimerInItsOrder) {
  terminal.SetFrameResponder([this](const HostFrame& f) {
    return f.cmd == kCmdWrite ? std::nullopt : terminal.DefaultReply(f);
  });
  StartRun();
  ASSERT_TRUE(TimerRunning(IDT_WRITE_RESPONSE));
  const std::size_t first = TraceSize();
  Post(WM_USER_ABORT_RUN);
  EXPECT_EQ(front_end.Enables(), (std::vector<LPARAM>{0}));
  EXPECT_FALSE(loop.NextTimerDue().has_value());
  EXPECT_FALSE(port->is_open());

  std::vector<std::string> texts;
  for (const TraceEntry& e : Trace(first)) texts.push_back(e.text);
  ASSERT_GE(texts.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(texts.end() - 8, texts.end()),
            (std::vector<std::string>{
                "IDT_BOOT_LOADER_TIMER_TEMP timer kill\n", "IDT_CONNECT_RESPONSE timer kill\n",
                "IDT_WAIT_COM_RESTORE timer kill\n", "IDT_SETUP_RESPONSE timer kill\n",
                "IDT_WRITE_RESPONSE timer kill\n", "IDT_PORT_SEARCH timer kill\n",
                "IDT_FINISH_RESPONSE timer kill\n",
                "Disconnect() : WM_USER_BTN_CTRL BTN_ENABLE occur[0]\n"}));
  AdvanceBy(60000);
  EXPECT_EQ(terminal.frames(kCmdWrite).size(), 1u);
}

struct TimeoutCase {
  const char* reason;
  std::uint8_t cmd;  // the request left unanswered
  std::int64_t period_ms;
  int seg;  // the segment the give-up line names
};

class ResponseTimeoutTest : public EngineTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(ResponseTimeoutTest, ResendsFiveTimesUnchangedThenEndsWith146) {
  const TimeoutCase& c = GetParam();
  auto unanswered = [c](const HostFrame& f) {
    return f.cmd == c.cmd && (c.cmd != kCmdWrite || f.seg == c.seg);
  };
  terminal.SetFrameResponder([this, unanswered](const HostFrame& f) {
    return unanswered(f) ? std::nullopt : terminal.DefaultReply(f);
  });
  StartRun();
  auto sends = [&] {
    std::vector<HostFrame> found;
    for (HostFrame& f : terminal.frames()) {
      if (unanswered(f)) found.push_back(std::move(f));
    }
    return found;
  };
  ASSERT_EQ(sends().size(), 1u);
  for (std::size_t resend = 1; resend <= 5; ++resend) {
    AdvanceBy(c.period_ms - 1);
    EXPECT_EQ(sends().size(), resend);
    AdvanceBy(1);
    EXPECT_EQ(sends().size(), resend + 1) << "resend " << resend;
  }
  AdvanceBy(c.period_ms - 1);
  EXPECT_TRUE(front_end.Enables().empty());
  AdvanceBy(1);
  EXPECT_EQ(front_end.Enables(), (std::vector<LPARAM>{IDS_UPGRADE_FAILED}));
  EXPECT_TRUE(TraceHas("reTransmission count Full = [5], segment:" + std::to_string(c.seg) + "\n",
                       kTraceRed));

  const auto all = sends();
  ASSERT_EQ(all.size(), 6u);
  for (const HostFrame& f : all) EXPECT_EQ(f.bytes, all.front().bytes) << "a resend is unchanged";
  AdvanceBy(10 * c.period_ms);
  EXPECT_EQ(sends().size(), 6u);
  EXPECT_TRUE(front_end.Of(WM_USER_END).empty());
  EXPECT_FALSE(port->is_open());
}

INSTANTIATE_TEST_SUITE_P(Requests, ResponseTimeoutTest,
                         ::testing::Values(TimeoutCase{"the setup frame", kCmdSetup, 30000, 0},
                                           TimeoutCase{"segment 1 at 460800", kCmdWrite, 10000, 1},
                                           TimeoutCase{"the finish frame", kCmdFinish, 30000, 0}),
                         [](const auto& info) {
                           return std::string(1, static_cast<char>(info.param.cmd));
                         });

struct ResendCase {
  const char* reason;
  std::uint8_t cmd;  // the request answered badly the first time
  int seg;
  std::function<std::vector<std::uint8_t>(const HostFrame&)> reply;
  const char* sequence;
};

class BadResponseTest : public EngineTest, public ::testing::WithParamInterface<ResendCase> {};

TEST_P(BadResponseTest, MakesTheHostResendItsLastFrame) {
  const ResendCase& c = GetParam();
  auto answered_badly = std::make_shared<bool>(false);
  terminal.SetFrameResponder([this, c, answered_badly](const HostFrame& f) {
    if (!*answered_badly && f.cmd == c.cmd && f.seg == c.seg) {
      *answered_badly = true;
      return std::optional(c.reply(f));
    }
    return terminal.DefaultReply(f);
  });
  StartRun();

  const auto frames = terminal.frames();
  EXPECT_EQ(Sequence(frames), c.sequence);
  for (std::size_t i = 1; i < frames.size(); ++i) {
    if (frames[i].cmd == frames[i - 1].cmd && frames[i].seg == frames[i - 1].seg) {
      EXPECT_EQ(frames[i].bytes, frames[i - 1].bytes) << "the resend is the same frame";
    }
  }
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Responses, BadResponseTest,
    ::testing::Values(ResendCase{"a request frame from the terminal", kCmdWrite, 1,
                                 [](const HostFrame&) {
                                   return TerminalFrame(kCmdDeviceRequest, PACKET_CMD_REQ, 0);
                                 },
                                 "S W0 W1 W1 W2 W3 F"},
                      ResendCase{"a setup response whose body CRC is wrong", kCmdSetup, 0,
                                 [](const HostFrame& f) {
                                   SetupAnswer answer;
                                   answer.break_body_crc = true;
                                   return TerminalFrame(kCmdSetupResponse, RC_OK, 0,
                                                        SetupResponseBody(f.body[0], answer));
                                 },
                                 "S S W0 W1 W2 W3 F"},
                      ResendCase{"a setup response too short for its fields", kCmdSetup, 0,
                                 [](const HostFrame&) {
                                   const std::vector<std::uint8_t> body(20, 0);
                                   return TerminalFrame(kCmdSetupResponse, RC_OK, 0, body);
                                 },
                                 "S S W0 W1 W2 W3 F"},
                      ResendCase{"a write response reporting a flash write error", kCmdWrite, 2,
                                 [](const HostFrame& f) {
                                   return TerminalFrame(kCmdWriteResponse, RC_FLASH_WRITE_ERROR,
                                                        f.seg);
                                 },
                                 "S W0 W1 W2 W2 W3 F"},
                      ResendCase{"a finish response with a broken head CRC", kCmdFinish, 0,
                                 [](const HostFrame&) {
                                   auto frame = TerminalFrame(kCmdFinishResponse, RC_OK, 0);
                                   frame[kFrameHeadCrcOffset] ^= 0x01;
                                   return frame;
                                 },
                                 "S W0 W1 W2 W3 F F"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

class SegmentErrorTest : public EngineTest {
 protected:
  // Ten segments to send; the first write response to segment 7 names `named` instead.
  void RunWithSegmentError(std::uint16_t named) {
    SampleImageSpec spec;
    spec.size = kSampleBootRegionSize + 10 * 65536;
    UseImage(spec);
    auto jumped = std::make_shared<bool>(false);
    terminal.SetFrameResponder([this, named, jumped](const HostFrame& f) {
      if (!*jumped && f.cmd == kCmdWrite && f.seg == 7) {
        *jumped = true;
        return std::optional(TerminalFrame(kCmdWriteResponse, RC_SEG_ERROR, named));
      }
      return terminal.DefaultReply(f);
    });
    StartRun();
  }
};

TEST_F(SegmentErrorTest, ASegmentErrorMakesTheNextFrameTheSegmentTheTerminalNames) {
  RunWithSegmentError(3);
  const auto frames = terminal.frames();
  EXPECT_EQ(Sequence(frames), "S W0 W1 W2 W3 W4 W5 W6 W7 W3 W4 W5 W6 W7 W8 W9 F");
  EXPECT_EQ(frames[9].bytes, frames[4].bytes) << "segment 3 again, unchanged";
  std::vector<LPARAM> progress;
  for (const Message& m : front_end.Of(WM_USER_PROG_PROC)) progress.push_back(m.lParam);
  EXPECT_EQ(progress, (std::vector<LPARAM>{1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u);
}

TEST_F(SegmentErrorTest, ASegmentBeyondTheLastIsRefusedAndThePendingTimerResends) {
  RunWithSegmentError(11);
  EXPECT_EQ(Sequence(terminal.frames()), "S W0 W1 W2 W3 W4 W5 W6 W7");
  EXPECT_TRUE(TraceHas("FAIL - cause OVERFLOW segment number\n", kTraceRed));
  EXPECT_EQ(worker.Snapshot().m_nCurDataCount, 0);
  EXPECT_TRUE(TimerRunning(IDT_WRITE_RESPONSE));

  terminal.SetFrameResponder([](const HostFrame&) { return std::nullopt; });
  AdvanceBy(9999);
  EXPECT_EQ(terminal.frames(kCmdWrite).size(), 8u);
  AdvanceBy(1);
  const auto writes = terminal.frames(kCmdWrite);
  ASSERT_EQ(writes.size(), 9u);
  EXPECT_EQ(writes[8].bytes, writes[7].bytes) << "the time-out resends segment 7";
}

TEST_F(EngineTest, ASetupResponseWithAnotherModeEndsTheConnectionWithoutAMessage) {
  SetupAnswer answer;
  answer.mode = 1;  // the host sent 0
  terminal.SetSetupAnswer(answer);
  StartRun();
  EXPECT_EQ(front_end.Enables(), (std::vector<LPARAM>{0}));
  EXPECT_TRUE(TraceHas("setup response에서 잘못된 mode 값이 왔다!!\n", kTraceRed));
  EXPECT_EQ(Sequence(terminal.frames()), "S");
  EXPECT_EQ(front_end.Of(WM_USER_PROG_SETUP).size(), 1u) << "only the start's";
  EXPECT_TRUE(front_end.Of(WM_USER_END).empty());
  EXPECT_FALSE(port->is_open());
  EXPECT_FALSE(loop.NextTimerDue().has_value());
}

struct WritePeriodCase {
  const char* reason;
  bool upapp_at_115200;  // the terminal answers the download-mode request with "+UPAPP" at once
  std::uint32_t baud;
  std::int64_t period_ms;
};

class WritePeriodTest : public EngineTest, public ::testing::WithParamInterface<WritePeriodCase> {};

TEST_P(WritePeriodTest, TheWriteResponseWaitScalesWithTheLineRate) {
  const WritePeriodCase& c = GetParam();
  if (c.upapp_at_115200) terminal.Answer(std::string(kDownloadCommand), {"+UPAPP\r\n"});
  terminal.SetFrameResponder([this](const HostFrame& f) {
    return f.cmd == kCmdWrite ? std::nullopt : terminal.DefaultReply(f);
  });
  StartRun();
  ASSERT_EQ(terminal.frames(kCmdWrite).size(), 1u);
  EXPECT_EQ(port->settings().baud_rate, c.baud);
  AdvanceBy(c.period_ms - 1);
  EXPECT_EQ(terminal.frames(kCmdWrite).size(), 1u);
  AdvanceBy(1);
  EXPECT_EQ(terminal.frames(kCmdWrite).size(), 2u);
  if (c.upapp_at_115200) {
    // "+UPAPP" before any restart is taken at once: AT+UPGRADE follows on the same line.
    const auto commands = terminal.commands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const auto& cmd) { return cmd.text == kUpappCommand; }),
              0);
    EXPECT_EQ(commands.back().text, kUpgradeCommand);
    EXPECT_EQ(commands.back().baud, 115200u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rates, WritePeriodTest,
    ::testing::Values(WritePeriodCase{"download mode at 460800", false, 460800, 10000},
                      WritePeriodCase{"a download left at 115200", true, 115200, 40000}),
    [](const auto& info) { return "Baud" + std::to_string(info.param.baud); });

// The finish body's slots.
enum class DateKind { kNow, kBsp, kTet, kZero };
struct Slot {
  std::string version;  // the first 16 bytes expected, before zero fill
  DateKind date;
};

struct FinishCase {
  const char* reason;
  std::string hwver_reply;
  LPARAM options;
  std::string tet_version;
  Slot first;
  Slot second;
};

class FinishBodyTest : public EngineTest, public ::testing::WithParamInterface<FinishCase> {};

DateRecord LocalDate(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return MakeDateRecord(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec);
}

TEST_P(FinishBodyTest, FillsBothSlotsFromTheSetupResponseTheImageAndTheClock) {
  const FinishCase& c = GetParam();
  terminal.Answer(std::string(kHwVerCommand), {c.hwver_reply});
  SetupAnswer answer;
  answer.tet_version = c.tet_version;
  terminal.SetSetupAnswer(answer);
  const std::time_t before = std::time(nullptr);
  StartRun(c.options);
  const std::time_t after = std::time(nullptr);

  const auto finish = terminal.frames(kCmdFinish);
  ASSERT_EQ(finish.size(), 1u);
  const HostFrame& f = finish[0];
  ExpectWellFormed(f);
  EXPECT_EQ(f.bytes.size(), 70u);
  EXPECT_EQ(f.raw_length, kFinishBodySize);
  EXPECT_EQ(f.seg, 0);
  ASSERT_EQ(f.body.size(), kFinishBodySize);
  const std::span<const std::uint8_t> body(f.body);
  EXPECT_EQ(ReadLe32(body, kFinishCrcOffset), Crc32(body.first(kFinishCrcOffset)));

  std::vector<DateRecord> now_dates;
  for (std::time_t t = before; t <= after; ++t) now_dates.push_back(LocalDate(t));
  auto expect_slot = [&](std::size_t at, const Slot& slot, const char* name) {
    SCOPED_TRACE(name);
    std::string version = slot.version.substr(0, kFinishVersionSize);
    version.resize(kFinishVersionSize, '\0');
    EXPECT_EQ(std::string(body.begin() + static_cast<std::ptrdiff_t>(at),
                          body.begin() + static_cast<std::ptrdiff_t>(at + kFinishVersionSize)),
              version);
    const DateRecord date =
        ReadDateRecord(body.subspan(at + kFinishVersionSize).first<kDateRecordSize>());
    switch (slot.date) {
      case DateKind::kNow:
        EXPECT_NE(std::find(now_dates.begin(), now_dates.end(), date), now_dates.end());
        break;
      case DateKind::kBsp:
        EXPECT_EQ(date, answer.bsp_date);
        break;
      case DateKind::kTet:
        EXPECT_EQ(date, answer.tet_date);
        break;
      case DateKind::kZero:
        EXPECT_EQ(date, DateRecord{});
        break;
    }
  };
  expect_slot(0, c.first, "first slot");
  expect_slot(kFinishSlotSize, c.second, "second slot");
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u);
}

constexpr const char* kImageStack = "TALO_TYPE_VMR_NORMAL_V3.1.7";
constexpr const char* kTerminalBsp = "SFQAABCDEFG V2.0.1 BSP";  // SetupAnswer's default
// A TET field whose text ends early, with bytes after its NUL: the terminal's field goes back
// unchanged.
const std::string kTetWithNul("OKR_T\0\x01\x02TAIL_BYTES", 16);

INSTANTIATE_TEST_SUITE_P(
    Modes, FinishBodyTest,
    ::testing::Values(
        FinishCase{"main upgrade: the image stack now, then TETVer with its date",
                   "+HWVER: SFQAABCDEFG V2.0.1\r\nOK\r\n", 0, "OKR_TET_V1.4",
                   Slot{kImageStack, DateKind::kNow}, Slot{"OKR_TET_V1.4", DateKind::kTet}},
        FinishCase{"main upgrade: a TETVer without OKR carries a zero date",
                   "+HWVER: SFQAABCDEFG V2.0.1\r\nOK\r\n", 0, "TET_OKR_V1.4",
                   Slot{kImageStack, DateKind::kNow}, Slot{"TET_OKR_V1.4", DateKind::kZero}},
        FinishCase{"main upgrade: TETVer is copied byte for byte, past an early NUL",
                   "+HWVER: SFQAABCDEFG V2.0.1\r\nOK\r\n", 0, kTetWithNul,
                   Slot{kImageStack, DateKind::kNow}, Slot{kTetWithNul, DateKind::kTet}},
        FinishCase{"bootloader upgrade: BSPVer with its date, then the image stack now",
                   "+HWVER: SFQAABCDEFG V1.4.0\r\nOK\r\n", 0, "OKR_TET_V1.4",
                   Slot{kTerminalBsp, DateKind::kBsp}, Slot{kImageStack, DateKind::kNow}},
        FinishCase{"forced bootloader with an unknown terminal boot: the BSP date is zero",
                   "+HWVER: ???\r\nOK\r\n", OPTION_FORCE_BOOT, "OKR_TET_V1.4",
                   Slot{kTerminalBsp, DateKind::kZero}, Slot{kImageStack, DateKind::kNow}}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

// The smallest zlib stream on request: the same segments, fewer bytes, and a resend still byte
// for byte the frame it repeats. The standard run first, then the same engine again.
TEST_F(EngineTest, TheMaximumCompressionSendsTheSameSegmentsInFewerBytes) {
  StartRun();
  ASSERT_EQ(front_end.Of(WM_USER_END).size(), 1u);
  const auto standard = terminal.frames(kCmdWrite);

  ASSERT_TRUE(worker.SetCompression(SegmentCompressor::Level::kMax));
  bool silent_once = true;
  terminal.SetFrameResponder([&](const HostFrame& f) {
    if (f.cmd == kCmdWrite && f.seg == 1 && std::exchange(silent_once, false)) {
      return std::optional<std::vector<std::uint8_t>>();
    }
    return terminal.DefaultReply(f);
  });
  Post(WM_USER_UPGRADE_AGAIN);
  const std::size_t first = terminal.frames(kCmdWrite).size();
  Post(WM_USER_UPGRADE_START);
  AdvanceBy(WRITE_RESPONSE_MS * 2);
  ASSERT_EQ(front_end.Of(WM_USER_END).size(), 2u);

  const auto all = terminal.frames(kCmdWrite);
  const std::vector<HostFrame> smallest(all.begin() + static_cast<std::ptrdiff_t>(first),
                                        all.end());
  ASSERT_EQ(smallest.size(), standard.size() + 1) << "segment 1 twice";
  EXPECT_EQ(smallest[1].bytes, smallest[2].bytes) << "the resend repeats the frame";
  std::size_t standard_bytes = 0;
  std::size_t smallest_bytes = 0;
  for (std::size_t k = 0; k < standard.size(); ++k) {
    const HostFrame& w = smallest[k < 2 ? k : k + 1];
    EXPECT_EQ(Inflate(w), Inflate(standard[k])) << "segment " << k;
    standard_bytes += standard[k].body.size();
    smallest_bytes += w.body.size();
  }
  EXPECT_LT(smallest_bytes, standard_bytes);
}

// Runs a block with another current directory and restores the old one.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::filesystem::path& path)
      : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~ScopedCurrentDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(old_, ignored);
  }

 private:
  std::filesystem::path old_;
};

// A dump file's name: "%04d_comp_ReceivedData_%s" or "%04d_raw_ReceivedData__%s", where %s is
// the time stamp YYYYMMDD-hhmmss.
struct DumpName {
  int seg = 0;
  std::string kind;  // "comp" or "raw"
  std::string stamp;
};

std::optional<DumpName> ParseDumpName(const std::string& name) {
  auto digits = [&](std::size_t at, std::size_t n) {
    return name.size() >= at + n && std::all_of(name.begin() + static_cast<std::ptrdiff_t>(at),
                                                name.begin() + static_cast<std::ptrdiff_t>(at + n),
                                                [](char ch) { return ch >= '0' && ch <= '9'; });
  };
  for (const auto& [kind, infix] :
       {std::pair<std::string, std::string>{"comp", "_comp_ReceivedData_"},
        {"raw", "_raw_ReceivedData__"}}) {
    const std::size_t stamp_at = 4 + infix.size();
    if (name.size() != stamp_at + 15 || name.compare(4, infix.size(), infix) != 0) continue;
    if (!digits(0, 4) || !digits(stamp_at, 8) || name[stamp_at + 8] != '-' ||
        !digits(stamp_at + 9, 6)) {
      return std::nullopt;
    }
    return DumpName{std::stoi(name.substr(0, 4)), kind, name.substr(stamp_at)};
  }
  return std::nullopt;
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(EngineTest, DevelopmentModeDumpsEverySegmentRawAndCompressedUnderDatedNames) {
  Post(WM_USER_DEV_MODE, 0, DEV_MODE_ON);
  Post(WM_USER_LOG_WND_CTRL, 0, DUMP_TOGGLE);
  ASSERT_TRUE(worker.Snapshot().m_bDumpSegments);
  const std::filesystem::path dumps = folder.path() + "/dumps";
  std::filesystem::create_directory(dumps);
  const std::time_t before = std::time(nullptr);
  {
    ScopedCurrentDirectory in_dumps(dumps);
    StartRun();
  }
  const std::time_t after = std::time(nullptr);
  ASSERT_EQ(front_end.Of(WM_USER_END).size(), 1u);
  EXPECT_FALSE(worker.Snapshot().m_bDumpSegments) << "the run's end clears the switch";

  std::vector<std::string> stamps;
  for (std::time_t t = before; t <= after; ++t) {
    const DateRecord d = LocalDate(t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", d.year, d.month, d.day, d.hour,
                  d.minute, d.second);
    stamps.push_back(stamp);
  }
  std::map<int, std::map<std::string, std::filesystem::path>> by_segment;
  std::map<int, std::set<std::string>> stamps_of;
  for (const auto& entry : std::filesystem::directory_iterator(dumps)) {
    const std::string name = entry.path().filename().string();
    const std::optional<DumpName> dump = ParseDumpName(name);
    ASSERT_TRUE(dump.has_value()) << name;
    EXPECT_LE(name.size(), 49u);
    EXPECT_NE(std::find(stamps.begin(), stamps.end(), dump->stamp), stamps.end()) << name;
    by_segment[dump->seg][dump->kind] = entry.path();
    stamps_of[dump->seg].insert(dump->stamp);
  }
  const auto writes = terminal.frames(kCmdWrite);
  ASSERT_EQ(by_segment.size(), writes.size());
  for (const HostFrame& w : writes) {
    SCOPED_TRACE("segment " + std::to_string(w.seg));
    auto& files = by_segment[w.seg];
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(stamps_of[w.seg].size(), 1u) << "one time stamp for both";
    EXPECT_EQ(ReadAll(files["comp"]), w.body);
    const auto start = image.begin() + static_cast<std::ptrdiff_t>(kSampleBootRegionSize) +
                       static_cast<std::ptrdiff_t>(w.seg) * 65536;
    EXPECT_EQ(ReadAll(files["raw"]),
              std::vector<std::uint8_t>(start, start + static_cast<std::ptrdiff_t>(w.raw_length)));
  }
}

// The segments dumped in `folder`, each checked to have both of its files.
std::set<int> DumpedSegments(const std::filesystem::path& folder) {
  std::map<int, int> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::optional<DumpName> dump = ParseDumpName(entry.path().filename().string());
    if (dump) ++files[dump->seg];
  }
  std::set<int> segments;
  for (const auto& [seg, count] : files) {
    EXPECT_EQ(count, 2) << "segment " << seg << " has its raw and compressed file";
    segments.insert(seg);
  }
  return segments;
}

// The next segment is compressed while the current one is on the line; what is dumped still
// follows the switch as it stands when each segment is sent.
TEST_F(EngineTest, TheDumpSwitchAppliesFromTheNextSegmentSent) {
  Post(WM_USER_DEV_MODE, 0, DEV_MODE_ON);
  const std::filesystem::path dumps = folder.path() + "/dumps";
  std::filesystem::create_directory(dumps);
  ScopedCurrentDirectory in_dumps(dumps);
  terminal.SetFrameResponder([this](const HostFrame& f) {
    const bool held = f.cmd == kCmdWrite && (f.seg == 0 || f.seg == 2);
    return held ? std::nullopt : terminal.DefaultReply(f);
  });
  auto answer_segment = [this](std::uint16_t seg) {
    port->Deliver(TerminalFrame(kCmdWriteResponse, RC_OK, seg));
    Settle();
  };

  StartRun();
  ASSERT_EQ(terminal.frames(kCmdWrite).size(), 1u) << "segment 0 waits for its answer";
  Post(WM_USER_LOG_WND_CTRL, 0, DUMP_TOGGLE);
  answer_segment(0);  // 1 goes out dumped, is answered, and 2 goes out dumped
  ASSERT_EQ(terminal.frames(kCmdWrite).size(), 3u);
  Post(WM_USER_LOG_WND_CTRL, 0, DUMP_TOGGLE);
  answer_segment(2);  // 3 goes out with the switch off
  ASSERT_EQ(front_end.Of(WM_USER_END).size(), 1u);
  EXPECT_EQ(DumpedSegments(dumps), (std::set<int>{1, 2}));
}

TEST_F(EngineTest, ASegmentResentAfterASegmentErrorIsDumpedAgain) {
  Post(WM_USER_DEV_MODE, 0, DEV_MODE_ON);
  Post(WM_USER_LOG_WND_CTRL, 0, DUMP_TOGGLE);
  const std::filesystem::path dumps = folder.path() + "/dumps";
  std::filesystem::create_directory(dumps);
  ScopedCurrentDirectory in_dumps(dumps);
  // The last segment is refused once, naming itself; its dumps are cleared before the refusal,
  // so only the resend can bring them back.
  bool refused = false;
  terminal.SetFrameResponder([&](const HostFrame& f) {
    if (f.cmd == kCmdWrite && f.seg == 3 && !refused) {
      refused = true;
      for (const auto& entry : std::filesystem::directory_iterator(dumps)) {
        if (entry.path().filename().string().starts_with("0003_")) {
          std::filesystem::remove(entry.path());
        }
      }
      return std::optional(TerminalFrame(kCmdWriteResponse, RC_SEG_ERROR, 3));
    }
    return terminal.DefaultReply(f);
  });
  StartRun();
  ASSERT_TRUE(refused);
  ASSERT_EQ(front_end.Of(WM_USER_END).size(), 1u);
  EXPECT_EQ(DumpedSegments(dumps), (std::set<int>{0, 1, 2, 3}));
}

}  // namespace
}  // namespace kvx::test
