#include "image/image_versions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "image/recording_host.h"
#include "platform/codepage.h"
#include "platform/string_table.h"

namespace kvx {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr std::string_view kBootText = "SFQAABCDEFG V2.0.1";
constexpr std::string_view kStackText = "TALO_TYPE_VMR_NORMAL_V3.1.7 build";
constexpr std::string_view kMmiText = "KVX_2.1.0_ML_VM";
constexpr std::string_view kNvText = "NV_VER0102";

// An image of zero bytes with texts written where a test wants them.
class ImageBuilder {
 public:
  explicit ImageBuilder(std::size_t size) : bytes_(size, 0) {}

  // Writes `text` at `offset` (without a terminator: the image is zero elsewhere).
  ImageBuilder& Put(std::size_t offset, std::string_view text) {
    std::copy(text.begin(), text.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
  }
  ImageBuilder& Tag(std::size_t offset, std::string_view stack_text) {
    return Put(offset, kImageTag).Put(offset + kImageTag.size(), stack_text);
  }

  // A well-formed image: boot text, tag with stack text, MMI and NV texts.
  static ImageBuilder Standard(std::size_t size = 4096) {
    ImageBuilder image(size);
    image.Put(kBootTextOffset, kBootText)
        .Tag(1000, kStackText)
        .Put(2000, kMmiText)
        .Put(3000, kNvText);
    return image;
  }

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Runs the parse on an exactly sized heap copy, so a read past the image's end is caught by the
// address sanitizer.
bool Parse(RecordingHost& host, const std::vector<std::uint8_t>& image, ImageVersions& versions) {
  auto exact = std::make_unique<std::uint8_t[]>(image.size());
  std::copy(image.begin(), image.end(), exact.get());
  return parse_image_versions(host, exact.get(), image.size(), versions);
}

bool CheckZipped(RecordingHost& host, const std::vector<std::uint8_t>& image,
                 ImageVersions& versions) {
  auto exact = std::make_unique<std::uint8_t[]>(image.size());
  std::copy(image.begin(), image.end(), exact.get());
  return check_zipped_image(host, exact.get(), image.size(), versions);
}

TEST(ParseImageVersions, LoadsAWellFormedImageAndTracesEveryStep) {
  RecordingHost host;
  ImageVersions versions;
  ASSERT_TRUE(Parse(host, ImageBuilder::Standard().bytes(), versions));

  EXPECT_THAT(
      host.Texts(),
      ElementsAre("@@Binary BSP ver : SFQAABCDEFG V2.0.1\n",
                  "@@Binary MMI ver : TALO_TYPE_VMR_NORMAL_V3.1.7 build\n",
                  "@@Binary ver [1] : KVX_2.1.0_ML_VM\n", "@@Binary NV ver : NV_VER0102\n",
                  "bianry MMI version check parse bsp ver : pass\n",
                  "bianry MMI NV version check parse bsp ver : pass\n", "@@ZBinary boot = KDQ\n",
                  "bianry check parse bsp ver : pass\n", "Velmora_JQ Stack S/W Image loaded\n"));
  const std::vector<COLORREF> colours = {kTraceRed, kTraceRed,   kTraceRed,
                                         kTraceRed, kTraceBlack, kTraceBlack,
                                         kTraceRed, kTraceBlack, kTraceBlack};
  for (std::size_t i = 0; i < host.lines.size() && i < colours.size(); ++i) {
    EXPECT_EQ(host.lines[i].colour, colours[i]) << host.lines[i].text;
    EXPECT_EQ(host.lines[i].kind, LOG_TEXT);
  }
  EXPECT_THAT(host.posted, IsEmpty());
  EXPECT_THAT(host.information, IsEmpty());

  EXPECT_EQ(versions.boot_text.text(), kBootText);
  EXPECT_EQ(versions.stack_text.text(), kStackText);
  EXPECT_EQ(versions.mmi_text.text(), kMmiText);
  EXPECT_EQ(versions.nv_text.text(), kNvText);
  EXPECT_EQ(versions.mmi.valid, 1);
  EXPECT_EQ(versions.mmi.major, 2u);
  EXPECT_EQ(versions.mmi.minor, 1u);
  EXPECT_EQ(versions.mmi.edition, 1);
  EXPECT_EQ(versions.mmi.region, 2);
  EXPECT_EQ(versions.stack.valid, 1);
  EXPECT_EQ(versions.stack.patch, 7u);
  EXPECT_EQ(versions.boot.valid, 1);
  EXPECT_EQ(versions.boot.major, 2u);
  EXPECT_EQ(versions.nv.chars(), "0102");
}

TEST(ParseImageVersions, ShowsTheVersionsInDevelopmentModeInsteadOfTracingTheLoad) {
  RecordingHost host;
  host.dev_mode = true;
  ImageVersions versions;
  ASSERT_TRUE(
      Parse(host, ImageBuilder::Standard().Put(2000, "KVX_2.1.0_ML_VM\xe9").bytes(), versions));
  EXPECT_THAT(host.information,
              ElementsAre(" <<< Binary Version Information >>>\n\n MMI Ver: KVX_2.1.0_ML_VM" +
                          LocaleToUtf8("\xe9") +
                          "\n\n Stack Ver : TALO_TYPE_VMR_NORMAL_V3.1.7 build\n\n Boot Ver : "
                          "SFQAABCDEFG V2.0.1"));
  EXPECT_FALSE(host.Traced("Velmora_JQ Stack S/W Image loaded\n"));
}

TEST(ParseImageVersions, NeverReachesTheBootTextInAnImageOf122BytesOrFewer) {
  RecordingHost host;
  ImageVersions versions;
  EXPECT_FALSE(Parse(host, ImageBuilder(122).Put(kBootTextOffset, kBootText).bytes(), versions));
  EXPECT_TRUE(versions.boot_text.text().empty());
  EXPECT_THAT(host.posted, ElementsAre(IDS_WRONG_BSP_VER));
  EXPECT_TRUE(host.Traced("WM_USER_BTN_CTRL BTN_ENABLE IDS_WRONG_BSP_VER occur\n"));
  EXPECT_TRUE(host.Traced("bianry check parse bsp ver : fail\n"));

  // One byte more and the boot text is copied, up to the image's end.
  RecordingHost longer_host;
  EXPECT_FALSE(
      Parse(longer_host, ImageBuilder(123).Put(kBootTextOffset, kBootText).bytes(), versions));
  EXPECT_EQ(versions.boot_text.text(), kBootText);
  EXPECT_THAT(longer_host.posted, ElementsAre(IDS_WRONG_IMAGE)) << "no tag in so small an image";
}

TEST(ParseImageVersions, ScansNothingInAnImageShorterThanTheTail) {
  for (const std::size_t size : {0u, 1u, 36u, 37u, 38u}) {
    SCOPED_TRACE(size);
    RecordingHost host;
    ImageVersions versions;
    EXPECT_FALSE(Parse(host, std::vector<std::uint8_t>(size, 'N'), versions));
    EXPECT_THAT(host.posted, ElementsAre(IDS_WRONG_BSP_VER));
  }
  RecordingHost host;
  ImageVersions versions;
  EXPECT_FALSE(parse_image_versions(host, nullptr, 4096, versions)) << "no buffer is no image";
}

TEST(ParseImageVersions, UsesTheStackTextAfterTheLastTag) {
  RecordingHost host;
  ImageVersions versions;
  ASSERT_TRUE(Parse(host, ImageBuilder::Standard().Tag(3500, "TALO_TYPE_KDQ_NORMAL_V4.0.0").bytes(),
                    versions));
  EXPECT_EQ(versions.stack_text.text(), "TALO_TYPE_KDQ_NORMAL_V4.0.0");
  EXPECT_EQ(versions.stack.major, 4u);
  EXPECT_TRUE(host.Traced("@@Binary MMI ver : TALO_TYPE_VMR_NORMAL_V3.1.7 build\n"))
      << "every match is traced";
  EXPECT_TRUE(host.Traced("@@Binary MMI ver : TALO_TYPE_KDQ_NORMAL_V4.0.0\n"));
}

TEST(ParseImageVersions, TakesWhicheverMmiTextComesLast) {
  const std::string_view tvl = " TVLMX_3.0.0_GL_VM";
  {
    RecordingHost host;
    ImageVersions versions;
    ASSERT_TRUE(Parse(host, ImageBuilder::Standard().Put(2500, tvl).bytes(), versions));
    EXPECT_EQ(versions.mmi_text.text(), tvl);
    EXPECT_EQ(versions.mmi.edition, 2);
    EXPECT_TRUE(host.Traced("@@Binary ver [1] : KVX_2.1.0_ML_VM\n"));
    EXPECT_TRUE(host.Traced("@@Binary ver [2] :  TVLMX_3.0.0_GL_VM\n"));
  }
  {
    RecordingHost host;
    ImageVersions versions;
    ASSERT_TRUE(Parse(host, ImageBuilder::Standard().Put(1500, tvl).bytes(), versions));
    EXPECT_EQ(versions.mmi_text.text(), kMmiText);
  }
}

TEST(ParseImageVersions, TakesKvxOnlyWithADigitAndAnyTvlText) {
  RecordingHost host;
  ImageVersions versions;
  ASSERT_TRUE(Parse(
      host, ImageBuilder::Standard().Put(2500, "KVX_A.1_ML").Put(2600, " TVLQ_1.0_ML").bytes(),
      versions));
  EXPECT_EQ(versions.mmi_text.text(), " TVLQ_1.0_ML") << "\" TVL\" is enough for the scan";
  EXPECT_THAT(host.Texts(), Not(Contains("@@Binary ver [1] : KVX_A.1_ML\n")));
  EXPECT_TRUE(host.Traced("bianry MMI version check parse bsp ver : fail\n"))
      << "but the parser wants \" TVLMX_\"";
  EXPECT_EQ(versions.mmi.valid, 0);
}

TEST(ParseImageVersions, DoesNotSeeAMarkerThatStartsInTheLast37Bytes) {
  constexpr std::size_t kSize = 4096;
  {
    RecordingHost host;
    ImageVersions versions;
    ImageBuilder image(kSize);
    image.Put(kBootTextOffset, kBootText).Put(kSize - 37, kImageTag.substr(0, 36));
    EXPECT_FALSE(Parse(host, image.bytes(), versions));
    EXPECT_THAT(host.posted, ElementsAre(IDS_WRONG_IMAGE));
    EXPECT_TRUE(versions.stack_text.text().empty());
  }
  {
    RecordingHost host;
    ImageVersions versions;
    ImageBuilder image(kSize);
    image.Put(kBootTextOffset, kBootText).Put(kSize - 38, kImageTag).Put(kSize - 2, "TA");
    EXPECT_FALSE(Parse(host, image.bytes(), versions));
    EXPECT_TRUE(host.Traced("@@Binary MMI ver : TA\n")) << "one byte earlier it is seen";
  }
  for (const std::size_t offset : {kSize - 38, kSize - 37}) {
    RecordingHost host;
    ImageVersions versions;
    ImageBuilder image = ImageBuilder::Standard(kSize);
    image.Put(offset, "NV_VER9999");
    ASSERT_TRUE(Parse(host, image.bytes(), versions));
    EXPECT_EQ(versions.nv.chars(), offset == kSize - 38 ? "9999" : "0102") << offset;
  }
}

TEST(ParseImageVersions, RefusesAnImageWithoutATagAndForgetsItsPath) {
  RecordingHost host;
  ImageVersions versions;
  ImageBuilder image(4096);
  image.Put(kBootTextOffset, kBootText).Put(2000, kMmiText);
  EXPECT_FALSE(Parse(host, image.bytes(), versions));
  EXPECT_THAT(host.posted, ElementsAre(IDS_WRONG_IMAGE));
  EXPECT_TRUE(host.file_path.empty());
  EXPECT_EQ(host.lines.back().text,
            "Wrong Image loaded, Delimiter[0]=[00],Delimiter[1]=[00],Delimiter[2]=[00],");
  EXPECT_EQ(host.lines.back().colour, kTraceRed);
}

TEST(ParseImageVersions, ShowsTheFirstBytesOfAWrongStackTextInHex) {
  RecordingHost host;
  ImageVersions versions;
  EXPECT_FALSE(Parse(host, ImageBuilder::Standard().Tag(1000, "Xy\xe9 stack").bytes(), versions));
  EXPECT_EQ(host.lines.back().text,
            "Wrong Image loaded, Delimiter[0]=[58],Delimiter[1]=[79],Delimiter[2]=[e9],");
}

TEST(ParseImageVersions, RefusesAnImageWithoutATagWith153InDevelopmentMode) {
  RecordingHost host;
  host.dev_mode = true;
  ImageVersions versions;
  ImageBuilder image(4096);
  image.Put(kBootTextOffset, kBootText).Put(2000, kMmiText);
  EXPECT_FALSE(Parse(host, image.bytes(), versions));
  EXPECT_THAT(host.posted, ElementsAre(IDS_BINARY_VERSION_UNKNOWN));
  EXPECT_EQ(versions.stack_text.text(), "EMERENCY");
  EXPECT_EQ(host.file_path, "/firmware/KVX_1.bin") << "only normal mode forgets the file";
  const auto texts = host.Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_THAT(std::vector<std::string>(texts.end() - 2, texts.end()),
              ElementsAre("parse_binary_stack_version fail 1\n", "failed to binary parsing - 1\n"));
  EXPECT_THAT(host.information, IsEmpty());
}

TEST(ParseImageVersions, RefusesATaloTextThatIsNotAStackVersion) {
  RecordingHost host;
  ImageVersions versions;
  EXPECT_FALSE(Parse(host, ImageBuilder::Standard().Tag(1000, "TALO_TYPE_VMR_SPECIAL_V1").bytes(),
                     versions));
  EXPECT_THAT(host.posted, ElementsAre(IDS_BINARY_VERSION_UNKNOWN));
  EXPECT_EQ(host.file_path, "/firmware/KVX_1.bin");
}

TEST(ParseImageVersions, LoadsAnImageWhoseMmiTextOrNvVersionIsMissing) {
  RecordingHost host;
  ImageVersions versions;
  ImageBuilder image = ImageBuilder::Standard();
  image.Put(2000, "KVX_1_ML_VM").Put(3000, "NV_XXX");
  ASSERT_TRUE(Parse(host, image.bytes(), versions));
  EXPECT_EQ(versions.mmi.valid, 0);
  EXPECT_TRUE(versions.nv.empty());
  EXPECT_TRUE(host.Traced("bianry MMI version check parse bsp ver : fail\n"));
  EXPECT_TRUE(host.Traced("bianry MMI NV version check parse bsp ver : fail\n"));
  EXPECT_THAT(host.posted, IsEmpty());
}

TEST(ParseImageVersions, AcceptsStandardNineOnlyWithDowngradeEnabled) {
  const auto image = ImageBuilder::Standard().Put(kBootTextOffset, "S9QAABCDEFG V2.0.1").bytes();
  RecordingHost host;
  ImageVersions versions;
  EXPECT_FALSE(Parse(host, image, versions));
  EXPECT_THAT(host.posted, ElementsAre(IDS_WRONG_BSP_VER));

  RecordingHost downgrade_host;
  versions.downgrade_enabled = true;
  EXPECT_TRUE(Parse(downgrade_host, image, versions));
  EXPECT_EQ(versions.boot.standard, '9');
}

TEST(ParseImageVersions, CopiesEachTextAtMostItsFieldSizeAndUpToTheImageEnd) {
  ImageBuilder image = ImageBuilder::Standard(8192);
  image.Put(kBootTextOffset, kBootText)
      .Put(kBootTextOffset + kBootText.size(), std::string(300, 'x'));
  image.Put(2000, std::string(kMmiText) + std::string(300, 'y'));
  RecordingHost host;
  ImageVersions versions;
  Parse(host, image.bytes(), versions);
  EXPECT_EQ(versions.boot_text.text().size(), kBootTextSize) << "the boot text has no terminator";
  EXPECT_EQ(versions.mmi_text.text().size(), kVersionTextSize);
  EXPECT_EQ(versions.mmi_text.bytes.back(), 0);

  // A tag whose stack text runs into the image's end is cut there.
  ImageBuilder tail = ImageBuilder::Standard(8192);
  tail.Put(8192 - 40, kImageTag).Put(8192 - 4, "TALO");
  RecordingHost tail_host;
  Parse(tail_host, tail.bytes(), versions);
  EXPECT_EQ(versions.stack_text.text(), "TALO");
}

TEST(ParseImageVersions, ALaterShorterTextLeavesNothingOfAnEarlierOne) {
  const std::string later = " TVLMX_2.0.0_GL_VM_" + std::string(25, 'z');  // runs to the end
  ImageBuilder image = ImageBuilder::Standard(4096 + later.size());
  image.Put(2000, std::string(kMmiText) + "_" + std::string(200, 'q')).Put(4096, later);
  RecordingHost host;
  ImageVersions versions;
  ASSERT_TRUE(Parse(host, image.bytes(), versions));
  EXPECT_EQ(versions.mmi_text.text(), later);
}

TEST(ParseImageVersions, EmptiesEveryTextAtTheStartOfAParse) {
  RecordingHost host;
  ImageVersions versions;
  ASSERT_TRUE(Parse(host, ImageBuilder::Standard().bytes(), versions));
  ImageBuilder without_nv = ImageBuilder::Standard();
  without_nv.Put(3000, "XXXXXX");
  ASSERT_TRUE(Parse(host, without_nv.bytes(), versions));
  EXPECT_TRUE(versions.nv_text.text().empty());
  EXPECT_TRUE(versions.nv_text.display.empty());
}

TEST(CheckZippedImage, ParsesTheSixtyFourBootBytesIntoTheArchiveRecord) {
  RecordingHost host;
  ImageVersions versions;
  EXPECT_TRUE(CheckZipped(host, ImageBuilder::Standard().bytes(), versions));
  EXPECT_THAT(host.Texts(),
              ElementsAre("@@ZBinary boot = KDQ\n", "zipped bianry check parse bsp ver : pass\n"));
  EXPECT_EQ(host.lines.back().colour, kTraceBlack);
  EXPECT_EQ(versions.archive_boot.valid, 1);
  EXPECT_EQ(versions.boot.valid, 0) << "the image record is not touched";
  EXPECT_THAT(host.posted, IsEmpty());

  // Sixty-four bytes and no more: the digit at offset 149 is not part of the number.
  const std::string sixty_four = "SFQAABCDEFG V1.2." + std::string(47, '0');
  ImageBuilder exact(4096);
  exact.Put(kBootTextOffset, sixty_four).Put(kBootTextOffset + 64, "5");
  EXPECT_TRUE(CheckZipped(host, exact.bytes(), versions));
  EXPECT_EQ(versions.archive_boot.patch, 0u);
}

TEST(CheckZippedImage, RefusesAnImageTooShortToHoldABootText) {
  for (const std::size_t size : {0u, 85u, 100u}) {
    SCOPED_TRACE(size);
    RecordingHost host;
    ImageVersions versions;
    ImageBuilder image(size);
    if (size > kBootTextOffset) image.Put(kBootTextOffset, "SFQAABC");
    EXPECT_FALSE(CheckZipped(host, image.bytes(), versions));
    EXPECT_EQ(host.lines.back().text, "zipped bianry check parse bsp ver : fail\n");
  }
}

// ---- The fast scan against a plain byte-by-byte scan ----

struct ScanResult {
  std::vector<std::string> lines;
  std::array<std::uint8_t, kBootTextSize> boot{}, stack{}, mmi{}, nv{};
};

ScanResult ReferenceScan(const std::vector<std::uint8_t>& image) {
  ScanResult result;
  const auto copy = [&](std::array<std::uint8_t, kBootTextSize>& field, std::size_t from,
                        std::size_t limit, const char* label) {
    field.fill(0);
    const std::size_t n = std::min(limit, image.size() - from);
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(from), n, field.begin());
    const auto* chars = reinterpret_cast<const char*>(field.data());
    std::string_view text(chars, field.size());
    text = text.substr(0, text.find('\0'));
    result.lines.push_back(std::string(label) + ansi_text_to_utf8(text) + "\n");
  };
  const auto at = [&](std::size_t i, std::string_view marker) {
    return std::memcmp(image.data() + i, marker.data(), marker.size()) == 0;
  };
  for (std::size_t i = 0; i + kScanTail < image.size(); ++i) {
    if (i == kBootTextOffset) copy(result.boot, i, kBootTextSize, "@@Binary BSP ver : ");
    if (at(i, kImageTag)) copy(result.stack, i + 36, kVersionTextSize, "@@Binary MMI ver : ");
    if (at(i, "KVX_") && image[i + 4] >= '0' && image[i + 4] <= '9') {
      copy(result.mmi, i, kVersionTextSize, "@@Binary ver [1] : ");
    }
    if (at(i, " TVL")) copy(result.mmi, i, kVersionTextSize, "@@Binary ver [2] : ");
    if (at(i, "NV_VER")) copy(result.nv, i, kVersionTextSize, "@@Binary NV ver : ");
  }
  return result;
}

std::vector<std::uint8_t> RandomImage(std::mt19937& random) {
  // Few distinct bytes, so marker prefixes, near-misses and overlaps are common.
  static constexpr std::string_view kAlphabet("KVX_1 TLNERA0-\0\xe9", 16);
  static const std::string_view kPieces[] = {kImageTag,
                                             "KVX_",
                                             "KVX_7.1_ML_VM",
                                             "KVX_X",
                                             " TVL",
                                             " TVLMX_1.2_GL",
                                             "NV_VER",
                                             "NV_VER12",
                                             "NV_VNV_VER34",
                                             "KVX_KVX_9",
                                             " TV TVL",
                                             "TALO_TYPE_VMR_NORMAL_V1.2.3",
                                             "SFQAABCDEFG V1.0.0"};
  const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 1200)(random);
  std::vector<std::uint8_t> image(size);
  std::uniform_int_distribution<std::size_t> letter(0, kAlphabet.size() - 1);
  for (auto& byte : image) byte = static_cast<std::uint8_t>(kAlphabet[letter(random)]);
  const int planted = std::uniform_int_distribution<int>(0, 12)(random);
  for (int k = 0; k < planted && size > 0; ++k) {
    const std::string_view piece =
        kPieces[std::uniform_int_distribution<std::size_t>(0, std::size(kPieces) - 1)(random)];
    // Anywhere, with a bias towards the boot offset and the end of the scan window.
    std::size_t offset = std::uniform_int_distribution<std::size_t>(0, size - 1)(random);
    const int where = std::uniform_int_distribution<int>(0, 3)(random);
    if (where == 0 && size > 90) offset = kBootTextOffset - 2 + (offset % 5);
    if (where == 1 && size > 45) offset = size - 45 + (offset % 12);
    const std::size_t n = std::min(piece.size(), size - offset);
    std::copy_n(piece.begin(), n, image.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  return image;
}

TEST(ParseImageVersions, FindsExactlyWhatAByteByByteScanFinds) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 3000; ++round) {
    const std::vector<std::uint8_t> image = RandomImage(random);
    SCOPED_TRACE("round " + std::to_string(round) + ", size " + std::to_string(image.size()));
    const ScanResult expected = ReferenceScan(image);

    RecordingHost host;
    ImageVersions versions;
    Parse(host, image, versions);
    std::vector<std::string> scan_lines;
    for (const std::string& text : host.Texts()) {
      if (text.starts_with("bianry MMI version check")) break;
      scan_lines.push_back(text);
    }
    ASSERT_EQ(scan_lines, expected.lines);
    ASSERT_EQ(versions.boot_text.bytes, expected.boot);
    ASSERT_EQ(versions.stack_text.bytes, expected.stack);
    ASSERT_EQ(versions.mmi_text.bytes, expected.mmi);
    ASSERT_EQ(versions.nv_text.bytes, expected.nv);
  }
}

}  // namespace
}  // namespace kvx
