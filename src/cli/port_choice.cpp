#include "cli/port_choice.h"

#include <algorithm>

#include "cli/operator_text.h"
#include "serial/port_match.h"
#include "serial/serial_ports.h"

namespace kvx {
namespace {

bool Listed(std::string_view port, const std::vector<std::string>& listed) {
  return std::find(listed.begin(), listed.end(), port) != listed.end();
}

}  // namespace

std::string ResolvePortName(std::string_view given, const std::vector<std::string>& listed,
                            std::string_view cwd) {
  if (Listed(given, listed)) return std::string(given);
  const std::string path = SerialDevicePath(given);
  for (const std::string& entry : listed) {
    if (SerialDevicePath(entry) == path) return entry;
  }
  // "./link" or "tmp/link": a path from the current folder rather than a name under /dev.
  if (!given.starts_with('/') && given.find('/') != std::string_view::npos && !cwd.empty()) {
    std::string absolute(cwd);
    if (absolute.back() != '/') absolute += '/';
    std::string_view rest = given;
    while (rest.starts_with("./")) rest.remove_prefix(2);
    absolute += rest;
    if (Listed(absolute, listed)) return absolute;
  }
  return std::string(given);
}

std::string PortRefusalText(std::string_view port, const std::vector<std::string>& listed) {
  // A listed port that was refused is busy: the engine's own text for that. A link to a listed
  // port (/dev/serial/by-id/...) is that port.
  if (FindListedPort(port, listed)) return *PortErrorText(kPortOccupied, port);
  std::string text(port);
  text += " is not a serial port of this system (a pseudo-terminal must be named in ";
  text += kSerialPortsVariable;
  text += ")";
  if (listed.empty()) {
    text += "; no serial port is listed";
  } else {
    text += "; listed:";
    for (const std::string& entry : listed) {
      text += ' ';
      text += entry;
    }
  }
  return text;
}

}  // namespace kvx
