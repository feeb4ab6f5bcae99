// One engine, many runs: whatever way a run ends, the next Start on a healthy terminal sends
// exactly what the first run of a fresh engine sends, and an Open that fails ends as a run does.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine_fixture.h"

namespace kvx::test {
namespace {

using kvx::test::PrintTo;
using Message = RecordingFrontEnd::Message;

// What a run put on the line: its commands with their rates, and its frames. A finish frame's
// body carries the time of day, so only its command and length count.
struct LineRecord {
  std::vector<std::pair<std::string, std::uint32_t>> commands;
  std::vector<std::tuple<std::uint8_t, std::uint16_t, std::vector<std::uint8_t>>> frames;

  bool operator==(const LineRecord&) const = default;
};

LineRecord RecordOf(const ScriptedTerminal& terminal, std::size_t first_command,
                    std::size_t first_frame) {
  LineRecord record;
  const auto commands = terminal.commands();
  for (std::size_t i = first_command; i < commands.size(); ++i) {
    record.commands.emplace_back(commands[i].text, commands[i].baud);
  }
  const auto frames = terminal.frames();
  for (std::size_t i = first_frame; i < frames.size(); ++i) {
    const HostFrame& f = frames[i];
    record.frames.emplace_back(
        f.cmd, f.seg, f.cmd == kCmdFinish ? std::vector<std::uint8_t>(f.body.size()) : f.body);
  }
  return record;
}

std::size_t CountCommandText(const ScriptedTerminal& terminal, std::string_view text) {
  const auto texts = terminal.command_texts();
  return static_cast<std::size_t>(std::count(texts.begin(), texts.end(), text));
}

void PrintTo(const LineRecord& record, std::ostream* out) {
  for (const auto& [text, baud] : record.commands) *out << "\n  " << text << " @" << baud;
  for (const auto& [cmd, seg, body] : record.frames) {
    *out << "\n  frame '" << static_cast<char>(cmd) << "' seg " << seg << ", " << body.size()
         << " bytes";
  }
}

class NextRunTest;

struct EndingCase {
  const char* reason;
  // Arranges the terminal and drives the first run until it has ended.
  std::function<void(NextRunTest&)> first_run;
  // The operator goes on through the completion prompt's Upgrade rather than selecting the
  // port again.
  bool upgrade_again = false;
};

class NextRunTest : public EngineTest, public ::testing::WithParamInterface<EndingCase> {
 public:
  using EngineTest::AdvanceBy;
  using EngineTest::DefaultImageSpec;
  using EngineTest::port;
  using EngineTest::Post;
  using EngineTest::SelectPort;
  using EngineTest::Settle;
  using EngineTest::StartRun;
  using EngineTest::terminal;
  using EngineTest::UseImage;
  using EngineTest::worker;

  // The terminal takes the setup but never answers a segment.
  void SilenceWrites() {
    terminal.SetFrameResponder([this](const HostFrame& f) {
      return f.cmd == kCmdWrite ? std::nullopt : terminal.DefaultReply(f);
    });
  }
};

// The record of a first run on a fresh engine, the yardstick of every later run.
LineRecord FreshFirstRun() {
  struct Fresh : EngineTest {
    void TestBody() override {}
    LineRecord Run() {
      StartRun();
      EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u) << "the fresh run completes";
      return RecordOf(terminal, 0, 0);
    }
  };
  Fresh fresh;
  return fresh.Run();
}

TEST_P(NextRunTest, TheNextStartSendsWhatAFreshEngineSends) {
  const EndingCase& c = GetParam();
  c.first_run(*this);
  ASSERT_FALSE(worker.run_active()) << "the first run has ended";
  ASSERT_FALSE(loop.NextTimerDue().has_value()) << "no timer outlives a run";

  terminal.RestoreDefaults();
  port->SetDsr(true);
  port->RefuseOpen(0);
  UseImage(DefaultImageSpec());
  if (c.upgrade_again) {
    Post(WM_USER_UPGRADE_AGAIN);
  } else {
    SelectPort();
  }
  front_end.messages.clear();
  const std::size_t first_command = terminal.commands().size();
  const std::size_t first_frame = terminal.frames().size();
  const std::size_t first_line = TraceSize();
  Post(WM_USER_UPGRADE_START);

  EXPECT_EQ(RecordOf(terminal, first_command, first_frame), FreshFirstRun());
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u);
  EXPECT_EQ(front_end.OperatorMessages(), std::vector<LPARAM>{});
  EXPECT_EQ(TraceCount("AT+CEXT=1\n", first_line), 1u) << "the run opens with a traced link test";
}

const EndingCase kEndings[] = {
    {"completed, then Upgrade at the prompt", [](NextRunTest& t) { t.StartRun(); }, true},
    {"completed, then the port selected again", [](NextRunTest& t) { t.StartRun(); }},
    {"ten unanswered link tests (147)",
     [](NextRunTest& t) {
       t.terminal.AnswerLinkTestAt({});
       t.StartRun();
       t.AdvanceBy(15000);
     }},
    {"the terminal never came back from its restart (147, port already closed)",
     [](NextRunTest& t) {
       t.terminal.RestartOnDownloadRequest(false);
       t.terminal.Silence(kUpappCommand);
       t.StartRun();
       ASSERT_EQ(t.worker.Snapshot().m_nAtState, AT_PARSING__MPU_RESET);
       t.port->RefuseOpen(ENOENT);
       t.port->InjectWaitError(EIO);
       t.Settle();
       t.AdvanceBy(20000);
     }},
    {"AT+UPAPP never answered (146)",
     [](NextRunTest& t) {
       t.terminal.RestartOnDownloadRequest(false);
       t.terminal.Silence(kUpappCommand);
       t.StartRun();
       t.AdvanceBy(80000);
     }},
    {"eleven terminal resets (146)",
     [](NextRunTest& t) {
       t.terminal.Silence(kDownloadCommand);
       t.StartRun();
       for (int reset = 0; reset < 11; ++reset) {
         t.port->InjectWaitError(EIO);
         t.Settle();
       }
     }},
    {"resends exhausted on a segment (146)",
     [](NextRunTest& t) {
       t.SilenceWrites();
       t.StartRun();
       t.AdvanceBy(70000);
     }},
    {"setup response with the wrong mode (0)",
     [](NextRunTest& t) {
       SetupAnswer answer;
       answer.mode = 1;
       t.terminal.SetSetupAnswer(answer);
       t.StartRun();
     }},
    {"the MMI rule refuses (0)",
     [](NextRunTest& t) {
       t.terminal.Answer(std::string(kSysVerCommand), {"OK+SYSVer:KVX_2.11.0_ML_VM\r\n"});
       t.StartRun();
     }},
    {"the boot rule refuses (0)",
     [](NextRunTest& t) {
       t.terminal.Answer(std::string(kHwVerCommand), {"+HWVER: SFQAABCDEFG V3.0.0\r\nOK\r\n"});
       t.StartRun();
     }},
    {"cable lost while identifying",
     [](NextRunTest& t) {
       t.terminal.Silence(kHwVerCommand);
       t.StartRun();
       t.port->SetDsr(false);
       t.Settle();
     }},
    {"cable lost while waiting for the NV version",
     [](NextRunTest& t) {
       t.terminal.Silence(kNvCheckCommand);
       t.StartRun();
       t.port->SetDsr(false);
       t.Settle();
     }},
    {"cable lost while downloading",
     [](NextRunTest& t) {
       t.SilenceWrites();
       t.StartRun();
       t.port->SetDsr(false);
       t.Settle();
     }},
    {"interrupted while waiting for the NV version",
     [](NextRunTest& t) {
       t.terminal.Silence(kNvCheckCommand);
       t.StartRun();
       t.Post(WM_USER_ABORT_RUN);
     }},
    {"interrupted while the terminal restarts",
     [](NextRunTest& t) {
       t.terminal.RestartOnDownloadRequest(false);
       t.terminal.Silence(kUpappCommand);
       t.StartRun();
       t.Post(WM_USER_ABORT_RUN);
     }},
    {"interrupted after the terminal dropped off the line for good",
     [](NextRunTest& t) {
       t.terminal.RestartOnDownloadRequest(false);
       t.StartRun();
       t.port->RefuseOpen(ENOENT);
       t.port->InjectWaitError(EIO);
       t.Settle();
       t.Post(WM_USER_ABORT_RUN);
     }},
    {"interrupted while downloading",
     [](NextRunTest& t) {
       t.SilenceWrites();
       t.StartRun();
       t.Post(WM_USER_ABORT_RUN);
     }},
    {"Start without a selected port (57358)",
     [](NextRunTest& t) {
       t.Post(WM_USER_DEV_MODE, 0, DEV_MODE_OFF);
       t.Post(WM_USER_UPGRADE_START);
     }},
    {"Start on a port held by another program",
     [](NextRunTest& t) {
       t.SelectPort();
       t.port->RefuseOpen(EBUSY);
       t.Post(WM_USER_UPGRADE_START);
     }},
    {"an image that fails to load",
     [](NextRunTest& t) {
       SampleImageSpec spec = NextRunTest::DefaultImageSpec();
       spec.stack = std::nullopt;
       t.UseImage(spec);
       t.StartRun();
     }},
};

INSTANTIATE_TEST_SUITE_P(Endings, NextRunTest, ::testing::ValuesIn(kEndings),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(EngineTest, EveryLoadStartsFromEmptyVersionRecords) {
  // X has a valid boot text but no tag; Y's boot text is refused. Y must not inherit X's boot
  // record and slip past the check that refuses it.
  SampleImageSpec x = DefaultImageSpec();
  x.stack = std::nullopt;
  UseImage(x);
  StartRun();
  ASSERT_EQ(front_end.OperatorMessages(),
            (std::vector<LPARAM>{IDS_WRONG_IMAGE, IDS_INCOMPATIBLE_BINARY}));

  SampleImageSpec y = DefaultImageSpec();
  y.boot = "TFQAABCDEFG V2.0.1";  // a 'T' base is refused and leaves the record as it was
  UseImage(y);
  StartRun();
  EXPECT_EQ(front_end.OperatorMessages(),
            (std::vector<LPARAM>{IDS_WRONG_BSP_VER, IDS_INCOMPATIBLE_BINARY}));
  EXPECT_TRUE(terminal.commands().empty()) << "neither file reaches the terminal";
  EXPECT_FALSE(worker.image_versions().boot.valid);
}

TEST_F(EngineTest, TheFileSizeLineOfAStartShowsThePreviousLoad) {
  StartRun();
  ASSERT_EQ(front_end.Of(WM_USER_END).size(), 1u);
  EXPECT_EQ(TraceCount("file size : 0 byte\n"), 1u) << "nothing was loaded before the first";

  const std::size_t first = TraceSize();
  SampleImageSpec bigger = DefaultImageSpec();
  bigger.size += 65536;
  UseImage(bigger);
  StartRun();
  EXPECT_EQ(TraceCount("file size : " + std::to_string(kDefaultImageSize) + " byte\n", first), 1u);
}

// A terminal that drops off the line again after AT+UPAPP comes back in the same download
// request: the re-open goes on with AT+UPAPP, not with a link test it would not act on.
TEST_F(EngineTest, ASecondDropAfterUpappResumesWithUpapp) {
  terminal.Answer(std::string(kUpappCommand), {"", "+UPAPP\r\n"});
  StartRun();
  ASSERT_EQ(worker.Snapshot().m_nAtState, AT_PARSING__USB_DOWNLOAD);
  ASSERT_TRUE(worker.Snapshot().m_bDownloadMode);
  ASSERT_EQ(CountCommandText(terminal, kUpappCommand), 1u);

  port->InjectWaitError(EIO);
  Settle();
  EXPECT_EQ(CountCommandText(terminal, kUpappCommand), 2u);
  EXPECT_EQ(CountCommandText(terminal, kLinkTest460800), 0u);
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u) << "the upgrade completes";
}

TEST_F(EngineTest, RepeatedDropsAfterUpappEndAtTheResetLimit) {
  terminal.Silence(kUpappCommand);
  StartRun();  // the restart into download mode is the first reset
  for (int reset = 2; reset <= 11; ++reset) {
    ASSERT_TRUE(worker.run_active()) << "reset " << reset;
    port->InjectWaitError(EIO);
    Settle();
  }
  EXPECT_EQ(front_end.OperatorMessages(), (std::vector<LPARAM>{IDS_UPGRADE_FAILED}));
  EXPECT_EQ(CountCommandText(terminal, kLinkTest460800), 0u);
  EXPECT_FALSE(port->is_open());
}

// Points $TMPDIR, where Open unpacks JQ images, at a folder of the test's for its lifetime.
class ScopedTempDirectory {
 public:
  explicit ScopedTempDirectory(const std::string& path) {
    if (const char* old = std::getenv("TMPDIR")) old_ = old;
    setenv("TMPDIR", path.c_str(), 1);
  }
  ~ScopedTempDirectory() {
    if (old_) {
      setenv("TMPDIR", old_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  ScopedTempDirectory(const ScopedTempDirectory&) = delete;
  ScopedTempDirectory& operator=(const ScopedTempDirectory&) = delete;

 private:
  std::optional<std::string> old_;
};

// Open runs on the front end's thread; its extraction failure must end as Disconnect ends a run.
TEST_F(EngineTest, AnExtractionFailureAtOpenEndsAsDisconnectDoes) {
  const ScopedTempDirectory tmpdir(folder.path());
  std::vector<SampleArchiveItem> items(1);
  items[0].name = "JQ_A.bin";
  items[0].data = std::vector<std::uint8_t>(4096, 0x5a);
  items[0].declared_crc = 1;
  const std::string archive = folder.path() + "/jq.stf";
  std::string error;
  ASSERT_TRUE(WriteSampleArchive(archive, items, error)) << error;
  worker.SetFilePath(archive);
  Post(WM_USER_DEV_MODE, 0, DEV_MODE_ON);
  Post(WM_USER_LOG_WND_CTRL, 0, DUMP_TOGGLE);
  ASSERT_TRUE(worker.Snapshot().m_bDumpSegments);

  std::atomic<bool> done = false;
  bool staged = true;
  std::thread open([&] {
    staged = worker.stage_jq_image();
    done = true;
    loop.Wake();
  });
  loop.ServeSendsUntil([&] { return done.load(); });
  open.join();
  Settle();

  EXPECT_FALSE(staged);
  EXPECT_EQ(front_end.messages,
            (std::vector<Message>{{WM_USER_PORT_SELECTED, 0, 0, "", 0},
                                  {WM_USER_BTN_CTRL, BTN_ENABLE, IDS_EXTRACT_FAIL, "", 0}}))
      << "no port is selected, and the front end hears so";
  EXPECT_FALSE(worker.Snapshot().m_bDumpSegments) << "the run state is reset";
  const std::vector<TraceEntry> trace = Trace();
  ASSERT_GE(trace.size(), 8u);
  std::vector<std::string> tail;
  for (auto it = trace.end() - 8; it != trace.end(); ++it) tail.push_back(it->text);
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "IDT_BOOT_LOADER_TIMER_TEMP timer kill\n",
                      "IDT_CONNECT_RESPONSE timer kill\n", "IDT_WAIT_COM_RESTORE timer kill\n",
                      "IDT_SETUP_RESPONSE timer kill\n", "IDT_WRITE_RESPONSE timer kill\n",
                      "IDT_PORT_SEARCH timer kill\n", "IDT_FINISH_RESPONSE timer kill\n",
                      "Disconnect() : WM_USER_BTN_CTRL BTN_ENABLE occur[200]\n"}));
}

TEST_F(EngineTest, ResetStateClearsRunMembersAndKeepsTheSelectionAndModes) {
  terminal.AnswerLinkTestAt({460800});  // found on the second attempt
  terminal.Silence(kDownloadCommand);   // and left waiting for the download request's answer
  terminal.Silence(kUpappCommand);
  Post(WM_USER_DEV_MODE, 0, DEV_MODE_ON);
  Post(WM_USER_LOG_WND_CTRL, 0, DUMP_TOGGLE);
  Post(WM_USER_LOG_WND_CTRL, 0, LOG_WND_TOGGLE);
  StartRun(OPTION_DOWNGRADE);
  AdvanceBy(1400 + DOWNLOAD_REQUEST_MS);  // the second attempt, then one AT+UPAPP repeat
  const EngineSnapshot before = worker.Snapshot();
  ASSERT_EQ(before.m_nAtState, AT_PARSING__USB_DOWNLOAD);
  ASSERT_EQ(before.m_nConnectCount, 1);
  ASSERT_EQ(before.m_nUpappRetry, 1);
  ASSERT_TRUE(before.m_bKnownPort && before.m_bDumpSegments && before.m_bLogVisible);

  worker.ResetState();
  const EngineSnapshot after = worker.Snapshot();
  EXPECT_FALSE(after.m_bKnownPort || after.m_bDownloadMode || after.m_bLogVisible ||
               after.m_bDumpSegments);
  EXPECT_EQ(after.m_nCurConnectRetry + after.m_nConnectCount + after.m_nUpappRetry +
                after.m_nMpuResetRetry,
            0);
  EXPECT_EQ(after.m_nAtState, AT_PARSING__USB_DOWNLOAD) << "the dialogue's state is not reset";
  EXPECT_TRUE(after.m_bPortSelected);
  EXPECT_EQ(after.m_strComPort, "ttyUSB0");
  EXPECT_EQ(after.m_nCurBaudRate, 460800);
  EXPECT_EQ(after.m_strLastPort, "ttyUSB0");
  EXPECT_EQ(after.m_bDowngrade, 1);
  EXPECT_EQ(after.m_bDevMode, 1);
  Post(WM_USER_ABORT_RUN);
}

TEST_F(EngineTest, TheRunRecordKeepsWhatTheDialogueReadUntilTheNextStart) {
  terminal.Answer(std::string(kNvCheckCommand), {"NV_VER1.01\r\n"});
  bool silent_once = true;
  terminal.SetFrameResponder([&](const HostFrame& f) {
    if (f.cmd == kCmdWrite && f.seg == 2 && std::exchange(silent_once, false)) {
      return std::optional<std::vector<std::uint8_t>>();
    }
    return terminal.DefaultReply(f);
  });
  StartRun();
  AdvanceBy(WRITE_RESPONSE_MS * 2);
  ASSERT_EQ(front_end.Of(WM_USER_END).size(), 1u);
  const RunRecord& done = worker.LastRun();
  EXPECT_EQ(done.hw_version, "SFQAABCDEFG V2.0.1");
  EXPECT_EQ(done.stack_version, "+GGMR: JQ_SAT_V3.1.0 20240115");
  EXPECT_EQ(done.mmi_version, "OK+SYSVer:KVX_2.9.0_ML_VM");
  EXPECT_EQ(done.nv_before, "1.01");
  EXPECT_EQ(done.nv_after, "1.02");
  EXPECT_TRUE(done.download_decided);
  EXPECT_FALSE(done.boot_included);
  EXPECT_EQ(done.segments, 4);
  EXPECT_EQ(done.resends, 1);

  // The next run is refused by the MMI rule: nothing of the first is left in its record.
  terminal.RestoreDefaults();
  terminal.Answer(std::string(kSysVerCommand), {"OK+SYSVer:KVX_2.11.0_ML_VM\r\n"});
  StartRun();
  const RunRecord& refused = worker.LastRun();
  EXPECT_EQ(refused.mmi_version, "OK+SYSVer:KVX_2.11.0_ML_VM");
  EXPECT_EQ(refused.nv_before, "1.02");
  EXPECT_EQ(refused.nv_after, "1.02");
  EXPECT_FALSE(refused.download_decided);
  EXPECT_EQ(refused.segments, 0);
  EXPECT_EQ(refused.resends, 0);
}

}  // namespace
}  // namespace kvx::test
