// Port names, the sorted list of the system's serial ports, and the test whether a port is free.
//
// A port name is a bare device name such as ttyUSB0, which lives under /dev, or a path that starts
// with '/', which is used as it stands. Functions here are safe on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial_device.h"
#include "platform/serial_port_source.h"

namespace kvx {

// The device path of a port: the name itself when it starts with '/', else "/dev/" + name.
std::string SerialDevicePath(std::string_view name);

// The name as the trace shows it: without a leading "/dev/".
std::string PortNameForTrace(std::string_view name);

// What every serial port's name holds on this system ("tty" on Linux, "COM" on Windows): a
// remembered name without it is no port to test.
std::string_view SerialNameMark();

// The number a port sorts by: the decimal digits that end the name (3 for ttyUSB3, 10 for
// /dev/pts/10), 0 when it ends in none. Numbers too large for 64 bits saturate.
std::uint64_t SerialPortNumber(std::string_view name);

// Every port the source lists, sorted by SerialPortNumber. Ports with equal numbers keep the order
// of the exchange sort the port list has always used (for each position, every later entry with
// a smaller number is swapped in), so the list reads the same as it always has.
std::vector<std::string> EnumSerialPorts(const SerialPortSource& source);

// Tries to open the port for exclusive use and closes it again at once: 0 when it is free, else
// the errno of the refusal (EBUSY someone holds it, ENOENT its device is gone, EACCES ...).
int TryPortOpen(const std::string& name, SerialDeviceOpener& opener);

// True when the port cannot be opened for exclusive use right now: someone holds it, or its
// device is gone. A free port is closed again at once.
bool IsPortBusy(const std::string& name, SerialDeviceOpener& opener);

}  // namespace kvx
