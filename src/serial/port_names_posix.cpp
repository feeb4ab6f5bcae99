// Port names on Linux: bare names live under /dev; a path is used as it stands.
#include <string>
#include <string_view>

#include "serial/serial_ports.h"

namespace kvx {
namespace {

constexpr std::string_view kDevPrefix = "/dev/";

}  // namespace

std::string SerialDevicePath(std::string_view name) {
  if (name.starts_with('/')) return std::string(name);
  return std::string(kDevPrefix) + std::string(name);
}

std::string PortNameForTrace(std::string_view name) {
  if (name.starts_with(kDevPrefix)) name.remove_prefix(kDevPrefix.size());
  return std::string(name);
}

std::string_view SerialNameMark() {
  return "tty";
}

}  // namespace kvx
