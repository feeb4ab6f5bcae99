// The texts kvx-flash shows for the engine's messages, as the main window shows them in boxes
// and in its status line.
//
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvx {

// Prefix of every operator message on standard error.
inline constexpr std::string_view kMessagePrefix = "kvx-flash: ";

// The text of a message box by string id; string 168 ("Unknown error occurred") for an id the
// table does not hold.
std::string MessageBoxText(int string_id);

// The status line for a string id, without its trailing blanks; nothing for an id without text
// (the status line then stays as it is).
std::optional<std::string> StatusText(int string_id);

// The code the engine reports for a selected port that is busy at the start.
inline constexpr std::int32_t kPortOccupied = -2;

// The text of a port problem (WM_USER_PORT_ERROR) with code 0 or below; `port` fills the
// "occupied" text. Nothing for a code above 0, which reports no problem.
std::optional<std::string> PortErrorText(std::int32_t code, std::string_view port);

// "kvx-flash: " and the text, as one or more lines: "\r\n" line ends become "\n", trailing line
// ends are dropped and one "\n" ends the whole.
std::string MessageLines(std::string_view text);

}  // namespace kvx
