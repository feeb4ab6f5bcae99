#include "platform/serial_port_source.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <system_error>

namespace kvx {
namespace {

// A legacy 8250 slot is real only when sysfs gives it a UART type other than PORT_UNKNOWN (0).
bool HasUart(const std::filesystem::path& tty_dir) {
  std::ifstream in(tty_dir / "type");
  long type = 0;
  return (in >> type) && type != 0;
}

std::vector<std::string> SysfsPorts(const std::filesystem::path& tty_class) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(tty_class, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::filesystem::path dir = it->path();
    const std::string name = dir.filename().string();
    std::error_code exists_ec;
    if (!std::filesystem::exists(dir / "device", exists_ec)) continue;  // virtual terminal
    if (name.starts_with("ttyS") && !HasUart(dir)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void AppendExtraPorts(std::string_view list, std::vector<std::string>& names) {
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    const std::string_view entry = list.substr(0, colon);
    list = (colon == std::string_view::npos) ? std::string_view() : list.substr(colon + 1);
    if (entry.empty()) continue;
    if (std::find(names.begin(), names.end(), entry) != names.end()) continue;
    names.emplace_back(entry);
  }
}

}  // namespace

std::vector<std::string> SystemSerialPortSource::ListPorts() const {
  std::vector<std::string> names = SysfsPorts(tty_class_);
  if (extra_ports_) {
    AppendExtraPorts(*extra_ports_, names);
  } else if (const char* extra = std::getenv(kSerialPortsVariable)) {
    AppendExtraPorts(extra, names);
  }
  return names;
}

}  // namespace kvx
