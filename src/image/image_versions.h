// The version texts of a firmware image: where they lie and how they are found.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/image_host.h"

namespace kvx {

struct ImageVersions;  // the image's text fields and version records

// Scans the whole image (already in memory) for its boot, stack, MMI and NV texts and parses them.
// False: an operator message has been posted through `host` and the load must stop.
bool parse_image_versions(ImageHost& host, const std::uint8_t* image, std::size_t size,
                          ImageVersions& versions);

// Early boot-version check of an image taken from an archive.
bool check_zipped_image(ImageHost& host, const std::uint8_t* image, std::size_t size,
                        ImageVersions& versions);

}  // namespace kvx
