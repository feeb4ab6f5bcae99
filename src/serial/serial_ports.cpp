#include "serial/serial_ports.h"

#include <cerrno>
#include <limits>
#include <utility>

namespace kvx {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::uint64_t SerialPortNumber(std::string_view name) {
  std::size_t first = name.size();
  while (first > 0 && IsDigit(name[first - 1])) --first;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t number = 0;
  for (const char c : name.substr(first)) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (number > (kMax - digit) / 10) return kMax;
    number = number * 10 + digit;
  }
  return number;
}

std::vector<std::string> EnumSerialPorts(const SerialPortSource& source) {
  std::vector<std::string> ports = source.ListPorts();
  // An exchange sort on purpose: a stable sort would order ports of equal number differently.
  for (std::size_t i = 0; i < ports.size(); ++i) {
    for (std::size_t j = i + 1; j < ports.size(); ++j) {
      if (SerialPortNumber(ports[i]) > SerialPortNumber(ports[j])) std::swap(ports[i], ports[j]);
    }
  }
  return ports;
}

int TryPortOpen(const std::string& name, SerialDeviceOpener& opener) {
  const SerialOpenResult opened = opener.Open(SerialDevicePath(name));
  if (opened.device) return 0;
  return opened.error != 0 ? opened.error : EIO;  // refused all the same
}

bool IsPortBusy(const std::string& name, SerialDeviceOpener& opener) {
  return TryPortOpen(name, opener) != 0;
}

}  // namespace kvx
