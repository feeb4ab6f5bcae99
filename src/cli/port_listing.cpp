#include "cli/port_listing.h"

#include "platform/port_permission.h"
#include "serial/serial_ports.h"

namespace kvx {

std::string PortListLine(std::string_view port, std::string_view description) {
  std::string line(port);
  if (!description.empty()) {
    line += '\t';
    line += description;
  }
  return line;
}

void ListSerialPorts(const SerialPortSource& source, SerialDeviceOpener& opener,
                     const PortListOutput& output) {
  for (const std::string& port : EnumSerialPorts(source)) {
    const int error = TryPortOpen(port, opener);
    if (error == 0) {
      output.line(PortListLine(port, output.describe(port)));
    } else if (IsPermissionError(error)) {
      output.message(PortPermissionText(SerialDevicePath(port)));
    }
  }
}

}  // namespace kvx
