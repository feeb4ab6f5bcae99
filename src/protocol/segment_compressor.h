// Compresses one segment of the image into a write frame's body, as a zlib stream.
//
// The standard level is zlib's default (compress(), level 6). The maximum level is libdeflate at
// its highest level, which makes a smaller stream of the same format: the terminal inflates both
// alike. Either way the same segment gives the same bytes every time, so a resend rebuilt from
// the image is byte for byte the frame sent before.
//
// The maximum level's compressor holds a large state; it is made once, when that level is
// chosen, and kept: no allocation per segment.
//
// Threads: one owner at a time; not for concurrent use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

struct libdeflate_compressor;

namespace kvx {

class SegmentCompressor {
 public:
  enum class Level { kStandard, kMax };

  SegmentCompressor();
  ~SegmentCompressor();
  SegmentCompressor(const SegmentCompressor&) = delete;
  SegmentCompressor& operator=(const SegmentCompressor&) = delete;

  // False (the level unchanged) when the maximum level's compressor cannot be made.
  bool SetLevel(Level level);
  Level level() const { return level_; }

  // Compresses `raw` into `out`; the stream's length, or nothing when it does not fit in `out`
  // or compression fails.
  std::optional<std::size_t> Compress(std::span<const std::uint8_t> raw,
                                      std::span<std::uint8_t> out);

 private:
  struct FreeCompressor {
    void operator()(libdeflate_compressor* compressor) const;
  };

  Level level_ = Level::kStandard;
  std::unique_ptr<libdeflate_compressor, FreeCompressor> max_;
};

}  // namespace kvx
