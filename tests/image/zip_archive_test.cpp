#include "image/zip_archive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "mkimage/sample_image.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

class ZipArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kvx-zip-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
  }

  std::string Write(const std::vector<SampleArchiveItem>& items) {
    const auto path = (scratch_ / "test.zip").string();
    std::string error;
    EXPECT_TRUE(WriteSampleArchive(path, items, error)) << error;
    return path;
  }

  // Opens `path` and moves to its first item.
  std::unique_ptr<ZipArchive> OpenFirst(const std::string& path, ZipItemInfo& info) {
    auto archive = ZipArchive::Open(path);
    EXPECT_NE(archive, nullptr);
    if (!archive) return nullptr;
    bool at_end = true;
    EXPECT_EQ(archive->First(at_end), ZipResult::kOk);
    EXPECT_FALSE(at_end);
    EXPECT_EQ(archive->CurrentInfo(info), ZipResult::kOk);
    return archive;
  }

  fs::path scratch_;
};

std::vector<std::uint8_t> Data(std::size_t size) {
  SampleImageSpec spec;
  spec.size = size;
  return MakeSampleImage(spec);
}

TEST(Cp437Test, EveryHighByteConvertsAsTheSystemConverterDoes) {
  iconv_t converter = iconv_open("UTF-8", "CP437");
  if (converter == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no CP437 converter";
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* in_ptr = in;
    char* out_ptr = out;
    std::size_t in_left = 1;
    std::size_t out_left = sizeof out;
    ASSERT_NE(iconv(converter, &in_ptr, &in_left, &out_ptr, &out_left), static_cast<size_t>(-1));
    EXPECT_EQ(Cp437ToUtf8(std::string(1, in[0])), std::string(out, out_ptr)) << "byte " << byte;
  }
  iconv_close(converter);
  EXPECT_EQ(Cp437ToUtf8("KVX_1.bin"), "KVX_1.bin");
}

TEST_F(ZipArchiveTest, APlainFileOrAMissingFileIsNotAnArchive) {
  const auto plain = (scratch_ / "plain.bin").string();
  std::string error;
  ASSERT_TRUE(WriteSampleFile(plain, Data(4096), error));
  EXPECT_EQ(ZipArchive::Open(plain), nullptr);
  EXPECT_EQ(ZipArchive::Open((scratch_ / "missing.zip").string()), nullptr);
}

TEST_F(ZipArchiveTest, ItemsAreListedInOrderWithTheirSizesAndFolders) {
  SampleArchiveItem folder;
  folder.name = "docs/";
  folder.folder = true;
  SampleArchiveItem image;
  image.name = "KVX_1.bin";
  image.data = Data(10000);
  auto archive = ZipArchive::Open(Write({folder, image}));
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->ItemCount(), 2u);

  bool at_end = true;
  ZipItemInfo info;
  ASSERT_EQ(archive->First(at_end), ZipResult::kOk);
  ASSERT_EQ(archive->CurrentInfo(info), ZipResult::kOk);
  EXPECT_EQ(info.name, "docs/");
  EXPECT_EQ(info.uncompressed_size, 0u);
  ASSERT_EQ(archive->Next(at_end), ZipResult::kOk);
  ASSERT_EQ(archive->CurrentInfo(info), ZipResult::kOk);
  EXPECT_EQ(info.name, "KVX_1.bin");
  EXPECT_EQ(info.uncompressed_size, 10000u);
  std::vector<std::uint8_t> out(10000);
  EXPECT_EQ(archive->ExtractCurrent(info, out), ZipResult::kOk);
  EXPECT_EQ(out, image.data);
  ASSERT_EQ(archive->Next(at_end), ZipResult::kOk);
  EXPECT_TRUE(at_end);
}

struct LieCase {
  const char* reason;
  std::optional<std::uint64_t> declared_size;
  std::optional<std::uint32_t> declared_crc;
  ZipResult expected;
};

class ZipLieTest : public ZipArchiveTest, public ::testing::WithParamInterface<LieCase> {};

TEST_P(ZipLieTest, ExtractionIntoMemoryReportsTheLieAndNeverWritesPastTheBuffer) {
  SampleArchiveItem item;
  item.name = "KVX_1.bin";
  item.data = Data(50000);
  item.declared_size = GetParam().declared_size;
  item.declared_crc = GetParam().declared_crc;
  ZipItemInfo info;
  auto archive = OpenFirst(Write({item}), info);
  ASSERT_NE(archive, nullptr);

  // The buffer sits between guard bytes that must survive.
  constexpr std::size_t kGuard = 64;
  std::vector<std::uint8_t> memory(info.uncompressed_size + 2 * kGuard, 0xA5);
  const std::span<std::uint8_t> buffer(memory.data() + kGuard, info.uncompressed_size);
  EXPECT_EQ(archive->ExtractCurrent(info, buffer), GetParam().expected);
  for (std::size_t i = 0; i < kGuard; ++i) {
    ASSERT_EQ(memory[i], 0xA5);
    ASSERT_EQ(memory[memory.size() - 1 - i], 0xA5);
  }
}

INSTANTIATE_TEST_SUITE_P(Lies, ZipLieTest,
                         ::testing::Values(LieCase{"declares fewer bytes than the stream yields",
                                                   40000, std::nullopt, ZipResult::kSizeMismatch},
                                           LieCase{"declares more bytes than the stream yields",
                                                   60000, std::nullopt, ZipResult::kSizeMismatch},
                                           LieCase{"declares the wrong CRC", std::nullopt,
                                                   0xDEADBEEF, ZipResult::kCrcMismatch}));

TEST_F(ZipArchiveTest, DamagedCompressedBytesAreRefused) {
  SampleArchiveItem item;
  item.name = "KVX_1.bin";
  item.data = Data(50000);
  const auto path = Write({item});
  // Flip bytes in the middle of the compressed stream (well clear of the headers).
  {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    for (std::streamoff offset = 2000; offset < 2016; ++offset) {
      file.seekg(offset);
      const char byte = static_cast<char>(file.get() ^ 0x5A);
      file.seekp(offset);
      file.put(byte);
    }
  }
  ZipItemInfo info;
  auto archive = OpenFirst(path, info);
  ASSERT_NE(archive, nullptr);
  std::vector<std::uint8_t> out(info.uncompressed_size);
  const ZipResult result = archive->ExtractCurrent(info, out);
  EXPECT_TRUE(result == ZipResult::kCorruptData || result == ZipResult::kCrcMismatch ||
              result == ZipResult::kSizeMismatch)
      << ZipResultText(result);
}

TEST_F(ZipArchiveTest, AnEncryptedItemIsRefused) {
  const auto path = (scratch_ / "encrypted.zip").string();
  const auto data = Data(1000);
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  ASSERT_NE(zip, nullptr);
  const uLong crc = crc32(0, data.data(), static_cast<uInt>(data.size()));
  ASSERT_EQ(zipOpenNewFileInZip3_64(zip, "KVX_1.bin", nullptr, nullptr, 0, nullptr, 0, nullptr,
                                    Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                    Z_DEFAULT_STRATEGY, "secret", crc, 0),
            ZIP_OK);
  ASSERT_EQ(zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())), ZIP_OK);
  ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
  ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);

  ZipItemInfo info;
  auto archive = OpenFirst(path, info);
  ASSERT_NE(archive, nullptr);
  EXPECT_TRUE(info.encrypted);
  std::vector<std::uint8_t> out(info.uncompressed_size);
  EXPECT_EQ(archive->ExtractCurrent(info, out), ZipResult::kUnsupported);
}

TEST_F(ZipArchiveTest, ASinkThatRefusesStopsTheExtraction) {
  SampleArchiveItem item;
  item.name = "JQ_A";
  item.data = Data(600000);  // several chunks
  ZipItemInfo info;
  auto archive = OpenFirst(Write({item}), info);
  ASSERT_NE(archive, nullptr);
  int calls = 0;
  EXPECT_EQ(archive->ExtractCurrent(info,
                                    [&calls](std::span<const std::uint8_t>) {
                                      ++calls;
                                      return false;
                                    }),
            ZipResult::kOutputRefused);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace kvx
