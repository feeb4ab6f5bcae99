// The operator's explanation for a port that could not be opened for lack of permission, and
// the fix: membership of the group that owns the device node (dialout on Debian and Ubuntu).
//
// Threads: any.
#pragma once

#include <string>
#include <string_view>

namespace kvx {

// True for the errno values of an open refused for lack of permission (EACCES, EPERM).
bool IsPermissionError(int error);

// The group that owns the device at `device_path`; "dialout" when that cannot be told, or when
// the node belongs to root's group (udev has not given it to a serial group yet).
std::string SerialDeviceGroup(const std::string& device_path);

// "Permission denied opening PATH: add yourself to the GROUP group (sudo usermod -aG GROUP
// $USER) and log in again."
std::string PortPermissionText(std::string_view device_path, std::string_view group);

// PortPermissionText with the group that owns the device.
std::string PortPermissionText(const std::string& device_path);

}  // namespace kvx
