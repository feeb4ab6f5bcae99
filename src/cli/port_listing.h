// --list-ports: each free port with what the system knows about it, and a plain explanation for
// each port that could not be opened for lack of permission (without which a user outside the
// dialout group would see an empty list and no reason).
//
// Any thread; the callbacks run on the caller's.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/serial_device.h"
#include "platform/serial_port_source.h"

namespace kvx {

// One line of the list, without its line end: the port, then a tab and the description when
// there is one, so that `cut -f1` gives the names alone.
std::string PortListLine(std::string_view port, std::string_view description);

struct PortListOutput {
  std::function<std::string(const std::string& port)> describe;
  std::function<void(std::string_view line)> line;        // a PortListLine, standard output
  std::function<void(std::string_view message)> message;  // an operator message, standard error
};

// Lists the source's ports in the engine's order. Busy and missing ports are left out quietly.
void ListSerialPorts(const SerialPortSource& source, SerialDeviceOpener& opener,
                     const PortListOutput& output);

}  // namespace kvx
