// The profile in the Windows registry, as the Windows program has always kept it: below a key of
// HKEY_CURRENT_USER, one subkey per section, one value per entry. Integers are written as
// REG_DWORD and strings as REG_SZ; an integer reads from a REG_DWORD, or from a REG_SZ that is
// wholly a decimal number (a value typed in by hand). Windows only (profile_store_win32.cpp).
//
// Each value is written in one registry call, which the registry makes atomic, so concurrent
// writers need no lock of ours.
#pragma once

// <windows.h> renames GetProfileInt, GetProfileString and WriteProfileString (its old INI-file
// functions) through macros, which would rename the ProfileStore members too. Included here and
// undone, so every file that includes this header sees the members' own names.
#include <windows.h>
#undef GetProfileInt
#undef GetProfileString
#undef WriteProfileString

#include <string>
#include <string_view>

#include "platform/profile_store.h"

namespace kvx {

// The key of the program's profile below HKEY_CURRENT_USER.
inline constexpr std::string_view kProfileRegistryKey =
    "Software\\OKVI\\Velmora KVX-01 Upgrader (v1.0)";

// Longest string value read, in UTF-16 units; a longer one reads as missing.
inline constexpr std::size_t kMaxProfileStringLength = 4096;

class RegistryProfileStore final : public ProfileStore {
 public:
  // `key`: the profile's key below HKEY_CURRENT_USER (tests use one of their own).
  explicit RegistryProfileStore(std::string key = std::string(kProfileRegistryKey));

  int GetProfileInt(std::string_view section, std::string_view entry,
                    int default_value) const override;
  std::string GetProfileString(std::string_view section, std::string_view entry,
                               std::string_view default_value) const override;
  bool WriteProfileInt(std::string_view section, std::string_view entry, int value) override;
  bool WriteProfileString(std::string_view section, std::string_view entry,
                          std::string_view value) override;

 private:
  const std::string key_;
};

}  // namespace kvx
