#include "mkimage/sample_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "image/image_versions.h"
#include "image/recording_host.h"
#include "support/temp_folder.h"

namespace kvx {
namespace {

using ::testing::IsEmpty;

std::string_view TextAt(const std::vector<std::uint8_t>& image, std::size_t offset) {
  const auto* begin = reinterpret_cast<const char*>(image.data() + offset);
  const auto* end =
      std::find(begin, reinterpret_cast<const char*>(image.data() + image.size()), '\0');
  return {begin, static_cast<std::size_t>(end - begin)};
}

TEST(SampleImageTest, TheDefaultImageParsesWithItsDefaultVersions) {
  const auto image = MakeSampleImage(SampleImageSpec{});
  RecordingHost host;
  ImageVersions versions;
  ASSERT_TRUE(parse_image_versions(host, image.data(), image.size(), versions));
  EXPECT_THAT(host.posted, IsEmpty());

  EXPECT_TRUE(versions.boot.valid);
  EXPECT_EQ(versions.boot.major, 2u);
  EXPECT_TRUE(versions.stack.valid);
  EXPECT_EQ(versions.stack.major, 3u);
  EXPECT_EQ(versions.stack.minor, 1u);
  EXPECT_EQ(versions.stack.patch, 7u);
  EXPECT_TRUE(versions.mmi.valid);
  EXPECT_EQ(versions.mmi.major, 2u);
  EXPECT_EQ(versions.mmi.minor, 10u);
  EXPECT_EQ(versions.mmi.edition, 1);
  EXPECT_EQ(versions.mmi.region, 2);
  EXPECT_EQ(versions.nv.chars(), "1.02");
  // The texts lie after the boot region, which a stack-only download leaves out.
  EXPECT_EQ(TextAt(image, kSampleBootTextOffset), kDefaultBootText);
  const auto tag =
      std::search(image.begin(), image.end(), kSampleImageTag.begin(), kSampleImageTag.end());
  EXPECT_GE(tag - image.begin(), static_cast<std::ptrdiff_t>(kSampleBootRegionSize));
}

TEST(SampleImageTest, FillerDeflatesLikeFirmwareInEverySegmentAndHoldsNoMarkers) {
  std::vector<std::uint8_t> filler(1 << 20);
  FillFirmwareLike(filler, 42);
  EXPECT_EQ(std::count(filler.begin(), filler.end(), 'V'), 0);
  for (std::size_t offset = 0; offset < filler.size(); offset += 65536) {
    uLongf packed_size = compressBound(65536);
    std::vector<Bytef> packed(packed_size);
    ASSERT_EQ(compress(packed.data(), &packed_size, filler.data() + offset, 65536), Z_OK);
    const double ratio = 65536.0 / static_cast<double>(packed_size);
    EXPECT_GT(ratio, 2.0) << "segment at " << offset;
    EXPECT_LT(ratio, 4.0) << "segment at " << offset;
  }
}

TEST(SampleImageTest, TheSameSeedGivesTheSameImageAndAnotherSeedAnother) {
  SampleImageSpec spec;
  spec.size = 65536;
  const auto first = MakeSampleImage(spec);
  EXPECT_EQ(MakeSampleImage(spec), first);
  spec.seed = 2;
  EXPECT_NE(MakeSampleImage(spec), first);
}

TEST(SampleImageTest, TextsGoWhereAskedAndAreCutOffAtTheEnd) {
  SampleImageSpec spec;
  spec.size = 4096;
  spec.mmi_offset = 1000;
  spec.nv_offset = 2000;
  spec.tag_offset = spec.size - 40;  // the tag fits; the stack text does not
  spec.stack = "TALO_TYPE_VMR_NORMAL_V3.1.7";
  const auto image = MakeSampleImage(spec);
  EXPECT_EQ(TextAt(image, 1000), kDefaultMmiText);
  EXPECT_EQ(TextAt(image, 2000), "NV_VER1.02");
  EXPECT_EQ(TextAt(image, spec.size - 40), std::string(kSampleImageTag) + "TALO");

  spec.nv_offset = spec.size;
  EXPECT_THROW(MakeSampleImage(spec), std::invalid_argument);
}

TEST(SampleImageTest, LeftOutTextsAreNotInTheImage) {
  SampleImageSpec spec;
  spec.stack.reset();
  spec.mmi.reset();
  spec.nv.reset();
  const auto image = MakeSampleImage(spec);
  for (std::string_view marker :
       {kSampleImageTag, std::string_view("KVX_"), std::string_view("NV_VER")}) {
    EXPECT_EQ(std::search(image.begin(), image.end(), marker.begin(), marker.end()), image.end())
        << marker;
  }
}

// A payload that holds every marker's start, a whole tag and version texts of its own, between
// bytes that look like code.
std::vector<std::uint8_t> PayloadWithMarkers() {
  using namespace std::string_literals;
  std::string text = "\x48\x89\xe5KVX_9.99.9_ML_VM\x00\x55 TVL\xc3NV_VER9.99"s;
  text += kSampleImageTag;
  text += "TALO_TYPE_VMR_NORMAL_V9.9.9\x00\x0f\x1f\x44\x00\x00KVKVX"s;
  return {text.begin(), text.end()};
}

TEST(SampleImageTest, APayloadFillsTheImageRepeatedAndCutOffWithOnlyThePlacedTextsFound) {
  const std::vector<std::uint8_t> payload = PayloadWithMarkers();
  SampleImageSpec spec;
  spec.size = kSampleBootRegionSize + 0x2000 + 7;  // not a whole number of payloads
  spec.payload = payload;
  const auto image = MakeSampleImage(spec);

  RecordingHost host;
  ImageVersions versions;
  ASSERT_TRUE(parse_image_versions(host, image.data(), image.size(), versions));
  EXPECT_EQ(versions.stack.patch, 7u) << "the payload's own tag and stack text were found";
  EXPECT_EQ(versions.mmi.minor, 10u) << "the payload's own MMI text was found";
  EXPECT_EQ(versions.nv.chars(), "1.02") << "the payload's own NV text was found";

  // Away from the placed texts the image is the payload over and over, only the marker
  // starts changed; the last copy is cut off at the end.
  ASSERT_EQ(payload.size(), 110u);
  std::vector<std::uint8_t> expected = payload;
  // The middle bytes of "KVX", " TV", "NV_", "A07" and the last "KVX".
  for (std::size_t at : {4u, 22u, 27u, 37u, 108u}) ++expected[at];
  const std::size_t last_copy = (image.size() / payload.size()) * payload.size();
  for (std::size_t at = last_copy - 4 * payload.size(); at < image.size(); ++at) {
    ASSERT_EQ(image[at], expected[at % payload.size()]) << "at " << at;
  }
}

TEST(SampleImageTest, APayloadFileIsReadNoFurtherThanTheImageNeeds) {
  test::TempFolder folder;
  const auto file = folder / "libcode.so";
  test::TempFolder::Write(file, std::string(1000, 'a') + std::string(1000, 'b'));

  std::vector<std::uint8_t> payload;
  std::string error;
  ASSERT_TRUE(ReadPayloadFile(file.string(), 1500, payload, error)) << error;
  EXPECT_EQ(payload.size(), 1500u);
  EXPECT_EQ(payload.back(), 'b');
  ASSERT_TRUE(ReadPayloadFile(file.string(), 1 << 20, payload, error)) << error;
  EXPECT_EQ(payload.size(), 2000u);

  const struct {
    const char* reason;
    std::filesystem::path path;
  } refused[] = {
      {"a missing file", folder / "missing.so"},
      {"a folder", folder.path()},
      {"an empty file", folder / "empty.so"},
  };
  test::TempFolder::Write(folder / "empty.so", "");
  for (const auto& c : refused) {
    EXPECT_FALSE(ReadPayloadFile(c.path.string(), 1500, payload, error)) << c.reason;
    EXPECT_THAT(error, ::testing::HasSubstr(c.path.string())) << c.reason;
    EXPECT_TRUE(payload.empty()) << c.reason;
  }
}

}  // namespace
}  // namespace kvx
