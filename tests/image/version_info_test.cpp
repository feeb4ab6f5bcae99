#include "image/version_info.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "image/recording_host.h"
#include "platform/codepage.h"

namespace kvx {

void PrintTo(const version_info_s& r, std::ostream* os) {
  *os << "{valid " << int{r.valid} << ", emergency " << int{r.emergency} << ", region " << r.region
      << ", edition " << r.edition << ", " << r.major << "." << r.minor << "." << r.patch << "}";
}

void PrintTo(const bsp_info_s& r, std::ostream* os) {
  *os << "{valid " << int{r.valid} << ", base " << r.base << ", standard " << r.standard
      << ", type " << r.type << ", hw";
  for (const auto h : r.hw) *os << " " << h;
  *os << ", " << r.major << "." << r.minor << "." << r.patch << "}";
}

namespace {

using ::testing::ElementsAre;

constexpr std::uint32_t kMax32 = std::numeric_limits<std::uint32_t>::max();

version_info_s Mmi(int valid, int region, int edition, std::uint32_t major, std::uint32_t minor,
                   std::uint32_t patch) {
  version_info_s r;
  r.valid = static_cast<std::uint8_t>(valid);
  r.region = region;
  r.edition = edition;
  r.major = major;
  r.minor = minor;
  r.patch = patch;
  return r;
}

version_info_s Stack(int valid, int emergency, std::uint32_t major, std::uint32_t minor,
                     std::uint32_t patch) {
  version_info_s r;
  r.valid = static_cast<std::uint8_t>(valid);
  r.emergency = static_cast<std::uint8_t>(emergency);
  r.major = major;
  r.minor = minor;
  r.patch = patch;
  return r;
}

// ---- MMI ----

struct MmiCase {
  const char* reason;
  std::string text;
  MmiSide side;
  bool result;
  version_info_s record;  // parsed into a zeroed record
};

TEST(ParseMmiVersion, FillsTheRecordAsEachTextDemands) {
  const std::vector<MmiCase> cases = {
      {"edition ML and the VM region marker", "KVX_2.10.3_ML_VM_20240101", MmiSide::kImage, true,
       Mmi(1, 2, 1, 2, 10, 3)},
      {"neither ML nor GL: region read after the next '_'", "KVX_2.10_XX_XY", MmiSide::kImage, true,
       Mmi(1, 0, 0, 2, 10, 0)},
      {"one dot sets patch to 0", "KVX_1.2_ML_VM", MmiSide::kImage, true, Mmi(1, 2, 1, 1, 2, 0)},
      {"no dot is refused", "KVX_1_ML", MmiSide::kImage, false, Mmi(0, 0, 0, 1, 0, 0)},
      {"a third dot is refused", "KVX_1.2.3.4_ML", MmiSide::kImage, false, Mmi(0, 0, 0, 1, 2, 3)},
      {"no edition and no second '_': recognised, not valid", "KVX_1.2.3_X", MmiSide::kImage, true,
       Mmi(0, 0, 0, 1, 2, 3)},
      {"no '_' closes the number: recognised, not valid", "KVX_1.2.3", MmiSide::kImage, true,
       Mmi(0, 0, 0, 1, 2, 3)},
      {"GL at the very end: the region look-up stays inside the text", "KVX_1.2_GL",
       MmiSide::kImage, true, Mmi(1, 0, 2, 1, 2, 0)},
      {"letters inside the number are skipped", "KVX_1a.2b_ML_VM", MmiSide::kImage, true,
       Mmi(1, 2, 1, 1, 2, 0)},
      {"the TVLMX image prefix starts the number at 7", " TVLMX_4.0.2_GL_VM", MmiSide::kImage, true,
       Mmi(1, 2, 2, 4, 0, 2)},
      {"an image text without a known prefix", "MMX_1.2_ML", MmiSide::kImage, false,
       Mmi(0, 0, 0, 0, 0, 0)},
      {"the prefix is found anywhere but the number is read at its length from the start",
       "abcdKVX_1.2_ML", MmiSide::kImage, false, Mmi(0, 0, 0, 0, 0, 0)},
      {"terminal TVLMX reply with its line end", "OK+SYSVer:TVLMX_4.0.2_GL_VM\r\n",
       MmiSide::kTerminal, true, Mmi(1, 2, 2, 4, 0, 2)},
      {"terminal KVX reply", "OK+SYSVer:KVX_1.10.0_ML_XX\r\n", MmiSide::kTerminal, true,
       Mmi(1, 0, 1, 1, 10, 0)},
      {"an image text is not a terminal reply", "KVX_1.2_ML_VM", MmiSide::kTerminal, false,
       Mmi(0, 0, 0, 0, 0, 0)},
      {"the text ends at its first zero byte", std::string("KVX_1.2\0_ML_VM", 14), MmiSide::kImage,
       true, Mmi(0, 0, 0, 1, 2, 0)},
      {"a '_' beyond 255 characters does not close the number",
       "KVX_1.2" + std::string(300, 'x') + "_ML_VM", MmiSide::kImage, true, Mmi(0, 0, 0, 1, 2, 0)},
      {"a number too large for 32 bits stays at the maximum", "KVX_99999999999.1_ML_VM",
       MmiSide::kImage, true, Mmi(1, 2, 1, kMax32, 1, 0)},
  };
  for (const MmiCase& c : cases) {
    SCOPED_TRACE(c.reason);
    version_info_s record;
    EXPECT_EQ(parse_mmi_version(c.text, c.side, record), c.result);
    EXPECT_EQ(record, c.record);
  }
}

TEST(ParseMmiVersion, KeepsTheOldValueOfANumberThatGetsNoDigit) {
  version_info_s record = Mmi(0, 0, 0, 5, 7, 9);
  EXPECT_TRUE(parse_mmi_version("KVX_.._ML", MmiSide::kImage, record));
  EXPECT_EQ(record, Mmi(1, 0, 1, 5, 7, 9));
  EXPECT_TRUE(parse_mmi_version("KVX_3._GL", MmiSide::kImage, record));
  EXPECT_EQ(record, Mmi(1, 0, 2, 3, 7, 0)) << "minor keeps 7, one dot zeroes patch";
}

TEST(ParseMmiVersion, ClearsValidOnRefusalButNotForAnUnknownSide) {
  version_info_s record = Mmi(1, 2, 1, 1, 2, 3);
  EXPECT_FALSE(parse_mmi_version("KVX_1.2_ML", static_cast<MmiSide>(2), record));
  EXPECT_EQ(record.valid, 1) << "an unknown side returns at once";
  EXPECT_FALSE(parse_mmi_version("garbage", MmiSide::kImage, record));
  EXPECT_EQ(record.valid, 0);
}

TEST(ParseMmiVersion, LeavesEditionAsItWasWhenNeitherMlNorGlFollows) {
  version_info_s record = Mmi(0, 2, 1, 0, 0, 0);
  EXPECT_TRUE(parse_mmi_version("KVX_1.2_XX_AB", MmiSide::kImage, record));
  EXPECT_EQ(record, Mmi(1, 0, 1, 1, 2, 0)) << "edition unchanged, region rewritten";
}

// ---- Stack, image side ----

struct BinaryStackCase {
  const char* reason;
  std::string text;
  bool result;
  version_info_s record;
  std::vector<std::string> lines;
};

TEST(ParseBinaryStackVersion, AcceptsOnlyTheNormalTaloLayout) {
  const std::vector<BinaryStackCase> cases = {
      {"the documented example",
       "TALO_TYPE_VMR_NORMAL_V3.1.7 2024/01/02",
       true,
       Stack(1, 0, 3, 1, 7),
       {}},
      {"KDQ family, one dot leaves patch alone",
       "TALO_TYPE_KDQ_NORMAL_V3.1",
       true,
       Stack(1, 0, 3, 1, 0),
       {}},
      {"zero dots are allowed", "TALO_TYPE_VMR_NORMAL_V7", true, Stack(1, 0, 7, 0, 0), {}},
      {"no TALO_TYPE_",
       "TALO_XXX",
       false,
       Stack(0, 0, 0, 0, 0),
       {"parse_binary_stack_version fail 1\n"}},
      {"unknown family",
       "TALO_TYPE_ABC_NORMAL_V1.0",
       false,
       Stack(0, 0, 0, 0, 0),
       {"parse_binary_stack_version fail 2\n"}},
      {"family cut short by the end of the text",
       "TALO_TYPE_VM",
       false,
       Stack(0, 0, 0, 0, 0),
       {"parse_binary_stack_version fail 2\n"}},
      {"not NORMAL",
       "TALO_TYPE_VMR_SPECIAL_V1.0",
       false,
       Stack(0, 0, 0, 0, 0),
       {"parse_binary_stack_version fail 4\n"}},
      {"no _V after NORMAL",
       "TALO_TYPE_VMR_NORMAL",
       false,
       Stack(0, 0, 0, 0, 0),
       {"parse_binary_stack_version fail 5\n"}},
      {"a stray character is traced with the whole text and skipped",
       "TALO_TYPE_VMR_NORMAL_V1.2x.3",
       true,
       Stack(1, 0, 1, 2, 3),
       {"in parse binary stack version parse, fail parse TALO_TYPE_VMR_NORMAL_V1.2x.3\n"}},
      {"a third dot fails without a trace line",
       "TALO_TYPE_VMR_NORMAL_V1.2.3.4",
       false,
       Stack(0, 0, 1, 2, 3),
       {}},
      {"TALO_TYPE_ may stand anywhere",
       "xxTALO_TYPE_KDQ_NORMAL_V2.0.0",
       true,
       Stack(1, 0, 2, 0, 0),
       {}},
  };
  for (const BinaryStackCase& c : cases) {
    SCOPED_TRACE(c.reason);
    RecordingHost host;
    version_info_s record;
    EXPECT_EQ(parse_binary_stack_version(c.text, record, host), c.result);
    EXPECT_EQ(record, c.record);
    EXPECT_EQ(host.Texts(), c.lines);
    for (const auto& line : host.lines) EXPECT_EQ(line.colour, kTraceRed);
  }
}

TEST(ParseBinaryStackVersion, ClearsAnEarlierValidOnEveryLaterFailure) {
  for (const char* text : {"TALO_TYPE_XXX_NORMAL_V1", "TALO_TYPE_VMR_NORMAL_V1.2.3.4"}) {
    SCOPED_TRACE(text);
    RecordingHost host;
    version_info_s record = Stack(1, 0, 9, 9, 9);
    EXPECT_FALSE(parse_binary_stack_version(text, record, host));
    EXPECT_EQ(record.valid, 0);
  }
}

TEST(ParseBinaryStackVersion, TracesEightBitTextsAsUtf8) {
  RecordingHost host;
  version_info_s record;
  EXPECT_TRUE(parse_binary_stack_version("TALO_TYPE_VMR_NORMAL_V1\xe9", record, host));
  EXPECT_THAT(host.Texts(), ElementsAre("in parse binary stack version parse, fail parse "
                                        "TALO_TYPE_VMR_NORMAL_V1" +
                                        LocaleToUtf8("\xe9") + "\n"));
}

// ---- Stack, terminal side ----

struct TargetStackCase {
  const char* reason;
  std::string reply;
  bool result;
  version_info_s record;  // parsed into Stack(0, 1, 4, 5, 6): numbers set, emergency set
};

TEST(ParseTargetStackVersion, ReadsTheJqSatVersionOrTheEmergencyMode) {
  const version_info_s before = Stack(0, 1, 4, 5, 6);
  const std::vector<TargetStackCase> cases = {
      {"EMERGENCY keeps the numbers", "EMERGENCY\r\n", true, Stack(1, 1, 4, 5, 6)},
      {"only the first eight letters count", "EMERGENCE MODE\r\n", true, Stack(1, 1, 4, 5, 6)},
      {"seven letters are not enough", "EMERGEN\r\n", false, Stack(0, 0, 4, 5, 6)},
      {"a version with a build date", "VER JQ_SAT_V2.4.1 2023-01-01\r\n", true,
       Stack(1, 0, 2, 4, 1)},
      {"JQ_SAT without _V stays valid with its numbers", "JQ_SAT\r\n", false, Stack(1, 0, 4, 5, 6)},
      {"a _V before JQ_SAT does not count", "_V1.0 JQ_SAT\r\n", false, Stack(1, 0, 4, 5, 6)},
      {"a third dot stops with the numbers read so far", "JQ_SAT_V2.4.1.9\r\n", false,
       Stack(1, 0, 2, 4, 1)},
      {"the line end is skipped", "JQ_SAT_V3.0.0\r\n", true, Stack(1, 0, 3, 0, 0)},
      {"no JQ_SAT", "+CME ERROR\r\n", false, Stack(0, 0, 4, 5, 6)},
  };
  for (const TargetStackCase& c : cases) {
    SCOPED_TRACE(c.reason);
    version_info_s record = before;
    EXPECT_EQ(parse_target_stack_version(c.reply, record), c.result);
    EXPECT_EQ(record, c.record);
  }
}

TEST(ParseTargetStackVersion, ARecordAcceptedEarlierIsInvalidAfterAReplyWithoutJqSat) {
  version_info_s record;
  EXPECT_TRUE(parse_target_stack_version("JQ_SAT_V1.2.3", record));
  EXPECT_FALSE(parse_target_stack_version("OK\r\n", record));
  EXPECT_EQ(record.valid, 0);
}

// ---- Boot ----

enum class Side { kImage, kTerminal };

struct BootExpect {
  std::uint8_t valid;
  std::int32_t base;
  std::int32_t standard;
  std::int32_t type;
  std::string hw;  // letters, '\0' for a zero entry; shorter means the rest are 0
  std::uint32_t major, minor, patch;
};

bsp_info_s Boot(const BootExpect& e) {
  bsp_info_s r;
  r.valid = e.valid;
  r.base = e.base;
  r.standard = e.standard;
  r.type = e.type;
  for (std::size_t k = 0; k < e.hw.size() && k < r.hw.size(); ++k) r.hw[k] = e.hw[k];
  r.major = e.major;
  r.minor = e.minor;
  r.patch = e.patch;
  return r;
}

struct BootCase {
  const char* reason;
  std::string text;
  Side side;
  bool option;  // Downgrade enable (image) or Forced Bootloader upgrade enable (terminal)
  std::uint8_t valid_before;
  bool result;
  BootExpect record;
  std::vector<std::string> lines;
};

TEST(ParseBootVersion, FollowsTheCharacterRulesOfEachSideAndOption) {
  const std::string bad_number = "SFQAABCDEFG V1.2x.3";
  const std::string long_number = "SFQAABCDEFG V1.2." + std::string(58, '0') + "795";
  const std::vector<BootCase> cases = {
      {"the documented example",
       "SFQAABCDEFG V2.0.1",
       Side::kImage,
       false,
       0,
       true,
       {1, 'S', 'F', 'Q', "ABCDEFG", 2, 0, 1},
       {"@@ZBinary boot = KDQ\n"}},
      {"terminal side writes its own class line",
       "SF5BABCDEFG V3.1.0\r\n",
       Side::kTerminal,
       false,
       0,
       true,
       {1, 'S', 'F', '5', "ABCDEFG", 3, 1, 0},
       {"@@Target boot = FC\n"}},
      {"base T is recorded and valid kept",
       "TF3AABCDEFG V1.0.0",
       Side::kImage,
       false,
       1,
       false,
       {1, 'T', 0, 0, "", 0, 0, 0},
       {}},
      {"any other base clears valid",
       "XF3AABCDEFG V1.0.0",
       Side::kImage,
       false,
       1,
       false,
       {0, 0, 0, 0, "", 0, 0, 0},
       {}},
      {"an empty text clears valid",
       "",
       Side::kTerminal,
       false,
       1,
       false,
       {0, 0, 0, 0, "", 0, 0, 0},
       {}},
      {"unknown standard G becomes '0'",
       "SG3AABCDEFG V1.0.0",
       Side::kImage,
       true,
       1,
       false,
       {0, 'S', '0', 0, "", 0, 0, 0},
       {}},
      {"image, downgrade off: 9 is unknown",
       "S93AABCDEFG V1.0.0",
       Side::kImage,
       false,
       1,
       false,
       {0, 'S', '0', 0, "", 0, 0, 0},
       {}},
      {"image, downgrade on: 9 continues",
       "S93AABCDEFG V1.0.0",
       Side::kImage,
       true,
       0,
       true,
       {1, 'S', '9', '3', "ABCDEFG", 1, 0, 0},
       {"@@ZBinary boot = FC\n"}},
      {"image, downgrade off: 8 is refused, recorded",
       "S83AABCDEFG V1.0.0",
       Side::kImage,
       false,
       1,
       false,
       {1, 'S', '8', 0, "", 0, 0, 0},
       {}},
      {"image, downgrade on: 8 continues",
       "S8aAABCDEFG V1.0.0",
       Side::kImage,
       true,
       0,
       true,
       {1, 'S', '8', 'a', "ABCDEFG", 1, 0, 0},
       {"@@ZBinary boot = FA\n"}},
      {"image, downgrade off: A is refused, recorded",
       "SA3AABCDEFG V1.0.0",
       Side::kImage,
       false,
       0,
       false,
       {0, 'S', 'A', 0, "", 0, 0, 0},
       {}},
      {"image, downgrade on: 7 is refused, recorded",
       "S73AABCDEFG V1.0.0",
       Side::kImage,
       true,
       1,
       false,
       {1, 'S', '7', 0, "", 0, 0, 0},
       {}},
      {"terminal, forced off: A is refused, recorded",
       "SAzAABCDEFG V1.0.0",
       Side::kTerminal,
       false,
       1,
       false,
       {1, 'S', 'A', 0, "", 0, 0, 0},
       {}},
      {"terminal, forced on: A continues",
       "SAzAABCDEFG V1.0.0",
       Side::kTerminal,
       true,
       0,
       true,
       {1, 'S', 'A', 'z', "ABCDEFG", 1, 0, 0},
       {"@@Target boot = FB\n"}},
      {"terminal, forced on: 9 is still refused, recorded",
       "S9zAABCDEFG V1.0.0",
       Side::kTerminal,
       true,
       0,
       false,
       {0, 'S', '9', 0, "", 0, 0, 0},
       {}},
      {"terminal, forced off: 8 is refused, recorded",
       "S8MAABCDEFG V1.0.0",
       Side::kTerminal,
       false,
       1,
       false,
       {1, 'S', '8', 0, "", 0, 0, 0},
       {}},
      {"terminal: B is unknown",
       "SBMAABCDEFG V1.0.0",
       Side::kTerminal,
       true,
       1,
       false,
       {0, 'S', '0', 0, "", 0, 0, 0},
       {}},
      {"a FAIL type alone does not refuse",
       "SF#AABCDEFG V1.0.0",
       Side::kImage,
       false,
       0,
       true,
       {1, 'S', 'F', 0, "ABCDEFG", 1, 0, 0},
       {"@@ZBinary boot = FAIL\n"}},
      {"a FAIL type and a later refusal leave valid cleared",
       "SF#CABCDEFG V1.0.0",
       Side::kImage,
       false,
       1,
       false,
       {0, 'S', 'F', 0, "", 0, 0, 0},
       {"@@ZBinary boot = FAIL\n"}},
      {"character 3 must be A or B",
       "SFQCABCDEFG V1.0.0",
       Side::kImage,
       false,
       1,
       false,
       {0, 'S', 'F', 'Q', "", 0, 0, 0},
       {"@@ZBinary boot = KDQ\n"}},
      {"a lower-case hardware letter zeroes its entry",
       "SFQBABCdEFG V1.0.0",
       Side::kImage,
       false,
       1,
       false,
       {0, 'S', 'F', 'Q', std::string("ABC\0", 4), 0, 0, 0},
       {"@@ZBinary boot = KDQ\n"}},
      {"a text that ends inside the hardware letters",
       "SFQBABC",
       Side::kTerminal,
       false,
       1,
       false,
       {0, 'S', 'F', 'Q', "ABC", 0, 0, 0},
       {"@@Target boot = KDQ\n"}},
      {"no ' V' after the hardware letters",
       "SFQAABCDEFG v1.0.0",
       Side::kImage,
       false,
       1,
       false,
       {0, 'S', 'F', 'Q', "ABCDEFG", 0, 0, 0},
       {"@@ZBinary boot = KDQ\n", "in parse_bsp_ver, no version number SFQAABCDEFG v1.0.0\n"}},
      {"no ' V', terminal wording",
       "SFQAABCDEFG",
       Side::kTerminal,
       false,
       1,
       false,
       {0, 'S', 'F', 'Q', "ABCDEFG", 0, 0, 0},
       {"@@Target boot = KDQ\n", "in parse_bsp_ver 2, no version number SFQAABCDEFG\n"}},
      {"a stray character is traced once and skipped",
       bad_number,
       Side::kImage,
       false,
       0,
       true,
       {1, 'S', 'F', 'Q', "ABCDEFG", 1, 2, 3},
       {"@@ZBinary boot = KDQ\n", "in parse_bsp_ver, fail parse " + bad_number + "\n"}},
      {"terminal wording of the stray character line",
       bad_number,
       Side::kTerminal,
       false,
       0,
       true,
       {1, 'S', 'F', 'Q', "ABCDEFG", 1, 2, 3},
       {"@@Target boot = KDQ\n", "in parse_bsp_ver 2, fail parse " + bad_number + "\n"}},
      {"the image side does not stop at a line end",
       "SFQAABCDEFG V1.2.3\r\n",
       Side::kImage,
       false,
       0,
       true,
       {1, 'S', 'F', 'Q', "ABCDEFG", 1, 2, 3},
       {"@@ZBinary boot = KDQ\n", "in parse_bsp_ver, fail parse SFQAABCDEFG V1.2.3\r\n\n",
        "in parse_bsp_ver, fail parse SFQAABCDEFG V1.2.3\r\n\n"}},
      {"the terminal side stops at the line end",
       "SFQAABCDEFG V1.2.3\r\nZZ",
       Side::kTerminal,
       false,
       0,
       true,
       {1, 'S', 'F', 'Q', "ABCDEFG", 1, 2, 3},
       {"@@Target boot = KDQ\n"}},
      {"a third dot refuses and keeps valid",
       "SFQAABCDEFG V1.2.3.4",
       Side::kImage,
       false,
       1,
       false,
       {1, 'S', 'F', 'Q', "ABCDEFG", 1, 2, 3},
       {"@@ZBinary boot = KDQ\n"}},
      {"at most 64 characters of the number are read",
       long_number,
       Side::kImage,
       false,
       0,
       true,
       {1, 'S', 'F', 'Q', "ABCDEFG", 1, 2, 79},
       {"@@ZBinary boot = KDQ\n"}},
      {"the text ends at its first zero byte",
       std::string("SFQAABCDEFG V1.2\0.3", 20),
       Side::kImage,
       false,
       0,
       true,
       {1, 'S', 'F', 'Q', "ABCDEFG", 1, 2, 0},
       {"@@ZBinary boot = KDQ\n"}},
  };
  for (const BootCase& c : cases) {
    SCOPED_TRACE(c.reason);
    RecordingHost host;
    bsp_info_s record;
    record.valid = c.valid_before;
    const bool result = c.side == Side::kImage
                            ? parse_bsp_ver(c.text, record, c.option, host)
                            : parse_target_bsp_ver(c.text, record, c.option, host);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(record, Boot(c.record));
    EXPECT_EQ(host.Texts(), c.lines);
    for (const auto& line : host.lines) EXPECT_EQ(line.colour, kTraceRed);
  }
}

TEST(ParseBootVersion, MarksARecordValidAgainAfterAnEarlierRefusal) {
  RecordingHost host;
  bsp_info_s record;
  EXPECT_FALSE(parse_bsp_ver("SG", record, false, host));
  EXPECT_TRUE(parse_bsp_ver("SFQAABCDEFG V2.0.1", record, false, host));
  EXPECT_EQ(record.valid, 1);
  EXPECT_EQ(record.standard, 'F');
}

struct BootTypeCase {
  char type;
  BootType expected;
  const char* name;
};

TEST(ClassifyBootType, PutsEachCharacterRangeInItsClass) {
  const BootTypeCase cases[] = {
      {'0', BootType::kFC, "FC"},        {'9', BootType::kFC, "FC"},
      {'N', BootType::kKDQ, "KDQ"},      {'Z', BootType::kKDQ, "KDQ"},
      {'A', BootType::kVMR, "VMR"},      {'M', BootType::kVMR, "VMR"},
      {'a', BootType::kFA, "FA"},        {'m', BootType::kFA, "FA"},
      {'n', BootType::kFB, "FB"},        {'z', BootType::kFB, "FB"},
      {'#', BootType::kFail, "FAIL"},    {'\0', BootType::kFail, "FAIL"},
      {'\xc1', BootType::kFail, "FAIL"},
  };
  for (const BootTypeCase& c : cases) {
    SCOPED_TRACE(int{c.type});
    EXPECT_EQ(classify_boot_type(c.type), c.expected);
    EXPECT_STREQ(boot_type_name(c.expected), c.name);
  }
}

// ---- NV ----

TEST(ExtractNvVersion, TakesTheFourBytesAfterTheFirstMarker) {
  nv_version_s nv;
  EXPECT_TRUE(extract_nv_version("NV_VER0102NV_VER9999", nv));
  EXPECT_EQ(nv.chars(), "0102");
  EXPECT_EQ(nv.bytes[4], '\0');

  EXPECT_TRUE(extract_nv_version("xxNV_VER12", nv));
  EXPECT_EQ(nv.chars(), std::string_view("12\0\0", 4)) << "a short text is not read past";

  EXPECT_TRUE(extract_nv_version("NV_VER", nv));
  EXPECT_TRUE(nv.empty());

  EXPECT_TRUE(extract_nv_version("NV_VER1.2\r\n", nv));
  EXPECT_EQ(nv.chars(), "1.2\r") << "copied unchanged";

  nv.bytes = {'1', '2', '3', '4', '\0'};
  EXPECT_FALSE(extract_nv_version("NV_VE1234", nv));
  EXPECT_TRUE(nv.empty()) << "zeroed before the extraction";
}

TEST(NvVersionValue, ReadsTheCharactersAsADecimalNumber) {
  const auto value = [](const char* text) {
    nv_version_s nv;
    extract_nv_version(std::string("NV_VER") + text, nv);
    return nv_version_value(nv);
  };
  EXPECT_DOUBLE_EQ(value("0102"), 102.0);
  EXPECT_DOUBLE_EQ(value("1.25"), 1.25);
  EXPECT_DOUBLE_EQ(value(" 2.5"), 2.5);
  EXPECT_DOUBLE_EQ(value("+3"), 3.0);
  EXPECT_DOUBLE_EQ(value("ab"), 0.0);
  EXPECT_DOUBLE_EQ(value(""), 0.0);
}

}  // namespace
}  // namespace kvx
