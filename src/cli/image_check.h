// What a firmware file holds, read with the engine's own loading code (CFirmwareImage::load_image)
// and without a terminal: for --info, and to refuse an unusable file before a run opens any port.
//
// Any thread; nothing is shared between calls.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "image/version_info.h"

namespace kvx {

struct ImageCheckOptions {
  bool downgrade = false;  // "Downgrade enable" widens the boot codes the parse accepts
  bool dev = false;        // the engine's development mode
};

struct ImageSummary {
  std::uint64_t size = 0;  // bytes of the image (the KVX item of an archive)
  std::string boot_text;   // display copies of the version texts found in the image
  std::string stack_text;
  std::string mmi_text;
  version_info_s mmi;
  nv_version_s nv;
};

// Why the file at `path` cannot be a firmware file at all (missing, unreadable, not a regular
// file), as "PATH: reason"; nothing when it may be one.
std::optional<std::string> FirmwareFileProblem(const std::string& path);

// Loads the image of the file at `path` as a start request would. Each operator message the
// load raises is passed to `report` as its text. Nothing when the file cannot be used.
std::optional<ImageSummary> CheckImage(const std::string& path, const ImageCheckOptions& options,
                                       const std::function<void(std::string_view)>& report);

// The --info report, one "label: value" line each: file, size, the four versions, and the
// segments a main upgrade (the image after the 0x40000-byte boot region) and a bootloader
// upgrade (the whole image) would send.
std::string FormatImageSummary(std::string_view display_path, const ImageSummary& summary);

}  // namespace kvx
