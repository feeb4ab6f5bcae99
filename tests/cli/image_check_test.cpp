#include "cli/image_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mkimage/sample_image.h"
#include "platform/string_table.h"

namespace kvx {
namespace {

class ImageCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() / ("kvx-cli-image-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = (folder_ / name).string();
    std::string error;
    EXPECT_TRUE(WriteSampleFile(path, bytes, error)) << error;
    return path;
  }

  std::optional<ImageSummary> Check(const std::string& path) {
    return CheckImage(path, {}, [this](std::string_view text) { reports_.emplace_back(text); });
  }

  std::filesystem::path folder_;
  std::vector<std::string> reports_;
};

TEST_F(ImageCheckTest, ReportsTheVersionsAndWhatEachUpgradeWouldSend) {
  SampleImageSpec spec;
  spec.size = 0x40000 + 3 * 0x10000 + 1;  // the main upgrade's last segment is one byte
  const auto summary = Check(Write("fw.bin", MakeSampleImage(spec)));
  ASSERT_TRUE(summary) << ::testing::PrintToString(reports_);
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(FormatImageSummary("fw.bin", *summary),
            "file:               fw.bin\n"
            "size:               458753 bytes\n"
            "boot version:       SFQAABCDEFG V2.0.1\n"
            "stack version:      TALO_TYPE_VMR_NORMAL_V3.1.7\n"
            "MMI version:        KVX_2.10.3_ML_VM\n"
            "NV version:         1.02\n"
            "main upgrade:       4 segments (196609 bytes from offset 0x40000)\n"
            "bootloader upgrade: 8 segments (458753 bytes from offset 0x0)\n");
}

TEST_F(ImageCheckTest, AnImageWithinTheBootRegionHasNoMainUpgrade) {
  SampleImageSpec spec;
  spec.size = 0x40000;
  const auto summary = Check(Write("small.bin", MakeSampleImage(spec)));
  ASSERT_TRUE(summary) << ::testing::PrintToString(reports_);
  const std::string text = FormatImageSummary("small.bin", *summary);
  EXPECT_NE(text.find("main upgrade:       nothing to send"), std::string::npos) << text;
  EXPECT_NE(text.find("bootloader upgrade: 4 segments"), std::string::npos) << text;
}

TEST_F(ImageCheckTest, ControlCharactersInVersionTextsAreNotPassedToTheTerminal) {
  SampleImageSpec spec;
  spec.mmi = std::string("KVX_2.10.3_ML_VM\033[2J");
  const auto summary = Check(Write("odd.bin", MakeSampleImage(spec)));
  ASSERT_TRUE(summary) << ::testing::PrintToString(reports_);
  const std::string text = FormatImageSummary("odd.bin", *summary);
  EXPECT_EQ(text.find('\033'), std::string::npos);
  EXPECT_NE(text.find("KVX_2.10.3_ML_VM?[2J"), std::string::npos) << text;
}

TEST_F(ImageCheckTest, AnImageTheEngineWouldRefuseIsRefusedWithItsMessages) {
  SampleImageSpec spec;
  spec.boot.reset();
  EXPECT_FALSE(Check(Write("noboot.bin", MakeSampleImage(spec))));
  ASSERT_FALSE(reports_.empty());
  EXPECT_EQ(reports_.front(), *LoadString(IDS_WRONG_BSP_VER));
}

TEST_F(ImageCheckTest, FilesThatCannotBeImagesAreNamedWithTheReason) {
  const auto missing = FirmwareFileProblem((folder_ / "none.bin").string());
  ASSERT_TRUE(missing);
  EXPECT_NE(missing->find("none.bin: No such file or directory"), std::string::npos) << *missing;
  const auto folder = FirmwareFileProblem(folder_.string());
  ASSERT_TRUE(folder);
  EXPECT_NE(folder->find("not a regular file"), std::string::npos);
  EXPECT_FALSE(FirmwareFileProblem(Write("ok.bin", {1, 2, 3})));
}

}  // namespace
}  // namespace kvx
