// A fresh folder of a test's own under the temporary directory ($TMPDIR, else /tmp), removed with
// everything in it when the object goes, so a run of the suite leaves nothing behind.
//
// path() is text, for tests that join names with '+'; `folder / name` is a std::filesystem::path.
// A folder that cannot be made throws: a test must not go on writing into the root.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace kvx::test {

class TempFolder {
 public:
  TempFolder() {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp") + "/kvx-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    }
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);  // does not follow links out of the folder
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const {
    return std::filesystem::path(path_) / name;
  }

  // Whole-file helpers for what tests put into the folder and read back.
  static void Write(const std::filesystem::path& file, std::string_view text) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
  }
  static std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::string path_;
};

}  // namespace kvx::test
