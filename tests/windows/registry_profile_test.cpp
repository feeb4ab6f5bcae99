// The profile in the registry: what the program writes is what the Windows program always
// wrote (key, value names and types), values typed in by hand read sensibly, and nothing that
// cannot be stored is half-stored.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/registry_profile_store.h"
#include "platform/wide_text.h"

namespace kvx {
namespace {

// A profile key of the test's own below HKEY_CURRENT_USER, removed afterwards.
class RegistryProfileTest : public ::testing::Test {
 protected:
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, WideFromUtf8(key_).c_str()); }

  void SetRaw(const wchar_t* section, const wchar_t* entry, DWORD type, const void* data,
              DWORD size) {
    const std::wstring path = WideFromUtf8(key_) + L"\\" + section;
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), entry, type, data, size),
              ERROR_SUCCESS);
  }

  DWORD TypeOf(const wchar_t* section, const wchar_t* entry) {
    const std::wstring path = WideFromUtf8(key_) + L"\\" + section;
    DWORD type = REG_NONE;
    if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), entry, RRF_RT_ANY, &type, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      return REG_NONE;
    }
    return type;
  }

  const std::string key_ = "Software\\kvx-tests\\profile-" + std::to_string(GetCurrentProcessId());
  RegistryProfileStore store_{key_};
};

TEST_F(RegistryProfileTest, ValuesRoundTripWithTheTypesTheProgramAlwaysWrote) {
  EXPECT_TRUE(store_.WriteProfileString("COMPORT", "PORT", "COM12"));
  EXPECT_TRUE(store_.WriteProfileInt("COMPORT", "BAUDRATE", 460800));
  EXPECT_TRUE(store_.WriteProfileInt("DEVELOPMENT", "DEV", -1));

  EXPECT_EQ(store_.GetProfileString("COMPORT", "PORT", "none"), "COM12");
  EXPECT_EQ(store_.GetProfileInt("COMPORT", "BAUDRATE", 0), 460800);
  EXPECT_EQ(store_.GetProfileInt("DEVELOPMENT", "DEV", 0), -1);
  EXPECT_EQ(TypeOf(L"COMPORT", L"PORT"), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(TypeOf(L"COMPORT", L"BAUDRATE"), static_cast<DWORD>(REG_DWORD));

  // Rewriting replaces; names match without regard to case, as the registry's do.
  EXPECT_TRUE(store_.WriteProfileString("comport", "port", "COM3"));
  EXPECT_EQ(store_.GetProfileString("COMPORT", "PORT", "none"), "COM3");
}

TEST_F(RegistryProfileTest, TextOutsideAsciiRoundTrips) {
  const std::string port = "\xED\x8F\xAC\xED\x8A\xB8 \xC3\xBC";  // Hangul and a Latin letter
  ASSERT_TRUE(store_.WriteProfileString("COMPORT", "PORT", port));
  EXPECT_EQ(store_.GetProfileString("COMPORT", "PORT", ""), port);
}

TEST_F(RegistryProfileTest, MissingOrForeignValuesGiveTheDefault) {
  EXPECT_EQ(store_.GetProfileInt("DEVELOPMENT", "DEV", 7), 7);
  EXPECT_EQ(store_.GetProfileString("COMPORT", "PORT", "none"), "none");

  const DWORD one = 1;
  SetRaw(L"DEVELOPMENT", L"DEV", REG_DWORD, &one, sizeof one);
  EXPECT_EQ(store_.GetProfileString("DEVELOPMENT", "DEV", "none"), "none");  // not a string

  const BYTE binary[] = {1, 0, 0, 0};
  SetRaw(L"DEVELOPMENT", L"DEV", REG_BINARY, binary, sizeof binary);
  EXPECT_EQ(store_.GetProfileInt("DEVELOPMENT", "DEV", 0), 0);
}

TEST_F(RegistryProfileTest, AnIntegerTypedInAsTextReadsWhenItIsWhollyANumber) {
  struct Case {
    const wchar_t* text;
    int expected;
  };
  for (const Case& c : {Case{L"1", 1}, Case{L" 42 ", 42}, Case{L"-3", -3}, Case{L"1x", 9},
                        Case{L"", 9}, Case{L"99999999999", 9}}) {
    const std::wstring text = c.text;
    SetRaw(L"DEVELOPMENT", L"DEV", REG_SZ, text.c_str(),
           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(store_.GetProfileInt("DEVELOPMENT", "DEV", 9), c.expected) << Utf8FromWide(text);
  }
}

TEST_F(RegistryProfileTest, AStringWithoutItsTerminatorReadsWhole) {
  const std::wstring text = L"COM4";  // written by a tool that left out the NUL
  SetRaw(L"COMPORT", L"PORT", REG_SZ, text.data(),
         static_cast<DWORD>(text.size() * sizeof(wchar_t)));
  EXPECT_EQ(store_.GetProfileString("COMPORT", "PORT", ""), "COM4");
}

TEST_F(RegistryProfileTest, WhatCannotBeStoredIsRefusedAndLaterWritesStillWork) {
  EXPECT_FALSE(store_.WriteProfileString("COM\\PORT", "PORT", "COM1"));  // reaches another key
  EXPECT_FALSE(store_.WriteProfileString("", "PORT", "COM1"));
  EXPECT_FALSE(store_.WriteProfileString("COMPORT", "", "COM1"));
  EXPECT_FALSE(store_.WriteProfileString("COMPORT", "PORT", std::string("CO\0M1", 5)));
  EXPECT_FALSE(
      store_.WriteProfileString("COMPORT", "PORT", std::string(kMaxProfileStringLength + 1, 'x')));
  EXPECT_EQ(store_.GetProfileString("COMPORT", "PORT", "none"), "none");

  EXPECT_TRUE(store_.WriteProfileString("COMPORT", "PORT", "COM1"));
  EXPECT_EQ(store_.GetProfileString("COMPORT", "PORT", "none"), "COM1");
}

TEST_F(RegistryProfileTest, AStringLongerThanTheLimitReadsAsMissing) {
  const std::wstring text(kMaxProfileStringLength + 10, L'x');
  SetRaw(L"COMPORT", L"PORT", REG_SZ, text.c_str(),
         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  EXPECT_EQ(store_.GetProfileString("COMPORT", "PORT", "none"), "none");
}

// The user's profile is the program's own key: what the engine remembers lands exactly there.
TEST(UserProfileTest, IsTheProgramsKeyOfTheCurrentUser) {
  const std::unique_ptr<ProfileStore> profile = MakeUserProfileStore();
  ASSERT_TRUE(profile->WriteProfileInt("COMPORT", "BAUDRATE", 115200));
  DWORD value = 0;
  DWORD size = sizeof value;
  EXPECT_EQ(
      RegGetValueW(HKEY_CURRENT_USER, L"Software\\OKVI\\Velmora KVX-01 Upgrader (v1.0)\\COMPORT",
                   L"BAUDRATE", RRF_RT_REG_DWORD, nullptr, &value, &size),
      ERROR_SUCCESS);
  EXPECT_EQ(value, 115200u);
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OKVI");
}

}  // namespace
}  // namespace kvx
