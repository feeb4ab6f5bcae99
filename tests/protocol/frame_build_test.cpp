// Building host frames in the reused frame buffer: exact bytes, the write frame's two steps, the
// dates of the finish body, and the transmit trace line.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "recording_log.h"

namespace kvx {
namespace {

std::vector<std::uint8_t> Bytes(std::span<const std::uint8_t> span) {
  return {span.begin(), span.end()};
}

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

// zlib called directly, independent of the code under test.
std::uint32_t ZlibCrc(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())));
}

TEST(Crc32Test, MatchesTheStandardCheckValue) {
  const std::string digits = "123456789";
  EXPECT_EQ(Crc32({reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()}),
            0xCBF43926u);
  EXPECT_EQ(Crc32({}), 0u);
}

TEST(SetupFrameTest, AnnouncesOneMillionBytesWithoutTheBootRegionByteForByte) {
  FrameBuffer frames;
  frames.BuildSetup(/*mode=*/0, /*data_size=*/1'000'000);

  const std::vector<std::uint8_t> expected = {
      0x96, 0x96, 0x82, 0x53, 0xB0, 0x00, 0x00,        // SYN SYN STX 'S' code seg
      0x11, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00,  // Body = R_Body = 17
      0xEE, 0x21, 0x98, 0x83,                          // head CRC
      0x00, 0x00, 0x00, 0x01, 0x00,                    // mode 0, segment size 65536
      0x40, 0x42, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00,  // 1,000,000 as 64 bits
      0xD4, 0x39, 0xE9, 0xEB,                          // body CRC
      0x83};                                           // ETX
  EXPECT_EQ(Bytes(frames.frame()), expected);
  EXPECT_EQ(frames.length(), 37u);
  EXPECT_EQ(frames.head().cmd, 'S');
  EXPECT_EQ(frames.head().crc, 0x839821EEu);
}

TEST(SetupFrameTest, CarriesModeOneAndSizesBeyondFourGigabytes) {
  FrameBuffer frames;
  frames.BuildSetup(1, 0x1'2345'6789ull);
  const auto frame = frames.frame();
  ASSERT_EQ(frame.size(), 37u);
  EXPECT_EQ(frame[19], 1);
  EXPECT_EQ(Le32(frame, 24), 0x23456789u);
  EXPECT_EQ(Le32(frame, 28), 1u);
  EXPECT_EQ(Le32(frame, 32), ZlibCrc(frame.subspan(19, 13)));
  EXPECT_EQ(Le32(frame, 15), ZlibCrc(frame.subspan(2, 13)));
}

TEST(FrameTraceTest, FormatsTheSentHeadAsTheTransmitLine) {
  FrameBuffer frames;
  frames.BuildSetup(0, 1'000'000);
  testing::RecordingLog log;
  TraceSentHead(log, frames.head());

  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].text, "cmd['S'/b0],Seg=0,Body=17,R_Body=17,crc[0x839821EE]\n");
  EXPECT_EQ(log.lines[0].colour, 0x3399u);
  EXPECT_EQ(log.lines[0].kind, LOG_TX);
}

TEST(FrameTraceTest, ShowsAnUnprintableCommandAsReplacementAndLengthsUnsigned) {
  const FrameHead head{0x96, 0xC7, 65535, 0xFFFFFFFF, 3, 0xAB};
  EXPECT_EQ(FormatFrameTrace(head),
            "cmd['\xEF\xBF\xBD'/c7],Seg=65535,Body=4294967295,R_Body=3,crc[0xAB]\n");
}

// A segment of `size` bytes that compresses only a little, like real firmware.
std::vector<std::uint8_t> Segment(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> data(size);
  for (auto& byte : data) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>((seed >> 16) & 0x3F);
  }
  return data;
}

struct WriteCase {
  const char* reason;
  std::size_t segment_size;
  std::uint16_t seg;
};

class WriteFrameTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteFrameTest, CarriesTheSegmentCompressedSoUncompressGivesItBack) {
  const WriteCase& c = GetParam();
  const std::vector<std::uint8_t> segment = Segment(c.segment_size, c.seg);
  FrameBuffer frames;
  frames.BuildSetup(0, 1);  // a frame was sent before; it must be replaced wholly

  const std::span<std::uint8_t> area = frames.BeginWriteBody();
  ASSERT_EQ(area.size(), kMaxFrameBody);
  uLongf compressed = area.size();
  ASSERT_EQ(compress(area.data(), &compressed, segment.data(), segment.size()), Z_OK);
  ASSERT_TRUE(frames.FinishWriteFrame(c.seg, compressed, segment.size()));

  const auto frame = frames.frame();
  ASSERT_EQ(frame.size(), 20 + compressed);
  EXPECT_EQ(frame[0], 0x96);
  EXPECT_EQ(frame[1], 0x96);
  EXPECT_EQ(frame[2], 0x82);
  EXPECT_EQ(frame[3], 'W');
  EXPECT_EQ(frame[4], 0xB0);
  EXPECT_EQ(frame[5] | (frame[6] << 8), c.seg);
  EXPECT_EQ(Le32(frame, 7), compressed);
  EXPECT_EQ(Le32(frame, 11), segment.size());
  EXPECT_EQ(Le32(frame, 15), ZlibCrc(frame.subspan(2, 13)));
  EXPECT_EQ(frame.back(), 0x83);

  std::vector<std::uint8_t> restored(kSegmentSize);
  uLongf restored_size = restored.size();
  ASSERT_EQ(uncompress(restored.data(), &restored_size, frame.data() + 19, compressed), Z_OK);
  restored.resize(restored_size);
  EXPECT_EQ(restored, segment);
}

INSTANTIATE_TEST_SUITE_P(
    Segments, WriteFrameTest,
    ::testing::Values(WriteCase{"a full segment", 65536, 0},
                      WriteCase{"the one-byte remainder that ends an image", 1, 16},
                      WriteCase{"a segment number using both bytes of seg", 4096, 0x1234}));

TEST(WriteFrameTest, IncompressibleSegmentStillFitsTheBodyArea) {
  std::vector<std::uint8_t> segment(kSegmentSize);
  std::uint64_t x = 88172645463325252ull;
  for (auto& byte : segment) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    byte = static_cast<std::uint8_t>(x);
  }
  FrameBuffer frames;
  const auto area = frames.BeginWriteBody();
  uLongf compressed = area.size();
  ASSERT_EQ(compress(area.data(), &compressed, segment.data(), segment.size()), Z_OK);
  ASSERT_TRUE(frames.FinishWriteFrame(1, compressed, segment.size()));
  EXPECT_GT(frames.length(), kSegmentSize);
  EXPECT_LE(frames.length(), kFrameBufferSize);
}

TEST(WriteFrameTest, OpeningTheBodyAreaDropsThePreviousFrameSoItIsNeverResentHalfOverwritten) {
  FrameBuffer frames;
  frames.BuildSetup(0, 1'000'000);
  ASSERT_EQ(frames.length(), 37u);
  frames.BeginWriteBody();
  EXPECT_EQ(frames.length(), 0u);
  EXPECT_TRUE(frames.frame().empty());
}

TEST(WriteFrameTest, RefusesLengthsTheFrameCannotCarry) {
  struct Case {
    const char* reason;
    std::size_t body_length;
    std::size_t raw_length;
  } cases[] = {
      {"body one byte beyond the area", kMaxFrameBody + 1, kSegmentSize},
      {"raw length beyond one segment", 100, kSegmentSize + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    FrameBuffer frames;
    frames.BeginWriteBody();
    EXPECT_FALSE(frames.FinishWriteFrame(0, c.body_length, c.raw_length));
    EXPECT_TRUE(frames.frame().empty());
  }
  FrameBuffer frames;
  frames.BeginWriteBody();
  EXPECT_TRUE(frames.FinishWriteFrame(0, kMaxFrameBody, kSegmentSize));
  EXPECT_EQ(frames.length(), kFrameBufferSize);
}

TEST(FinishFrameTest, HoldsTwoVersionSlotsWithDateRecordsAndABodyCrc) {
  FrameBuffer frames;
  const std::string long_text = "OKR0123456789ABCDEFGH";  // 21 bytes: only 16 go out
  frames.BuildFinish({long_text, MakeDateRecord(2024, 3, 15, 14, 25, 30)}, {"TET1", DateRecord{}});
  const auto frame = frames.frame();
  ASSERT_EQ(frame.size(), 70u);
  EXPECT_EQ(frame[3], 'F');
  EXPECT_EQ(frame[5] | frame[6], 0);
  EXPECT_EQ(Le32(frame, 7), 50u);
  EXPECT_EQ(Le32(frame, 11), 50u);
  EXPECT_EQ(frame.back(), 0x83);

  const auto body = frame.subspan(19, 50);
  EXPECT_EQ(std::string(body.begin(), body.begin() + 16), long_text.substr(0, 16));
  const std::vector<std::uint8_t> first_date = {0xE8, 0x07, 3, 15, 14, 25, 30};
  EXPECT_EQ(Bytes(body.subspan(16, 7)), first_date);
  const std::vector<std::uint8_t> second_text = {'T', 'E', 'T', '1', 0, 0, 0, 0,
                                                 0,   0,   0,   0,   0, 0, 0, 0};
  EXPECT_EQ(Bytes(body.subspan(23, 16)), second_text);
  EXPECT_EQ(Bytes(body.subspan(39, 7)), std::vector<std::uint8_t>(7, 0));
  EXPECT_EQ(Le32(body, 46), ZlibCrc(body.first(46)));
}

TEST(DateTest, UnpacksTheSetupResponseDateFieldByField) {
  const std::uint8_t packed[5] = {0xE8, 0xC7, 0x3C, 0x97, 0x79};
  const DateRecord date = UnpackDate(packed);
  EXPECT_EQ(date, (DateRecord{2024, 3, 15, 14, 25, 30}));
  EXPECT_EQ(PackDate(date), (std::array<std::uint8_t, 5>{0xE8, 0xC7, 0x3C, 0x97, 0x79}));
}

TEST(DateTest, AllOnesUnpackToEachFieldsWidthAndTheRecordKeepsOtherBitsZero) {
  const std::uint8_t packed[5] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const DateRecord date = UnpackDate(packed);
  EXPECT_EQ(date, (DateRecord{16383, 15, 31, 31, 63, 63}));

  std::array<std::uint8_t, 7> record{};
  WriteDateRecord(date, record);
  EXPECT_EQ(record, (std::array<std::uint8_t, 7>{0xFF, 0x3F, 0x0F, 0x1F, 0x1F, 0x3F, 0x3F}));

  const std::array<std::uint8_t, 7> noisy = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(ReadDateRecord(noisy), date);
}

TEST(DateTest, MakeDateRecordCutsEachFieldToItsWidth) {
  EXPECT_EQ(MakeDateRecord(2024, 12, 31, 23, 59, 59), (DateRecord{2024, 12, 31, 23, 59, 59}));
  EXPECT_EQ(MakeDateRecord(16384 + 7, 16 + 1, 32 + 2, 32 + 3, 64 + 4, 64 + 5),
            (DateRecord{7, 1, 2, 3, 4, 5}));
}

}  // namespace
}  // namespace kvx
