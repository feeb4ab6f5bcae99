#include "operator/config_file.h"

#include "operator/app_identity.h"

// After the program's headers: <windows.h> defines macros named like their constants.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <knownfolders.h>
#include <shlobj.h>

namespace kvx::ui {

namespace {

// %LOCALAPPDATA%\Velmora KVX-01 Upgrader, or nothing when the system does not say where that is.
std::filesystem::path LocalProgramDataFolder() {
  PWSTR folder = nullptr;
  std::filesystem::path path;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) {
    path = std::filesystem::path(folder) / std::string(kProductName);
  }
  CoTaskMemFree(folder);
  return path;
}

}  // namespace

std::filesystem::path ConfigFilePathForThisProgram() {
  const std::filesystem::path folder = ProgramFolder();
  if (!folder.empty() && FolderIsWritable(folder)) return ConfigFilePath(folder);
  const std::filesystem::path local = LocalProgramDataFolder();
  return ConfigFilePath(local.empty() ? folder : local);
}

}  // namespace kvx::ui
