#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>

namespace kvx {
namespace {

// Deeper trees than this are not ours to remove; it also bounds the descriptors held at once.
constexpr int kMaxFolderDepth = 64;
// Largest single read or write; keeps every count well inside ssize_t.
constexpr std::size_t kMaxIoChunk = std::size_t{1} << 30;

std::error_code LastError() {
  return {errno, std::generic_category()};
}

class FileErrorCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "kvx.files"; }
  std::string message(int value) const override {
    switch (static_cast<FileError>(value)) {
      case FileError::kChangedWhileRead:
        return "the file changed size while it was read";
      case FileError::kNotRegularFile:
        return "not a regular file";
      case FileError::kForeignOwner:
        return "the folder belongs to another user";
      case FileError::kUnsafeName:
        return "the name would leave its folder";
    }
    return "unknown file error";
  }
};

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

ScopedFd& ScopedFd::operator=(ScopedFd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

int ScopedFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void ScopedFd::reset(int fd) {
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
}

const std::error_category& file_error_category() {
  static const FileErrorCategory category;
  return category;
}

std::error_code make_error_code(FileError error) {
  return {static_cast<int>(error), file_error_category()};
}

std::string TempDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir == nullptr || *tmpdir == '\0') return "/tmp";
  return WithoutTrailingSlashes(tmpdir);
}

bool IsSafeRelativePath(std::string_view relative) {
  if (relative.empty() || relative.front() == '/') return false;
  if (relative.find('\\') != std::string_view::npos) return false;
  if (relative.find('\0') != std::string_view::npos) return false;
  const bool drive_letter =
      relative.size() >= 2 && relative[1] == ':' &&
      ((relative[0] >= 'A' && relative[0] <= 'Z') || (relative[0] >= 'a' && relative[0] <= 'z'));
  if (drive_letter) return false;
  std::size_t start = 0;
  while (true) {
    const auto slash = relative.find('/', start);
    const auto component = relative.substr(start, slash - start);
    if (component.empty() || component == "." || component == "..") return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
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

std::error_code WriteNewFile(const std::string& path, std::span<const std::uint8_t> data) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return LastError();
  std::error_code error = WriteAll(fd, data);
  // close() is where some file systems report a failed write.
  if (close(fd) != 0 && !error) error = LastError();
  if (error) unlink(path.c_str());
  return error;
}

std::error_code ReadFileExactly(int fd, std::span<std::uint8_t> buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t got = pread(fd, buffer.data() + done, std::min(buffer.size() - done, kMaxIoChunk),
                              static_cast<off_t>(done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (got == 0) return make_error_code(FileError::kChangedWhileRead);  // got shorter
    done += static_cast<std::size_t>(got);
  }
  // One byte more than expected means the file grew: what we hold is not the whole file.
  std::uint8_t probe = 0;
  while (true) {
    const ssize_t got = pread(fd, &probe, 1, static_cast<off_t>(buffer.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return LastError();
    return got == 0 ? std::error_code{} : make_error_code(FileError::kChangedWhileRead);
  }
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

std::error_code ReadWholeFile(const std::string& path, std::size_t max_size,
                              std::vector<std::uint8_t>& out) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below anyway.
  ScopedFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return LastError();
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) return make_error_code(FileError::kNotRegularFile);
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size > max_size) return std::make_error_code(std::errc::file_too_large);
  try {
    out.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return std::make_error_code(std::errc::not_enough_memory);
  }
  const auto error = ReadFileExactly(fd.get(), out);
  if (error) out.clear();
  return error;
}

}  // namespace kvx
