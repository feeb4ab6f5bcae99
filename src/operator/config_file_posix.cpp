#include "operator/config_file.h"

#include "platform/profile_store.h"

namespace kvx::ui {

std::filesystem::path ConfigFilePathForThisProgram() {
  const std::filesystem::path folder = ProgramFolder();
  return ChooseConfigFilePath(folder, FolderIsWritable(folder), DefaultProfilePath());
}

}  // namespace kvx::ui
