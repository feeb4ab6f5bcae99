// CCom over the in-memory port, with its owner on the test thread and time on a manual clock, as
// the engine's tests run it.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/fake_serial_device.h"
#include "platform/message_loop.h"
#include "platform/user_messages.h"
#include "serial/ccom.h"
#include "serial/serial_ports.h"
#include "support/recording_window.h"
#include "support/serial_quiescence.h"

namespace kvx {
namespace {

using test::RecordingWindow;
using ComEvents = std::vector<std::pair<WPARAM, LPARAM>>;
using Logs = std::vector<std::pair<std::string, LPARAM>>;

constexpr LPARAM kRed = 0xff;

// Names that are already device paths, used as they stand, and how the trace shows them.
#if defined(_WIN32)
constexpr const char* kFullPath = "\\\\.\\COM12";
constexpr const char* kGonePath = "\\\\.\\COM13";
constexpr const char* kGoneName = "COM13";
#else
constexpr const char* kFullPath = "/tmp/kvx-sim/port";
constexpr const char* kGonePath = "/dev/ttyGONE3";
constexpr const char* kGoneName = "ttyGONE3";
#endif

class CComOverFakePort : public testing::Test {
 protected:
  void SetUp() override { com->SetOwner(owner); }

  // Lets the reader and writer finish, then handles what they posted.
  void Settle() {
    ASSERT_TRUE(test::WaitForSerialQuiescence(*com, *port));
    loop.RunUntilIdle();
  }

  void Open(const std::string& name = "ttyFAKE0", std::uint32_t baud = 115200) {
    ASSERT_EQ(com->PortOpen(name, baud, 8, "NONE", 1), 1);
    Settle();
    ASSERT_EQ(owner.com_events(), (ComEvents{{COM_EVT_OPEN, 0}}));
    owner.Clear();
  }

  std::vector<std::string> TakeLines() {
    std::vector<std::string> lines;
    std::vector<char> buffer(CCom::kMaxTake);
    for (int n; (n = com->PortGetLine(buffer)) > 0;) lines.emplace_back(buffer.data(), n);
    return lines;
  }

  ManualClock clock;
  MessageLoop loop{clock};
  RecordingWindow owner{loop};
  FakeSerialDeviceOpener opener;
  std::shared_ptr<FakeSerialPort> port = opener.AddPort(SerialDevicePath("ttyFAKE0"));
  std::optional<CCom> com{std::in_place, opener, clock};
};

TEST_F(CComOverFakePort, OpenAppliesTheSettingsRaisesDtrAndPostsSuccess) {
  Open();
  EXPECT_TRUE(com->IsOpen());
  EXPECT_TRUE(port->is_open());
  EXPECT_TRUE(port->dtr());
  EXPECT_EQ(port->settings(), (SerialSettings{115200, 8, Parity::kNone, 1}));
  EXPECT_TRUE(owner.logs().empty());
}

TEST_F(CComOverFakePort, NameStartingWithSlashIsOpenedAsItStands) {
  auto link = opener.AddPort(kFullPath);
  com->PortOpen(kFullPath, 460800, 8, "NONE", 1);
  ASSERT_TRUE(test::WaitForSerialQuiescence(*com, *link));
  loop.RunUntilIdle();
  EXPECT_EQ(owner.com_events(), (ComEvents{{COM_EVT_OPEN, 0}}));
  EXPECT_EQ(link->settings().baud_rate, 460800u);
}

TEST_F(CComOverFakePort, ParityWordsMapToTheLineSettings) {
  const struct {
    const char* word;
    Parity parity;
    const char* reason;
  } cases[] = {
      {"NONE", Parity::kNone, "no parity"},
      {"EVEN", Parity::kEven, "even parity"},
      {"ODD", Parity::kOdd, "odd parity"},
      {"MARK", Parity::kUnchanged, "any other word leaves the driver's parity alone"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    com->PortOpen("ttyFAKE0", 115200, 8, c.word, 2);
    Settle();
    EXPECT_EQ(port->settings().parity, c.parity);
    EXPECT_EQ(port->settings().stop_bits, 2);
    EXPECT_EQ(com->PortClose(), 1);
  }
}

TEST_F(CComOverFakePort, RefusedOpenPostsTheErrorAndSendsTheOpenFailLine) {
  port->RefuseOpen(EBUSY);
  com->PortOpen("ttyFAKE0", 115200, 8, "NONE", 1);
  Settle();
  EXPECT_EQ(owner.com_events(), (ComEvents{{COM_EVT_OPEN, EBUSY}}));
  EXPECT_EQ(owner.logs(),
            (Logs{{"ttyFAKE0 Port open fail - CreateFile fail GetLastError[16]\n", kRed}}));
  EXPECT_FALSE(com->IsOpen());
}

TEST_F(CComOverFakePort, MissingDeviceTracesItsNameWithoutTheDevFolder) {
  com->PortOpen(kGonePath, 115200, 8, "NONE", 1);
  Settle();
  EXPECT_EQ(owner.com_events(), (ComEvents{{COM_EVT_OPEN, ENOENT}}));
  EXPECT_EQ(owner.logs(),
            (Logs{{std::string(kGoneName) + " Port open fail - CreateFile fail GetLastError[2]\n",
                   kRed}}));
}

TEST_F(CComOverFakePort, RefusedSettingsPostTheErrorAndLeaveThePortOpenUntilClosed) {
  port->RefuseConfigure(1, EINVAL);
  com->PortOpen("ttyFAKE0", 115200, 8, "NONE", 1);
  Settle();
  EXPECT_EQ(owner.com_events(), (ComEvents{{COM_EVT_OPEN, EINVAL}}));
  EXPECT_EQ(owner.logs(),
            (Logs{{"ttyFAKE0 Serial setup Fail - SetCommState fail GetLastError[22] ", kRed}}));
  EXPECT_TRUE(com->IsOpen());
  EXPECT_TRUE(port->is_open());
  EXPECT_EQ(com->PortClose(), 1);
  EXPECT_FALSE(port->is_open());
}

TEST_F(CComOverFakePort, WritesAreCopiedSoTheCallersBufferMayGoAtOnce) {
  Open();
  {
    char command[16];
    std::strcpy(command, "AT+CEXT=1\r");
    com->PortWrite(std::string_view(command));
    std::memset(command, 'X', sizeof command);  // the caller reuses its buffer at once
  }
  com->PortWrite(std::string_view("at+hwver\r"));
  com->WaitUntilIdle();
  EXPECT_EQ(port->written_text(), "AT+CEXT=1\rat+hwver\r");
}

TEST_F(CComOverFakePort, WriteToAPortThatIsNotOpenIsDropped) {
  com->PortWrite(std::string_view("AT\r"));
  port->RefuseOpen(EBUSY);
  com->PortOpen("ttyFAKE0", 115200, 8, "NONE", 1);
  Settle();
  com->PortWrite(std::string_view("AT\r"));
  com->WaitUntilIdle();
  EXPECT_EQ(port->written_text(), "");
}

TEST_F(CComOverFakePort, ReceivedBytesArePostedAsRxDataAndTakenAsLines) {
  Open();
  port->Deliver("AT\r\nOK\r\n");
  Settle();
  ASSERT_FALSE(owner.com_events().empty());
  for (const auto& event : owner.com_events())
    EXPECT_EQ(event, (std::pair<WPARAM, LPARAM>{COM_EVT_RXDATA, 0}));
  EXPECT_EQ(TakeLines(), (std::vector<std::string>{"AT\r\n", "\n", "OK\r\n", "\n"}));
}

TEST_F(CComOverFakePort, TerminalScriptAnswersAWriteBeforeThePortSettles) {
  Open();
  port->SetTerminal([this](std::span<const std::uint8_t> written) {
    if (std::string(written.begin(), written.end()) == "AT\r") port->Deliver("AT\r\r\nOK\r\n");
  });
  com->PortWrite(std::string_view("AT\r"));
  Settle();
  EXPECT_FALSE(owner.com_events().empty());
  EXPECT_EQ(TakeLines(), (std::vector<std::string>{"AT\r\n", "\r\n", "\n", "OK\r\n", "\n"}));
}

TEST_F(CComOverFakePort, FramesAreTakenInFrameMode) {
  Open();
  com->SetRxMode(RX_MODE_FRAME);
  // SYN, then the record: SYN STX, command, three head bytes, body length 0, head CRC, closing
  // bytes.
  const std::vector<std::uint8_t> wire = {0x96, 0x96, 0x82, 'S', 0, 0, 0, 0, 0, 0,
                                          0,    1,    2,    3,   4, 5, 6, 7, 8, 3};
  port->Deliver(wire);
  Settle();
  std::vector<std::uint8_t> frame(CCom::kMaxTake);
  ASSERT_EQ(com->PortGetFrame(frame), 19);
  EXPECT_EQ(std::vector<std::uint8_t>(frame.begin(), frame.begin() + 19),
            std::vector<std::uint8_t>(wire.begin() + 1, wire.end()));
}

TEST_F(CComOverFakePort, DsrChangesArePostedWithTheLineState) {
  Open();
  port->SetDsr(false);
  Settle();
  port->SetDsr(true);
  Settle();
  EXPECT_EQ(owner.com_events(), (ComEvents{{COM_EVT_DSR, 0}, {COM_EVT_DSR, MS_DSR_ON}}));
}

TEST_F(CComOverFakePort, FailedWaitIsPostedAsAnErrorWithItsCode) {
  Open();
  port->InjectWaitError(EIO);
  Settle();
  EXPECT_EQ(owner.com_events(), (ComEvents{{COM_EVT_ERROR, 5}}));
}

TEST_F(CComOverFakePort, SuspendedReaderTakesAndReportsNothingMore) {
  Open();
  const int woken = port->wakeups();
  com->SuspendReader();
  port->Deliver("OK\r\n");
  port->SetDsr(false);
  ASSERT_TRUE(port->WaitForWakeups(woken + 1));
  com->WaitUntilIdle();
  loop.RunUntilIdle();
  EXPECT_TRUE(owner.com_events().empty());
  std::vector<char> line(64);
  EXPECT_EQ(com->PortGetLine(line), 0);
  EXPECT_TRUE(com->IsOpen());  // until the engine closes it
  EXPECT_EQ(com->PortClose(), 1);
  EXPECT_FALSE(port->is_open());
}

TEST_F(CComOverFakePort, BaudChangeIsAppliedAtOnce) {
  Open();
  EXPECT_TRUE(com->PortModifyBaudrate(460800));
  EXPECT_EQ(port->settings().baud_rate, 460800u);
  EXPECT_EQ(clock.Now(), Clock::TimePoint{});
}

TEST_F(CComOverFakePort, BaudChangeRefusedOnceIsRetriedAfter500Ms) {
  Open();
  port->RefuseConfigure(1, EINVAL);
  EXPECT_TRUE(com->PortModifyBaudrate(460800));
  EXPECT_EQ(clock.Now().time_since_epoch(), Milliseconds(500));
  EXPECT_EQ(port->settings().baud_rate, 460800u);
  EXPECT_TRUE(com->IsOpen());
}

TEST_F(CComOverFakePort, BaudChangeRefusedTwiceClosesThePortAndReturnsFalse) {
  Open();
  port->RefuseConfigure(2, EINVAL);
  EXPECT_FALSE(com->PortModifyBaudrate(460800));
  EXPECT_EQ(clock.Now().time_since_epoch(), Milliseconds(500));
  EXPECT_FALSE(com->IsOpen());
  EXPECT_FALSE(port->is_open());
  EXPECT_EQ(port->settings().baud_rate, 115200u);
  EXPECT_EQ(
      owner.logs(),
      (Logs{{"[460800] PortModifyBaudrate fail - SetCommState fail GetLastError[22] ", kRed}}));
}

TEST_F(CComOverFakePort, CloseReleasesThePortAndResetsTheRing) {
  Open();
  com->SetRxMode(RX_MODE_FRAME);
  port->Deliver("unread");
  Settle();
  EXPECT_EQ(com->PortClose(), 1);
  EXPECT_EQ(clock.Now(), Clock::TimePoint{});  // no wait when the device lets go at once
  EXPECT_FALSE(com->IsOpen());
  EXPECT_FALSE(port->is_open());
  EXPECT_EQ(com->RxMode(), RX_MODE_LINE);
  std::vector<char> line(64);
  EXPECT_EQ(com->PortGetLine(line), 0);
  owner.Clear();
  Open();  // the port can be had again
}

TEST_F(CComOverFakePort, CloseWhoseDeviceHangsReturnsAfterTheLimitWithTheStateReset) {
  Open();
  port->HangClose();
  std::thread time_keeper([this] {
    if (port->WaitUntilCloseHangs()) clock.Advance(CCom::kCloseLimit);
  });
  com->SetRxMode(RX_MODE_FRAME);
  EXPECT_EQ(com->PortClose(), 1);
  time_keeper.join();
  EXPECT_EQ(clock.Now().time_since_epoch(), Milliseconds(2000));
  EXPECT_FALSE(com->IsOpen());
  EXPECT_EQ(com->RxMode(), RX_MODE_LINE);

  // The abandoned close still holds the device until the driver lets go.
  com->PortOpen("ttyFAKE0", 115200, 8, "NONE", 1);
  Settle();
  EXPECT_EQ(owner.com_events(), (ComEvents{{COM_EVT_OPEN, EBUSY}}));
  port->ReleaseClose();
  ASSERT_TRUE(port->WaitUntilClosed());
  owner.Clear();
  Open();
}

// The reader blocks in its log request to the owner's thread; the owner's thread closing the port
// must keep serving that request or neither thread moves again.
TEST_F(CComOverFakePort, CloseWhileTheReaderWaitsOnItsLogRequestDoesNotDeadlock) {
  port->RefuseOpen(EBUSY);
  com->PortOpen("ttyFAKE0", 115200, 8, "NONE", 1);
  EXPECT_EQ(com->PortClose(), 1);
  EXPECT_EQ(owner.logs(),
            (Logs{{"ttyFAKE0 Port open fail - CreateFile fail GetLastError[16]\n", kRed}}));
}

TEST_F(CComOverFakePort, DestructionWhileTheReaderWaitsOnItsLogRequestDoesNotDeadlock) {
  port->RefuseOpen(EBUSY);
  com->PortOpen("ttyFAKE0", 115200, 8, "NONE", 1);
  com.reset();
  EXPECT_EQ(owner.logs().size(), 1u);
}

TEST_F(CComOverFakePort, ResetOfAnOpenPortClosesItAndEmptiesTheRing) {
  Open();
  com->SetRxMode(RX_MODE_FRAME);
  port->Deliver("OK\r\n");
  Settle();
  com->PortReset();
  EXPECT_FALSE(com->IsOpen());
  EXPECT_FALSE(port->is_open());
  EXPECT_EQ(com->RxMode(), RX_MODE_LINE);
  std::vector<char> line(64);
  EXPECT_EQ(com->PortGetLine(line), 0);
}

TEST_F(CComOverFakePort, CableLostWarningRunsTheHookOnAThreadOfItsOwn) {
  struct Shown {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    std::string caption, text;
    std::thread::id thread;
  };
  auto shown = std::make_shared<Shown>();
  com->SetCableLostWarningHook([shown](const std::string& caption, const std::string& text) {
    std::lock_guard guard(shown->mutex);
    shown->caption = caption;
    shown->text = text;
    shown->thread = std::this_thread::get_id();
    shown->done = true;
    shown->cv.notify_all();
  });
  com->ShowCableLostWarning();
  std::unique_lock lock(shown->mutex);
  ASSERT_TRUE(shown->cv.wait_for(lock, std::chrono::seconds(10), [&] { return shown->done; }));
  EXPECT_EQ(shown->caption, "Warning");
  EXPECT_EQ(shown->text, "Cable connection lost!\n Turn off and on modem and Retry again");
  EXPECT_NE(shown->thread, std::this_thread::get_id());
}

}  // namespace
}  // namespace kvx
