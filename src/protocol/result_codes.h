// Result codes of the download protocol: the byte a terminal frame carries at offset 4, the texts
// logged for them, and the status a received record gets from its command letter and code.
//
// The host's own findings about a refused record use the same numbering, so a status is always
// RC_OK or one of these codes. Everything here is constant data; safe to call from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kvx {

// A record's status: RC_OK or a result code. Kept 32-bit, as the engine stores it.
using RecordStatus = std::uint32_t;

inline constexpr std::uint8_t PACKET_CMD_REQ = 0xB0;  // marks a request, not a result
inline constexpr std::uint8_t RC_OK = 0xC0;
inline constexpr std::uint8_t RC_PARSING_ERROR = 0xC1;
inline constexpr std::uint8_t RC_HEADER_CRC_ERROR = 0xC2;  // also: setup-response body CRC
inline constexpr std::uint8_t RC_UNCOMPRESS_ERROR = 0xC3;
inline constexpr std::uint8_t RC_SYN_STX_ERROR = 0xC4;
inline constexpr std::uint8_t RC_ETX_ERROR = 0xC5;
inline constexpr std::uint8_t RC_COMMAND_ERROR = 0xC6;
inline constexpr std::uint8_t RC_UNDEFINED_ERROR = 0xC7;
inline constexpr std::uint8_t RC_SIZE_ERROR = 0xC8;
inline constexpr std::uint8_t RC_FLASH_ERASE_ERROR = 0xC9;
inline constexpr std::uint8_t RC_FLASH_WRITE_ERROR = 0xCA;
inline constexpr std::uint8_t RC_SEG_ERROR = 0xCB;  // the terminal names the segment it wants
inline constexpr std::uint8_t RC_TOTAL_SIZE_ERROR = 0xCD;
inline constexpr std::uint8_t RC_BLOCK_SIZE_ERROR = 0xCE;
inline constexpr std::uint8_t RC_SETUP_MODE_ERROR = 0xCF;

struct ResultCodeInfo {
  std::uint8_t code;
  std::string_view name;    // empty for 0xCC, which has no name
  std::string_view reason;  // logged as "Reason = %s\r\n"; empty for RC_OK, which logs nothing
};

// Every code with a text of its own, in ascending order.
std::span<const ResultCodeInfo> ResultCodeTable();

// The reason text of `code`: the table's text, "이상한 에러, 확인요망 !!!" (UTF-8) for any code
// the table does not hold, and an empty view for RC_OK.
std::string_view ResultReasonText(RecordStatus code);

// The name of `code` ("RC_SEG_ERROR"), or an empty view for a code without one.
std::string_view ResultCodeName(RecordStatus code);

// How a command letter judges the code its record carries.
struct CommandCodeRule {
  std::uint8_t cmd;
  std::optional<std::uint8_t> accepted_code;  // the one code that passes; none: no code passes
  bool refused_code_is_status;  // a refused code becomes the status itself, except code 0 ...
  RecordStatus refused_status;  // ... which gets this, as does every refused code otherwise
};

// The rules for every letter a terminal may send or echo; a letter not listed gets
// RC_UNDEFINED_ERROR whatever its code.
std::span<const CommandCodeRule> CommandCodeRules();

// Status of a record from its command letter and code alone: RC_OK or the code that refuses it.
RecordStatus StatusForCommandCode(std::uint8_t cmd, std::uint8_t code);

}  // namespace kvx
