// What the engine tells beyond its own messages: a port refused for lack of permission (after the
// report it caused), ModemManager at the start of a run, and ports named by a link such as
// /dev/serial/by-id/....

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "platform/modem_manager.h"

namespace kvx::test {
namespace {

using test::PrintTo;

using Message = RecordingFrontEnd::Message;

const Message kDeniedNotice{WM_USER_PORT_ACCESS_DENIED, 0, EACCES, "/dev/ttyUSB0", 0};

struct RefusedAttemptsCase {
  const char* reason;
  int error;
  bool told;
};

class RefusedAttemptsTest : public EngineTest,
                            public ::testing::WithParamInterface<RefusedAttemptsCase> {};

TEST_P(RefusedAttemptsTest, TheNoticeFollowsMessage147OnlyForAPermissionRefusal) {
  const RefusedAttemptsCase& c = GetParam();
  SelectPort();
  port->RefuseOpenAfter(1, c.error);  // the start's own check passes, every attempt fails
  front_end.messages.clear();
  Post(WM_USER_UPGRADE_START);
  AdvanceBy(14000);

  EXPECT_EQ(front_end.OperatorMessages(), (std::vector<LPARAM>{IDS_CONNECTION_FAILED}));
  const std::string fail_line =
      "ttyUSB0 , baud[460800] Port Open fail err-code[" + std::to_string(c.error) + "]\n";
  EXPECT_EQ(TraceCount(fail_line), 5u) << "the trace reads as for any failed open";
  const auto notices = front_end.Of(WM_USER_PORT_ACCESS_DENIED);
  if (!c.told) {
    EXPECT_TRUE(notices.empty());
    return;
  }
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0], (Message{WM_USER_PORT_ACCESS_DENIED, 0, c.error, "/dev/ttyUSB0", 0}));
  ASSERT_GE(front_end.messages.size(), 2u);
  const Message& ending = front_end.messages[front_end.messages.size() - 2];
  EXPECT_EQ(ending.msg, static_cast<UINT>(WM_USER_BTN_CTRL)) << "told after the run's message";
  EXPECT_EQ(ending.lParam, IDS_CONNECTION_FAILED);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, RefusedAttemptsTest,
    ::testing::Values(RefusedAttemptsCase{"EACCES: the device node is not ours", EACCES, true},
                      RefusedAttemptsCase{"EPERM: refused by policy", EPERM, true},
                      RefusedAttemptsCase{"ENOENT: unplugged, nothing about permission", ENOENT,
                                          false},
                      RefusedAttemptsCase{"EBUSY: another program holds it", EBUSY, false}));

TEST_F(EngineTest, ARunThatGetsThroughAfterAPermissionRefusalTellsNothing) {
  // udev gives a re-enumerated node its group a moment after it appears.
  SelectPort();
  port->RefuseOpenAfter(1, EACCES);
  front_end.messages.clear();
  Post(WM_USER_UPGRADE_START);
  EXPECT_EQ(TraceCount("ttyUSB0 , baud[115200] Port Open fail err-code[13]\n"), 1u);
  port->RefuseOpen(0);
  AdvanceBy(1400);
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u);
  EXPECT_TRUE(front_end.Of(WM_USER_PORT_ACCESS_DENIED).empty());
}

enum class PortCheck { kPortSetup, kConfiguration };

struct RefusedCheckCase {
  const char* reason;
  PortCheck check;
  Message report;  // the engine's own report, which comes first
};

class RefusedCheckTest : public EngineTest,
                         public ::testing::WithParamInterface<RefusedCheckCase> {};

TEST_P(RefusedCheckTest, APortCheckRefusedForPermissionIsToldAfterItsReport) {
  const RefusedCheckCase& c = GetParam();
  ports.SetPorts({"ttyS0", kPortName});  // ttyS0 is not there at all: ENOENT
  port->RefuseOpen(EACCES);
  if (c.check == PortCheck::kPortSetup) {
    Post(WM_USER_PORT_SETUP);
  } else {
    SelectPort();
  }
  ASSERT_EQ(front_end.messages.size(), 2u);
  EXPECT_EQ(front_end.messages[0], c.report);
  EXPECT_EQ(front_end.messages[1], kDeniedNotice);
  EXPECT_FALSE(worker.run_active());
}

INSTANTIATE_TEST_SUITE_P(Checks, RefusedCheckTest,
                         ::testing::Values(RefusedCheckCase{"port setup: no free port",
                                                            PortCheck::kPortSetup,
                                                            {WM_USER_PORT_ERROR, 0, 0, "", 0}},
                                           RefusedCheckCase{"the configuration's port is dropped",
                                                            PortCheck::kConfiguration,
                                                            {WM_USER_PORT_SELECTED, 0, 0, "", 0}}));

TEST_F(EngineTest, AStartOnAPortRefusedForPermissionReportsMinusTwoThenTheNotice) {
  SelectPort();
  port->RefuseOpen(EACCES);
  front_end.messages.clear();
  Post(WM_USER_UPGRADE_START);
  EXPECT_EQ(front_end.messages,
            (std::vector<Message>{{WM_USER_PORT_ERROR, 0, 0, "", -2}, kDeniedNotice}));
  EXPECT_TRUE(terminal.commands().empty());
}

TEST_F(EngineTest, APermissionRefusalIsToldOnceAndNotCarriedIntoTheNextCheck) {
  SelectPort();
  port->RefuseOpen(EACCES);
  front_end.messages.clear();
  Post(WM_USER_UPGRADE_START);
  ASSERT_EQ(front_end.Of(WM_USER_PORT_ACCESS_DENIED).size(), 1u);
  port->RefuseOpen(EBUSY);
  front_end.messages.clear();
  Post(WM_USER_UPGRADE_START);
  EXPECT_EQ(front_end.messages, (std::vector<Message>{{WM_USER_PORT_ERROR, 0, 0, "", -2}}));
}

class ModemManagerTest : public EngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ModemManagerTest, TheRunsTraceStartsWithItsWarningInRedWhenItRuns) {
  const bool running = GetParam();
  environment.hooks.modem_manager_running = [running] { return running; };
  SelectPort();
  const std::size_t first = TraceSize();
  Post(WM_USER_UPGRADE_START);
  const std::vector<TraceEntry> trace = Trace(first);
  const std::vector<std::string> warning = ModemManagerWarning();
  const std::size_t lines = running ? warning.size() : 0;
  ASSERT_GT(trace.size(), lines);
  for (std::size_t i = 0; i < lines; ++i) {
    EXPECT_EQ(trace[i].text, warning[i] + "\n");
    EXPECT_EQ(trace[i].colour, kTraceRed);
  }
  EXPECT_EQ(trace[lines].text, "file path : " + worker.Snapshot().m_strFilePath + "\n")
      << "the run's own lines follow, unchanged";
  AdvanceBy(1400);
  EXPECT_EQ(front_end.Of(WM_USER_END).size(), 1u) << "a warning, not a refusal";
}

INSTANTIATE_TEST_SUITE_P(Running, ModemManagerTest, ::testing::Bool());

// Ports named by a link to a listed port, as /dev/serial/by-id/... names a USB serial port.
class LinkedPortTest : public EngineTest {
 protected:
  LinkedPortTest() {
    namespace fs = std::filesystem;
    device = folder.path() + "/ttyUSB3";
    other = folder.path() + "/ttyUSB4";
    std::ofstream(device).put('\n');
    std::ofstream(other).put('\n');
    fs::create_directories(folder.path() + "/by-id");
    link = folder.path() + "/by-id/usb-Velmora_KVX-01_0001-if00-port0";
    fs::create_symlink("../ttyUSB3", link);
    stray = folder.path() + "/by-id/usb-Other_0002-if00-port0";
    fs::create_symlink("../ttyUSB4", stray);
    ports.SetPorts({kPortName, device});
    opener.AddPort(link);
    opener.AddPort(stray);
  }

  std::vector<Message> SelectionFor(const std::string& name) {
    port_name = name;
    front_end.messages.clear();
    SelectPort();
    return front_end.Of(WM_USER_PORT_SELECTED);
  }

  std::string device, other, link, stray;
};

TEST_F(LinkedPortTest, AConfigurationPortThatLinksToAListedPortIsSelectedUnderItsLinkName) {
  EXPECT_EQ(SelectionFor(link),
            (std::vector<Message>{{WM_USER_PORT_SELECTED, 0, 0, link, 115200}}));
  EXPECT_EQ(SelectionFor(stray), (std::vector<Message>{{WM_USER_PORT_SELECTED, 0, 0, "", 0}}))
      << "its device is not listed";
  EXPECT_EQ(SelectionFor(folder.path() + "/by-id/missing"),
            (std::vector<Message>{{WM_USER_PORT_SELECTED, 0, 0, "", 0}}));
}

}  // namespace
}  // namespace kvx::test
