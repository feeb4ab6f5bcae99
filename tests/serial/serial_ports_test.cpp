#include "serial/serial_ports.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/fake_serial_device.h"
#include "platform/posix_serial_device.h"
#include "platform/serial_port_source.h"
#include "support/pty.h"

namespace kvx {
namespace {

using Names = std::vector<std::string>;

TEST(SerialPortNames, DevicePathAndTraceNameFollowTheLeadingSlash) {
  const struct {
    const char* name;
    const char* path;
    const char* traced;
    const char* reason;
  } cases[] = {
      {"ttyUSB0", "/dev/ttyUSB0", "ttyUSB0", "a bare name lives under /dev"},
      {"/dev/ttyACM1", "/dev/ttyACM1", "ttyACM1", "a path is used as it stands"},
      {"/dev/pts/7", "/dev/pts/7", "pts/7", "the trace drops only the /dev/ folder"},
      {"/tmp/kvx-sim/port", "/tmp/kvx-sim/port", "/tmp/kvx-sim/port",
       "other paths are traced whole"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    EXPECT_EQ(SerialDevicePath(c.name), c.path);
    EXPECT_EQ(PortNameForTrace(c.name), c.traced);
  }
}

TEST(SerialPortNames, NumberIsTheDigitsThatEndTheName) {
  EXPECT_EQ(SerialPortNumber("ttyUSB12"), 12u);
  EXPECT_EQ(SerialPortNumber("/dev/pts/3"), 3u);
  EXPECT_EQ(SerialPortNumber("tty1S"), 0u);  // digits inside the name do not count
  EXPECT_EQ(SerialPortNumber("/tmp/kvx-sim"), 0u);
  EXPECT_EQ(SerialPortNumber("ttyX123456789012345678901234567890"),
            std::numeric_limits<std::uint64_t>::max());
}

TEST(EnumSerialPorts, SortsByPortNumber) {
  const struct {
    Names listed;
    Names sorted;
    const char* reason;
  } cases[] = {
      {{"ttyUSB10", "ttyUSB3", "ttyUSB4"},
       {"ttyUSB3", "ttyUSB4", "ttyUSB10"},
       "numbers compare as numbers, not as text"},
      {{"ttyUSB1", "/tmp/kvx-sim", "ttyACM0"},
       {"/tmp/kvx-sim", "ttyACM0", "ttyUSB1"},
       "a name without digits counts as 0 and keeps its place before a 0"},
      {{"ttyACM1", "ttyUSB1", "ttyS0"},
       {"ttyS0", "ttyUSB1", "ttyACM1"},
       "equal numbers end in exchange-sort order, not in listed order"},
      {{}, {}, "no ports"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    EXPECT_EQ(EnumSerialPorts(FakeSerialPortSource(c.listed)), c.sorted);
  }
}

TEST(IsPortBusy, FreePortIsNotBusyAndIsClosedAgainAtOnce) {
  FakeSerialDeviceOpener opener;
  auto port = opener.AddPort("/dev/ttyUSB0");
  EXPECT_FALSE(IsPortBusy("ttyUSB0", opener));
  EXPECT_EQ(port->open_count(), 1);
  EXPECT_FALSE(port->is_open());
}

TEST(IsPortBusy, HeldRefusedOrMissingPortsAreBusy) {
  FakeSerialDeviceOpener opener;
  auto held = opener.AddPort("/dev/ttyUSB0");
  SerialOpenResult holder = opener.Open("/dev/ttyUSB0");
  ASSERT_TRUE(holder.device);
  EXPECT_TRUE(IsPortBusy("ttyUSB0", opener));

  opener.AddPort("/dev/ttyUSB1")->RefuseOpen(EACCES);
  EXPECT_TRUE(IsPortBusy("ttyUSB1", opener));

  opener.AddPort("/dev/ttyUSB2");
  opener.RemovePort("/dev/ttyUSB2");  // listed a moment ago, unplugged since
  EXPECT_TRUE(IsPortBusy("ttyUSB2", opener));
}

TEST(IsPortBusy, RealDeviceIsBusyWhileAnotherDescriptorHoldsItsLock) {
  test::PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  PosixSerialDeviceOpener opener;
  EXPECT_FALSE(IsPortBusy(pty.slave_path(), opener));
  const int holder = ::open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_TRUE(IsPortBusy(pty.slave_path(), opener));
  ::close(holder);
  EXPECT_FALSE(IsPortBusy(pty.slave_path(), opener));
  EXPECT_TRUE(IsPortBusy("/dev/pts/kvx-no-such-port", opener));
}

}  // namespace
}  // namespace kvx
