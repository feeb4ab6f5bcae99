#include "platform/profile_store.h"

#include <charconv>
#include <memory>
#include <optional>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_lock.h"
#include "platform/files.h"

namespace kvx {
namespace {

// --- INI text -------------------------------------------------------------------------------

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// What one line of the file is. Names and values view the line.
struct ParsedLine {
  enum Kind { kOther, kSection, kEntry } kind = kOther;
  std::string_view name;
  std::string_view value;
};

ParsedLine ParseLine(std::string_view line) {
  if (line.size() > kMaxProfileLineLength) return {};
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') return {};
  if (trimmed[0] == '[') {
    const auto close = trimmed.find(']');
    if (close == std::string_view::npos) return {};
    return {ParsedLine::kSection, Trim(trimmed.substr(1, close - 1)), {}};
  }
  const auto equals = trimmed.find('=');
  if (equals == std::string_view::npos || equals == 0) return {};
  std::string_view value = Trim(trimmed.substr(equals + 1));
  // A value written in quotes keeps its surrounding blanks.
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return {ParsedLine::kEntry, Trim(trimmed.substr(0, equals)), value};
}

bool NeedsQuotes(std::string_view value) {
  if (value.empty()) return false;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  return blank(value.front()) || blank(value.back()) ||
         (value.size() >= 2 && value.front() == '"' && value.back() == '"');
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool ValidSection(std::string_view section) {
  return !section.empty() && Trim(section) == section && !HasLineBreakOrNul(section) &&
         section.find(']') == std::string_view::npos && section.size() < kMaxProfileLineLength;
}

bool ValidEntry(std::string_view entry) {
  return !entry.empty() && Trim(entry) == entry && !HasLineBreakOrNul(entry) &&
         entry.find('=') == std::string_view::npos && entry[0] != '[' && entry[0] != ';' &&
         entry[0] != '#' && entry.size() < kMaxProfileLineLength / 4;
}

bool ValidValue(std::string_view value) {
  return !HasLineBreakOrNul(value) && value.size() < kMaxProfileLineLength / 2;
}

// The file as lines, without their line ends; a UTF-8 byte-order mark is dropped.
class IniDocument {
 public:
  explicit IniDocument(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    while (!text.empty()) {
      const auto end = text.find('\n');
      std::string_view line = text.substr(0, end);
      if (line.ends_with('\r')) line.remove_suffix(1);
      lines_.emplace_back(line);
      if (end == std::string_view::npos) break;
      text.remove_prefix(end + 1);
    }
  }

  std::optional<std::string> Get(std::string_view section, std::string_view entry) const {
    const Span span = FindSection(section);
    if (!span.found) return std::nullopt;
    for (std::size_t i = span.first; i < span.end; ++i) {
      const ParsedLine parsed = ParseLine(lines_[i]);
      if (parsed.kind == ParsedLine::kEntry && EqualsIgnoringCase(parsed.name, entry)) {
        return std::string(parsed.value);
      }
    }
    return std::nullopt;
  }

  void Set(std::string_view section, std::string_view entry, std::string_view value) {
    std::string line(entry);
    line += '=';
    if (NeedsQuotes(value)) {
      (line += '"').append(value) += '"';
    } else {
      line.append(value);
    }

    const Span span = FindSection(section);
    if (!span.found) {
      if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
      lines_.push_back("[" + std::string(section) + "]");
      lines_.push_back(std::move(line));
      return;
    }
    std::size_t insert_at = span.first;  // after the header or the section's last non-blank line
    for (std::size_t i = span.first; i < span.end; ++i) {
      const ParsedLine parsed = ParseLine(lines_[i]);
      if (parsed.kind == ParsedLine::kEntry && EqualsIgnoringCase(parsed.name, entry)) {
        lines_[i] = std::move(line);
        return;
      }
      if (!Trim(lines_[i]).empty()) insert_at = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), std::move(line));
  }

  std::string Text() const {
    std::string text;
    for (const std::string& line : lines_) (text += line) += '\n';
    return text;
  }

 private:
  // The lines after the first header of `section`, up to the next header.
  struct Span {
    bool found = false;
    std::size_t first = 0;
    std::size_t end = 0;
  };

  Span FindSection(std::string_view section) const {
    Span span;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const ParsedLine parsed = ParseLine(lines_[i]);
      if (parsed.kind != ParsedLine::kSection) continue;
      if (span.found) {
        span.end = i;
        return span;
      }
      if (EqualsIgnoringCase(parsed.name, section)) {
        span = {true, i + 1, lines_.size()};
      }
    }
    return span;
  }

  std::vector<std::string> lines_;
};

std::optional<int> ParseInt(std::string_view text) {
  text = Trim(text);
  if (text.starts_with('+') && !text.starts_with("+-")) text.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return value;
}

// Text the size of which no profile of ours reaches: treated as unreadable, as in a file.
bool Oversized(std::string_view ini_text) {
  return ini_text.size() > kMaxProfileFileSize;
}

int IntFromText(std::string_view ini_text, std::string_view section, std::string_view entry,
                int default_value) {
  const std::optional<std::string> value = IniDocument(ini_text).Get(section, entry);
  if (!value) return default_value;
  return ParseInt(*value).value_or(default_value);
}

std::string StringFromText(std::string_view ini_text, std::string_view section,
                           std::string_view entry, std::string_view default_value) {
  const std::optional<std::string> value = IniDocument(ini_text).Get(section, entry);
  return value ? SanitizeUtf8(*value) : std::string(default_value);
}

bool Storable(std::string_view section, std::string_view entry, std::string_view value) {
  return ValidSection(section) && ValidEntry(entry) && ValidValue(value);
}

// The new text with the entry set, or nothing when the names or value cannot be stored.
std::optional<std::string> TextWithValue(std::string_view ini_text, std::string_view section,
                                         std::string_view entry, std::string_view value) {
  if (!Storable(section, entry, value)) return std::nullopt;
  IniDocument document(ini_text);
  document.Set(section, entry, value);
  return document.Text();
}

// --- Files ----------------------------------------------------------------------------------

enum class ReadResult { kRead, kMissing, kUnusable };

// Reads the whole profile file, at most kMaxProfileFileSize bytes. Anything but a readable
// regular file within that size is unusable.
ReadResult ReadProfileFile(const std::filesystem::path& file, std::string& text) {
  text.clear();
  if (file.empty()) return ReadResult::kUnusable;
  const std::error_code error = ReadWholeFile(file.string(), kMaxProfileFileSize, text);
  if (error == std::errc::no_such_file_or_directory) return ReadResult::kMissing;
  return error ? ReadResult::kUnusable : ReadResult::kRead;
}

bool CreateFolderOf(const std::filesystem::path& file) {
  const std::filesystem::path folder = file.parent_path();
  std::error_code error;
  if (!folder.empty()) std::filesystem::create_directories(folder, error);
  return !error;
}

// Replaces `file` with `text`, so a crash leaves either the old file or the new one.
bool ReplaceFile(const std::filesystem::path& file, std::string_view text) {
  return !ReplaceFileAtomically(file.string(), text, {.new_file_mode = 0600, .sync = true});
}

std::string LockPathOf(const std::filesystem::path& file) {
  return file.string() + ".lock";
}

}  // namespace

std::filesystem::path ProfilePathFor(std::string_view xdg_config_home, std::string_view home) {
  std::filesystem::path folder;
  if (!xdg_config_home.empty() && xdg_config_home.front() == '/') {
    folder = xdg_config_home;
  } else if (!home.empty()) {
    folder = std::filesystem::path(home) / ".config";
  } else {
    return {};
  }
  return folder / kProfileCompany / (std::string(kProfileName) + ".ini");
}

// --- IniProfileStore ------------------------------------------------------------------------

IniProfileStore::IniProfileStore(std::filesystem::path file, std::chrono::milliseconds lock_wait)
    : file_(std::move(file)), lock_wait_(lock_wait) {}

int IniProfileStore::GetProfileInt(std::string_view section, std::string_view entry,
                                   int default_value) const {
  std::string text;
  if (ReadProfileFile(file_, text) != ReadResult::kRead) return default_value;
  return IntFromText(text, section, entry, default_value);
}

std::string IniProfileStore::GetProfileString(std::string_view section, std::string_view entry,
                                              std::string_view default_value) const {
  std::string text;
  if (ReadProfileFile(file_, text) != ReadResult::kRead) return std::string(default_value);
  return StringFromText(text, section, entry, default_value);
}

bool IniProfileStore::WriteProfileInt(std::string_view section, std::string_view entry, int value) {
  return WriteProfileString(section, entry, std::to_string(value));
}

bool IniProfileStore::WriteProfileString(std::string_view section, std::string_view entry,
                                         std::string_view value) {
  if (file_.empty() || !Storable(section, entry, value) || !CreateFolderOf(file_)) return false;
  std::error_code error;
  const FileLock lock(LockPathOf(file_), lock_wait_, error);
  if (error) return false;
  std::string text;
  if (ReadProfileFile(file_, text) == ReadResult::kUnusable) return false;
  const std::optional<std::string> updated = TextWithValue(text, section, entry, value);
  return updated && ReplaceFile(file_, *updated);
}

// --- MemoryProfileStore ---------------------------------------------------------------------

MemoryProfileStore::MemoryProfileStore(std::string ini_text) : text_(std::move(ini_text)) {}

int MemoryProfileStore::GetProfileInt(std::string_view section, std::string_view entry,
                                      int default_value) const {
  const std::lock_guard lock(mutex_);
  if (Oversized(text_)) return default_value;
  return IntFromText(text_, section, entry, default_value);
}

std::string MemoryProfileStore::GetProfileString(std::string_view section, std::string_view entry,
                                                 std::string_view default_value) const {
  const std::lock_guard lock(mutex_);
  if (Oversized(text_)) return std::string(default_value);
  return StringFromText(text_, section, entry, default_value);
}

bool MemoryProfileStore::WriteProfileInt(std::string_view section, std::string_view entry,
                                         int value) {
  return WriteProfileString(section, entry, std::to_string(value));
}

bool MemoryProfileStore::WriteProfileString(std::string_view section, std::string_view entry,
                                            std::string_view value) {
  const std::lock_guard lock(mutex_);
  if (fail_writes_ || Oversized(text_)) return false;
  std::optional<std::string> updated = TextWithValue(text_, section, entry, value);
  if (!updated) return false;
  text_ = std::move(*updated);
  return true;
}

std::string MemoryProfileStore::text() const {
  const std::lock_guard lock(mutex_);
  return text_;
}

void MemoryProfileStore::FailWrites(bool fail) {
  const std::lock_guard lock(mutex_);
  fail_writes_ = fail;
}

}  // namespace kvx
