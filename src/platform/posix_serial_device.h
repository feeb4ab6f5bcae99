// SerialDevice on a POSIX tty (USB serial adapters, UARTs, pseudo-terminals).
//
// Exclusive use is an flock(LOCK_EX | LOCK_NB) on the descriptor: TIOCEXCL does not hold against
// root, an flock holds for everyone who asks for it. Events come from poll() on the descriptor
// plus an eventfd that Interrupt signals. DSR changes are found by reading the modem lines with
// TIOCMGET every 100 ms where the driver has them; pseudo-terminals have none and report no DSR
// events. A hang-up (POLLHUP, POLLERR, end of file) is the device going away and is reported as
// EIO.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/serial_device.h"

namespace kvx {

class PosixSerialDevice final : public SerialDevice {
 public:
  // Opens `path` with O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, takes the lock (EBUSY when
  // someone else holds it) and discards whatever the driver had queued either way.
  static SerialOpenResult Open(const std::string& path);

  // Discards unsent output when this device configured the port (so close does not wait for a
  // stalled handshake), then closes.
  ~PosixSerialDevice() override;

  int Configure(const SerialSettings& settings) override;
  SerialEvents WaitEvents() override;
  long Read(std::span<std::uint8_t> buffer) override;
  int Write(std::span<const std::uint8_t> data) override;
  void Interrupt() override;

 private:
  PosixSerialDevice(int fd, int wake_fd) : fd_(fd), wake_fd_(wake_fd) {}
  bool ReadDsr(bool& on) const;

  const int fd_;
  const int wake_fd_;  // eventfd, readable once Interrupt ran
  std::atomic<bool> interrupted_{false};
  std::atomic<int> failed_{0};  // errno once a read found the device gone
  std::atomic<bool> configured_{false};
  // Modem lines: reader thread only, after the first WaitEvents.
  bool modem_checked_ = false;
  bool has_modem_lines_ = false;
  bool dsr_on_ = false;
};

class PosixSerialDeviceOpener final : public SerialDeviceOpener {
 public:
  SerialOpenResult Open(const std::string& path) override { return PosixSerialDevice::Open(path); }
};

}  // namespace kvx
