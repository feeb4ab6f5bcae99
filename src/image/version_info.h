// Version records and the parsers that fill them from the image's texts and the terminal's replies.
//
// Four versions describe an image and a terminal: MMI (application), stack, boot (called BSP in the
// trace) and NV (layout of the terminal's non-volatile data). The parsers below turn one text into
// one record; the compatibility rules compare the records.
//
// Texts are 8-bit and end at their first zero byte or at the end of the view, whichever comes
// first; no parser looks beyond that end or beyond its own limit. A parser writes only the fields
// it names; clearing records between runs is the owner's job (ResetState).
//
// All functions are plain computations on their arguments and may be called from any thread; the
// engine calls them on its own thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/printf_format.h"
#include "platform/trace.h"

namespace kvx {

// A parsed MMI or stack version.
struct version_info_s {
  std::uint8_t valid = 0;      // the text was recognised; 0 means an unknown version
  std::uint8_t emergency = 0;  // terminal stack only: it answered EMERGENCY
  std::int32_t region = 0;     // MMI only: 2 with the "VM" marker, else 0
  std::int32_t edition = 0;    // MMI only: 1 for "ML", 2 for "GL", 0 for neither
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t patch = 0;

  bool operator==(const version_info_s&) const = default;
};

// A parsed boot version. Characters are kept as their code values ('F' is 70).
struct bsp_info_s {
  std::uint8_t valid = 0;
  std::int32_t base = 0;             // character 0 ('S'; 'T' is recorded, then refused)
  std::int32_t standard = 0;         // character 1, the hardware standard code
  std::int32_t type = 0;             // character 2, the boot type character; 0 when in no class
  std::array<std::int32_t, 7> hw{};  // characters 4 to 10
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t patch = 0;

  bool operator==(const bsp_info_s&) const = default;
};

// An NV version: four raw characters and a terminating zero. A first byte of zero means the side
// has no NV version.
struct nv_version_s {
  std::array<char, 5> bytes{};

  bool empty() const { return bytes[0] == '\0'; }
  std::string_view chars() const { return {bytes.data(), 4}; }  // the four raw bytes
  bool operator==(const nv_version_s&) const = default;
};

// Limits on the characters a number may span.
inline constexpr std::size_t kVersionNumberLimit = 255;  // MMI and stack numbers
inline constexpr std::size_t kBootNumberLimit = 64;      // boot numbers

enum class MmiSide : int {
  kImage = 0,     // a text found in the image ("KVX_<digit>..." or " TVLMX_...")
  kTerminal = 1,  // the AT+SYSVer reply line ("OK+SYSVer:KVX_..." or "OK+SYSVer:TVLMX_...")
};

// Fills `record` from an MMI text. False when the text has no known prefix, its number has no dot
// or more than two, or `side` is neither value. True with `valid` still 0 when the text is
// recognised but its edition/region part is incomplete (no closing '_' after the number, or no
// second '_' where neither "ML" nor "GL" follows).
bool parse_mmi_version(std::string_view text, MmiSide side, version_info_s& record);

// Fills the image stack record from the text after the image tag
// ("TALO_TYPE_VMR_NORMAL_V3.1.7 ..."). Writes its failures to `log`.
bool parse_binary_stack_version(std::string_view text, version_info_s& record, LogSink& log);

// Fills the terminal stack record from the at+ggmr reply line ("...JQ_SAT..._V1.2.3 ..." or
// "EMERGENCY..."). The record may stay valid when false is returned; only the record counts.
bool parse_target_stack_version(std::string_view reply, version_info_s& record);

// Fills an image boot record (the image's or the archive check's) from the text at image offset 85
// ("SFQAABCDEFG V2.0.1"). "Downgrade enable" widens the accepted standard codes.
bool parse_bsp_ver(std::string_view text, bsp_info_s& record, bool downgrade_enabled, LogSink& log);

// Fills the terminal boot record from the at+hwver reply text. "Forced Bootloader upgrade enable"
// widens the accepted standard codes. The number also ends at a carriage return or line feed.
bool parse_target_bsp_ver(std::string_view text, bsp_info_s& record, bool force_boot_enabled,
                          LogSink& log);

// Boot type classes of the type character; only traced, never compared.
enum class BootType { kFC, kKDQ, kVMR, kFA, kFB, kFail };
BootType classify_boot_type(char type);
const char* boot_type_name(BootType type);  // "FC", "KDQ", ..., "FAIL"

// Zeroes `nv`, then takes the four bytes that follow the first "NV_VER" in `text` (fewer when the
// text ends sooner). False when the text holds no "NV_VER".
bool extract_nv_version(std::string_view text, nv_version_s& nv);

// The NV version read as a decimal number, for display with two decimals; 0 when it is none.
double nv_version_value(const nv_version_s& nv);

// An 8-bit text of the image or the terminal as UTF-8 for display and the trace, through the
// locale's character set (the ANSI code page of the original system).
std::string ansi_text_to_utf8(std::string_view bytes);

// printf-style formatting for trace texts.
std::string format_text(const char* format, ...) KVX_PRINTF_FORMAT(1, 2);

}  // namespace kvx
