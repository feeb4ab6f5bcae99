// The version scan of a whole image in memory, and the early boot check of an archive's image.
// The first input byte chooses the run's options; the rest is the image.
#include <cstdint>
#include <vector>

#include "image/image_versions.h"
#include "image/recording_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t options = data[0];
  // A copy of exactly the image's size, so ASan sees any read past its end.
  const std::vector<std::uint8_t> image(data + 1, data + size);

  kvx::RecordingHost host;
  host.dev_mode = (options & 1) != 0;
  kvx::ImageVersions versions;
  versions.downgrade_enabled = (options & 2) != 0;
  kvx::check_zipped_image(host, image.data(), image.size(), versions);
  kvx::parse_image_versions(host, image.data(), image.size(), versions);
  return 0;
}
