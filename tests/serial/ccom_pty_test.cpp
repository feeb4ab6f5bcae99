// CCom over a real pseudo-terminal with the POSIX device, its owner on a thread of its own. Waits
// for the reader's events are bounded in real time only to end a failing test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/posix_serial_device.h"
#include "platform/user_messages.h"
#include "serial/ccom.h"
#include "serial/serial_ports.h"
#include "support/pty.h"
#include "support/recording_window.h"

namespace kvx {
namespace {

using test::OwnerThread;
using test::PseudoTerminal;

class CComOverPty : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    com.SetOwner(owner.window());
  }

  // Opens the pty's port side and returns COM_EVT_OPEN's value.
  LPARAM Open(std::uint32_t baud) {
    com.PortOpen(pty.slave_path(), baud, 8, "NONE", 1);
    EXPECT_TRUE(owner.window().WaitForComEvent(COM_EVT_OPEN));
    for (const auto& [event, value] : owner.window().com_events()) {
      if (event == COM_EVT_OPEN) return value;
    }
    return -1;
  }

  SteadyClock clock;
  OwnerThread owner{clock};
  PseudoTerminal pty;
  PosixSerialDeviceOpener opener;
  CCom com{opener, clock};
};

TEST_F(CComOverPty, OpenConfiguresTheLineAtEitherRate) {
  const struct {
    std::uint32_t baud;
    speed_t speed;
  } rates[] = {{115200, B115200}, {460800, B460800}};
  for (const auto& rate : rates) {
    SCOPED_TRACE(rate.baud);
    owner.window().Clear();
    ASSERT_EQ(Open(rate.baud), 0);
    const termios line = pty.LineSettings();
    EXPECT_EQ(cfgetospeed(&line), rate.speed);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_NE(line.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(com.PortClose(), 1);
  }
}

TEST_F(CComOverPty, PortHeldElsewhereFailsToOpenWithBusyAndTheOpenFailLine) {
  const int holder = ::open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(Open(115200), EBUSY);
  ASSERT_TRUE(owner.window().WaitFor([](const auto& messages) {
    for (const auto& m : messages) {
      if (m.msg == WM_USER_LOG) return true;
    }
    return false;
  }));
  const std::string expected =
      PortNameForTrace(pty.slave_path()) + " Port open fail - CreateFile fail GetLastError[16]\n";
  EXPECT_EQ(owner.window().logs(), (std::vector<std::pair<std::string, LPARAM>>{{expected, 0xff}}));
  EXPECT_EQ(expected.rfind("pts/", 0), 0u);
  ::close(holder);
}

TEST_F(CComOverPty, BytesTravelBothWays) {
  ASSERT_EQ(Open(115200), 0);
  com.PortWrite(std::string_view("AT+CEXT=1\r"));
  EXPECT_EQ(pty.Read(10), "AT+CEXT=1\r");

  ASSERT_TRUE(pty.Write("AT+CEXT=1\r\r\nOK\r\n"));
  std::vector<std::string> lines;
  std::vector<char> buffer(CCom::kMaxTake);
  for (std::size_t events = 1; lines.size() < 5; ++events) {
    ASSERT_TRUE(owner.window().WaitForComEvent(COM_EVT_RXDATA, events));
    for (int n; (n = com.PortGetLine(buffer)) > 0;) lines.emplace_back(buffer.data(), n);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"AT+CEXT=1\r\n", "\r\n", "\n", "OK\r\n", "\n"}));
}

TEST_F(CComOverPty, BaudChangeReachesTheLine) {
  ASSERT_EQ(Open(115200), 0);
  EXPECT_TRUE(com.PortModifyBaudrate(460800));
  const termios line = pty.LineSettings();
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B460800));
}

TEST_F(CComOverPty, CloseLetsGoOfThePort) {
  ASSERT_EQ(Open(115200), 0);
  EXPECT_TRUE(IsPortBusy(pty.slave_path(), opener));
  EXPECT_EQ(com.PortClose(), 1);
  EXPECT_FALSE(com.IsOpen());
  EXPECT_FALSE(IsPortBusy(pty.slave_path(), opener));
}

TEST_F(CComOverPty, FarSideGoingAwayIsReportedAsErrorFive) {
  ASSERT_EQ(Open(460800), 0);
  pty.CloseMaster();
  ASSERT_TRUE(owner.window().WaitForComEvent(COM_EVT_ERROR));
  for (const auto& [event, value] : owner.window().com_events()) {
    if (event == COM_EVT_ERROR) {
      EXPECT_EQ(value, 5);
    }
  }
  EXPECT_EQ(com.PortClose(), 1);
}

}  // namespace
}  // namespace kvx
