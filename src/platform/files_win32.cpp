// The file layer on Windows. Descriptors are the C runtime's, over Windows handles, so callers
// write to them, and read standard streams, as on Linux. A folder is held as a descriptor over a
// handle opened with FILE_FLAG_BACKUP_SEMANTICS and without FILE_SHARE_DELETE, so it cannot be
// removed or renamed while it is held; names below it are joined to the path the system gives
// for that handle. Paths are UTF-8 in the interface and wide at every system call; '/' and '\'
// both separate. The `mode` arguments have no meaning here: a new file takes its folder's ACL.
#include "platform/files.h"

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <random>

#include "platform/wide_text.h"

namespace kvx {
namespace {

constexpr int kMaxFolderDepth = 64;
constexpr std::size_t kMaxIoChunk = std::size_t{1} << 30;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int ErrnoFromWin32(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    default:
      return EIO;
  }
}

std::error_code LastError() {
  return {ErrnoFromWin32(GetLastError()), std::generic_category()};
}

std::error_code CrtError() {
  return {errno, std::generic_category()};
}

std::wstring Wide(std::string_view path) {
  std::wstring wide = WideFromUtf8(path);
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// Owns a Windows handle until it is handed to a descriptor.
struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

ScopedHandle Adopt(HANDLE handle) {
  return ScopedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// A descriptor over `handle`, which it then owns.
ScopedFd DescriptorFor(ScopedHandle handle, int flags, std::error_code& ec) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), flags | _O_BINARY);
  if (fd < 0) {
    ec = CrtError();
    return {};
  }
  handle.release();
  ec.clear();
  return ScopedFd(fd);
}

// The path the system gives for an open folder ("\\?\C:\..."), to which names below it are joined.
std::wstring FolderPathOf(int dir_fd) {
  const HANDLE folder = HandleOf(dir_fd);
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD length = GetFinalPathNameByHandleW(
        folder, path.data(), static_cast<DWORD>(path.size()), VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length + 1);
  }
  return {};
}

std::wstring Below(int dir_fd, std::string_view relative) {
  const std::wstring folder = FolderPathOf(dir_fd);
  if (folder.empty()) return {};
  return folder + L'\\' + Wide(relative);
}

// Whether one of the two SIDs the process makes new objects with (its user, and its default
// owner, which is the Administrators group for an elevated administrator) owns `handle`.
bool OwnedByThisUser(HANDLE handle) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  bool owned = false;
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    for (const TOKEN_INFORMATION_CLASS kind : {TokenUser, TokenOwner}) {
      DWORD size = 0;
      GetTokenInformation(token, kind, nullptr, 0, &size);
      std::vector<BYTE> info(size);
      if (size == 0 || !GetTokenInformation(token, kind, info.data(), size, &size)) continue;
      const PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid
                                         : reinterpret_cast<TOKEN_OWNER*>(info.data())->Owner;
      owned = owned || EqualSid(owner, sid);
    }
    CloseHandle(token);
  }
  LocalFree(descriptor);
  return owned;
}

// Opens an existing folder that is a real folder (not a junction or link) of this user.
ScopedFd OpenOwnFolder(const std::wstring& path, std::error_code& ec) {
  ScopedHandle folder =
      Adopt(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder) {
    ec = LastError();
    return {};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(folder.get(), &info)) {
    ec = LastError();
    return {};
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return {};
  }
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ec = std::make_error_code(std::errc::not_a_directory);
    return {};
  }
  if (!OwnedByThisUser(folder.get())) {
    ec = make_error_code(FileError::kForeignOwner);
    return {};
  }
  return DescriptorFor(std::move(folder), _O_RDONLY, ec);
}

ScopedFd CreateOwnFolderWide(const std::wstring& path, std::error_code& ec) {
  if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    ec = LastError();
    return {};
  }
  return OpenOwnFolder(path, ec);
}

std::error_code RemoveTree(const std::wstring& path, int depth);

// Removes what a folder holds; a link inside is removed as a link, never followed.
std::error_code EmptyFolder(const std::wstring& path, int depth) {
  if (depth > kMaxFolderDepth) return std::make_error_code(std::errc::too_many_links);
  WIN32_FIND_DATAW entry{};
  const HANDLE search = FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return LastError();
  std::error_code first;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::error_code error = RemoveTree(path + L'\\' + name, depth + 1);
    if (!first) first = error;
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  return first;
}

std::error_code RemoveTree(const std::wstring& path, int depth) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
  const bool folder = attributes & FILE_ATTRIBUTE_DIRECTORY;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (folder && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    const std::error_code emptied = EmptyFolder(path, depth);
    if (!RemoveDirectoryW(path.c_str())) return emptied ? emptied : LastError();
    return emptied;
  }
  const BOOL removed = folder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
  return removed ? std::error_code{} : LastError();
}

std::error_code RemoveFolderTreeWide(const std::wstring& path) {
  std::error_code error;
  ScopedFd folder = OpenOwnFolder(path, error);
  if (error == std::errc::no_such_file_or_directory) return {};
  if (error) return error;
  folder.reset();  // the handle would keep the folder from going
  return RemoveTree(path, 0);
}

// The folders of `relative` below `base`, created as needed; each must be a real folder.
std::error_code CreateParentsBelow(const std::wstring& base, std::string_view relative) {
  std::wstring path = base;
  std::size_t start = 0;
  for (auto slash = relative.find('/'); slash != std::string_view::npos;
       start = slash + 1, slash = relative.find('/', start)) {
    path += L'\\' + WideFromUtf8(relative.substr(start, slash - start));
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return LastError();
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      return std::make_error_code(std::errc::too_many_symbolic_link_levels);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return std::make_error_code(std::errc::not_a_directory);
    }
  }
  return {};
}

ScopedFd CreateNewFile(const std::wstring& path, std::error_code& ec) {
  ScopedHandle file = Adopt(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    ec = LastError();
    return {};
  }
  return DescriptorFor(std::move(file), _O_WRONLY, ec);
}

bool IsReparsePoint(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring TemporaryNameBeside(const std::wstring& path) {
  static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::wstring name = path + L'.';
  for (int i = 0; i < 8; ++i) name += kLetters[random() % 36];
  return name;
}

std::error_code ReadAt(HANDLE file, std::uint64_t offset, std::uint8_t* data, DWORD size,
                       DWORD& got) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  got = 0;
  if (ReadFile(file, data, size, &got, &at)) return {};
  if (GetLastError() == ERROR_HANDLE_EOF) return {};
  return LastError();
}

}  // namespace

void ScopedFd::reset(int fd) {
  if (fd_ >= 0) _close(fd_);
  fd_ = fd;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TempDirectory() {
  wchar_t buffer[MAX_PATH + 2] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 2, buffer);
  if (length == 0 || length > MAX_PATH + 1) return ".";
  std::wstring path(buffer, length);
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return Utf8FromWide(path);
}

std::string ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 6; ++attempt) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      const auto separator = path.find_last_of(L"\\/");
      return separator == std::wstring::npos ? std::string()
                                             : Utf8FromWide(path.substr(0, separator));
    }
    path.resize(path.size() * 2);
  }
  return {};
}

// Access rights on Windows are ACLs, not mode bits: the one sure answer is to try.
bool CanCreateFilesIn(const std::string& folder) {
  if (folder.empty()) return false;
  const std::wstring probe = TemporaryNameBeside(Wide(folder) + L"\\.kvx-probe");
  const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

ScopedFd CreateOwnFolderAt(int dir_fd, const std::string& name, std::error_code& ec) {
  const std::wstring path = Below(dir_fd, name);
  if (path.empty()) {
    ec = LastError();
    return {};
  }
  return CreateOwnFolderWide(path, ec);
}

ScopedFd CreateOwnFolder(const std::string& path, std::error_code& ec) {
  return CreateOwnFolderWide(Wide(path), ec);
}

std::error_code RemoveFolderTreeAt(int dir_fd, const std::string& name) {
  const std::wstring path = Below(dir_fd, name);
  return path.empty() ? LastError() : RemoveFolderTreeWide(path);
}

std::error_code RemoveFolderTree(const std::string& path) {
  return RemoveFolderTreeWide(Wide(path));
}

ScopedFd CreateFileBelow(int dir_fd, std::string_view relative, std::error_code& ec) {
  if (!IsSafeRelativePath(relative)) {
    ec = make_error_code(FileError::kUnsafeName);
    return {};
  }
  const std::wstring base = FolderPathOf(dir_fd);
  if (base.empty()) {
    ec = LastError();
    return {};
  }
  if ((ec = CreateParentsBelow(base, relative))) return {};
  return CreateNewFile(base + L'\\' + Wide(relative), ec);
}

std::error_code WriteAll(int fd, std::span<const std::uint8_t> data) {
  while (!data.empty()) {
    const auto chunk = static_cast<unsigned>(std::min(data.size(), kMaxIoChunk));
    const int written = _write(fd, data.data(), chunk);
    if (written < 0) return CrtError();
    data = data.subspan(static_cast<std::size_t>(written));
  }
  return {};
}

std::error_code RemoveFile(const std::string& path) {
  return DeleteFileW(Wide(path).c_str()) ? std::error_code{} : LastError();
}

std::error_code RemoveFileAt(int dir_fd, const std::string& relative) {
  const std::wstring path = Below(dir_fd, relative);
  if (path.empty()) return LastError();
  return DeleteFileW(path.c_str()) ? std::error_code{} : LastError();
}

std::error_code CloseFile(ScopedFd& fd) {
  return _close(fd.release()) == 0 ? std::error_code{} : CrtError();
}

std::error_code SyncFile(int fd) {
  return FlushFileBuffers(HandleOf(fd)) ? std::error_code{} : LastError();
}

ScopedFd OpenForWriting(const std::string& path, IfExists if_exists, unsigned,
                        std::error_code& ec) {
  const std::wstring wide = Wide(path);
  DWORD access = GENERIC_WRITE;
  DWORD disposition = CREATE_ALWAYS;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  switch (if_exists) {
    case IfExists::kRefuse:
      disposition = CREATE_NEW;
      flags |= FILE_FLAG_OPEN_REPARSE_POINT;
      break;
    case IfExists::kTruncate:
      break;
    case IfExists::kTruncateNoLink:
      if (IsReparsePoint(wide)) {
        ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
        return {};
      }
      break;
    case IfExists::kAppend:
      // Append-only access: every write lands at the end, as with O_APPEND.
      access = FILE_APPEND_DATA | SYNCHRONIZE;
      disposition = OPEN_ALWAYS;
      break;
  }
  ScopedHandle file =
      Adopt(CreateFileW(wide.c_str(), access, kShareAll, nullptr, disposition, flags, nullptr));
  if (!file) {
    ec = LastError();
    return {};
  }
  return DescriptorFor(std::move(file), _O_WRONLY, ec);
}

std::error_code ReplaceFileAtomically(const std::string& path, std::string_view text,
                                      const ReplaceOptions& options) {
  const std::wstring target = Wide(path);
  std::wstring temporary;
  std::error_code error;
  ScopedFd fd;
  for (int attempt = 0; attempt < 16 && !fd; ++attempt) {
    temporary = TemporaryNameBeside(target);
    fd = CreateNewFile(temporary, error);
    if (error && error != std::errc::file_exists) return error;
  }
  if (!fd) return error;
  error = WriteAll(fd.get(), text);
  if (!error && options.sync) error = SyncFile(fd.get());
  const std::error_code closed = CloseFile(fd);
  if (!error) error = closed;
  const DWORD move_flags = MOVEFILE_REPLACE_EXISTING | (options.sync ? MOVEFILE_WRITE_THROUGH : 0);
  if (!error && !MoveFileExW(temporary.c_str(), target.c_str(), move_flags)) error = LastError();
  if (error) DeleteFileW(temporary.c_str());
  return error;
}

RegularFile OpenRegularFile(const std::string& path, std::error_code& ec) {
  ec.clear();
  const std::wstring wide = Wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ec = make_error_code(FileError::kNotRegularFile);
    return {};
  }
  ScopedHandle file = Adopt(CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    ec = LastError();
    return {};
  }
  // A device (COM1, NUL, a pipe) answers to a file name too.
  LARGE_INTEGER size{};
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size)) {
    ec = make_error_code(FileError::kNotRegularFile);
    return {};
  }
  ScopedFd fd = DescriptorFor(std::move(file), _O_RDONLY, ec);
  if (ec) return {};
  return {std::move(fd), static_cast<std::uint64_t>(size.QuadPart)};
}

std::error_code ReadFileRange(int fd, std::uint64_t offset, std::span<std::uint8_t> buffer) {
  const HANDLE file = HandleOf(fd);
  std::size_t done = 0;
  while (done < buffer.size()) {
    const auto want = static_cast<DWORD>(std::min(buffer.size() - done, kMaxIoChunk));
    DWORD got = 0;
    if (const std::error_code error =
            ReadAt(file, offset + done, buffer.data() + done, want, got)) {
      return error;
    }
    if (got == 0) return make_error_code(FileError::kChangedWhileRead);  // got shorter
    done += got;
  }
  return {};
}

std::string ReadFilePrefix(const std::string& path, std::size_t max_size) {
  std::error_code error;
  const RegularFile file = OpenRegularFile(path, error);
  if (error) return {};
  std::string text(max_size, '\0');
  DWORD got = 0;
  const auto want = static_cast<DWORD>(std::min(max_size, kMaxIoChunk));
  if (ReadAt(HandleOf(file.fd.get()), 0, reinterpret_cast<std::uint8_t*>(text.data()), want, got)) {
    return {};
  }
  text.resize(got);
  return text;
}

std::error_code ReadFileStart(const std::string& path, std::size_t max_size, std::string& out) {
  out.clear();
  std::error_code error;
  const RegularFile file = OpenRegularFile(path, error);
  if (error) return error;
  // Up to the end as it is now, which may differ from the size measured at the open.
  out.resize(std::min(max_size, kMaxIoChunk));
  std::size_t done = 0;
  while (done < out.size()) {
    DWORD got = 0;
    error =
        ReadAt(HandleOf(file.fd.get()), done, reinterpret_cast<std::uint8_t*>(out.data()) + done,
               static_cast<DWORD>(out.size() - done), got);
    if (error || got == 0) break;
    done += got;
  }
  out.resize(error ? 0 : done);
  return error;
}

}  // namespace kvx
