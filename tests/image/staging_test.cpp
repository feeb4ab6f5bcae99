#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "image/image_versions.h"
#include "image/recording_host.h"
#include "mkimage/sample_image.h"
#include "platform/string_table.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint64_t kLimit = CFirmwareImage::kMaxImageSize;

// The engine's Disconnect releases the image and resets the run state; the fake does the same,
// so a failure in the middle of a load runs against a released image as it would in the engine.
class EngineLikeHost : public RecordingHost {
 public:
  CFirmwareImage* image = nullptr;
  void Disconnect(int string_id) override {
    RecordingHost::Disconnect(string_id);
    if (image != nullptr) {
      image->Release();
      image->ResetState();
    }
  }
};

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> SampleImage(std::uint64_t seed, std::size_t size = 1 << 20) {
  SampleImageSpec spec;
  spec.size = size;
  spec.seed = seed;
  return MakeSampleImage(spec);
}

SampleArchiveItem Item(std::string name, std::vector<std::uint8_t> data) {
  SampleArchiveItem item;
  item.name = std::move(name);
  item.data = std::move(data);
  return item;
}

SampleArchiveItem Folder(std::string name) {
  SampleArchiveItem item;
  item.name = std::move(name);
  item.folder = true;
  return item;
}

// Each test gets its own scratch folder and its own $TMPDIR inside it.
class StagingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kvx-staging-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch_ = pattern;
    tmpdir_ = scratch_ / "tmp";
    fs::create_directory(tmpdir_);
    if (const char* old = std::getenv("TMPDIR")) old_tmpdir_ = old;
    setenv("TMPDIR", tmpdir_.c_str(), 1);
    host_.image = &image_;
  }
  void TearDown() override {
    if (old_tmpdir_) {
      setenv("TMPDIR", old_tmpdir_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
  }

  std::string WriteArchive(const std::string& file_name,
                           const std::vector<SampleArchiveItem>& items) {
    const auto path = (scratch_ / file_name).string();
    std::string error;
    EXPECT_TRUE(WriteSampleArchive(path, items, error)) << error;
    return path;
  }
  std::string WritePlain(const std::string& file_name, const std::vector<std::uint8_t>& data) {
    const auto path = (scratch_ / file_name).string();
    std::string error;
    EXPECT_TRUE(WriteSampleFile(path, data, error)) << error;
    return path;
  }

  bool Load(const std::string& path) {
    host_.file_path = path;
    host_.ClearRecords();
    return image_.load_image(versions_);
  }
  bool Stage(const std::string& path) {
    host_.file_path = path;
    host_.ClearRecords();
    return image_.stage_jq_image();
  }

  std::vector<std::uint8_t> LoadedBytes() const {
    return {image_.image(), image_.image() + image_.image_size()};
  }
  fs::path StagingRoot() const { return tmpdir_ / std::string(CFirmwareImage::kTempFolderName); }

  fs::path scratch_;
  fs::path tmpdir_;
  std::optional<std::string> old_tmpdir_;
  EngineLikeHost host_;
  CFirmwareImage image_{host_};
  ImageVersions versions_;
};

TEST_F(StagingTest, AFileThatIsNotAnArchiveLoadsAsAPlainImageWhateverItsExtension) {
  const auto bytes = SampleImage(1);
  ASSERT_TRUE(Load(WritePlain("firmware.stf", bytes)));

  EXPECT_THAT(host_.posted, IsEmpty());
  EXPECT_EQ(host_.Texts().front(), "Open Btn press\n");
  EXPECT_EQ(host_.lines.front().colour, kTraceRed);
  EXPECT_FALSE(image_.in_memory());
  EXPECT_TRUE(image_.file_open());
  EXPECT_TRUE(image_.image_owned());
  EXPECT_EQ(LoadedBytes(), bytes);
  EXPECT_EQ(image_.send_start(), image_.image());
  EXPECT_EQ(image_.send_size(), bytes.size());
  EXPECT_EQ(image_.segment_count(), 16);
  EXPECT_TRUE(versions_.boot.valid);

  image_.Release();
  EXPECT_EQ(image_.image(), nullptr);
  EXPECT_EQ(image_.send_start(), nullptr);
  EXPECT_FALSE(image_.file_open());
  EXPECT_FALSE(image_.image_owned());
}

TEST_F(StagingTest, AnArchiveNamedBinLoadsItsKvxItemAtStartAndUnpacksItsJqItemAtOpen) {
  const auto jq = SampleImage(2);
  const auto kvx = SampleImage(3);
  const auto path =
      WriteArchive("firmware.bin", {Item("JQ_A", jq), Item("KVX_1.bin", kvx), Folder("docs/")});

  ASSERT_TRUE(Load(path));
  EXPECT_THAT(host_.posted, IsEmpty());
  EXPECT_TRUE(image_.in_memory());
  EXPECT_TRUE(image_.zip_item_allocated());
  EXPECT_FALSE(image_.file_open());
  EXPECT_FALSE(image_.image_owned());
  EXPECT_EQ(LoadedBytes(), kvx);
  EXPECT_EQ(image_.segment_count(), 16);

  image_.Release();
  ASSERT_TRUE(Stage(path));
  EXPECT_THAT(host_.posted, IsEmpty());
  EXPECT_THAT(host_.disconnects, IsEmpty());
  EXPECT_TRUE(image_.extracted());
  const std::regex layout(StagingRoot().string() + R"(/\d{8}_\d{6}/JQ_A)");
  EXPECT_TRUE(std::regex_match(image_.extracted_path(), layout)) << image_.extracted_path();
  EXPECT_EQ(image_.temp_dir(), StagingRoot().string() + "/");
  EXPECT_EQ(ReadBytes(image_.extracted_path()), jq);

  // Owner-only, because the temporary directory is shared with other users.
  const auto dated = fs::path(image_.extracted_path()).parent_path();
  for (const auto& folder : {StagingRoot(), dated}) {
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << folder;
  }
}

struct ArchiveCase {
  const char* reason;
  std::vector<std::string> item_names;  // each holds a sample image
  std::vector<int> start_messages;
  const char* start_trace;  // the last trace line of the refused Start
  bool extracted_at_open;
};

class ArchiveItemsTest : public StagingTest, public ::testing::WithParamInterface<ArchiveCase> {};

TEST_P(ArchiveItemsTest, StartAndOpenTreatTheItemsAsTheirNamesSay) {
  const ArchiveCase& c = GetParam();
  std::vector<SampleArchiveItem> items;
  for (const auto& name : c.item_names) items.push_back(Item(name, SampleImage(4, 64 * 1024)));
  const auto path = WriteArchive("firmware.stf", items);

  EXPECT_FALSE(Load(path));
  EXPECT_EQ(host_.posted, c.start_messages);
  EXPECT_EQ(host_.Texts().back(), c.start_trace);
  EXPECT_EQ(image_.image(), nullptr);
  EXPECT_FALSE(image_.zip_item_allocated());

  EXPECT_TRUE(Stage(path));
  EXPECT_THAT(host_.posted, IsEmpty());
  EXPECT_EQ(image_.extracted(), c.extracted_at_open);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ArchiveItemsTest,
    ::testing::Values(
        ArchiveCase{"an item that is neither JQ nor KVX is refused at Start, skipped at Open",
                    {"JQ_A", "readme.txt"},
                    {IDS_NOT_KVX_ITEM},
                    "The name of binary file is not started with KVX_.\n",
                    true},
        ArchiveCase{"KVX_ must be followed by a digit",
                    {"KVX_X.bin"},
                    {IDS_NOT_KVX_ITEM},
                    "The name of binary file is not started with KVX_.\n",
                    false},
        ArchiveCase{"an archive of JQ images only has no image to load",
                    {"JQ_A"},
                    {IDS_INCOMPATIBLE_BINARY},
                    "WM_USER_BTN_CTRLoccur\n",
                    true},
        ArchiveCase{"an empty archive has no image to load",
                    {},
                    {IDS_INCOMPATIBLE_BINARY},
                    "WM_USER_BTN_CTRLoccur\n",
                    false}));

TEST_F(StagingTest, APlainFileOfExactlyTheLimitLoadsAndOneByteMoreIsRefused) {
  // Sparse files: a sample image followed by a hole up to the size wanted.
  const auto exact = WritePlain("exact.bin", SampleImage(5));
  fs::resize_file(exact, kLimit);
  ASSERT_TRUE(Load(exact));
  EXPECT_EQ(image_.image_size(), kLimit);
  EXPECT_EQ(image_.segment_count(), 864);

  const auto over = WritePlain("over.bin", SampleImage(5));
  fs::resize_file(over, kLimit + 1);
  EXPECT_FALSE(Load(over));
  EXPECT_THAT(host_.posted, ElementsAre(IDS_FILE_SIZE_BIG, IDS_INCOMPATIBLE_BINARY));
  EXPECT_THAT(host_.Texts(), ElementsAre("Open Btn press\n",
                                         "WM_USER_BTN_CTRL BTN_ENABLE IDS_FILE_SIZE_BIG occur\n",
                                         "WM_USER_BTN_CTRLoccur\n"));
  EXPECT_EQ(image_.image(), nullptr);
  EXPECT_FALSE(image_.file_open());
}

TEST_F(StagingTest, AnArchiveItemOfExactlyTheLimitLoadsAndOneDeclaredByteMoreIsRefused) {
  auto exact = SampleImage(6);
  exact.resize(kLimit);  // zeros after the image deflate cheaply
  const auto fits = WriteArchive("fits.stf", {Item("KVX_1.bin", exact)});
  ASSERT_TRUE(Load(fits));
  EXPECT_EQ(image_.image_size(), kLimit);
  EXPECT_EQ(LoadedBytes(), exact);

  // The limit is checked against what the directory declares, before anything is unpacked.
  auto big = Item("KVX_1.bin", SampleImage(6, 4096));
  big.declared_size = kLimit + 1;
  const auto too_big = WriteArchive("big.stf", {big});
  EXPECT_FALSE(Load(too_big));
  EXPECT_THAT(host_.posted, ElementsAre(IDS_FILE_SIZE_BIG));
  EXPECT_EQ(host_.Texts().back(), "IDS_FILE_SIZE_BIG occur\n");
  EXPECT_EQ(image_.image(), nullptr);

  big.name = "JQ_big";
  EXPECT_FALSE(Stage(WriteArchive("big_jq.stf", {big})));
  EXPECT_THAT(host_.posted, ElementsAre(IDS_FILE_SIZE_BIG));
  EXPECT_FALSE(fs::exists(StagingRoot()));
}

TEST_F(StagingTest, APlainJqFileIsRememberedAtOpenAndLoadedAsAPlainImageAtStart) {
  const auto bytes = SampleImage(7);
  const auto path = WritePlain("JQ_old.bin", bytes);

  ASSERT_TRUE(Stage(path));
  EXPECT_TRUE(image_.extracted());
  EXPECT_EQ(image_.extracted_path(), path);
  EXPECT_EQ(host_.Texts().back(), "old binary path = " + path);
  EXPECT_EQ(host_.lines.back().colour, kTraceBlack);
  EXPECT_FALSE(fs::exists(StagingRoot()));

  ASSERT_TRUE(Load(path));
  EXPECT_TRUE(image_.file_open());
  EXPECT_EQ(LoadedBytes(), bytes);
}

TEST_F(StagingTest, APlainFileWithAnotherNameIsNotRememberedAtOpen) {
  EXPECT_TRUE(Stage(WritePlain("KVX_1.bin", SampleImage(7, 4096))));
  EXPECT_FALSE(image_.extracted());
  EXPECT_THAT(host_.Texts(), ElementsAre("Open Btn press\n"));
}

TEST_F(StagingTest, OnlyTheLastJqItemOfAnArchiveStaysUnpacked) {
  const auto second = SampleImage(9, 8192);
  ASSERT_TRUE(Stage(
      WriteArchive("two.stf", {Item("JQ_A", SampleImage(8, 8192)),
                               Item("KVX_1.bin", SampleImage(1, 8192)), Item("JQ_B", second)})));
  EXPECT_EQ(fs::path(image_.extracted_path()).filename(), "JQ_B");
  EXPECT_EQ(ReadBytes(image_.extracted_path()), second);
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(StagingRoot())) {
    files += entry.is_regular_file() ? 1 : 0;
  }
  EXPECT_EQ(files, 1u);
}

TEST_F(StagingTest, AJqItemInASubfolderIsUnpackedWithItsFolder) {
  const auto bytes = SampleImage(10, 8192);
  ASSERT_TRUE(Stage(WriteArchive("sub.stf", {Item("JQ_set/radio.bin", bytes)})));
  EXPECT_TRUE(image_.extracted());
  EXPECT_TRUE(image_.extracted_path().ends_with("/JQ_set/radio.bin"));
  EXPECT_EQ(ReadBytes(image_.extracted_path()), bytes);
}

TEST_F(StagingTest, ItemNamesStoredInCodePage437OrUtf8BothBecomeUtf8) {
  auto cp437 = Item(
      "JQ_\x81"
      "ber.bin",
      SampleImage(11, 4096));  // 0x81 is u-umlaut
  ASSERT_TRUE(Stage(WriteArchive("cp437.stf", {cp437})));
  EXPECT_TRUE(
      image_.extracted_path().ends_with("/JQ_\xC3\xBC"
                                        "ber.bin"));
  EXPECT_TRUE(fs::exists(image_.extracted_path()));

  auto utf8 = Item(
      "JQ_\xC3\xBC"
      "ber.bin",
      SampleImage(11, 4096));
  utf8.utf8_name = true;
  ASSERT_TRUE(Stage(WriteArchive("utf8.stf", {utf8})));
  EXPECT_TRUE(
      image_.extracted_path().ends_with("/JQ_\xC3\xBC"
                                        "ber.bin"));
  EXPECT_TRUE(fs::exists(image_.extracted_path()));
}

TEST_F(StagingTest, AnItemNameThatWouldLeaveTheStagingFolderWritesNothing) {
  // A good staging first, so we can see that the refused one removes nothing either.
  ASSERT_TRUE(Stage(WriteArchive("good.stf", {Item("JQ_A", SampleImage(12, 4096))})));
  const std::string staged = image_.extracted_path();

  for (const char* name : {"JQ_x/../../../escape.bin", "JQ_x\\..\\..\\escape.bin", "JQ_x/./y"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(Stage(WriteArchive("evil.stf", {Item(name, SampleImage(12, 4096))})));
    EXPECT_THAT(host_.disconnects, ElementsAre(IDS_EXTRACT_FAIL));
    EXPECT_FALSE(image_.extracted());
    EXPECT_TRUE(fs::exists(staged));
    EXPECT_FALSE(fs::exists(tmpdir_ / "escape.bin"));
    EXPECT_FALSE(fs::exists(scratch_ / "escape.bin"));
  }
}

struct LyingItemCase {
  const char* reason;
  std::optional<std::int64_t> size_change;  // declared size minus the true size
  bool wrong_crc;
  bool crc_of_declared_prefix;  // the CRC agrees with the declared (shorter) size
  bool stored;
};

class LyingItemTest : public StagingTest, public ::testing::WithParamInterface<LyingItemCase> {
 protected:
  SampleArchiveItem LyingItem(std::string name) const {
    const LyingItemCase& c = GetParam();
    auto item = Item(std::move(name), SampleImage(13, 64 * 1024));
    item.stored = c.stored;
    if (c.size_change) {
      item.declared_size =
          static_cast<std::uint64_t>(static_cast<std::int64_t>(item.data.size()) + *c.size_change);
    }
    if (c.wrong_crc) item.declared_crc = 0x12345678;
    if (c.crc_of_declared_prefix) {
      item.declared_crc = static_cast<std::uint32_t>(
          crc32(0, item.data.data(), static_cast<uInt>(*item.declared_size)));
    }
    return item;
  }
};

TEST_P(LyingItemTest, AnItemWhoseBytesDisagreeWithItsDirectoryIsAnExtractionFailure) {
  EXPECT_FALSE(Load(WriteArchive("lie.stf", {LyingItem("KVX_1.bin")})));
  EXPECT_THAT(host_.disconnects, ElementsAre(IDS_EXTRACT_FAIL));
  EXPECT_THAT(host_.posted, IsEmpty()) << "the extraction failure is the one message";
  EXPECT_EQ(image_.image(), nullptr);
  EXPECT_FALSE(image_.zip_item_allocated());

  EXPECT_FALSE(Stage(WriteArchive("lie_jq.stf", {LyingItem("JQ_A")})));
  EXPECT_THAT(host_.disconnects, ElementsAre(IDS_EXTRACT_FAIL));
  EXPECT_FALSE(image_.extracted());
  // No half-written image is left behind to be taken for a whole one.
  EXPECT_FALSE(fs::exists(image_.extracted_path()));
}

INSTANTIATE_TEST_SUITE_P(
    Lies, LyingItemTest,
    ::testing::Values(
        LyingItemCase{"declares more than it holds", 1000, false, false, false},
        LyingItemCase{"declares less than it holds", -1000, false, false, false},
        LyingItemCase{"declares less, with the CRC of that prefix", -1000, false, true, false},
        LyingItemCase{"fails its CRC", std::nullopt, true, false, false},
        LyingItemCase{"stored, declares more than it holds", 1000, false, false, true},
        LyingItemCase{"stored, declares less, with the CRC of that prefix", -1000, false, true,
                      true}));

TEST_F(StagingTest, AKvxItemThatFailsToUnpackEndsTheLoadWhereverItStands) {
  const auto good = SampleImage(14);
  auto bad = Item("KVX_1.bin", SampleImage(15));
  bad.declared_crc = 1;

  // The failure's Disconnect has ended the run: a good item after it must not start it again.
  EXPECT_FALSE(Load(WriteArchive("bad_then_good.stf", {bad, Item("KVX_2.bin", good)})));
  EXPECT_THAT(host_.disconnects, ElementsAre(IDS_EXTRACT_FAIL));
  EXPECT_THAT(host_.posted, IsEmpty());
  EXPECT_EQ(image_.image(), nullptr);

  host_.disconnects.clear();
  bad.name = "KVX_3.bin";
  EXPECT_FALSE(Load(WriteArchive("good_then_bad.stf", {Item("KVX_2.bin", good), bad})));
  EXPECT_THAT(host_.disconnects, ElementsAre(IDS_EXTRACT_FAIL));
  EXPECT_THAT(host_.posted, IsEmpty());
  EXPECT_EQ(image_.image(), nullptr);
}

TEST_F(StagingTest, AStagingFolderThatIsALinkOrBelongsToAnotherUserIsRefused) {
  const fs::path victim = scratch_ / "victim";
  fs::create_directory(victim);
  std::ofstream(victim / "canary") << "keep me";
  fs::create_directory_symlink(victim, StagingRoot());

  EXPECT_FALSE(Stage(WriteArchive("jq.stf", {Item("JQ_A", SampleImage(16, 4096))})));
  EXPECT_THAT(host_.disconnects, ElementsAre(IDS_EXTRACT_FAIL));
  EXPECT_FALSE(image_.extracted());
  EXPECT_TRUE(fs::is_symlink(StagingRoot()));
  std::vector<fs::path> victim_entries(fs::directory_iterator(victim), fs::directory_iterator{});
  EXPECT_THAT(victim_entries, ElementsAre(victim / "canary"));

  if (geteuid() != 0) GTEST_SKIP() << "handing a folder to another user needs root";
  fs::remove(StagingRoot());
  fs::create_directory(StagingRoot());
  std::ofstream(StagingRoot() / "theirs") << "not ours to delete";
  ASSERT_EQ(chown(StagingRoot().c_str(), 65534, 65534), 0);
  EXPECT_FALSE(Stage(WriteArchive("jq.stf", {Item("JQ_A", SampleImage(16, 4096))})));
  EXPECT_THAT(host_.disconnects, ElementsAre(IDS_EXTRACT_FAIL));
  EXPECT_TRUE(fs::exists(StagingRoot() / "theirs"));
}

struct OpenFailureCase {
  const char* reason;
  const char* file_name;
  enum { kMissing, kFolder, kFifo } kind;
};

class PlainFileOpenTest : public StagingTest,
                          public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(PlainFileOpenTest, AFileThatCannotBeReadAsAnImageIsRefusedWithOpenFailure) {
  const auto path = scratch_ / GetParam().file_name;
  if (GetParam().kind == OpenFailureCase::kFolder) fs::create_directory(path);
  if (GetParam().kind == OpenFailureCase::kFifo) {
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  }

  EXPECT_FALSE(Load(path.string()));
  EXPECT_THAT(host_.posted, ElementsAre(IDS_FILE_OPEN_FAIL, IDS_INCOMPATIBLE_BINARY));
  EXPECT_THAT(host_.Texts(), ElementsAre("Open Btn press\n",
                                         "WM_USER_BTN_CTRL BTN_ENABLE IDS_FILE_OPEN_FAIL occur\n",
                                         "WM_USER_BTN_CTRLoccur\n"));
  EXPECT_FALSE(image_.file_open());
}

INSTANTIATE_TEST_SUITE_P(
    Files, PlainFileOpenTest,
    ::testing::Values(
        OpenFailureCase{"the file is gone", "missing.bin", OpenFailureCase::kMissing},
        OpenFailureCase{"a folder is not an image", "folder.bin", OpenFailureCase::kFolder},
        // Opening a FIFO for reading would wait for a writer for ever.
        OpenFailureCase{"a FIFO is not an image", "fifo.bin", OpenFailureCase::kFifo}));

TEST_F(StagingTest, AnImageThatFailsToParseIsReleasedAfterBothMessages) {
  SampleImageSpec spec;
  spec.boot = "not a boot text";
  ASSERT_FALSE(Load(WritePlain("bad_boot.bin", MakeSampleImage(spec))));
  EXPECT_THAT(host_.posted, ElementsAre(IDS_WRONG_BSP_VER, IDS_INCOMPATIBLE_BINARY));
  EXPECT_EQ(host_.Texts().back(), "WM_USER_BTN_CTRLoccur\n");
  EXPECT_FALSE(image_.file_open());
  EXPECT_EQ(image_.image(), nullptr);

  // In an archive the early boot check refuses it first, with the closing message alone.
  ASSERT_FALSE(Load(WriteArchive("bad_boot.stf", {Item("KVX_1.bin", MakeSampleImage(spec))})));
  EXPECT_THAT(host_.posted, ElementsAre(IDS_INCOMPATIBLE_BINARY));
  EXPECT_EQ(image_.image(), nullptr);
}

TEST_F(StagingTest, TheSendWindowNarrowsPastTheBootRegionOnlyWhenSomethingIsLeft) {
  ASSERT_TRUE(Load(WritePlain("fw.bin", SampleImage(17))));
  ASSERT_TRUE(image_.SendFrom(0x40000));
  EXPECT_EQ(image_.send_start(), image_.image() + 0x40000);
  EXPECT_EQ(image_.send_size(), 786432u);
  EXPECT_EQ(image_.segment_count(), 12);
  EXPECT_FALSE(image_.boot_included());

  image_.SendWholeImage();
  EXPECT_EQ(image_.send_size(), 1048576u);
  EXPECT_EQ(image_.segment_count(), 16);
  EXPECT_TRUE(image_.boot_included());

  EXPECT_FALSE(image_.SendFrom(image_.image_size()));
  EXPECT_EQ(image_.send_size(), 1048576u);
}

}  // namespace
}  // namespace kvx
