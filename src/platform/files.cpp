// The parts of the file layer that use no system service: error texts, the check of names
// that come from archives, and whole-file reads and writes composed of the system's calls.
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>
#include <string>

namespace kvx {
namespace {

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

template <typename Bytes>
std::error_code ReadWholeFileInto(const std::string& path, std::size_t max_size, Bytes& out) {
  std::error_code error;
  const RegularFile file = OpenRegularFile(path, error);
  if (error) return error;
  if (file.size > max_size) return std::make_error_code(std::errc::file_too_large);
  try {
    out.resize(static_cast<std::size_t>(file.size));
  } catch (const std::bad_alloc&) {
    return std::make_error_code(std::errc::not_enough_memory);
  }
  error = ReadFileExactly(file.fd.get(),
                          std::span(reinterpret_cast<std::uint8_t*>(out.data()), out.size()));
  if (error) out.clear();
  return error;
}

// Windows reads a name ending in a dot or space without it, and a reserved device name (with any
// extension) as the device, on every system the archive may be unpacked on; ':' names a drive
// or a file's alternate stream.
bool IsReservedDeviceName(std::string_view component) {
  const std::string_view stem = component.substr(0, component.find('.'));
  std::string upper;
  for (const char c : stem) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  while (!upper.empty() && upper.back() == ' ') upper.pop_back();
  for (const char* name : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (upper == name) return true;
  }
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '1' && upper[3] <= '9';
}

bool IsSafeComponent(std::string_view component) {
  if (component.empty() || component == "." || component == "..") return false;
  if (component.back() == '.' || component.back() == ' ') return false;
  return !IsReservedDeviceName(component);
}

}  // namespace

const std::error_category& file_error_category() {
  static const FileErrorCategory category;
  return category;
}

std::error_code make_error_code(FileError error) {
  return {static_cast<int>(error), file_error_category()};
}

bool IsSafeRelativePath(std::string_view relative) {
  if (relative.empty() || relative.front() == '/') return false;
  if (relative.find_first_of(std::string_view("\\:\0", 3)) != std::string_view::npos) return false;
  std::size_t start = 0;
  while (true) {
    const auto slash = relative.find('/', start);
    if (!IsSafeComponent(relative.substr(start, slash - start))) return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

ScopedFd& ScopedFd::operator=(ScopedFd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

int ScopedFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

std::error_code WriteAll(int fd, std::string_view text) {
  return WriteAll(fd, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::error_code WriteWholeFile(const std::string& path, std::span<const std::uint8_t> data,
                               IfExists if_exists, unsigned mode) {
  std::error_code error;
  ScopedFd fd = OpenForWriting(path, if_exists, mode, error);
  if (error) return error;
  error = WriteAll(fd.get(), data);
  const std::error_code closed = CloseFile(fd);
  return error ? error : closed;
}

std::error_code WriteWholeFile(const std::string& path, std::string_view text, IfExists if_exists,
                               unsigned mode) {
  return WriteWholeFile(path,
                        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                        if_exists, mode);
}

std::error_code ReadWholeFile(const std::string& path, std::size_t max_size,
                              std::vector<std::uint8_t>& out) {
  return ReadWholeFileInto(path, max_size, out);
}

std::error_code ReadWholeFile(const std::string& path, std::size_t max_size, std::string& out) {
  return ReadWholeFileInto(path, max_size, out);
}

std::error_code WriteNewFile(const std::string& path, std::span<const std::uint8_t> data) {
  std::error_code error;
  ScopedFd fd = OpenForWriting(path, IfExists::kRefuse, 0600, error);
  if (error) return error;
  error = WriteAll(fd.get(), data);
  const std::error_code closed = CloseFile(fd);
  if (!error) error = closed;
  if (error) RemoveFile(path);
  return error;
}

std::error_code ReadFileExactly(int fd, std::span<std::uint8_t> buffer) {
  if (const std::error_code error = ReadFileRange(fd, 0, buffer)) return error;
  // One byte more than expected means the file grew: what we hold is not the whole file.
  std::uint8_t probe = 0;
  const std::error_code past_end = ReadFileRange(fd, buffer.size(), std::span(&probe, 1));
  if (past_end == FileError::kChangedWhileRead) return {};  // it ends where it should
  return past_end ? past_end : make_error_code(FileError::kChangedWhileRead);
}

StdioFile OpenRegularFileStream(const std::string& path, std::error_code& ec) {
  RegularFile file = OpenRegularFile(path, ec);
  if (ec) return nullptr;
  StdioFile stream(fdopen(file.fd.get(), "rb"));
  if (!stream) {
    ec = {errno, std::generic_category()};
    return nullptr;
  }
  file.fd.release();  // the stream owns it now
  return stream;
}

}  // namespace kvx
