#include "protocol/segment_compressor.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <vector>

#include "protocol/frame_format.h"

namespace kvx {
namespace {

using Level = SegmentCompressor::Level;

// One segment of real machine code: 64 KiB of this test program, past its ELF headers.
std::vector<std::uint8_t> MachineCodeSegment() {
  std::ifstream program("/proc/self/exe", std::ios::binary);
  program.seekg(kSegmentSize);
  std::vector<std::uint8_t> segment(kSegmentSize);
  program.read(reinterpret_cast<char*>(segment.data()), static_cast<std::streamsize>(kSegmentSize));
  segment.resize(static_cast<std::size_t>(program.gcount()));
  return segment;
}

std::vector<std::uint8_t> Compressed(Level level, const std::vector<std::uint8_t>& raw) {
  SegmentCompressor compressor;
  EXPECT_TRUE(compressor.SetLevel(level));
  std::vector<std::uint8_t> body(kMaxFrameBody);
  const auto length = compressor.Compress(raw, body);
  EXPECT_TRUE(length.has_value());
  body.resize(length.value_or(0));
  return body;
}

std::vector<std::uint8_t> Inflated(const std::vector<std::uint8_t>& stream, std::size_t size) {
  std::vector<std::uint8_t> raw(size);
  uLongf length = raw.size();
  EXPECT_EQ(uncompress(raw.data(), &length, stream.data(), stream.size()), Z_OK);
  raw.resize(length);
  return raw;
}

class SegmentCompressorTest : public ::testing::TestWithParam<Level> {};

TEST_P(SegmentCompressorTest, MakesAZlibStreamThatInflatesToTheSegmentTheSameEveryTime) {
  const std::vector<std::uint8_t> raw = MachineCodeSegment();
  ASSERT_EQ(raw.size(), kSegmentSize);
  const std::vector<std::uint8_t> stream = Compressed(GetParam(), raw);
  EXPECT_EQ(Inflated(stream, raw.size()), raw);
  EXPECT_EQ(Compressed(GetParam(), raw), stream) << "a resend is byte for byte the first frame";
}

TEST_P(SegmentCompressorTest, AStreamThatDoesNotFitIsRefused) {
  const std::vector<std::uint8_t> raw = MachineCodeSegment();
  SegmentCompressor compressor;
  ASSERT_TRUE(compressor.SetLevel(GetParam()));
  std::vector<std::uint8_t> small(64);
  EXPECT_FALSE(compressor.Compress(raw, small).has_value());
}

INSTANTIATE_TEST_SUITE_P(Levels, SegmentCompressorTest,
                         ::testing::Values(Level::kStandard, Level::kMax), [](const auto& info) {
                           return info.param == Level::kMax ? "Max" : "Standard";
                         });

TEST(SegmentCompressor, TheMaximumLevelMakesASmallerStreamOfMachineCode) {
  const std::vector<std::uint8_t> raw = MachineCodeSegment();
  EXPECT_LT(Compressed(Level::kMax, raw).size(), Compressed(Level::kStandard, raw).size());
}

TEST(SegmentCompressor, TheStandardLevelIsZlibsDefault) {
  const std::vector<std::uint8_t> raw = MachineCodeSegment();
  std::vector<std::uint8_t> expected(compressBound(raw.size()));
  uLongf length = expected.size();
  ASSERT_EQ(compress(expected.data(), &length, raw.data(), raw.size()), Z_OK);
  expected.resize(length);
  EXPECT_EQ(Compressed(Level::kStandard, raw), expected);
}

}  // namespace
}  // namespace kvx
