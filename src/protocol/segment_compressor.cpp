#include "protocol/segment_compressor.h"

#include <libdeflate.h>
#include <zlib.h>

namespace kvx {

namespace {

constexpr int kMaxLevel = 12;  // libdeflate's highest

}  // namespace

SegmentCompressor::SegmentCompressor() = default;
SegmentCompressor::~SegmentCompressor() = default;

void SegmentCompressor::FreeCompressor::operator()(libdeflate_compressor* compressor) const {
  libdeflate_free_compressor(compressor);
}

bool SegmentCompressor::SetLevel(Level level) {
  if (level == Level::kMax && !max_) {
    max_.reset(libdeflate_alloc_compressor(kMaxLevel));
    if (!max_) return false;
  }
  level_ = level;
  return true;
}

std::optional<std::size_t> SegmentCompressor::Compress(std::span<const std::uint8_t> raw,
                                                       std::span<std::uint8_t> out) {
  if (level_ == Level::kMax) {
    const std::size_t length =
        libdeflate_zlib_compress(max_.get(), raw.data(), raw.size(), out.data(), out.size());
    if (length == 0) return std::nullopt;  // did not fit
    return length;
  }
  uLongf length = out.size();
  if (compress(out.data(), &length, raw.data(), raw.size()) != Z_OK) return std::nullopt;
  return length;
}

}  // namespace kvx
