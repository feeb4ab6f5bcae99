// Sample KVX-01 firmware for tests, benchmarks and demonstrations: plain images with chosen
// version texts and sizes, and archives (.stf) holding KVX_, JQ_ and other items.
//
// An image is filler bytes that compress like firmware code, or the bytes of a given payload
// (real machine code, say a shared library), with the boot text at offset 85, the image tag
// followed by the stack text, an MMI text and an NV text. Archive items can be given a lying
// size or CRC, to exercise a reader's checks.
//
// Threads: no shared state; call from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvx {

inline constexpr std::string_view kSampleImageTag = "A0712639-C1F7-43ad-887E-42BA1473A4BB";
inline constexpr std::size_t kSampleBootTextOffset = 85;
inline constexpr std::size_t kSampleBootRegionSize = 0x40000;

// Version texts that the image parsers accept.
inline constexpr std::string_view kDefaultBootText = "SFQAABCDEFG V2.0.1";
inline constexpr std::string_view kDefaultStackText = "TALO_TYPE_VMR_NORMAL_V3.1.7";
inline constexpr std::string_view kDefaultMmiText = "KVX_2.10.3_ML_VM";
inline constexpr std::string_view kDefaultNvVersion = "1.02";

struct SampleImageSpec {
  std::size_t size = 1 << 20;
  // Each text is written with a terminating zero; std::nullopt leaves it out (filler stays).
  std::optional<std::string> boot = std::string(kDefaultBootText);    // at offset 85
  std::optional<std::string> stack = std::string(kDefaultStackText);  // after the tag; none: no tag
  std::optional<std::string> mmi = std::string(kDefaultMmiText);
  std::optional<std::string> nv = std::string(kDefaultNvVersion);  // written after "NV_VER"
  // Where the tag, the MMI text and the NV text begin. By default they follow one another just
  // after the boot region (or after the boot text in an image too small for that region).
  // A text placed near the end is cut off at the image's end; later texts overwrite earlier
  // ones where they overlap (boot, tag and stack, MMI, NV).
  std::optional<std::size_t> tag_offset;
  std::optional<std::size_t> mmi_offset;
  std::optional<std::size_t> nv_offset;
  std::uint64_t seed = 1;  // of the filler
  // When not empty, the image is these bytes, repeated or cut off at its size, instead of
  // filler; the texts are written over them as over filler.
  std::vector<std::uint8_t> payload;
};

// Builds the image. Throws std::invalid_argument when a text would begin past the image's end.
std::vector<std::uint8_t> MakeSampleImage(const SampleImageSpec& spec);

// Fills `out` with deterministic bytes that deflate roughly 3:1, like firmware code: neither
// zeros nor noise. They never hold the byte 'V', so no version marker appears by chance.
void FillFirmwareLike(std::span<std::uint8_t> out, std::uint64_t seed);

// Fills `out` with `payload` (not empty) repeated, the last copy cut off at the end. Where the
// payload holds the start of a version marker ("KVX", " TV", "NV_", or "A07" of the image tag),
// its middle byte is raised by one, so only the texts placed in the image are found there.
void FillFromPayload(std::span<std::uint8_t> out, std::span<const std::uint8_t> payload);

// The first `max_size` bytes of the regular file `path` (all of a shorter one), for a payload:
// an image never needs more of it than its own size. False with `error` set when the file
// cannot be read or is empty.
bool ReadPayloadFile(const std::string& path, std::size_t max_size,
                     std::vector<std::uint8_t>& payload, std::string& error);

struct SampleArchiveItem {
  std::string name;  // the stored name's bytes, folder part included
  std::vector<std::uint8_t> data;
  bool folder = false;     // a folder entry: no data; the name should end in '/'
  bool utf8_name = false;  // mark the name as UTF-8 (general-purpose flag bit 11), else CP437
  bool stored = false;     // store instead of deflating
  // A size or CRC to declare instead of the true one: the data is deflated here and written
  // raw, so the archive's directory says what is given.
  std::optional<std::uint64_t> declared_size;
  std::optional<std::uint32_t> declared_crc;
};

// Writes the items to a new archive at `path` (replacing a file there). False with `error` set
// when it could not be written.
bool WriteSampleArchive(const std::string& path, std::span<const SampleArchiveItem> items,
                        std::string& error);

// Writes `data` to `path` (replacing a file there). False with `error` set on failure.
bool WriteSampleFile(const std::string& path, std::span<const std::uint8_t> data,
                     std::string& error);

}  // namespace kvx
