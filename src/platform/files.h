// The program's one way to files and folders: the user's temporary directory and the program's
// own folder, owner-only folders that are emptied without following links, regular files opened
// for reading with their size, reads that are bounded and notice a file changing underneath
// them, writes that go out whole, and files replaced atomically.
//
// The temporary directory is shared with other users, so nothing here follows a symbolic link
// at or below a folder it creates or removes, and a folder that belongs to someone else is
// refused rather than used.
//
// On Windows (files_win32.cpp) descriptors are the C runtime's, over Windows handles; a folder's
// descriptor holds it open so it cannot be removed or renamed meanwhile; paths are UTF-8 and
// either separator serves; `mode` arguments are not used (new files take their folder's ACL).
//
// Threads: every function may be called from any thread; none keeps state. Errors are returned
// as std::error_code (errno values or FileError), never thrown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kvx {

// Owns one POSIX file descriptor and closes it when destroyed. Move-only.
class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(ScopedFd&& other) noexcept : fd_(other.release()) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept;
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ~ScopedFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  explicit operator bool() const { return valid(); }
  // Gives up ownership without closing.
  int release();
  // Closes the descriptor held, if any, and takes `fd`.
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Failures that have no errno of their own.
enum class FileError {
  kChangedWhileRead = 1,  // the file got shorter or longer while it was read
  kNotRegularFile,        // a device, pipe or folder where a plain file was expected
  kForeignOwner,          // the folder belongs to another user
  kUnsafeName,            // a relative name that would leave its folder
};
const std::error_category& file_error_category();
std::error_code make_error_code(FileError error);

// Whether something is at `path` now, a link being followed to what it names.
bool FileExists(const std::string& path);

// The user's temporary directory: $TMPDIR when it is set and not empty, else "/tmp"; without a
// trailing '/' (unless it is "/").
std::string TempDirectory();

// The folder of the running program's file, or "" when the system does not say.
std::string ProgramFolder();

// Whether this process may create files in `folder`: a folder that the effective user may write
// and enter. A read-only mount is not writable, even for root.
bool CanCreateFilesIn(const std::string& folder);

// Whether `relative` names something inside a folder: not empty, not absolute, no drive letter,
// no backslash, no NUL, and no empty, "." or ".." component. Components are separated by '/'.
bool IsSafeRelativePath(std::string_view relative);

// Creates the folder `name` in the folder `dir_fd` (AT_FDCWD: the current folder) with mode 0700,
// or accepts an existing one that is a real folder (not a link) owned by this user, and opens
// it. Refuses a link (ELOOP), a non-folder (ENOTDIR) and a folder of another user
// (FileError::kForeignOwner).
ScopedFd CreateOwnFolderAt(int dir_fd, const std::string& name, std::error_code& ec);
// The same for a path: the parent folders are used as they are; only the last one is created.
ScopedFd CreateOwnFolder(const std::string& path, std::error_code& ec);

// Removes the folder `path` and everything in it. (On Windows a folder held open by
// CreateOwnFolder stays until it is closed: the handle keeps it from being removed or renamed.)
// Never follows a symbolic link: a link inside is removed as a link, and a `path` that is itself a
// link, not a folder, or owned by another user is refused and left untouched. A folder that does
// not exist is not an error. Goes on past entries it cannot remove and returns the first error.
std::error_code RemoveFolderTree(const std::string& path);
// The same for the entry `name` of the folder `dir_fd`.
std::error_code RemoveFolderTreeAt(int dir_fd, const std::string& name);

// Creates the new file `relative` below the folder `dir_fd`, write-only, mode 0600, with any
// folders of its path (mode 0700). Never follows a link and never opens an existing file
// (O_CREAT | O_EXCL | O_NOFOLLOW). `relative` must pass IsSafeRelativePath.
ScopedFd CreateFileBelow(int dir_fd, std::string_view relative, std::error_code& ec);

// Removes the file `path`, or the file `relative` below the folder `dir_fd`; never a folder.
std::error_code RemoveFile(const std::string& path);
std::error_code RemoveFileAt(int dir_fd, const std::string& relative);

// Writes all of `data` to `fd`, retrying short writes and EINTR.
std::error_code WriteAll(int fd, std::span<const std::uint8_t> data);
std::error_code WriteAll(int fd, std::string_view text);

// Asks the system to put what was written to `fd` on the disk before returning.
std::error_code SyncFile(int fd);

// Closes `fd` now and reports what close says: some file systems report a failed write only
// there. `fd` is empty afterwards, whatever the outcome.
std::error_code CloseFile(ScopedFd& fd);

// What opening a file for writing does with something already at its path.
enum class IfExists {
  kRefuse,          // a file or a link there is refused (EEXIST)
  kTruncate,        // an existing file is emptied; a link at the path is followed
  kTruncateNoLink,  // an existing file is emptied; a link at the path is refused (ELOOP)
  kAppend,          // every write goes to the end of an existing file; a link is followed
};

// Opens `path` write-only, created with `mode` (less the umask) when nothing is there.
ScopedFd OpenForWriting(const std::string& path, IfExists if_exists, unsigned mode,
                        std::error_code& ec);

// OpenForWriting, WriteAll and CloseFile in one. What was written before a failure stays.
std::error_code WriteWholeFile(const std::string& path, std::string_view text, IfExists if_exists,
                               unsigned mode);
std::error_code WriteWholeFile(const std::string& path, std::span<const std::uint8_t> data,
                               IfExists if_exists, unsigned mode);

// Writes `data` to the new file `path` (mode 0600); an existing file or link there is refused.
// A file that could not be written whole is removed again.
std::error_code WriteNewFile(const std::string& path, std::span<const std::uint8_t> data);

struct ReplaceOptions {
  unsigned new_file_mode = 0600;  // less the umask; a file replaced keeps its own mode
  bool sync = true;               // fsync the file before, and its folder after, the rename
};

// Replaces the file `path` with `text` through a new file beside it and a rename, so readers
// and a crash see either the old file or the whole new one, never a part. The folder must
// exist. The file beside it is removed again on failure.
std::error_code ReplaceFileAtomically(const std::string& path, std::string_view text,
                                      const ReplaceOptions& options);

// A regular file opened for reading, and its size when it was opened.
struct RegularFile {
  ScopedFd fd;
  std::uint64_t size = 0;
};

// Opens `path` for reading. Anything but a regular file is refused with
// FileError::kNotRegularFile; O_NONBLOCK keeps a FIFO at the path from blocking the caller.
RegularFile OpenRegularFile(const std::string& path, std::error_code& ec);

// Closes a stdio stream.
struct StdioCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<std::FILE, StdioCloser>;

// OpenRegularFile as a binary stdio stream, for libraries that read through FILE*.
StdioFile OpenRegularFileStream(const std::string& path, std::error_code& ec);

// Reads the first `buffer.size()` bytes of the open file `fd` into `buffer` (from offset 0,
// not moving the file offset), and checks that the file ends exactly there: a file that got
// shorter or longer than the size the caller measured is refused with
// FileError::kChangedWhileRead.
std::error_code ReadFileExactly(int fd, std::span<std::uint8_t> buffer);

// Reads `buffer.size()` bytes at `offset` of the open file `fd`; a file that ends before them is
// refused with FileError::kChangedWhileRead.
std::error_code ReadFileRange(int fd, std::uint64_t offset, std::span<std::uint8_t> buffer);

// The first `max_size` bytes of `path`, or fewer where it ends sooner; empty when it cannot be
// opened or read. For the small text files of /proc and /sys, whose size fstat does not know.
// O_NONBLOCK keeps a FIFO or device node in a strange tree from blocking the caller.
std::string ReadFilePrefix(const std::string& path, std::size_t max_size);

// Reads the whole regular file `path` into `out`, refusing one longer than `max_size` (EFBIG),
// one that is not a regular file and one that changes size while it is read.
std::error_code ReadWholeFile(const std::string& path, std::size_t max_size,
                              std::vector<std::uint8_t>& out);
std::error_code ReadWholeFile(const std::string& path, std::size_t max_size, std::string& out);

// The first `max_size` bytes of the regular file `path` into `out`, or all of a shorter one.
// Refuses what OpenRegularFile refuses.
std::error_code ReadFileStart(const std::string& path, std::size_t max_size, std::string& out);

}  // namespace kvx

template <>
struct std::is_error_code_enum<kvx::FileError> : std::true_type {};
