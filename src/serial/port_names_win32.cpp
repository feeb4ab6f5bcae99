// Port names on Windows: COMn, opened through the device namespace (\\.\COM12: names past COM9
// are reachable only there); a name already in that namespace is used as it stands.
#include <string>
#include <string_view>

#include "serial/serial_ports.h"

namespace kvx {
namespace {

constexpr std::string_view kDeviceNamespace = "\\\\.\\";

}  // namespace

std::string SerialDevicePath(std::string_view name) {
  if (name.starts_with(kDeviceNamespace)) return std::string(name);
  return std::string(kDeviceNamespace) + std::string(name);
}

std::string PortNameForTrace(std::string_view name) {
  if (name.starts_with(kDeviceNamespace)) name.remove_prefix(kDeviceNamespace.size());
  return std::string(name);
}

std::string_view SerialNameMark() {
  return "COM";
}

}  // namespace kvx
