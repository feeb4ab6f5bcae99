// The installer under Wine: a silent install into a folder of the test's own puts both programs,
// the uninstaller, the Start menu entry and the Add/Remove Programs key in place; a silent
// uninstall takes them all away again. The installer comes from KVX_INSTALLER.
#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, whose types they use.
#include <objbase.h>
#include <shlobj.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/wide_text.h"

namespace kvx {
namespace {

constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelmoraKVX01Upgrader";

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs `command` and waits until it and every process it started have ended (the uninstaller
// copies itself to the temporary folder and goes on from there). Its exit code, or -1.
int RunToTheEnd(std::wstring command) {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, &process)) {
    CloseHandle(job);
    return -1;
  }
  AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
  while (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                   sizeof accounting, nullptr) &&
         accounting.ActiveProcesses > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(job);
  return static_cast<int>(code);
}

std::wstring RegistryText(const wchar_t* value) {
  wchar_t text[1024] = {};
  DWORD size = sizeof text;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, value, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY,
                   nullptr, text, &size) != ERROR_SUCCESS) {
    return L"<missing>";
  }
  return text;
}

bool UninstallKeyExists() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::wstring ShortcutPath() {
  wchar_t programs[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs);
  return std::wstring(programs) + L"\\Velmora\\Velmora KVX-01 Upgrader.lnk";
}

std::wstring ShortcutTarget(const std::wstring& shortcut) {
  CoInitialize(nullptr);
  std::wstring target = L"<unreadable>";
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      wchar_t path[MAX_PATH] = {};
      if (SUCCEEDED(file->Load(shortcut.c_str(), STGM_READ)) &&
          SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0))) {
        target = path;
      }
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
  return target;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

TEST(InstallerTest, InstallsSilentlyAndUninstallsWithoutATrace) {
  const char* installer = std::getenv("KVX_INSTALLER");
  ASSERT_NE(installer, nullptr) << "KVX_INSTALLER names the installer";
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  // The installer's /D= takes the rest of the line, spaces included, and no quotes.
  const std::wstring folder = std::wstring(temp) + L"kvx installer test " +
                              std::to_wstring(GetCurrentProcessId()) + L"\\KVX-01 Upgrader";
  ASSERT_FALSE(UninstallKeyExists()) << "a leftover of an earlier run";

  const std::wstring install = L"\"" + WideFromUtf8(installer) + L"\" /S /D=" + folder;
  ASSERT_EQ(RunToTheEnd(install), 0);
  for (const wchar_t* file : {L"kvx-upgrader.exe", L"kvx-flash.exe", L"uninstall.exe"}) {
    EXPECT_TRUE(Exists(folder + L"\\" + file)) << Utf8FromWide(file);
  }
  ASSERT_TRUE(Exists(ShortcutPath()));
  EXPECT_TRUE(SamePath(ShortcutTarget(ShortcutPath()), folder + L"\\kvx-upgrader.exe"))
      << Utf8FromWide(ShortcutTarget(ShortcutPath()));
  ASSERT_TRUE(UninstallKeyExists());
  EXPECT_EQ(RegistryText(L"DisplayName"), L"Velmora KVX-01 Upgrader");
  EXPECT_TRUE(SamePath(RegistryText(L"InstallLocation"), folder));
  EXPECT_TRUE(SamePath(RegistryText(L"UninstallString"), L"\"" + folder + L"\\uninstall.exe\""));

  // The window's settings file, written beside the program, goes with it.
  HANDLE config = CreateFileW((folder + L"\\Config.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(config, INVALID_HANDLE_VALUE);
  CloseHandle(config);

  ASSERT_EQ(RunToTheEnd(L"\"" + folder + L"\\uninstall.exe\" /S"), 0);
  EXPECT_FALSE(Exists(folder));
  EXPECT_FALSE(Exists(ShortcutPath()));
  EXPECT_FALSE(UninstallKeyExists());
  // The test's own parent folder: empty once the maker's folder has gone.
  const std::wstring parent = folder.substr(0, folder.rfind(L'\\'));
  EXPECT_FALSE(Exists(parent)) << "the uninstaller removes the emptied parent folder";
  RemoveDirectoryW(parent.c_str());
}

}  // namespace
}  // namespace kvx
