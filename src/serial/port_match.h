// Whether two port names mean the same port. A port is listed under one spelling (ttyUSB0, or the
// path KVX_SERIAL_PORTS gives), but the operator may name it by a path that leads to the same
// device: /dev/ttyUSB0, or a stable link such as /dev/serial/by-id/usb-Velmora_KVX-01_...-port0,
// which keeps naming the terminal when it comes back from a restart as another ttyUSB.
//
// Names compare by spelling first (case-sensitive); only a name that is a path is then resolved
// through the file system, so bare names never match by accident. Any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvx {

// The index of the entry of `listed` that is `name`, or the device `name` resolves to.
std::optional<std::size_t> FindListedPort(std::string_view name,
                                          const std::vector<std::string>& listed);

}  // namespace kvx
