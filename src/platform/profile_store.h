// The per-user application profile: a few remembered values in sections and entries.
//
// On Windows it is the registry: a key per section below the user's key
// "Software\OKVI\Velmora KVX-01 Upgrader (v1.0)" (platform/registry_profile_store.h). On Linux it
// is an INI file, $XDG_CONFIG_HOME (default ~/.config) + "/OKVI/Velmora KVX-01 Upgrader
// (v1.0).ini":
//
//   [DEVELOPMENT]
//   DEV=1
//   [COMPORT]
//   PORT=ttyUSB0
//   BAUDRATE=460800
//
// Section and entry names match without regard to ASCII case; the first matching section and,
// within it, the first matching entry count. Lines that are neither are kept as they are.
// Implementations are safe for concurrent use from several threads (the front end reads DEV,
// the engine thread writes COMPORT).
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace kvx {

inline constexpr std::string_view kProfileCompany = "OKVI";
inline constexpr std::string_view kProfileName = "Velmora KVX-01 Upgrader (v1.0)";

inline constexpr std::string_view kSectionDevelopment = "DEVELOPMENT";
inline constexpr std::string_view kEntryDev = "DEV";  // int, 1: development mode
inline constexpr std::string_view kSectionComPort = "COMPORT";
inline constexpr std::string_view kEntryPort = "PORT";          // string, the port that answered
inline constexpr std::string_view kEntryBaudrate = "BAUDRATE";  // int, the rate it answered at

class ProfileStore {
 public:
  virtual ~ProfileStore() = default;

  // The entry as a decimal int (optional sign, surrounding blanks allowed); `default_value` when
  // the entry is missing or is not wholly such a number within the range of int.
  virtual int GetProfileInt(std::string_view section, std::string_view entry,
                            int default_value) const = 0;

  // The entry's text (valid UTF-8; ill-formed bytes read as U+FFFD), or `default_value` when
  // the entry is missing.
  virtual std::string GetProfileString(std::string_view section, std::string_view entry,
                                       std::string_view default_value) const = 0;

  // Store a value, creating section and entry as needed. False when nothing was stored: a name
  // or value the format cannot hold (line breaks, NUL, ']' in a section, '=' in an entry), or
  // a store that cannot be written.
  virtual bool WriteProfileInt(std::string_view section, std::string_view entry, int value) = 0;
  virtual bool WriteProfileString(std::string_view section, std::string_view entry,
                                  std::string_view value) = 0;
};

// Profile files beyond this size are not ours to parse or rewrite: reads give the defaults and
// writes are refused, so nothing of such a file is lost.
inline constexpr std::size_t kMaxProfileFileSize = 1 << 20;
// Longer lines are never taken as sections or entries (they are kept when the file is rewritten).
inline constexpr std::size_t kMaxProfileLineLength = 4096;

// The profile path for the given environment values: `xdg_config_home` when it is an absolute
// path, else `home` + "/.config"; then "/OKVI/Velmora KVX-01 Upgrader (v1.0).ini". Empty when
// neither gives a folder.
std::filesystem::path ProfilePathFor(std::string_view xdg_config_home, std::string_view home);

// ProfilePathFor with $XDG_CONFIG_HOME and $HOME (or the password entry's home folder). Linux.
std::filesystem::path DefaultProfilePath();

// The user's profile on this system: the INI file at DefaultProfilePath() on Linux, the registry
// on Windows.
std::unique_ptr<ProfileStore> MakeUserProfileStore();

// How long a write waits for other writers of the profile, which hold it for one read, change and
// replace (milliseconds each). One that holds it longer (a stopped process, a hung network
// folder) makes the write fail instead of stalling the engine thread.
inline constexpr std::chrono::milliseconds kProfileLockWait{2000};

// The profile in an INI file. Every call reads the file afresh; a write replaces it through a
// temporary file in the same folder and a rename, so the file is always whole, and creates the
// folders it needs. The profile is shared on disk by every engine of every process: a write
// reads, changes and replaces the file under a lock of the file "<profile>.lock" beside it
// (platform/file_lock.h), which holds among the threads of one process and among processes, so
// no writer's update is lost to another's. Reads take no lock: they always see a whole file.
// `lock_wait` bounds a write's wait for that lock.
class IniProfileStore final : public ProfileStore {
 public:
  explicit IniProfileStore(std::filesystem::path file,
                           std::chrono::milliseconds lock_wait = kProfileLockWait);

  int GetProfileInt(std::string_view section, std::string_view entry,
                    int default_value) const override;
  std::string GetProfileString(std::string_view section, std::string_view entry,
                               std::string_view default_value) const override;
  bool WriteProfileInt(std::string_view section, std::string_view entry, int value) override;
  bool WriteProfileString(std::string_view section, std::string_view entry,
                          std::string_view value) override;

  const std::filesystem::path& path() const { return file_; }

 private:
  const std::filesystem::path file_;
  const std::chrono::milliseconds lock_wait_;
};

// The same profile held in memory, for tests of the code that uses a profile.
class MemoryProfileStore final : public ProfileStore {
 public:
  // Starts from `ini_text`, as if read from a file.
  explicit MemoryProfileStore(std::string ini_text = {});

  int GetProfileInt(std::string_view section, std::string_view entry,
                    int default_value) const override;
  std::string GetProfileString(std::string_view section, std::string_view entry,
                               std::string_view default_value) const override;
  bool WriteProfileInt(std::string_view section, std::string_view entry, int value) override;
  bool WriteProfileString(std::string_view section, std::string_view entry,
                          std::string_view value) override;

  // The INI text the file would hold.
  std::string text() const;
  // Makes every later write fail, like a profile folder that cannot be written.
  void FailWrites(bool fail);

 private:
  mutable std::mutex mutex_;
  std::string text_;
  bool fail_writes_ = false;
};

}  // namespace kvx
