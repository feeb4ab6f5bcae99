// Connecting to the selected port: the identification of a terminal, the connection attempts, the
// start checks, a lost cable, the terminal's restarts and events that come after a run has ended.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "engine/timer_ids.h"
#include "engine_fixture.h"

namespace kvx::test {
namespace {

using test::PrintTo;

using Message = RecordingFrontEnd::Message;

std::vector<std::uint32_t> BaudsOf(const std::vector<ScriptedTerminal::Command>& commands) {
  std::vector<std::uint32_t> bauds;
  for (const auto& c : commands) bauds.push_back(c.baud);
  return bauds;
}

std::size_t CountCommand(const ScriptedTerminal& terminal, std::string_view text) {
  std::size_t n = 0;
  for (const auto& c : terminal.commands()) n += c.text == text ? 1 : 0;
  return n;
}

struct ConfigPortCase {
  const char* reason;
  std::vector<std::string> listed;
  bool busy;
  bool selected;
};

class ConfigPortTest : public EngineTest, public ::testing::WithParamInterface<ConfigPortCase> {};

TEST_P(ConfigPortTest, SelectsTheConfigurationPortAt115200OnlyWhenItIsListedAndFree) {
  const ConfigPortCase& c = GetParam();
  ports.SetPorts(c.listed);
  if (c.busy) port->RefuseOpen(EBUSY);
  SelectPort();
  const Message expected = c.selected ? Message{WM_USER_PORT_SELECTED, 0, 0, "ttyUSB0", 115200}
                                      : Message{WM_USER_PORT_SELECTED, 0, 0, "", 0};
  EXPECT_EQ(front_end.messages, (std::vector<Message>{expected})) << "and no message box";
  EXPECT_EQ(worker.Snapshot().m_bPortSelected, c.selected);
  EXPECT_EQ(worker.Snapshot().m_strLastPort, expected.port);
  EXPECT_EQ(worker.Snapshot().m_nLastBaudRate, expected.value);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, ConfigPortTest,
    ::testing::Values(ConfigPortCase{"listed and free", {"ttyS3", "ttyUSB0"}, false, true},
                      ConfigPortCase{"listed but busy", {"ttyUSB0"}, true, false},
                      ConfigPortCase{"not listed", {"ttyUSB1"}, false, false},
                      ConfigPortCase{"no port listed at all", {}, false, false}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

struct PortSetupCase {
  const char* reason;
  std::vector<std::string> listed;
  bool busy;
  std::optional<PortChoice> choice;  // what the operator does in the dialog
  std::vector<Message> expected;     // what the front end gets
  std::vector<std::string> offered;  // the ports the dialog lists; none: no dialog
};

class PortSetupTest : public EngineTest, public ::testing::WithParamInterface<PortSetupCase> {};

TEST_P(PortSetupTest, OffersTheFreePortsAndReportsTheChoice) {
  const PortSetupCase& c = GetParam();
  ports.SetPorts(c.listed);
  if (c.busy) port->RefuseOpen(EBUSY);
  std::optional<std::vector<std::string>> offered;
  environment.hooks.run_port_setup = [&](const std::vector<std::string>& free_ports,
                                         const std::string&) {
    offered = free_ports;
    return c.choice;
  };
  Post(WM_USER_PORT_SETUP);
  EXPECT_EQ(front_end.messages, c.expected);
  EXPECT_EQ(offered.value_or(std::vector<std::string>{}), c.offered);
  if (c.choice) {
    EXPECT_EQ(TraceCount("[ttyUSB0]port, [460800]baud rate selected\n"), 1u);
    EXPECT_EQ(worker.Snapshot().m_strLastPort, "ttyUSB0");
    EXPECT_EQ(worker.Snapshot().m_nLastBaudRate, 460800);
  }
  if (offered) {
    EXPECT_TRUE(worker.Snapshot().m_bPortSelected) << "also when the operator cancels";
  }
}

INSTANTIATE_TEST_SUITE_P(Dialogs, PortSetupTest,
                         ::testing::Values(PortSetupCase{"no serial port detected",
                                                         {},
                                                         false,
                                                         std::nullopt,
                                                         {{WM_USER_PORT_ERROR, 0, 0, "", -1}},
                                                         {}},
                                           PortSetupCase{"every port busy",
                                                         {"ttyUSB0"},
                                                         true,
                                                         std::nullopt,
                                                         {{WM_USER_PORT_ERROR, 0, 0, "", 0}},
                                                         {}},
                                           PortSetupCase{"cancelled: nothing is reported",
                                                         {"ttyUSB0", "ttyUSB7"},
                                                         false,
                                                         std::nullopt,
                                                         {},
                                                         {"ttyUSB0"}},
                                           PortSetupCase{
                                               "confirmed",
                                               {"ttyUSB0"},
                                               false,
                                               PortChoice{"ttyUSB0", "460800"},
                                               {{WM_USER_PORT_SELECTED, 0, 0, "ttyUSB0", 460800}},
                                               {"ttyUSB0"}}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(EngineTest, ThePortSetupTracesTheChosenPortWithoutItsDevicePrefix) {
  environment.hooks.run_port_setup = [](const std::vector<std::string>&, const std::string&) {
    return std::optional(PortChoice{"/dev/ttyUSB0", "115200"});
  };
  Post(WM_USER_PORT_SETUP);
  EXPECT_EQ(TraceCount("[ttyUSB0]port, [115200]baud rate selected\n"), 1u);
  EXPECT_EQ(worker.Snapshot().m_strComPort, "/dev/ttyUSB0") << "the port itself keeps its path";
}

TEST_F(EngineTest, TheRateChosenInThePortSetupIsNotUsedForConnecting) {
  environment.hooks.run_port_setup = [](const std::vector<std::string>&, const std::string&) {
    return std::optional(PortChoice{"ttyUSB0", "460800"});
  };
  Post(WM_USER_PORT_SETUP);
  Post(WM_USER_UPGRADE_START);
  const auto commands = terminal.commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands[0].text, kLinkTest115200);
  EXPECT_EQ(commands[0].baud, 115200u);
}

TEST_F(EngineTest, ANormalTerminalIsIdentifiedWithTheExactBytesOfEveryCommandUpToStart) {
  // A lone LF after the link test's OK must be neither traced nor taken for the hardware reply.
  terminal.Answer(std::string(kLinkTest115200), {"OK\r\n\n"});
  terminal.SetFrameResponder([](const HostFrame&) { return std::nullopt; });
  StartRun();

  const std::string expected_text = std::string(kLinkTest115200) + "at+hwver\r" + "at+ggmr\r" +
                                    "AT+MMI=\"NV_VER_CHECK\"\r" + "AT+SYSVer\r" +
                                    "AT+MMI=\"USB_DOWNLOAD\"\r" + "AT+UPAPP\r" + "AT+UPGRADE\r";
  const std::string written = port->written_text();
  ASSERT_EQ(written.size(), expected_text.size() + 37) << "the commands, then one setup frame";
  EXPECT_EQ(written.substr(0, expected_text.size()), expected_text);
  EXPECT_EQ(
      BaudsOf(terminal.commands()),
      (std::vector<std::uint32_t>{115200, 115200, 115200, 115200, 115200, 115200, 460800, 460800}))
      << "the restarted terminal is re-opened at 460800";

  const auto setup = terminal.frames(kCmdSetup);
  ASSERT_EQ(setup.size(), 1u);
  const FrameHead head{setup[0].cmd,         setup[0].code,       setup[0].seg,
                       setup[0].body_length, setup[0].raw_length, ReadLe32(setup[0].bytes, 15)};
  EXPECT_EQ(TransmitTrace(), (std::vector<std::string>{"AT+CEXT=1\n", "at+ver\r\n", "at+ggmr\r\n",
                                                       "AT+MMI=\"NV_VER_CHECK\"\r", "AT+SYSVer\r\n",
                                                       "AT+MMI=\"USB_DOWNLOAD\"\n", "AT+UPGRADE\n",
                                                       FormatFrameTrace(head)}))
      << "AT+UPAPP after the re-open is sent untraced";
  for (const TraceEntry& e : Trace()) {
    if (e.kind == LOG_TX) {
      EXPECT_EQ(e.colour, kTraceBrown) << e.text;
    }
    if (e.kind == LOG_RX) {
      EXPECT_NE(e.text, "\n") << "a lone LF is not traced";
    }
  }

  EXPECT_EQ(worker.Snapshot().m_nAtState, AT_PARSING__BINARY);
  EXPECT_TRUE(worker.Snapshot().m_bDownloadMode);
  EXPECT_EQ(worker.com().RxMode(), RX_MODE_FRAME);
  EXPECT_TRUE(TimerRunning(IDT_SETUP_RESPONSE));
  EXPECT_FALSE(TimerRunning(IDT_CONNECT_RESPONSE));
  EXPECT_FALSE(TimerRunning(IDT_BOOT_LOADER_TIMER_TEMP));
  EXPECT_EQ(TraceCount("mpu_reset detect, retry [ttyUSB0] port open [460800]\n"), 1u);
  EXPECT_EQ(profile.GetProfileString(kSectionComPort, kEntryPort, ""), "ttyUSB0");
  EXPECT_EQ(profile.GetProfileInt(kSectionComPort, kEntryBaudrate, 0), 115200);
  EXPECT_TRUE(front_end.OperatorMessages().empty());
  EXPECT_TRUE(front_end.Enables().empty()) << "the run goes on";
}

TEST_F(EngineTest, ASilentTerminalGetsTenAttemptsAlternatingFrom115200ThenMessage147) {
  terminal.AnswerLinkTestAt({});
  StartRun();
  AdvanceBy(13999);
  EXPECT_TRUE(front_end.Enables().empty()) << "each attempt takes 1000 ms and a 400 ms pause";
  AdvanceBy(1);
  EXPECT_EQ(front_end.Enables(), (std::vector<LPARAM>{IDS_CONNECTION_FAILED}));

  const auto commands = terminal.commands();
  ASSERT_EQ(commands.size(), 10u);
  for (std::size_t k = 0; k < commands.size(); ++k) {
    const bool odd = k % 2 == 1;
    EXPECT_EQ(commands[k].text, odd ? kLinkTest460800 : kLinkTest115200) << "attempt " << k;
    EXPECT_EQ(commands[k].baud, odd ? 460800u : 115200u) << "attempt " << k;
    EXPECT_EQ(commands[k].at_ms, static_cast<std::int64_t>(k) * 1400) << "attempt " << k;
    const std::string open_line =
        std::string("ttyUSB0 , baud[") + (odd ? "460800" : "115200") + "] Port Open Success\n";
    EXPECT_GE(TraceCount(open_line), 1u);
  }
  EXPECT_EQ(TraceCount("ttyUSB0 , baud[115200] Port Open Success\n") +
                TraceCount("ttyUSB0 , baud[460800] Port Open Success\n"),
            10u);
  EXPECT_EQ(TraceCount("AT reTranmit Counter overflow\n"), 1u);
  EXPECT_EQ(TraceCount("Upgrade procedure fail..\n"), 1u);
  EXPECT_FALSE(port->is_open());

  const int opens = port->open_count();
  AdvanceBy(60000);
  EXPECT_EQ(port->open_count(), opens) << "no eleventh open";
  EXPECT_EQ(front_end.Enables().size(), 1u);
}

TEST_F(EngineTest, ATerminalThatAnswersOnlyAt460800IsFoundOnTheSecondAttempt) {
  terminal.AnswerLinkTestAt({460800});
  StartRun();
  AdvanceBy(1400);

  const auto commands = terminal.commands();
  ASSERT_GE(commands.size(), 3u);
  EXPECT_EQ(commands[0].text, kLinkTest115200);
  EXPECT_EQ(commands[1].text, kLinkTest460800);
  EXPECT_EQ(commands[1].baud, 460800u);
  EXPECT_EQ(commands[1].at_ms, 1400);
  EXPECT_EQ(commands[2].text, kHwVerCommand);
  EXPECT_EQ(TraceCount("Baud rate Searching complete, Baud[460800]\n"), 1u);
  EXPECT_EQ(profile.GetProfileInt(kSectionComPort, kEntryBaudrate, 0), 460800);

  // Already at 460800: the rate-change line is still written, but the line is not touched.
  EXPECT_TRUE(TraceHas("Change Baud rate 460800 -> 460800\r", kTraceRed));
  EXPECT_EQ(port->configure_count(), 3) << "two attempts and the re-open; no rate change";
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u) << "and the upgrade completes";
}

TEST_F(EngineTest, AStartWithoutASelectedPortEndsWithMessage57358AndClearsTheSelection) {
  SelectPort();
  Post(WM_USER_DEV_MODE, 0, DEV_MODE_OFF);  // drops the selection, the front end still shows it
  front_end.messages.clear();
  const int opens = port->open_count();
  Post(WM_USER_UPGRADE_START);

  // Sends arrive at once, posts when the loop runs (see RecordingFrontEnd).
  EXPECT_EQ(front_end.messages,
            (std::vector<Message>{
                {WM_USER_PORT_SELECTED, 0, 0, "", 0},
                {WM_USER_BTN_CTRL, BTN_ENABLE, 0, "", 0},
                {WM_USER_DEVICE_COUNT, 0, 0, "", 0},
                {WM_USER_BTN_CTRL, BTN_DISABLE, 0, "", 0},
                {WM_USER_STATIC_LOG_CTRL, 0, IDS_INIT_IN_PROGRESS, "", 0},
                {WM_USER_PROG_SETUP, 0, CHECK_COM_PORT_PART, "", 0},
                {WM_USER_STATIC_LOG_CTRL, 0, IDS_INIT_IN_PROGRESS_SEARCH, "", 0},
                {WM_USER_PROG_PROC, 0, 0, "", 0},
            }));
  EXPECT_EQ(port->open_count(), opens + 1) << "only the busy test opened the port";
  EXPECT_TRUE(terminal.commands().empty());
  EXPECT_TRUE(worker.Snapshot().m_strComPort.empty());
  EXPECT_EQ(worker.Snapshot().m_nCurBaudRate, 0);
  EXPECT_EQ(TraceCount("sky_deck_count = [0]\n"), 1u);
  EXPECT_EQ(TraceCount("port search complete\n"), 1u);
}

TEST_F(EngineTest, AStartOnABusyPortReportsMinusTwoAndBeginsNoRun) {
  SelectPort();
  port->RefuseOpen(EBUSY);
  front_end.messages.clear();
  const std::size_t trace_before = TraceSize();
  Post(WM_USER_UPGRADE_START);

  EXPECT_EQ(front_end.messages, (std::vector<Message>{{WM_USER_PORT_ERROR, 0, 0, "", -2}}));
  EXPECT_EQ(worker.Snapshot().m_nPortCheck, -2);
  EXPECT_EQ(TraceSize(), trace_before) << "not even the file path is traced";
  EXPECT_FALSE(worker.run_active());
  EXPECT_TRUE(terminal.commands().empty());
}

struct CableLossCase {
  const char* reason;
  std::function<void(ScriptedTerminal&)> script;
  std::int32_t state;  // where the run waits when the cable goes
  bool ends_run;
};

class CableLossTest : public EngineTest, public ::testing::WithParamInterface<CableLossCase> {};

TEST_P(CableLossTest, EndsTheRunOutsideDownloadModeEntryOnly) {
  const CableLossCase& c = GetParam();
  c.script(terminal);
  StartRun();
  ASSERT_EQ(worker.Snapshot().m_nAtState, c.state);
  const std::size_t first = TraceSize();
  port->SetDsr(false);
  Settle();

  if (!c.ends_run) {
    EXPECT_TRUE(front_end.Enables().empty());
    EXPECT_EQ(worker.Snapshot().m_nAtState, c.state);
    EXPECT_TRUE(port->is_open());
    EXPECT_TRUE(TimerRunning(IDT_BOOT_LOADER_TIMER_TEMP)) << "the restart wait goes on";
    EXPECT_EQ(TraceCount("Connection Cable is deleted\r\n"), 0u);
    return;
  }
  EXPECT_EQ(front_end.Enables(), (std::vector<LPARAM>{0}));
  EXPECT_FALSE(port->is_open());
  EXPECT_EQ(worker.Snapshot().m_nAtState, AT_PARSING__LINK);
  EXPECT_FALSE(worker.Snapshot().m_bDownloadMode);
  EXPECT_EQ(worker.Snapshot().m_nCurDataCount, 0);
  EXPECT_FALSE(loop.NextTimerDue().has_value()) << "no timer runs";
  EXPECT_EQ(WaitForCableWarnings(1),
            (std::vector<std::string>{
                "Warning|Cable connection lost!\n Turn off and on modem and Retry again"}));

  // The response timers are stopped, then the red line, then Disconnect.
  const auto trace = Trace(first);
  std::vector<std::string> texts;
  for (const auto& e : trace) texts.push_back(e.text);
  const auto deleted = std::find(texts.begin(), texts.end(), "Connection Cable is deleted\r\n");
  ASSERT_NE(deleted, texts.end());
  ASSERT_GE(deleted - texts.begin(), 3);
  EXPECT_EQ(std::vector<std::string>(deleted - 3, deleted),
            (std::vector<std::string>{"IDT_SETUP_RESPONSE timer kill\n",
                                      "IDT_WRITE_RESPONSE timer kill\n",
                                      "IDT_FINISH_RESPONSE timer kill\n"}));
  EXPECT_EQ(trace[static_cast<std::size_t>(deleted - texts.begin())].colour, kTraceRed);
  EXPECT_EQ(texts.back(), "Disconnect() : WM_USER_BTN_CTRL BTN_ENABLE occur[0]\n");
}

INSTANTIATE_TEST_SUITE_P(
    States, CableLossTest,
    ::testing::Values(CableLossCase{"identifying: no hardware version reply",
                                    [](ScriptedTerminal& t) { t.Silence(kHwVerCommand); },
                                    AT_PARSING__HWVER, true},
                      CableLossCase{"waiting for the NV version",
                                    [](ScriptedTerminal& t) { t.Silence(kNvCheckCommand); },
                                    AT_PARSING__NV_CHECK, true},
                      CableLossCase{"download-mode request sent, not acknowledged",
                                    [](ScriptedTerminal& t) { t.Silence(kDownloadCommand); },
                                    AT_PARSING__USB_DOWNLOAD, false},
                      CableLossCase{"request acknowledged, the terminal restarting",
                                    [](ScriptedTerminal& t) { t.RestartOnDownloadRequest(false); },
                                    AT_PARSING__MPU_RESET, false},
                      CableLossCase{"downloading: a segment unanswered",
                                    [](ScriptedTerminal& t) {
                                      t.SetFrameResponder([&t](const HostFrame& f) {
                                        return f.cmd == kCmdWrite ? std::nullopt
                                                                  : t.DefaultReply(f);
                                      });
                                    },
                                    AT_PARSING__BINARY, true}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(EngineTest, TheEleventhTerminalResetReopensThePortAndEndsTheRunWith146) {
  // A terminal that restarts at every download-mode request without acknowledging it: each
  // restart is re-opened, and the re-open in state 10 begins the dialogue again.
  terminal.Silence(kDownloadCommand);
  StartRun();
  for (int reset = 1; reset <= 10; ++reset) {
    ASSERT_EQ(worker.Snapshot().m_nAtState, AT_PARSING__USB_DOWNLOAD) << "before reset " << reset;
    port->InjectWaitError(EIO);
    Settle();
  }
  EXPECT_TRUE(front_end.Enables().empty()) << "ten resets are allowed";
  EXPECT_EQ(CountCommand(terminal, kLinkTest115200), 11u);
  EXPECT_EQ(worker.Snapshot().m_nMpuResetRetry, 10);

  port->InjectWaitError(EIO);
  Settle();
  EXPECT_EQ(front_end.Enables(), (std::vector<LPARAM>{IDS_UPGRADE_FAILED}));
  EXPECT_EQ(TraceCount("mpu_reset detect, retry [ttyUSB0] port open [115200]\n"), 11u);
  EXPECT_EQ(CountCommand(terminal, kLinkTest115200), 11u)
      << "the last re-open's result comes after Disconnect and is ignored";
  EXPECT_FALSE(port->is_open());
  EXPECT_FALSE(worker.run_active());
}

struct IgnoredErrorCase {
  const char* reason;
  std::string_view silenced;  // where the run waits
  int error;
};

class IgnoredErrorTest : public EngineTest,
                         public ::testing::WithParamInterface<IgnoredErrorCase> {};

TEST_P(IgnoredErrorTest, APortErrorOutsideTheRestartOrOtherThanEioIsIgnored) {
  const IgnoredErrorCase& c = GetParam();
  terminal.Silence(c.silenced);
  StartRun();
  const std::int32_t state = worker.Snapshot().m_nAtState;
  const int opens = port->open_count();
  port->InjectWaitError(c.error);
  Settle();
  EXPECT_EQ(worker.Snapshot().m_nAtState, state);
  EXPECT_EQ(port->open_count(), opens) << "no re-open";
  EXPECT_EQ(worker.Snapshot().m_nMpuResetRetry, 0);
  EXPECT_TRUE(front_end.Enables().empty());
}

INSTANTIATE_TEST_SUITE_P(Errors, IgnoredErrorTest,
                         ::testing::Values(IgnoredErrorCase{"EIO while identifying", kHwVerCommand,
                                                            EIO},
                                           IgnoredErrorCase{"another error during the restart",
                                                            kDownloadCommand, EPIPE}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(EngineTest, AFailedOpenIsClosedAndRetriedAtTheOtherRateAfterTheUsualWait) {
  port->RefuseConfigure(1, EINVAL);
  StartRun();
  EXPECT_EQ(TraceCount("ttyUSB0 , baud[115200] Port Open fail err-code[22]\n"), 1u);
  EXPECT_EQ(TraceCount("ttyUSB0 Port Closed\n"), 1u);
  EXPECT_TRUE(TimerRunning(IDT_CONNECT_RESPONSE));
  EXPECT_TRUE(terminal.commands().empty());
  AdvanceBy(1399);
  EXPECT_TRUE(terminal.commands().empty());
  AdvanceBy(1);
  const auto commands = terminal.commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands[0].text, kLinkTest460800);
  EXPECT_EQ(commands[0].baud, 460800u);
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u);
}

TEST_F(EngineTest, ARunWhoseImageFailsToLoadLeavesTheTerminalUntouched) {
  SampleImageSpec spec = DefaultImageSpec();
  spec.boot = std::nullopt;  // no boot version text at offset 85
  UseImage(spec);
  const int opens = port->open_count();
  StartRun();
  EXPECT_EQ(front_end.OperatorMessages(),
            (std::vector<LPARAM>{IDS_WRONG_BSP_VER, IDS_INCOMPATIBLE_BINARY}))
      << "the specific reason, then the general one";
  EXPECT_EQ(port->open_count(), opens + 2) << "only the busy tests of selection and start";
  EXPECT_TRUE(terminal.commands().empty());
  EXPECT_FALSE(worker.run_active());
  EXPECT_FALSE(loop.NextTimerDue().has_value());
}

TEST_F(EngineTest, AFailedReopenAfterARestartRetriesOnTheOrdinaryAttemptPath) {
  // Found on the second attempt, so the attempt counter is odd during the dialogue.
  terminal.AnswerLinkTestAt({460800});
  terminal.RestartOnDownloadRequest(false);
  terminal.Silence(kUpappCommand);
  StartRun();
  AdvanceBy(1400);
  ASSERT_EQ(worker.Snapshot().m_nAtState, AT_PARSING__MPU_RESET);
  ASSERT_EQ(worker.Snapshot().m_nConnectCount, 1);

  port->RefuseOpen(ENOENT);
  const std::int64_t reset_at = NowMs();
  port->InjectWaitError(EIO);
  Settle();
  EXPECT_EQ(TraceCount("ttyUSB0 , baud[460800] Port Open fail err-code[2]\n"), 1u);
  EXPECT_TRUE(TimerRunning(IDT_CONNECT_RESPONSE));
  port->RefuseOpen(0);

  AdvanceBy(1400);
  const auto commands = terminal.commands();
  const auto upapp = std::find_if(commands.begin(), commands.end(),
                                  [](const auto& c) { return c.text == kUpappCommand; });
  ASSERT_NE(upapp, commands.end());
  EXPECT_EQ(upapp->at_ms, reset_at + 1400) << "1000 ms response wait, 400 ms pause";
  EXPECT_EQ(upapp->baud, 115200u) << "the attempt counter is now even";
  EXPECT_EQ(worker.Snapshot().m_nConnectCount, 2);
  EXPECT_TRUE(TimerRunning(IDT_BOOT_LOADER_TIMER_TEMP)) << "waiting for +UPAPP";
}

TEST_F(EngineTest, PortEventsAfterTheRunHasEndedAreIgnored) {
  StartRun();
  ASSERT_EQ(front_end.Of(WM_USER_END).size(), 1u);
  front_end.messages.clear();
  port->ClearWritten();
  const std::size_t trace_before = TraceSize();
  const int opens = port->open_count();

  for (const auto& [event, value] : std::vector<std::pair<WPARAM, LPARAM>>{
           {COM_EVT_OPEN, 0}, {COM_EVT_RXDATA, 0}, {COM_EVT_DSR, 0}, {COM_EVT_ERROR, EIO}}) {
    Post(WM_USER_COM_EVENT, event, value);
  }
  EXPECT_EQ(TraceSize(), trace_before);
  EXPECT_TRUE(front_end.messages.empty());
  EXPECT_TRUE(port->written().empty());
  EXPECT_EQ(port->open_count(), opens);
  EXPECT_FALSE(loop.NextTimerDue().has_value());
}

TEST_F(EngineTest, UpgradeAgainAfterCompletionRunsAFreshUpgradeFrom115200) {
  StartRun();
  ASSERT_EQ(front_end.Of(WM_USER_END).size(), 1u);
  const std::size_t first_run_commands = terminal.commands().size();
  front_end.messages.clear();
  Post(WM_USER_UPGRADE_AGAIN);
  EXPECT_EQ(front_end.messages,
            (std::vector<Message>{{WM_USER_PORT_SELECTED, 0, 0, "ttyUSB0", 115200}}));

  Post(WM_USER_UPGRADE_START);
  const auto commands = terminal.commands();
  ASSERT_GT(commands.size(), first_run_commands);
  EXPECT_EQ(commands[first_run_commands].text, kLinkTest115200);
  EXPECT_EQ(commands[first_run_commands].baud, 115200u);
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u);
}

}  // namespace
}  // namespace kvx::test
