// The engine window's timers: ids, periods and the names their trace lines use.
#pragma once

#include <cstdint>

namespace kvx {

inline constexpr std::uintptr_t IDT_CONNECT_RESPONSE = 1;
inline constexpr std::uintptr_t IDT_SETUP_RESPONSE = 2;
inline constexpr std::uintptr_t IDT_WRITE_RESPONSE = 4;
inline constexpr std::uintptr_t IDT_FINISH_RESPONSE = 5;
inline constexpr std::uintptr_t IDT_BOOT_LOADER_TIMER_TEMP = 9;
inline constexpr std::uintptr_t IDT_PORT_SEARCH = 10;
inline constexpr std::uintptr_t IDT_WAIT_COM_RESTORE = 11;

inline constexpr unsigned CONNECT_RESPONSE_MS = 1000;
inline constexpr unsigned SETUP_RESPONSE_MS = 30000;
inline constexpr unsigned WRITE_RESPONSE_MS = 10000;
inline constexpr unsigned FINISH_RESPONSE_MS = 30000;
inline constexpr unsigned DOWNLOAD_REQUEST_MS = 3000;
inline constexpr unsigned UPAPP_RESPONSE_MS = 15000;
inline constexpr unsigned PORT_SEARCH_MS = 500;
inline constexpr unsigned WAIT_COM_RESTORE_MS = 400;

// The name a timer's set and kill lines carry, e.g. "IDT_CONNECT_RESPONSE".
const char* TimerName(std::uintptr_t id);

}  // namespace kvx
