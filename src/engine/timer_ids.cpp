#include "engine/timer_ids.h"

namespace kvx {

const char* TimerName(std::uintptr_t id) {
  switch (id) {
    case IDT_CONNECT_RESPONSE:
      return "IDT_CONNECT_RESPONSE";
    case IDT_SETUP_RESPONSE:
      return "IDT_SETUP_RESPONSE";
    case IDT_WRITE_RESPONSE:
      return "IDT_WRITE_RESPONSE";
    case IDT_FINISH_RESPONSE:
      return "IDT_FINISH_RESPONSE";
    case IDT_BOOT_LOADER_TIMER_TEMP:
      return "IDT_BOOT_LOADER_TIMER_TEMP";
    case IDT_PORT_SEARCH:
      return "IDT_PORT_SEARCH";
    case IDT_WAIT_COM_RESTORE:
      return "IDT_WAIT_COM_RESTORE";
    default:
      return "IDT_UNKNOWN";
  }
}

}  // namespace kvx
