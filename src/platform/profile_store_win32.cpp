#include "platform/profile_store.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>
#include <vector>

#include "platform/registry_profile_store.h"
#include "platform/wide_text.h"

namespace kvx {
namespace {

// Owns an open registry key.
class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// A name the registry can hold as a key or value name: not empty, no NUL, and for a key no
// backslash (which would reach into another key).
bool ValidName(std::string_view name, bool is_key) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return false;
  return !is_key || name.find('\\') == std::string_view::npos;
}

std::wstring SectionKey(const std::string& key, std::string_view section) {
  return WideFromUtf8(key) + L'\\' + WideFromUtf8(section);
}

bool OpenSection(const std::string& key, std::string_view section, ScopedKey& out) {
  if (!ValidName(section, true)) return false;
  return RegOpenKeyExW(HKEY_CURRENT_USER, SectionKey(key, section).c_str(), 0, KEY_QUERY_VALUE,
                       out.out()) == ERROR_SUCCESS;
}

bool CreateSection(const std::string& key, std::string_view section, ScopedKey& out) {
  if (!ValidName(section, true)) return false;
  return RegCreateKeyExW(HKEY_CURRENT_USER, SectionKey(key, section).c_str(), 0, nullptr,
                         REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, out.out(),
                         nullptr) == ERROR_SUCCESS;
}

// A value as its type and raw bytes, at most `max_bytes` of them.
struct RawValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

std::optional<RawValue> ReadValue(const std::string& key, std::string_view section,
                                  std::string_view entry, DWORD max_bytes) {
  ScopedKey opened;
  if (!ValidName(entry, false) || !OpenSection(key, section, opened)) return std::nullopt;
  const std::wstring name = WideFromUtf8(entry);
  RawValue value;
  value.bytes.resize(max_bytes);
  DWORD size = max_bytes;
  if (RegQueryValueExW(opened.get(), name.c_str(), nullptr, &value.type, value.bytes.data(),
                       &size) != ERROR_SUCCESS) {
    return std::nullopt;  // missing, unreadable, or longer than we take
  }
  value.bytes.resize(size);
  return value;
}

// The text of a REG_SZ value, without the terminating NUL the registry may or may not hold.
std::wstring TextOf(const RawValue& value) {
  std::wstring text(value.bytes.size() / sizeof(wchar_t), L'\0');
  std::copy_n(value.bytes.data(), text.size() * sizeof(wchar_t),
              reinterpret_cast<BYTE*>(text.data()));
  const auto nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  return text;
}

std::optional<int> ParseDecimal(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  if (text.starts_with('+')) text.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool WriteValue(const std::string& key, std::string_view section, std::string_view entry,
                DWORD type, const BYTE* data, DWORD size) {
  ScopedKey created;
  if (!ValidName(entry, false) || !CreateSection(key, section, created)) return false;
  const std::wstring name = WideFromUtf8(entry);
  return RegSetValueExW(created.get(), name.c_str(), 0, type, data, size) == ERROR_SUCCESS;
}

}  // namespace

RegistryProfileStore::RegistryProfileStore(std::string key) : key_(std::move(key)) {}

int RegistryProfileStore::GetProfileInt(std::string_view section, std::string_view entry,
                                        int default_value) const {
  const auto value =
      ReadValue(key_, section, entry, (kMaxProfileStringLength + 1) * sizeof(wchar_t));
  if (!value) return default_value;
  if (value->type == REG_DWORD && value->bytes.size() == sizeof(DWORD)) {
    DWORD number = 0;
    std::copy_n(value->bytes.data(), sizeof number, reinterpret_cast<BYTE*>(&number));
    return static_cast<int>(number);
  }
  if (value->type == REG_SZ) {
    return ParseDecimal(Utf8FromWide(TextOf(*value))).value_or(default_value);
  }
  return default_value;
}

std::string RegistryProfileStore::GetProfileString(std::string_view section, std::string_view entry,
                                                   std::string_view default_value) const {
  const auto value =
      ReadValue(key_, section, entry, (kMaxProfileStringLength + 1) * sizeof(wchar_t));
  if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) {
    return std::string(default_value);
  }
  return Utf8FromWide(TextOf(*value));
}

bool RegistryProfileStore::WriteProfileInt(std::string_view section, std::string_view entry,
                                           int value) {
  const DWORD number = static_cast<DWORD>(value);
  return WriteValue(key_, section, entry, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                    sizeof number);
}

bool RegistryProfileStore::WriteProfileString(std::string_view section, std::string_view entry,
                                              std::string_view value) {
  if (value.find('\0') != std::string_view::npos) return false;
  const std::wstring text = WideFromUtf8(value);
  if (text.size() > kMaxProfileStringLength) return false;
  const DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return WriteValue(key_, section, entry, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                    size);
}

std::unique_ptr<ProfileStore> MakeUserProfileStore() {
  return std::make_unique<RegistryProfileStore>();
}

}  // namespace kvx
