// The POSIX serial device over a pseudo-terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/posix_serial_device.h"
#include "support/pty.h"

namespace kvx {
namespace {

class PosixSerialDeviceOnPty : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    SerialOpenResult opened = PosixSerialDevice::Open(pty.slave_path());
    ASSERT_EQ(opened.error, 0);
    device = std::move(opened.device);
    ASSERT_EQ(device->Configure(SerialSettings{}), 0);
  }

  test::PseudoTerminal pty;
  std::unique_ptr<SerialDevice> device;
};

TEST_F(PosixSerialDeviceOnPty, SecondOpenOfAHeldPortIsBusy) {
  EXPECT_EQ(PosixSerialDevice::Open(pty.slave_path()).error, EBUSY);
  device.reset();
  EXPECT_EQ(PosixSerialDevice::Open(pty.slave_path()).error, 0);
}

TEST_F(PosixSerialDeviceOnPty, MissingDeviceFailsWithItsErrno) {
  EXPECT_EQ(PosixSerialDevice::Open("/dev/kvx-no-such-port").error, ENOENT);
}

TEST_F(PosixSerialDeviceOnPty, UnsupportedSettingsAreRefused) {
  EXPECT_EQ(device->Configure(SerialSettings{123456, 8, Parity::kNone, 1}), EINVAL);
  EXPECT_EQ(device->Configure(SerialSettings{115200, 9, Parity::kNone, 1}), EINVAL);
}

TEST_F(PosixSerialDeviceOnPty, ArrivingBytesWakeTheWaitAndAreRead) {
  ASSERT_TRUE(pty.Write("OK\r\n"));
  const SerialEvents events = device->WaitEvents();
  EXPECT_TRUE(events.rx);
  EXPECT_EQ(events.error, 0);
  std::vector<std::uint8_t> buffer(64);
  std::string read;
  while (read.size() < 4) {
    const long n = device->Read(buffer);
    if (n <= 0) {
      ASSERT_TRUE(device->WaitEvents().rx);
      continue;
    }
    read.append(buffer.begin(), buffer.begin() + n);
  }
  EXPECT_EQ(read, "OK\r\n");
  EXPECT_EQ(device->Read(buffer), 0);  // nothing more: no error either
}

TEST_F(PosixSerialDeviceOnPty, InterruptWakesAWaitingReader) {
  SerialEvents events;
  std::thread reader([&] { events = device->WaitEvents(); });
  device->Interrupt();
  reader.join();
  EXPECT_TRUE(events.interrupted);
  EXPECT_TRUE(device->WaitEvents().interrupted);  // and every later wait
}

TEST_F(PosixSerialDeviceOnPty, InterruptAbandonsAWriteThatFindsNoRoom) {
  // The far side never reads, so the driver's queue fills and the write waits for room.
  const std::vector<std::uint8_t> data(4 << 20, 0x55);
  int result = -1;
  std::thread writer([&] { result = device->Write(data); });
  device->Interrupt();
  writer.join();
  EXPECT_EQ(result, ECANCELED);
}

TEST_F(PosixSerialDeviceOnPty, FarSideClosingIsAFailedWaitWithEio) {
  pty.CloseMaster();
  SerialEvents events = device->WaitEvents();
  std::vector<std::uint8_t> buffer(64);
  while (events.error == 0 && events.rx) {
    device->Read(buffer);
    events = device->WaitEvents();
  }
  EXPECT_EQ(events.error, EIO);
  EXPECT_EQ(device->WaitEvents().error, EIO);
}

}  // namespace
}  // namespace kvx
