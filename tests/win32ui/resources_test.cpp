// The resources linked into the program: the string table generated from the program's own
// texts, the version record, the manifest in effect, the accelerators, icon and bitmaps.
#include <gtest/gtest.h>
#include <windows.h>
// <windows.h> makes LoadString a macro for LoadStringA; here it is the program's own table.
#undef LoadString
#include <array>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

#include "operator/app_identity.h"
#include "platform/string_table.h"
#include "platform/wide_text.h"
#include "win32ui/resource_ids.h"

namespace kvx::win32ui {
namespace {

std::string ResourceString(int id) {
  const wchar_t* text = nullptr;
  // A length of 0 asks for a pointer to the text in the resource itself (no terminator).
  const int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id),
                                 reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? Utf8FromWide(std::wstring_view(text, static_cast<std::size_t>(length)))
                    : std::string();
}

TEST(ResourcesTest, StringTableHoldsEveryOperatorTextExactly) {
  const std::array<int, 32> ids = {IDS_FILE_OPEN_FAIL,
                                   IDS_FILE_SIZE_BIG,
                                   IDS_MEM_ALLOC_FAIL,
                                   IDS_WRONG_BSP_VER,
                                   IDS_WRONG_IMAGE,
                                   IDS_INIT_IN_PROGRESS,
                                   IDS_UPGRADE_IN_PROGRESS,
                                   IDS_UPGRADE_COMPLETED,
                                   IDS_UPGRADE_FAILED,
                                   IDS_CONNECTION_FAILED,
                                   IDS_LOWER_VERSION,
                                   IDS_UNKNOWN_VERSIONS,
                                   IDS_BINARY_VERSION_UNKNOWN,
                                   IDS_VERSION_MISMATCH_56,
                                   IDS_VERSION_MISMATCH_57,
                                   IDS_VERSION_MISMATCH_58,
                                   IDS_LOWER_VERSION_60,
                                   IDS_VERSION_MISMATCH_62,
                                   IDS_VERSION_MISMATCH_63,
                                   IDS_VERSION_MISMATCH_64,
                                   IDS_UNKNOWN_ERROR,
                                   IDS_EXIT_QUESTION,
                                   IDS_HW_UPGRADE_REQUIRED,
                                   IDS_APP_CAPTION,
                                   IDS_EXTRACT_FAIL,
                                   IDS_NOT_KVX_ITEM,
                                   IDS_INIT_IN_PROGRESS_SEARCH,
                                   IDS_SAME_VERSION_QUESTION,
                                   IDS_STARTUP_WARNING,
                                   IDS_NOT_CONNECTED,
                                   IDS_SELECT_FILE,
                                   IDS_INCOMPATIBLE_BINARY};
  for (const int id : ids) {
    SCOPED_TRACE(id);
    const auto expected = LoadString(id);
    ASSERT_TRUE(expected.has_value());
    // Line breaks and the status texts' trailing spaces arrive as written.
    EXPECT_EQ(ResourceString(id), *expected);
  }
  EXPECT_EQ(ResourceString(176), ui::kCopyrightLine);
  EXPECT_EQ(ResourceString(175), "") << "an id the table does not hold";
}

std::wstring VersionValue(const std::vector<char>& record, const wchar_t* name) {
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
  if (!VerQueryValueW(record.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) {
    return L"<missing>";
  }
  return std::wstring(value, length > 0 ? length - 1 : 0);
}

TEST(ResourcesTest, VersionRecordNamesTheProgramAndItsVersion) {
  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(program, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> record(size);
  ASSERT_TRUE(GetFileVersionInfoW(program, 0, size, record.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size));
  const std::wstring version = WideFromUtf8(KVX_VERSION);  // e.g. 1.0.1
  const std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                               std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                               std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
                               std::to_wstring(LOWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, version + L".0");
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

  EXPECT_EQ(VersionValue(record, L"FileDescription"), L"Velmora KVX-01 Upgrader");
  EXPECT_EQ(VersionValue(record, L"ProductName"), L"Velmora KVX-01 Upgrader");
  EXPECT_EQ(VersionValue(record, L"FileVersion"), L"(v" + version + L")");
  EXPECT_EQ(VersionValue(record, L"ProductVersion"), L"(v" + version + L")");
  EXPECT_EQ(VersionValue(record, L"InternalName"), L"Velmora KVX-01 Upgrader.exe");
  EXPECT_EQ(VersionValue(record, L"OriginalFilename"), L"Velmora KVX-01 Upgrader.exe");
}

TEST(ResourcesTest, ManifestAsksForAdministratorAndBringsCommonControlsSix) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr);
  const auto* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  const std::string manifest(bytes, SizeofResource(nullptr, found));
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("<dpiAware>true</dpiAware>"), std::string::npos);

  // The manifest took effect: the common controls come from their version 6 side-by-side
  // assembly, not from the system folder's version 5 (Wine's DllGetVersion says 5.81 for both).
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), path, MAX_PATH);
  std::wstring lower(path);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
  EXPECT_NE(lower.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."),
            std::wstring::npos)
      << Utf8FromWide(path);
}

TEST(ResourcesTest, AcceleratorsAreCtrlShiftLettersSequenceFirstThenTAndD) {
  HACCEL table =
      LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_ACCELERATORS));
  ASSERT_NE(table, nullptr);
  std::array<ACCEL, 8> entries{};
  ASSERT_EQ(CopyAcceleratorTableW(table, entries.data(), static_cast<int>(entries.size())), 6);
  const std::array<WORD, 6> commands = {ID_DEV_SEQUENCE_1, ID_DEV_SEQUENCE_2, ID_DEV_SEQUENCE_3,
                                        ID_DEV_SEQUENCE_4, ID_DUMP_TOGGLE,    ID_LOG_WINDOW_TOGGLE};
  std::set<WORD> keys;
  for (std::size_t i = 0; i < commands.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(entries[i].cmd, commands[i]);
    EXPECT_EQ(entries[i].fVirt & (FVIRTKEY | FCONTROL | FSHIFT | FALT),
              FVIRTKEY | FCONTROL | FSHIFT);
    EXPECT_GE(entries[i].key, 'A');
    EXPECT_LE(entries[i].key, 'Z');
    keys.insert(entries[i].key);
  }
  EXPECT_EQ(keys.size(), 6u) << "the letters differ from each other";
  EXPECT_EQ(entries[4].key, 'T');
  EXPECT_EQ(entries[5].key, 'D');
}

SIZE BitmapSize(HBITMAP bitmap, int* bits_per_pixel) {
  DIBSECTION section{};
  GetObjectW(bitmap, sizeof section, &section);
  *bits_per_pixel = section.dsBm.bmBitsPixel;
  return {section.dsBm.bmWidth, section.dsBm.bmHeight};
}

TEST(ResourcesTest, PicturesHaveTheirSizesAndDepth) {
  struct Picture {
    const wchar_t* name;
    int width, height;
  };
  std::vector<Picture> pictures = {{MAKEINTRESOURCEW(IDB_BACKGROUND), 650, 450}};
  static const std::array<std::wstring, 16> names = [] {
    std::array<std::wstring, 16> all;
    std::size_t i = 0;
    for (const wchar_t* button : {L"&PORTSETUP_", L"&OPEN_", L"&START_", L"&EXIT_"}) {
      for (const wchar_t* state : {L"U", L"D", L"F", L"X"}) all[i++] = std::wstring(button) + state;
    }
    return all;
  }();
  for (const std::wstring& name : names) pictures.push_back({name.c_str(), 79, 25});
  for (const Picture& picture : pictures) {
    SCOPED_TRACE(IS_INTRESOURCE(picture.name) ? L"background" : picture.name);
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), picture.name,
                                                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(bitmap, nullptr);
    int depth = 0;
    const SIZE size = BitmapSize(bitmap, &depth);
    EXPECT_EQ(size.cx, picture.width);
    EXPECT_EQ(size.cy, picture.height);
    EXPECT_EQ(depth, 24);
    DeleteObject(bitmap);
  }
}

TEST(ResourcesTest, IconHoldsEachSizeItIsShownIn) {
  HRSRC found =
      FindResourceW(nullptr, MAKEINTRESOURCEW(IDI_PROGRAM), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_NE(found, nullptr);
  const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
  const DWORD size = SizeofResource(nullptr, found);
  // The group's header (reserved, type, count: three 16-bit words), then 14 bytes an image.
  constexpr DWORD kHeader = 6;
  constexpr DWORD kEntry = 14;
  ASSERT_GE(size, kHeader);
  const WORD count = static_cast<WORD>(group[4] | (group[5] << 8));
  ASSERT_EQ(size, kHeader + kEntry * count);
  std::set<int> widths;
  for (WORD i = 0; i < count; ++i) {
    const BYTE* entry = group + kHeader + kEntry * i;
    EXPECT_EQ(entry[0], entry[1]) << "square";
    widths.insert(entry[0] == 0 ? 256 : entry[0]);
  }
  EXPECT_EQ(widths, (std::set<int>{16, 32, 48, 256}));
  // Both window icons load from it.
  for (const int metric : {SM_CXSMICON, SM_CXICON}) {
    const int pixels = GetSystemMetrics(metric);
    HICON icon =
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM),
                                      IMAGE_ICON, pixels, pixels, LR_DEFAULTCOLOR));
    EXPECT_NE(icon, nullptr) << pixels;
    if (icon != nullptr) DestroyIcon(icon);
  }
}

}  // namespace
}  // namespace kvx::win32ui
