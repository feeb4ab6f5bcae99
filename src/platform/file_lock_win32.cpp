#include "platform/file_lock.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/file_lock_internal.h"
#include "platform/wide_text.h"

namespace kvx::file_lock_internal {
namespace {

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

}  // namespace

ScopedFd OpenLockFile(const std::string& path, std::error_code& ec) {
  const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ec = {GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT, std::generic_category()};
    return {};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info) || GetFileType(file) != FILE_TYPE_DISK ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    CloseHandle(file);
    ec = make_error_code(FileError::kNotRegularFile);
    return {};
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
  if (fd < 0) {
    CloseHandle(file);
    ec = {EMFILE, std::generic_category()};
    return {};
  }
  return ScopedFd(fd);
}

std::error_code TryLockFile(int fd) {
  OVERLAPPED whole{};
  if (LockFileEx(HandleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                 MAXDWORD, &whole)) {
    return {};
  }
  if (GetLastError() == ERROR_LOCK_VIOLATION || GetLastError() == ERROR_IO_PENDING) {
    return std::make_error_code(std::errc::resource_unavailable_try_again);
  }
  return {EIO, std::generic_category()};
}

void UnlockFile(int fd) {
  OVERLAPPED whole{};
  UnlockFileEx(HandleOf(fd), 0, MAXDWORD, MAXDWORD, &whole);
}

}  // namespace kvx::file_lock_internal
