// What the tests under Wine share: the environment scripts/test-windows.sh sets up, Windows
// names of Linux paths, and a simulated terminal behind the prefix's COM port.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/sim_process.h"

namespace kvx::test {

inline std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The name Wine gives a Linux path: the Z: drive is the root folder.
inline std::string WindowsPath(const std::filesystem::path& path) {
  std::string text = "Z:" + path.string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

// Starts a simulated terminal with `options` and points the COM port's link at it; nullptr when
// it did not come up.
inline std::unique_ptr<SimProcess> StartSimBehindComPort(const std::string& sim_program,
                                                         const std::vector<std::string>& options,
                                                         const std::filesystem::path& com_link) {
  auto sim = std::make_unique<SimProcess>(sim_program, options);
  if (!sim->WaitUntilReady()) return nullptr;
  std::error_code ignored;
  std::filesystem::remove(com_link, ignored);
  std::filesystem::create_symlink(sim->link(), com_link);
  return sim;
}

}  // namespace kvx::test
