#include "operator/config_file.h"

#include <system_error>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/profile_store.h"
#include "platform/utf8_path.h"
#include "serial/serial_ports.h"

namespace kvx::ui {

namespace {

// The value of a key line: everything after the key's length, counted from the line's start,
// up to a NUL (the value is a C string on the other side).
std::string ValueOf(std::string_view line, std::size_t key_length) {
  std::string_view value = line.substr(key_length);
  value = value.substr(0, value.find('\0'));
  return LocaleToUtf8(value);
}

// Creates the missing folders of `folder`, owner-only as a per-user configuration folder wants;
// folders already there are left as they are.
void CreateMissingFolders(const std::filesystem::path& folder) {
  if (folder.empty() || folder == folder.root_path()) return;
  std::error_code error;
  if (std::filesystem::exists(folder, error) || error) return;
  CreateMissingFolders(folder.parent_path());
  CreateOwnFolder(Utf8FromPath(folder), error);
}

// Creates the file only when nothing is there; an existing file, even an unreadable one, stays.
bool CreateEmptyConfig(const std::filesystem::path& path) {
  std::error_code error;
  const ScopedFd file = OpenForWriting(Utf8FromPath(path), IfExists::kRefuse, 0644, error);
  return file && !WriteAll(file.get(), FormatConfigText({}));
}

bool HasLineBreakOrNul(std::string_view value) {
  return value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::filesystem::path ProgramFolder() {
  return PathFromUtf8(kvx::ProgramFolder());
}

std::filesystem::path ConfigFilePath(const std::filesystem::path& folder) {
  return folder / kConfigFileName;
}

bool FolderIsWritable(const std::filesystem::path& folder) {
  return CanCreateFilesIn(Utf8FromPath(folder));
}

std::filesystem::path ChooseConfigFilePath(const std::filesystem::path& program_folder,
                                           bool program_folder_writable,
                                           const std::filesystem::path& profile_path) {
  if (!program_folder.empty() && (program_folder_writable || profile_path.empty())) {
    return ConfigFilePath(program_folder);
  }
  // No relative fallback: a bare "Config.ini" would land in whatever the current folder is.
  if (profile_path.empty()) return {};
  return ConfigFilePath(profile_path.parent_path());
}

ConfigValues ParseConfigText(std::string_view text) {
  ConfigValues values;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    // A text-mode read ends the line before its CR LF.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kMaxConfigLineLength) continue;
    if (line.find(kPortNameKey) != std::string_view::npos) {
      values.port = ValueOf(line, kPortNameKey.size());
      if (values.port.find(SerialNameMark()) == std::string::npos) {
        values.port.clear();
      } else {
        values.port_tests.push_back(values.port);
      }
    }
    if (line.find(kPathFileKey) != std::string_view::npos) {
      values.path = ValueOf(line, kPathFileKey.size());
    }
  }
  return values;
}

ConfigValues ReadConfig(const std::filesystem::path& path) {
  CreateMissingFolders(path.parent_path());
  CreateEmptyConfig(path);
  // Only the start of a larger file is read: anyone who can write the folder can write it.
  std::string text;
  if (ReadFileStart(Utf8FromPath(path), kMaxConfigFileRead, text)) return {};
  return ParseConfigText(text);
}

std::string FormatConfigText(const ConfigValues& values) {
  const auto field = [](std::string_view value) {
    return HasLineBreakOrNul(value) ? std::string() : Utf8ToLocale(value);
  };
  std::string text;
  text += kPortNameKey;
  text += field(values.port);
  text += "\r\n";
  text += kPathFileKey;
  text += field(values.path);
  text += "\r\n";
  return text;
}

bool WriteConfig(const std::filesystem::path& path, const ConfigValues& values) {
  CreateMissingFolders(path.parent_path());
  return !WriteWholeFile(Utf8FromPath(path), FormatConfigText(values), IfExists::kTruncate, 0644);
}

}  // namespace kvx::ui
