#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <random>

namespace kvx {
namespace {

// Deeper trees than this are not ours to remove; it also bounds the descriptors held at once.
constexpr int kMaxFolderDepth = 64;
// Largest single read or write; keeps every count well inside ssize_t.
constexpr std::size_t kMaxIoChunk = std::size_t{1} << 30;

std::error_code LastError() {
  return {errno, std::generic_category()};
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Splits "a/b/c" into "a/b" and "c"; a bare name has the parent ".".
struct ParentAndName {
  std::string parent;
  std::string name;
};
ParentAndName SplitParent(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {std::string("."), path};
  return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

// A folder entry must be a real folder of this user before we empty it or write below it.
std::error_code CheckOwnFolder(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return std::make_error_code(std::errc::too_many_symbolic_link_levels);
  if (!S_ISDIR(st.st_mode)) return std::make_error_code(std::errc::not_a_directory);
  if (st.st_uid != geteuid()) return make_error_code(FileError::kForeignOwner);
  return {};
}

// Reads from the file offset on until the end of the file or `max_size` bytes.
std::error_code ReadUpTo(int fd, std::size_t max_size, std::string& out) {
  std::array<char, 65536> buffer{};
  while (out.size() < max_size) {
    const std::size_t want = std::min(buffer.size(), max_size - out.size());
    const ssize_t got = read(fd, buffer.data(), want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return LastError();
    if (got == 0) break;
    out.append(buffer.data(), static_cast<std::size_t>(got));
  }
  return {};
}

int OpenFlagsFor(IfExists if_exists) {
  constexpr int kWrite = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY;
  switch (if_exists) {
    case IfExists::kRefuse:
      return kWrite | O_EXCL | O_NOFOLLOW;
    case IfExists::kTruncate:
      return kWrite | O_TRUNC;
    case IfExists::kTruncateNoLink:
      return kWrite | O_TRUNC | O_NOFOLLOW;
    case IfExists::kAppend:
      return kWrite | O_APPEND;
  }
  return kWrite | O_EXCL | O_NOFOLLOW;
}

// A new file beside `path` with a name no one else uses ("<path>.XXXXXX"), created with `mode`
// less the umask, as open() makes every new file.
ScopedFd CreateFileBeside(const std::string& path, unsigned mode, std::string& name) {
  static constexpr std::string_view kLetters =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::minstd_rand random(std::random_device{}());
  std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    name = path + '.';
    for (int i = 0; i < 6; ++i) name += kLetters[pick(random)];
    ScopedFd fd(open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     static_cast<mode_t>(mode)));
    if (fd || errno != EEXIST) return fd;
  }
  return {};
}

// Makes a rename in `folder` durable; a failure here loses nothing already written.
void SyncFolderOf(const std::string& path) {
  const auto [folder, name] = SplitParent(path);
  const ScopedFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) fsync(dir.get());
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

std::error_code ListFolder(int dir_fd, std::vector<std::string>& names) {
  // fdopendir takes over the descriptor it is given, so hand it a duplicate.
  const int dup_fd = fcntl(dir_fd, F_DUPFD_CLOEXEC, 0);
  if (dup_fd < 0) return LastError();
  std::unique_ptr<DIR, DirCloser> dir(fdopendir(dup_fd));
  if (!dir) {
    const auto error = LastError();
    close(dup_fd);
    return error;
  }
  errno = 0;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
    errno = 0;
  }
  return errno != 0 ? LastError() : std::error_code{};
}

std::error_code EmptyFolder(int dir_fd, int depth) {
  if (depth > kMaxFolderDepth)
    return std::make_error_code(std::errc::too_many_symbolic_link_levels);
  std::vector<std::string> names;
  std::error_code first_error = ListFolder(dir_fd, names);
  const auto note = [&first_error](std::error_code error) {
    if (error && !first_error) first_error = error;
  };
  for (const auto& name : names) {
    struct stat st {};
    if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) note(LastError());
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      ScopedFd child(openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!child) {
        note(LastError());
        continue;
      }
      note(EmptyFolder(child.get(), depth + 1));
      if (unlinkat(dir_fd, name.c_str(), AT_REMOVEDIR) != 0) note(LastError());
    } else if (unlinkat(dir_fd, name.c_str(), 0) != 0 && errno != ENOENT) {
      note(LastError());
    }
  }
  return first_error;
}

}  // namespace

void ScopedFd::reset(int fd) {
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

std::string TempDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir == nullptr || *tmpdir == '\0') return "/tmp";
  return WithoutTrailingSlashes(tmpdir);
}

std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return program.parent_path().string();
}

bool CanCreateFilesIn(const std::string& folder) {
  struct stat info {};
  if (folder.empty() || stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  // Creating a file needs both: write to add the entry, search to reach it.
  return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

ScopedFd CreateOwnFolderAt(int dir_fd, const std::string& name, std::error_code& ec) {
  ec.clear();
  if (mkdirat(dir_fd, name.c_str(), 0700) != 0 && errno != EEXIST) {
    ec = LastError();
    return {};
  }
  // O_NOFOLLOW: a link planted under the folder's name is refused, not entered.
  ScopedFd folder(openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folder) {
    ec = LastError();
    // Linux reports a link as "not a folder" here; name it as what it is.
    struct stat entry {};
    if (fstatat(dir_fd, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0) {
      if (const auto refusal = CheckOwnFolder(entry)) ec = refusal;
    }
    return {};
  }
  struct stat st {};
  if (fstat(folder.get(), &st) != 0) {
    ec = LastError();
    return {};
  }
  if ((ec = CheckOwnFolder(st))) return {};
  // The umask may have widened or narrowed what mkdir made; owner-only is what we want.
  if ((st.st_mode & 07777) != 0700 && fchmod(folder.get(), 0700) != 0) {
    ec = LastError();
    return {};
  }
  return folder;
}

ScopedFd CreateOwnFolder(const std::string& path, std::error_code& ec) {
  // A trailing '/' would make the kernel follow a link at the last component.
  return CreateOwnFolderAt(AT_FDCWD, WithoutTrailingSlashes(path), ec);
}

std::error_code RemoveFolderTreeAt(int dir_fd, const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    return std::make_error_code(std::errc::invalid_argument);
  }
  struct stat st {};
  if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? std::error_code{} : LastError();
  }
  if (const auto error = CheckOwnFolder(st)) return error;
  ScopedFd folder(openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folder) return errno == ENOENT ? std::error_code{} : LastError();
  // The entry may have been swapped between the check and the open.
  struct stat opened {};
  if (fstat(folder.get(), &opened) != 0) return LastError();
  if (opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
    return std::make_error_code(std::errc::device_or_resource_busy);
  }
  if (const auto error = CheckOwnFolder(opened)) return error;

  std::error_code first_error = EmptyFolder(folder.get(), 0);
  folder.reset();
  if (unlinkat(dir_fd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT && !first_error) {
    first_error = LastError();
  }
  return first_error;
}

std::error_code RemoveFolderTree(const std::string& path) {
  if (path.empty()) return {};
  const auto [parent, name] = SplitParent(WithoutTrailingSlashes(path));
  ScopedFd parent_fd(open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!parent_fd) return errno == ENOENT ? std::error_code{} : LastError();
  return RemoveFolderTreeAt(parent_fd.get(), name);
}

ScopedFd CreateFileBelow(int dir_fd, std::string_view relative, std::error_code& ec) {
  ec.clear();
  if (!IsSafeRelativePath(relative)) {
    ec = make_error_code(FileError::kUnsafeName);
    return {};
  }
  ScopedFd current;  // the folder reached so far; dir_fd until the first component
  std::size_t start = 0;
  for (auto slash = relative.find('/'); slash != std::string_view::npos;
       slash = relative.find('/', start)) {
    const std::string component(relative.substr(start, slash - start));
    ScopedFd next = CreateOwnFolderAt(current ? current.get() : dir_fd, component, ec);
    if (ec) return {};
    current = std::move(next);
    start = slash + 1;
  }
  const std::string leaf(relative.substr(start));
  ScopedFd file(openat(current ? current.get() : dir_fd, leaf.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file) ec = LastError();
  return file;
}

std::error_code WriteAll(int fd, std::span<const std::uint8_t> data) {
  while (!data.empty()) {
    const ssize_t written = write(fd, data.data(), std::min(data.size(), kMaxIoChunk));
    if (written < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    data = data.subspan(static_cast<std::size_t>(written));
  }
  return {};
}

std::error_code RemoveFile(const std::string& path) {
  return unlink(path.c_str()) == 0 ? std::error_code{} : LastError();
}

std::error_code RemoveFileAt(int dir_fd, const std::string& relative) {
  return unlinkat(dir_fd, relative.c_str(), 0) == 0 ? std::error_code{} : LastError();
}

std::error_code CloseFile(ScopedFd& fd) {
  return close(fd.release()) == 0 ? std::error_code{} : LastError();
}

std::error_code SyncFile(int fd) {
  return fdatasync(fd) == 0 ? std::error_code{} : LastError();
}

ScopedFd OpenForWriting(const std::string& path, IfExists if_exists, unsigned mode,
                        std::error_code& ec) {
  ScopedFd fd(open(path.c_str(), OpenFlagsFor(if_exists), static_cast<mode_t>(mode)));
  ec = fd ? std::error_code{} : LastError();
  return fd;
}

std::error_code ReplaceFileAtomically(const std::string& path, std::string_view text,
                                      const ReplaceOptions& options) {
  std::string temporary;
  ScopedFd fd = CreateFileBeside(path, options.new_file_mode, temporary);
  if (!fd) return LastError();
  std::error_code error;
  struct stat old {};
  if (stat(path.c_str(), &old) == 0 && fchmod(fd.get(), old.st_mode & 07777) != 0) {
    error = LastError();
  }
  if (!error) error = WriteAll(fd.get(), text);
  if (!error && options.sync && fsync(fd.get()) != 0) error = LastError();
  const std::error_code closed = CloseFile(fd);
  if (!error) error = closed;
  if (!error && rename(temporary.c_str(), path.c_str()) != 0) error = LastError();
  if (error) {
    unlink(temporary.c_str());
    return error;
  }
  if (options.sync) SyncFolderOf(path);
  return {};
}

RegularFile OpenRegularFile(const std::string& path, std::error_code& ec) {
  ec.clear();
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below anyway.
  ScopedFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) {
    ec = LastError();
    return {};
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) {
    ec = LastError();
    return {};
  }
  if (!S_ISREG(st.st_mode)) {
    ec = make_error_code(FileError::kNotRegularFile);
    return {};
  }
  return {std::move(fd), static_cast<std::uint64_t>(st.st_size)};
}

std::error_code ReadFileRange(int fd, std::uint64_t offset, std::span<std::uint8_t> buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t got = pread(fd, buffer.data() + done, std::min(buffer.size() - done, kMaxIoChunk),
                              static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (got == 0) return make_error_code(FileError::kChangedWhileRead);  // got shorter
    done += static_cast<std::size_t>(got);
  }
  return {};
}

std::string ReadFilePrefix(const std::string& path, std::size_t max_size) {
  ScopedFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return {};
  std::string text(max_size, '\0');
  std::size_t size = 0;
  while (size < max_size) {
    const ssize_t got = read(fd.get(), text.data() + size, max_size - size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    size += static_cast<std::size_t>(got);
  }
  text.resize(size);
  return text;
}

std::error_code ReadFileStart(const std::string& path, std::size_t max_size, std::string& out) {
  out.clear();
  std::error_code error;
  const RegularFile file = OpenRegularFile(path, error);
  if (error) return error;
  error = ReadUpTo(file.fd.get(), max_size, out);
  if (error) out.clear();
  return error;
}

}  // namespace kvx
