// ModemManager is a Linux service: nothing on Windows probes a new serial port behind our back.
#include "platform/modem_manager.h"

namespace kvx {

bool ModemManagerRunning(const std::filesystem::path&) {
  return false;
}

std::vector<std::string> ModemManagerWarning() {
  return {};
}

}  // namespace kvx
