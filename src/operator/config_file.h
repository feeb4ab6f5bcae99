// Config.ini: the port and the image of the last completed upgrade. It lives beside the program
// file when the program's folder is writable (a build or an unpacked folder), else (an installed
// program) in the per-user configuration folder, beside the profile.
//
//   portName=<port>\r\n
//   pathFile=<image path>\r\n
//
// Text in the locale's character set, CR LF line ends. Reading is bounded, since anyone who can
// write the program's folder can write this file. Plain functions; safe on any thread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kvx::ui {

inline constexpr std::string_view kConfigFileName = "Config.ini";
inline constexpr std::string_view kPortNameKey = "portName=";
inline constexpr std::string_view kPathFileKey = "pathFile=";
// Only the start of a larger file is read, and a longer line is skipped as a whole (a value cut
// short would name the wrong file).
inline constexpr std::size_t kMaxConfigFileRead = 64 * 1024;
inline constexpr std::size_t kMaxConfigLineLength = 8 * 1024;

struct ConfigValues {
  std::string port;  // UTF-8; empty, or a name that looks like a serial port
  std::string path;  // UTF-8; the image file
  // Every port line's value that looks like a serial port, in file order: each one goes to the
  // engine to be tested. Filled by reading; writing ignores it.
  std::vector<std::string> port_tests = {};
};

// The folder of the running program, or an empty path when it cannot be read.
std::filesystem::path ProgramFolder();

// `folder` + "/Config.ini".
std::filesystem::path ConfigFilePath(const std::filesystem::path& folder);

// Whether this process may create files in `folder`: a folder that the effective user may write
// and enter (faccessat with AT_EACCESS). A read-only mount is not writable, even for root.
bool FolderIsWritable(const std::filesystem::path& folder);

// Where Config.ini is kept: beside the program when `program_folder` is known and
// `program_folder_writable`; otherwise in the folder of the profile file `profile_path` (see
// ProfilePathFor). The program folder all the same when `profile_path` is empty (no home), where
// reading gives empty values and writing fails.
std::filesystem::path ChooseConfigFilePath(const std::filesystem::path& program_folder,
                                           bool program_folder_writable,
                                           const std::filesystem::path& profile_path);

// Where this process keeps Config.ini: on Linux ChooseConfigFilePath with ProgramFolder(),
// FolderIsWritable and DefaultProfilePath(); on Windows beside the program when its folder is
// writable, else in the user's local application data folder.
std::filesystem::path ConfigFilePathForThisProgram();

// The values in `text`. A line holding a key gives the line from its tenth byte on, wherever the
// key stands in it; the last such line counts. A port without SerialNameMark() is dropped
// (and a dropped last line leaves no port); the others are all kept in port_tests.
ConfigValues ParseConfigText(std::string_view text);

// Reads the file, first creating it with the two empty keys when nothing is at `path`, and its
// missing folders (mode 0700, as the per-user folder wants). A file that cannot be created,
// opened or read, or that is not a regular file, gives empty values.
ConfigValues ReadConfig(const std::filesystem::path& path);

// The file's text for `values`. A value holding a line break or NUL is written empty, so it cannot
// add lines of its own.
std::string FormatConfigText(const ConfigValues& values);

// Creates or truncates the file (and its missing folders, mode 0700) and writes both keys. False
// when it could not be written.
bool WriteConfig(const std::filesystem::path& path, const ConfigValues& values);

}  // namespace kvx::ui
