// The system's list of serial ports, as the port setup dialog and the engine's port checks see it.
//
// SystemSerialPortSource lists the tty devices that sysfs shows backed by hardware
// (/sys/class/tty/NAME/device), as bare names such as ttyUSB0, in name order. Legacy 8250 names
// (ttyS*) are listed only where sysfs reports a UART type other than 0 (PORT_UNKNOWN) in
// /sys/class/tty/NAME/type: the kernel creates ttyS0..ttyS31 whether or not a chip is there.
// Then come the paths in KVX_SERIAL_PORTS, separated by ':', in their order (how a virtual port,
// such as the simulated terminal's pseudo-terminal, joins the list). Empty entries and names
// already listed are skipped.
//
// Threads: ListPorts may be called from any thread.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kvx {

class SerialPortSource {
 public:
  virtual ~SerialPortSource() = default;
  // Port names in discovery order: bare names for devices under /dev, paths for others.
  virtual std::vector<std::string> ListPorts() const = 0;
};

class SystemSerialPortSource final : public SerialPortSource {
 public:
  // The real system: /sys/class/tty and the environment at the time of each ListPorts.
  SystemSerialPortSource() = default;
  // For tests: another sysfs tty folder, and the extra paths in place of the environment.
  SystemSerialPortSource(std::filesystem::path tty_class, std::optional<std::string> extra_ports)
      : tty_class_(std::move(tty_class)), extra_ports_(std::move(extra_ports)) {}

  std::vector<std::string> ListPorts() const override;

 private:
  std::filesystem::path tty_class_ = "/sys/class/tty";
  std::optional<std::string> extra_ports_;  // nullopt: read KVX_SERIAL_PORTS
};

// A fixed list that a test sets.
class FakeSerialPortSource final : public SerialPortSource {
 public:
  explicit FakeSerialPortSource(std::vector<std::string> ports = {}) : ports_(std::move(ports)) {}

  void SetPorts(std::vector<std::string> ports) {
    std::lock_guard guard(mutex_);
    ports_ = std::move(ports);
  }
  std::vector<std::string> ListPorts() const override {
    std::lock_guard guard(mutex_);
    return ports_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> ports_;
};

// Environment variable with extra port paths.
inline constexpr const char* kSerialPortsVariable = "KVX_SERIAL_PORTS";

}  // namespace kvx
