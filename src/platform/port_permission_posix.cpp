#include "platform/port_permission.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace kvx {
namespace {

constexpr const char* kDefaultGroup = "dialout";

}  // namespace

bool IsPermissionError(int error) {
  return error == EACCES || error == EPERM;
}

std::string SerialDeviceGroup(const std::string& device_path) {
  struct stat st {};
  if (::stat(device_path.c_str(), &st) != 0 || st.st_gid == 0) return kDefaultGroup;
  long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 4096);
  for (int tries = 0; tries < 8; ++tries) {
    group entry{};
    group* found = nullptr;
    const int error = ::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr || found->gr_name == nullptr || *found->gr_name == '\0')
      break;
    return found->gr_name;
  }
  return kDefaultGroup;
}

std::string PortPermissionText(std::string_view device_path, std::string_view group) {
  std::string text = "Permission denied opening ";
  text += device_path;
  text += ": add yourself to the ";
  text += group;
  text += " group (sudo usermod -aG ";
  text += group;
  text += " $USER) and log in again.";
  return text;
}

std::string PortPermissionText(const std::string& device_path) {
  return PortPermissionText(std::string_view(device_path), SerialDeviceGroup(device_path));
}

}  // namespace kvx
