// SerialDevice on a Windows COM port (\\.\COMn), with overlapped I/O. Windows only.
//
// The port is opened with no sharing, so a second open is refused (reported as EBUSY). One
// overlapped read is always pending while the reader waits; its inter-byte time-out lets it
// complete soon after bytes stop coming, and its total time-out bounds each wait, which is also
// when DSR is read on devices that have modem lines. Comm events (WaitCommEvent) are not used:
// they need modem lines, which a port mapped to a pseudo-terminal under Wine does not have.
// A device that goes away (USB unplugged, the other side of a mapped pty closed) is reported as
// EIO, as on Linux.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/serial_device.h"

namespace kvx {

class Win32SerialDevice final : public SerialDevice {
 public:
  static SerialOpenResult Open(const std::string& path);
  ~Win32SerialDevice() override;

  int Configure(const SerialSettings& settings) override;
  SerialEvents WaitEvents() override;
  long Read(std::span<std::uint8_t> buffer) override;
  int Write(std::span<const std::uint8_t> data) override;
  void Interrupt() override;

  struct Handles;  // the system's objects, kept out of this header

 private:
  explicit Win32SerialDevice(std::unique_ptr<Handles> handles);
  int StartRead();
  int FinishRead(bool wait);
  bool ReadDsr(bool& on) const;

  std::unique_ptr<Handles> handles_;
  std::atomic<bool> interrupted_{false};
  std::atomic<int> failed_{0};
  std::atomic<bool> configured_{false};
  // Reader thread only.
  std::array<std::uint8_t, 4096> received_{};
  std::size_t received_begin_ = 0;
  std::size_t received_end_ = 0;
  bool read_pending_ = false;
  bool modem_checked_ = false;
  bool has_modem_lines_ = false;
  bool dsr_on_ = false;
};

class Win32SerialDeviceOpener final : public SerialDeviceOpener {
 public:
  SerialOpenResult Open(const std::string& path) override { return Win32SerialDevice::Open(path); }
};

}  // namespace kvx
