// The version texts of a firmware image: where they lie and how they are found.
//
// Layout as the parser sees it (every field is text; nothing else is at a fixed place):
//   offset 85          boot version text, zero-terminated ("SFQAABCDEFG V2.0.1")
//   anywhere           image tag "A0712639-C1F7-43ad-887E-42BA1473A4BB" (36 bytes, no terminator),
//                      immediately followed by the stack version text ("TALO_TYPE_...")
//   anywhere           MMI version text: "KVX_" and a digit, or " TVLMX_"
//   anywhere           NV version text: "NV_VER" and four characters
// A marker that begins in the last 37 bytes of the image is not looked for.
//
// The engine owns one ImageVersions and calls these functions on its own thread (the staging code
// calls check_zipped_image there too). The image buffer is only read, and only during the call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/image_host.h"
#include "image/version_info.h"

namespace kvx {

inline constexpr std::string_view kImageTag = "A0712639-C1F7-43ad-887E-42BA1473A4BB";
inline constexpr std::size_t kBootTextOffset = 85;
// Markers starting in the image's last kScanTail bytes are not seen.
inline constexpr std::size_t kScanTail = 37;
// Bytes copied for the boot text; the stack, MMI and NV texts take one less and keep a zero.
inline constexpr std::size_t kBootTextSize = 256;
inline constexpr std::size_t kVersionTextSize = 255;
// Bytes of the boot text that the early check of an archive's image looks at.
inline constexpr std::size_t kArchiveBootCheckSize = 64;

// One version text copied from the image: the raw bytes (zero past the copy) and a UTF-8 display
// copy. The download protocol reads the first bytes of the stack text raw.
struct ImageText {
  std::array<std::uint8_t, kBootTextSize> bytes{};
  std::string display;

  // The text proper: the bytes before the first zero, at most the whole field.
  std::string_view text() const;
  void Clear();
  // Replaces the field with `length` bytes from `from` (at most the field's size) and remakes the
  // display copy.
  void Assign(const std::uint8_t* from, std::size_t length);
};

struct ImageVersions {
  // Set by the owner before parsing: the run's "Downgrade enable" option, which widens the boot
  // standard codes accepted in the image.
  bool downgrade_enabled = false;

  // Texts of the last parse; emptied at the start of every parse.
  ImageText boot_text;
  ImageText stack_text;
  ImageText mmi_text;
  ImageText nv_text;

  // Records filled by the parse; cleared only by ResetRecords (the engine's ResetState).
  version_info_s mmi;
  version_info_s stack;
  bsp_info_s boot;
  bsp_info_s archive_boot;  // the early check of an archive's image
  nv_version_s nv;

  void ClearTexts();
  void ResetRecords();
};

// Scans the whole image (already in memory) for its boot, stack, MMI and NV texts and parses them.
// False: an operator message has been posted through `host` and the load must stop.
bool parse_image_versions(ImageHost& host, const std::uint8_t* image, std::size_t size,
                          ImageVersions& versions);

// Early boot-version check of an image taken from an archive: parses the 64 bytes at offset 85
// into versions.archive_boot. Posts no message; the caller reports a refusal.
bool check_zipped_image(ImageHost& host, const std::uint8_t* image, std::size_t size,
                        ImageVersions& versions);

}  // namespace kvx
