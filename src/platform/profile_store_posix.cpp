// The profile's place on Linux: an INI file under the user's configuration folder.

#include "platform/profile_store.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace kvx {
namespace {

std::string HomeFromPasswordEntry() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  struct passwd entry {};
  struct passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) != 0 ||
      result == nullptr || result->pw_dir == nullptr) {
    return {};
  }
  return result->pw_dir;
}

}  // namespace

std::filesystem::path DefaultProfilePath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string home_folder =
      (home != nullptr && *home != '\0') ? home : HomeFromPasswordEntry();
  return ProfilePathFor(xdg != nullptr ? xdg : "", home_folder);
}

std::unique_ptr<ProfileStore> MakeUserProfileStore() {
  return std::make_unique<IniProfileStore>(DefaultProfilePath());
}

}  // namespace kvx
