#include "image/version_info.h"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <system_error>

#include "platform/codepage.h"

namespace kvx {
namespace {

// The text proper: everything before the first zero byte.
std::string_view CText(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsUpper(char c) {
  return c >= 'A' && c <= 'Z';
}

// Reads the three numbers of a version one character at a time, the same way for every parser:
// a number's first digit replaces its value, later digits append; a '.' moves to the next number.
// A number that gets no digit keeps its old value. Values too large for 32 bits stay at the
// maximum, so an oversized number never compares as a small one.
class VersionNumberReader {
 public:
  enum class Step { kDigit, kDot, kThirdDot, kOther };

  VersionNumberReader(std::uint32_t& major, std::uint32_t& minor, std::uint32_t& patch)
      : numbers_{&major, &minor, &patch} {}

  Step Take(char c) {
    if (IsDigit(c)) {
      std::uint32_t& number = *numbers_[dots_];
      const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
      const std::uint64_t value = has_digit_ ? std::uint64_t{number} * 10 + digit : digit;
      number = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
      has_digit_ = true;
      return Step::kDigit;
    }
    if (c == '.') {
      if (dots_ == 2) return Step::kThirdDot;
      ++dots_;
      has_digit_ = false;
      return Step::kDot;
    }
    return Step::kOther;
  }

  int dots() const { return dots_; }

 private:
  std::array<std::uint32_t*, 3> numbers_;
  int dots_ = 0;
  bool has_digit_ = false;
};

// ---- MMI ----

constexpr std::string_view kImageKvxPrefix = "KVX_";
constexpr std::string_view kImageTvlPrefix = " TVLMX_";
constexpr std::string_view kTerminalKvxPrefix = "OK+SYSVer:KVX_";
constexpr std::string_view kTerminalTvlPrefix = "OK+SYSVer:TVLMX_";

// Where the number starts: the length of the prefix the text contains, or npos.
std::size_t MmiNumberStart(std::string_view text, MmiSide side) {
  const auto contains = [&](std::string_view prefix) {
    return text.find(prefix) != std::string_view::npos;
  };
  switch (side) {
    case MmiSide::kImage:
      if (contains(kImageKvxPrefix)) return kImageKvxPrefix.size();
      if (contains(kImageTvlPrefix)) return kImageTvlPrefix.size();
      return std::string_view::npos;
    case MmiSide::kTerminal:
      if (contains(kTerminalKvxPrefix)) return kTerminalKvxPrefix.size();
      if (contains(kTerminalTvlPrefix)) return kTerminalTvlPrefix.size();
      return std::string_view::npos;
  }
  return std::string_view::npos;
}

// ---- Stack ----

// Reads a stack number from `pos` up to a space, the end of the text or the limit. Calls
// `on_other` for every character that is neither digit nor '.'. False on a third '.'.
template <typename OnOther>
bool ReadStackNumber(std::string_view text, std::size_t pos, version_info_s& record,
                     OnOther on_other) {
  VersionNumberReader reader(record.major, record.minor, record.patch);
  const std::size_t end = std::min(text.size(), pos + kVersionNumberLimit);
  for (std::size_t i = pos; i < end && text[i] != ' '; ++i) {
    switch (reader.Take(text[i])) {
      case VersionNumberReader::Step::kThirdDot:
        return false;
      case VersionNumberReader::Step::kOther:
        on_other();
        break;
      default:
        break;
    }
  }
  return true;
}

bool FailBinaryStack(version_info_s& record, LogSink& log, std::string_view line) {
  if (!line.empty()) log.WriteLog(line, kTraceRed, LOG_TEXT);
  record.valid = 0;
  return false;
}

// ---- Boot ----

enum class BootSide { kImage, kTerminal };

// Standard codes (character 1) for one side and option: those that let the parse go on, and
// those refused with the code recorded and `valid` left as it was. Every other code is refused
// with `standard` = '0' and `valid` cleared.
struct StandardCodes {
  std::string_view continues;
  std::string_view refused_recorded;
};

StandardCodes StandardCodesFor(BootSide side, bool option) {
  if (side == BootSide::kImage) {
    return option ? StandardCodes{"89AF", "1234567"} : StandardCodes{"F", "12345678A"};
  }
  return option ? StandardCodes{"AF", "123456789"} : StandardCodes{"F", "123456789A"};
}

bool Contains(std::string_view set, char c) {
  return c != '\0' && set.find(c) != std::string_view::npos;
}

bool ParseBootText(std::string_view text, bsp_info_s& record, BootSide side, bool option,
                   LogSink& log) {
  text = CText(text);
  // Positions past the end read as the terminator, which every check refuses.
  const auto at = [&](std::size_t i) { return i < text.size() ? text[i] : '\0'; };
  const auto code = [](char c) { return static_cast<std::int32_t>(static_cast<unsigned char>(c)); };

  const char base = at(0);
  if (base == 'T') {
    record.base = 'T';
    return false;
  }
  if (base != 'S') {
    record.base = 0;
    record.valid = 0;
    return false;
  }
  record.base = 'S';

  const char standard = at(1);
  const StandardCodes codes = StandardCodesFor(side, option);
  if (Contains(codes.refused_recorded, standard)) {
    record.standard = code(standard);
    return false;
  }
  if (!Contains(codes.continues, standard)) {
    record.standard = '0';
    record.valid = 0;
    return false;
  }
  record.standard = code(standard);

  const char type = at(2);
  const BootType boot_type = classify_boot_type(type);
  log.WriteLog(std::string(side == BootSide::kImage ? "@@ZBinary boot = " : "@@Target boot = ") +
                   boot_type_name(boot_type) + "\n",
               kTraceRed, LOG_TEXT);
  if (boot_type == BootType::kFail) {
    // Only traced: a later success marks the record valid again.
    record.type = 0;
    record.valid = 0;
  } else {
    record.type = code(type);
  }

  const char revision = at(3);
  if (revision != 'A' && revision != 'B') {
    record.valid = 0;
    return false;
  }

  for (std::size_t k = 0; k < record.hw.size(); ++k) {
    const char letter = at(4 + k);
    if (!IsUpper(letter)) {
      record.hw[k] = 0;
      record.valid = 0;
      return false;
    }
    record.hw[k] = code(letter);
  }

  const char* const fail_format = side == BootSide::kImage ? "in parse_bsp_ver, fail parse %s\n"
                                                           : "in parse_bsp_ver 2, fail parse %s\n";
  const std::size_t marker = text.find(" V", 10);
  if (marker == std::string_view::npos) {
    // A text without a version number is not a boot version.
    const char* const missing_format = side == BootSide::kImage
                                           ? "in parse_bsp_ver, no version number %s\n"
                                           : "in parse_bsp_ver 2, no version number %s\n";
    log.WriteLog(format_text(missing_format, ansi_text_to_utf8(text).c_str()), kTraceRed, LOG_TEXT);
    record.valid = 0;
    return false;
  }

  VersionNumberReader reader(record.major, record.minor, record.patch);
  const std::size_t start = marker + 2;
  const std::size_t end = std::min(text.size(), start + kBootNumberLimit);
  for (std::size_t i = start; i < end; ++i) {
    const char c = text[i];
    if (side == BootSide::kTerminal && (c == '\r' || c == '\n')) break;
    switch (reader.Take(c)) {
      case VersionNumberReader::Step::kThirdDot:
        return false;
      case VersionNumberReader::Step::kOther:
        log.WriteLog(format_text(fail_format, ansi_text_to_utf8(text).c_str()), kTraceRed,
                     LOG_TEXT);
        break;
      default:
        break;
    }
  }
  record.valid = 1;
  return true;
}

}  // namespace

bool parse_mmi_version(std::string_view text, MmiSide side, version_info_s& record) {
  if (side != MmiSide::kImage && side != MmiSide::kTerminal) return false;
  text = CText(text);
  record.valid = 0;
  const std::size_t start = MmiNumberStart(text, side);
  if (start == std::string_view::npos) return false;

  VersionNumberReader reader(record.major, record.minor, record.patch);
  const std::size_t end = std::min(text.size(), start + kVersionNumberLimit);
  std::size_t closing = std::string_view::npos;
  for (std::size_t i = start; i < end; ++i) {
    if (text[i] == '_') {
      closing = i;
      break;
    }
    if (reader.Take(text[i]) == VersionNumberReader::Step::kThirdDot) return false;
  }
  if (reader.dots() == 0) return false;
  if (reader.dots() == 1) record.patch = 0;
  // Recognised, but without the '_' that closes the number there is no edition or region.
  if (closing == std::string_view::npos) return true;

  std::size_t q = closing + 1;
  const std::string_view rest = text.substr(q);
  if (rest.starts_with("ML")) {
    record.edition = 1;
    q += 2;
  } else if (rest.starts_with("GL")) {
    record.edition = 2;
    q += 2;
  } else {
    q = text.find('_', q);
    if (q == std::string_view::npos) return true;
  }
  record.region = text.substr(std::min(text.size(), q + 1), 2) == "VM" ? 2 : 0;
  record.valid = 1;
  return true;
}

bool parse_binary_stack_version(std::string_view text, version_info_s& record, LogSink& log) {
  text = CText(text);
  constexpr std::string_view kType = "TALO_TYPE_";
  const std::size_t type = text.find(kType);
  if (type == std::string_view::npos) {
    return FailBinaryStack(record, log, "parse_binary_stack_version fail 1\n");
  }
  record.valid = 1;

  std::size_t pos = type + kType.size();
  const std::string_view family = text.substr(pos, 4);
  if (family != "VMR_" && family != "KDQ_") {
    return FailBinaryStack(record, log, "parse_binary_stack_version fail 2\n");
  }
  pos += 4;
  if (text.substr(pos, 6) != "NORMAL") {
    return FailBinaryStack(record, log, "parse_binary_stack_version fail 4\n");
  }
  pos += 6;
  const std::size_t marker = text.find("_V", pos);
  if (marker == std::string_view::npos) {
    return FailBinaryStack(record, log, "parse_binary_stack_version fail 5\n");
  }

  const bool read = ReadStackNumber(text, marker + 2, record, [&] {
    log.WriteLog(format_text("in parse binary stack version parse, fail parse %s\n",
                             ansi_text_to_utf8(text).c_str()),
                 kTraceRed, LOG_TEXT);
  });
  if (!read) return FailBinaryStack(record, log, {});
  return true;
}

bool parse_target_stack_version(std::string_view reply, version_info_s& record) {
  reply = CText(reply);
  if (reply.starts_with(std::string_view("EMERGENCY").substr(0, 8))) {
    record.valid = 1;
    record.emergency = 1;
    return true;
  }
  record.emergency = 0;
  const std::size_t sat = reply.find("JQ_SAT");
  if (sat == std::string_view::npos) {
    record.valid = 0;
    return false;
  }
  record.valid = 1;
  const std::size_t marker = reply.find("_V", sat);
  if (marker == std::string_view::npos) return false;
  return ReadStackNumber(reply, marker + 2, record, [] {});
}

bool parse_bsp_ver(std::string_view text, bsp_info_s& record, bool downgrade_enabled,
                   LogSink& log) {
  return ParseBootText(text, record, BootSide::kImage, downgrade_enabled, log);
}

bool parse_target_bsp_ver(std::string_view text, bsp_info_s& record, bool force_boot_enabled,
                          LogSink& log) {
  return ParseBootText(text, record, BootSide::kTerminal, force_boot_enabled, log);
}

BootType classify_boot_type(char type) {
  if (type >= '0' && type <= '9') return BootType::kFC;
  if (type >= 'N' && type <= 'Z') return BootType::kKDQ;
  if (type >= 'A' && type <= 'M') return BootType::kVMR;
  if (type >= 'a' && type <= 'm') return BootType::kFA;
  if (type >= 'n' && type <= 'z') return BootType::kFB;
  return BootType::kFail;
}

const char* boot_type_name(BootType type) {
  switch (type) {
    case BootType::kFC:
      return "FC";
    case BootType::kKDQ:
      return "KDQ";
    case BootType::kVMR:
      return "VMR";
    case BootType::kFA:
      return "FA";
    case BootType::kFB:
      return "FB";
    case BootType::kFail:
      return "FAIL";
  }
  return "FAIL";
}

bool extract_nv_version(std::string_view text, nv_version_s& nv) {
  nv = nv_version_s{};
  text = CText(text);
  constexpr std::string_view kMarker = "NV_VER";
  const std::size_t marker = text.find(kMarker);
  if (marker == std::string_view::npos) return false;
  const std::string_view four = text.substr(marker + kMarker.size(), 4);
  std::copy(four.begin(), four.end(), nv.bytes.begin());
  return true;
}

double nv_version_value(const nv_version_s& nv) {
  std::string_view text = CText(std::string_view(nv.bytes.data(), nv.bytes.size()));
  // Read as a C library would (leading blanks and a '+' allowed), but independent of the locale.
  while (!text.empty() && (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r'))) {
    text.remove_prefix(1);
  }
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() ? value : 0.0;
}

std::string ansi_text_to_utf8(std::string_view bytes) {
  return LocaleToUtf8(bytes);
}

std::string format_text(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
  }
  va_end(args);
  return text;
}

}  // namespace kvx
