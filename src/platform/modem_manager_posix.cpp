#include "platform/modem_manager.h"

#include <string_view>
#include <system_error>

#include "platform/files.h"

namespace kvx {
namespace {

constexpr std::string_view kTaskName = "ModemManager";

bool IsPid(const std::string& name) {
  return !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
}

// The task name in PID/comm (at most 15 bytes and a line end in the kernel's own file).
bool HasTaskName(const std::filesystem::path& comm, std::string_view wanted) {
  const std::string text = ReadFilePrefix(comm.string(), 32);
  std::string_view name = text;
  if (name.ends_with('\n')) name.remove_suffix(1);
  return !name.empty() && name == wanted;
}

}  // namespace

bool ModemManagerRunning(const std::filesystem::path& proc_root) {
  std::error_code ec;
  int seen = 0;
  for (std::filesystem::directory_iterator it(proc_root, ec), end;
       !ec && it != end && seen < kMaxProcEntries; it.increment(ec), ++seen) {
    if (!IsPid(it->path().filename().string())) continue;
    if (HasTaskName(it->path() / "comm", kTaskName)) return true;
  }
  return false;
}

std::vector<std::string> ModemManagerWarning() {
  return {
      "ModemManager is running: it may probe the terminal's port with AT commands and disturb "
      "the upgrade",
      "Keep it away from the terminal with a udev rule that sets ID_MM_DEVICE_IGNORE=1 for the "
      "terminal's USB ids, or stop it for the upgrade (sudo systemctl stop ModemManager)",
  };
}

}  // namespace kvx
