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

}  // namespace
}  // namespace kvx
