// Archives and plain files as the operator would choose them: the input is written to a file,
// then staged (Open) and loaded (Start). Everything is written below a private $TMPDIR.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_support.h"
#include "image/firmware_image.h"
#include "image/image_versions.h"
#include "image/recording_host.h"

namespace {

namespace fs = std::filesystem;

// The engine's Disconnect releases the image and resets the run state; so does this host, so a
// failure in the middle of a load runs against a released image as it would in the engine.
class EngineLikeHost : public kvx::RecordingHost {
 public:
  kvx::CFirmwareImage* image = nullptr;
  void Disconnect(int string_id) override {
    RecordingHost::Disconnect(string_id);
    if (image != nullptr) {
      image->Release();
      image->ResetState();
    }
  }
};

fs::path g_scratch;

void RemoveScratch() {
  std::error_code ignored;
  fs::remove_all(g_scratch, ignored);
}

// The names the code tells apart: an archive, a JQ image and a KVX image.
constexpr std::array<const char*, 3> kFileNames = {"upgrade.stf", "JQ_1.bin", "KVX_1.bin"};

bool WriteInput(const fs::path& path, const std::uint8_t* data, std::size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = true;
  while (size > 0 && ok) {
    const ssize_t written = write(fd, data, size);
    ok = written > 0;
    if (ok) {
      data += written;
      size -= static_cast<std::size_t>(written);
    }
  }
  return close(fd) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/kvx-fuzz-staging-XXXXXX";
  kvx::fuzz::Require(mkdtemp(pattern) != nullptr, "scratch folder created");
  g_scratch = pattern;
  fs::create_directory(g_scratch / "tmp");
  setenv("TMPDIR", (g_scratch / "tmp").c_str(), 1);
  std::atexit(RemoveScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const fs::path file = g_scratch / kFileNames[data[0] % kFileNames.size()];
  kvx::fuzz::Require(WriteInput(file, data + 1, size - 1), "input written");

  EngineLikeHost host;
  host.file_path = file.string();
  host.dev_mode = (data[0] & 4) != 0;
  kvx::CFirmwareImage image(host);
  host.image = &image;
  kvx::ImageVersions versions;
  versions.downgrade_enabled = (data[0] & 8) != 0;

  image.stage_jq_image();
  if (image.load_image(versions)) {
    kvx::fuzz::Require(image.image() != nullptr && image.image_size() > 0, "a load has an image");
    kvx::fuzz::Require(image.send_size() <= image.image_size(), "send window inside the image");
  }
  image.Release();
  fs::remove(file);
  return 0;
}
