// Window-message vocabulary shared by every thread of the program.
//
// Ids, wParam and lParam keep the values the engine's peers know them by: WM_USER is 0x400 and
// the engine's own messages are WM_USER-based. A pointer travels in wParam or lParam as an integer;
// whoever sends one states in the message's documentation who owns the object and for how long.
#pragma once

#include <cstdint>

namespace kvx {

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_USER = 0x0400;

// Message-box answers, as a front end returns them from a sent question.
inline constexpr LRESULT IDOK = 1;
inline constexpr LRESULT IDCANCEL = 2;
inline constexpr LRESULT IDYES = 6;
inline constexpr LRESULT IDNO = 7;

}  // namespace kvx
