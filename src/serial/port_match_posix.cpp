#include "serial/port_match.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "serial/serial_ports.h"

namespace kvx {
namespace {

// The device a port's path resolves to; empty when it does not exist.
std::filesystem::path ResolvedDevice(std::string_view name) {
  std::error_code ec;
  std::filesystem::path resolved = std::filesystem::canonical(SerialDevicePath(name), ec);
  return ec ? std::filesystem::path() : resolved;
}

}  // namespace

std::optional<std::size_t> FindListedPort(std::string_view name,
                                          const std::vector<std::string>& listed) {
  const auto same = std::find(listed.begin(), listed.end(), name);
  if (same != listed.end()) return static_cast<std::size_t>(same - listed.begin());
  if (!name.starts_with('/')) return std::nullopt;
  const std::filesystem::path device = ResolvedDevice(name);
  if (device.empty()) return std::nullopt;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    if (ResolvedDevice(listed[i]) == device) return i;
  }
  return std::nullopt;
}

}  // namespace kvx
