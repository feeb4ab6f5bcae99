// On Windows a port refused for lack of rights is one another program holds, or one this user
// may not open; there is no device group to join.
#include "platform/port_permission.h"

#include <cerrno>

namespace kvx {

bool IsPermissionError(int error) {
  return error == EACCES || error == EPERM;
}

std::string SerialDeviceGroup(const std::string&) {
  return {};
}

std::string PortPermissionText(std::string_view device_path, std::string_view) {
  return "Access denied opening " + std::string(device_path) +
         ": another program may hold the port, or this user may not open it.";
}

std::string PortPermissionText(const std::string& device_path) {
  return PortPermissionText(device_path, {});
}

}  // namespace kvx
