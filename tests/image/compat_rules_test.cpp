#include "image/compat_rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/string_table.h"
#include "platform/user_messages.h"

namespace kvx {

void PrintTo(const SendWindow& w, std::ostream* os) {
  *os << "{offset " << w.offset << ", size " << w.size << ", boot " << w.boot_included
      << ", segments " << w.segment_count << "}";
}

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RecordingCompatHost : public CompatHost {
 public:
  struct Post {
    WPARAM button;
    int id;
    bool operator==(const Post&) const = default;
  };

  std::vector<std::pair<std::string, COLORREF>> lines;
  std::vector<Post> posted;
  std::vector<int> questions;
  LRESULT answer = IDYES;
  bool dev_mode = false;

  void WriteLog(std::string_view text, COLORREF colour, int kind) override {
    EXPECT_EQ(kind, LOG_TEXT);
    lines.emplace_back(std::string(text), colour);
  }
  void PostButtonControl(WPARAM button, int string_id) override {
    posted.push_back({button, string_id});
  }
  LRESULT Ask(int question_id) override {
    questions.push_back(question_id);
    return answer;
  }
  bool IsDevMode() const override { return dev_mode; }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& line : lines) texts.push_back(line.first);
    return texts;
  }
  std::vector<int> PostedIds() const {
    std::vector<int> ids;
    for (const Post& post : posted) ids.push_back(post.id);
    return ids;
  }
  bool Traced(std::string_view text) const {
    for (const auto& line : lines) {
      if (line.first == text) return true;
    }
    return false;
  }
};

version_info_s Mmi(std::uint32_t major, std::uint32_t minor, std::uint32_t patch, int edition = 1,
                   int region = 2) {
  version_info_s r;
  r.valid = 1;
  r.edition = edition;
  r.region = region;
  r.major = major;
  r.minor = minor;
  r.patch = patch;
  return r;
}

version_info_s Stack(std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
  version_info_s r;
  r.valid = 1;
  r.major = major;
  r.minor = minor;
  r.patch = patch;
  return r;
}

version_info_s Unknown() {
  return version_info_s{};
}

version_info_s Emergency() {
  version_info_s r;
  r.valid = 1;
  r.emergency = 1;
  return r;
}

bsp_info_s Boot(std::uint32_t major) {
  bsp_info_s r;
  r.valid = 1;
  r.base = 'S';
  r.standard = 'F';
  r.type = 'Q';
  r.hw = {'A', 'B', 'C', 'D', 'E', 'F', 'G'};
  r.major = major;
  r.minor = 7;
  r.patch = 9;
  return r;
}

// The six records of one run, with defaults that pass every rule.
struct Versions {
  version_info_s image_mmi = Mmi(2, 0, 0);
  version_info_s terminal_mmi = Mmi(1, 9, 9);
  version_info_s image_stack = Stack(3, 1, 7);
  version_info_s terminal_stack = Stack(3, 1, 0);
  bsp_info_s image_boot = Boot(3);
  bsp_info_s terminal_boot = Boot(3);

  RuleRecords records() const {
    return RuleRecords{image_mmi,      terminal_mmi, image_stack,
                       terminal_stack, image_boot,   terminal_boot};
  }
};

constexpr std::uint64_t kOneMiB = 1048576;
const SendWindow kUntouched{1, 2, false, 3};

// ---- MMI rule ----

struct MmiCase {
  const char* reason;
  version_info_s image;
  version_info_s terminal;
  bool dev_mode;
  LRESULT answer;
  bool asks_same_version;  // question 204
  bool result;
  std::vector<int> posted;
  std::vector<std::string> lines;
};

TEST(CheckMmiVersion, DecidesOnValidityRegionEditionAndNumbers) {
  const std::vector<std::string> equal_lines = {
      "binary mmi ver [1][2][3]\n", "target mmi ver [1][2][3]\n", "MMI 버전이 서로 같음."};
  const auto with = [](std::vector<std::string> lines, const char* last) {
    lines.push_back(last);
    return lines;
  };
  const std::vector<MmiCase> cases = {
      {"a higher major passes",
       Mmi(2, 0, 0),
       Mmi(1, 9, 9),
       false,
       IDYES,
       false,
       true,
       {},
       {"binary mmi ver [2][0][0]\n", "target mmi ver [1][9][9]\n"}},
      {"numbers compare as numbers, not text",
       Mmi(1, 10, 0),
       Mmi(1, 9, 0),
       false,
       IDYES,
       false,
       true,
       {},
       {"binary mmi ver [1][10][0]\n", "target mmi ver [1][9][0]\n"}},
      {"a lower image is refused with 151",
       Mmi(1, 2, 3),
       Mmi(1, 2, 4),
       false,
       IDYES,
       false,
       false,
       {IDS_LOWER_VERSION},
       {"binary mmi ver [1][2][3]\n", "target mmi ver [1][2][4]\n",
        "MMI version is lower than Binary version. Downgrade is not allowed\n"}},
      {"development mode lets a lower image pass",
       Mmi(1, 2, 3),
       Mmi(1, 3, 0),
       true,
       IDYES,
       false,
       true,
       {},
       {"binary mmi ver [1][2][3]\n", "target mmi ver [1][3][0]\n",
        "Development mode enable. force down-grade"}},
      {"equal versions: Yes goes on",
       Mmi(1, 2, 3),
       Mmi(1, 2, 3),
       false,
       IDYES,
       true,
       true,
       {},
       with(equal_lines, "동일 버전, 사용자가 업그레이드 계속 요구")},
      {"equal versions: No stops",
       Mmi(1, 2, 3),
       Mmi(1, 2, 3),
       false,
       IDNO,
       true,
       false,
       {},
       with(equal_lines, "동일 버전 사용자가 업그레이드 안하도록 요구")},
      {"any answer but Yes stops",
       Mmi(1, 2, 3),
       Mmi(1, 2, 3),
       true,
       IDCANCEL,
       true,
       false,
       {},
       with(equal_lines, "동일 버전 사용자가 업그레이드 안하도록 요구")},
      {"GL against ML is 152 although the numbers are equal",
       Mmi(1, 2, 3, 2),
       Mmi(1, 2, 3, 1),
       false,
       IDYES,
       false,
       false,
       {IDS_UNKNOWN_VERSIONS},
       {}},
      {"another region is 152",
       Mmi(2, 0, 0, 1, 2),
       Mmi(1, 0, 0, 1, 0),
       false,
       IDYES,
       false,
       false,
       {IDS_UNKNOWN_VERSIONS},
       {}},
      {"an unknown image version is 152",
       Unknown(),
       Mmi(1, 0, 0, 0, 0),
       false,
       IDYES,
       false,
       false,
       {IDS_UNKNOWN_VERSIONS},
       {}},
      {"an unknown terminal version is 152, also in development mode",
       Mmi(1, 0, 0),
       Unknown(),
       true,
       IDYES,
       false,
       false,
       {IDS_UNKNOWN_VERSIONS},
       {}},
  };
  for (const MmiCase& c : cases) {
    SCOPED_TRACE(c.reason);
    RecordingCompatHost host;
    host.dev_mode = c.dev_mode;
    host.answer = c.answer;
    Versions v;
    v.image_mmi = c.image;
    v.terminal_mmi = c.terminal;
    EXPECT_EQ(check_mmi_version(host, v.records()), c.result);
    EXPECT_EQ(host.PostedIds(), c.posted);
    for (const auto& post : host.posted) EXPECT_EQ(post.button, BTN_ENABLE);
    EXPECT_EQ(host.Texts(), c.lines);
    EXPECT_EQ(host.questions, c.asks_same_version ? std::vector<int>{IDS_SAME_VERSION_QUESTION}
                                                  : std::vector<int>{});
  }
}

TEST(CheckMmiVersion, TracesTheLowerVersionLineInBlackAndTheRestInRed) {
  RecordingCompatHost host;
  Versions v;
  v.image_mmi = Mmi(1, 0, 0);
  v.terminal_mmi = Mmi(1, 0, 1);
  check_mmi_version(host, v.records());
  ASSERT_EQ(host.lines.size(), 3u);
  EXPECT_EQ(host.lines[0].second, kTraceRed);
  EXPECT_EQ(host.lines[1].second, kTraceRed);
  EXPECT_EQ(host.lines[2].second, kTraceBlack);
}

// ---- Stack rule ----

struct StackCase {
  const char* reason;
  version_info_s image;
  version_info_s terminal;
  bool force_stack;
  bool dev_mode;
  StackRuleResult result;
  std::vector<std::pair<std::string, COLORREF>> lines;
};

TEST(CheckStackVersion, PassesNewerOrEqualStacksAndTheForcedEmergencyAndDevelopmentCases) {
  const std::vector<StackCase> cases = {
      {"forced stack passes even unknown versions",
       Unknown(),
       Unknown(),
       true,
       false,
       StackRuleResult::kPass,
       {{"Stack 강제 업그레이드\n", kTraceRed}}},
      {"a terminal in EMERGENCY passes",
       Stack(1, 0, 0),
       Emergency(),
       false,
       false,
       StackRuleResult::kPass,
       {{"Velmora JQ EMERGENCY boot mode\n", kTraceBlack}}},
      {"EMERGENCY passes an unknown image stack too",
       Unknown(),
       Emergency(),
       false,
       false,
       StackRuleResult::kPass,
       {{"Velmora JQ EMERGENCY boot mode\n", kTraceBlack}}},
      {"both unknown",
       Unknown(),
       Unknown(),
       false,
       true,
       StackRuleResult::kUnknown,
       {{"Velmora JQ stack version and Binary stack version is unknown. Can't Upgrade\n",
         kTraceBlack}}},
      {"image unknown",
       Unknown(),
       Stack(1, 0, 0),
       false,
       false,
       StackRuleResult::kUnknown,
       {{"Binary stack version is unknown. Can't Upgrade. Check Binary image\n", kTraceBlack}}},
      {"terminal unknown",
       Stack(1, 0, 0),
       Unknown(),
       false,
       false,
       StackRuleResult::kUnknown,
       {{"Velmora JQ stack version is unknown. Can't Upgrade. contact OKVI\n", kTraceBlack}}},
      {"equal passes",
       Stack(3, 1, 7),
       Stack(3, 1, 7),
       false,
       false,
       StackRuleResult::kPass,
       {{"binary stack ver [3][1][7]\n", kTraceRed}, {"target stack ver [3][1][7]\n", kTraceRed}}},
      {"an older image is refused",
       Stack(3, 1, 0),
       Stack(3, 1, 7),
       false,
       false,
       StackRuleResult::kLower,
       {{"binary stack ver [3][1][0]\n", kTraceRed},
        {"target stack ver [3][1][7]\n", kTraceRed},
        {"S/W version is lower than Binary version. Downgrade is not allowed\n", kTraceBlack}}},
      {"development mode passes an older image",
       Stack(3, 1, 0),
       Stack(3, 1, 7),
       false,
       true,
       StackRuleResult::kPass,
       {{"binary stack ver [3][1][0]\n", kTraceRed},
        {"target stack ver [3][1][7]\n", kTraceRed},
        {"Development mode enable. force down-grade", kTraceRed}}},
  };
  for (const StackCase& c : cases) {
    SCOPED_TRACE(c.reason);
    RecordingCompatHost host;
    host.dev_mode = c.dev_mode;
    Versions v;
    v.image_stack = c.image;
    v.terminal_stack = c.terminal;
    RunOptions options;
    options.force_stack = c.force_stack;
    EXPECT_EQ(evaluate_stack_rule(host, v.records(), options), c.result);
    EXPECT_EQ(host.lines, c.lines);
    EXPECT_THAT(host.posted, IsEmpty()) << "the stack rule posts no message";

    RecordingCompatHost again;
    again.dev_mode = c.dev_mode;
    EXPECT_EQ(check_stack_version(again, v.records(), options), c.result == StackRuleResult::kPass);
  }
}

// ---- Boot rule ----

struct BootCase {
  const char* reason;
  bsp_info_s image;
  bsp_info_s terminal;
  std::uint64_t image_size;
  bool result;
  int posted;  // 0: none
  std::vector<std::pair<std::string, COLORREF>> lines;
  SendWindow window;
};

bsp_info_s With(bsp_info_s r, void (*change)(bsp_info_s&)) {
  change(r);
  return r;
}

TEST(CheckBspVersion, RefusesMismatchesAndChoosesTheSendWindowByBootMajor) {
  const bsp_info_s unknown{};
  const std::vector<BootCase> cases = {
      {"equal majors send the stack region only",
       Boot(3),
       Boot(3),
       kOneMiB,
       true,
       0,
       {{"Stack 영역만 전송합니다 [12]\n", kTraceRed}},
       SendWindow{0x40000, 786432, false, 12}},
      {"minor and patch take part in no rule",
       Boot(3),
       With(Boot(3),
            [](bsp_info_s& r) {
              r.minor = 0;
              r.patch = 0;
            }),
       kOneMiB,
       true,
       0,
       {{"Stack 영역만 전송합니다 [12]\n", kTraceRed}},
       SendWindow{0x40000, 786432, false, 12}},
      {"a higher image major sends everything",
       Boot(4),
       Boot(3),
       kOneMiB,
       true,
       0,
       {{"Binary[BootVer]=4\tTarget[BootVer]=3\n", kTraceRed},
        {"Bootloader 영역까지 전부 전송합니다 [16]\n", kTraceRed}},
       SendWindow{0, kOneMiB, true, 16}},
      {"a lower image major is refused",
       Boot(2),
       Boot(3),
       kOneMiB,
       false,
       IDS_LOWER_VERSION_60,
       {{"Binary[BootVer]=2\tTarget[BootVer]=3\n", kTraceRed},
        {"Velmora_JQ Bootloader version is higher than BINARY version. Downgrade is not "
         "allowed\n",
         kTraceBlack}},
       kUntouched},
      {"a partial last segment counts",
       Boot(3),
       Boot(3),
       0x40000 + 0x10001,
       true,
       0,
       {{"Stack 영역만 전송합니다 [2]\n", kTraceRed}},
       SendWindow{0x40000, 0x10001, false, 2}},
      {"one byte after the boot region is one segment",
       Boot(3),
       Boot(3),
       0x40001,
       true,
       0,
       {{"Stack 영역만 전송합니다 [1]\n", kTraceRed}},
       SendWindow{0x40000, 1, false, 1}},
      {"an image of only the boot region has nothing to send",
       Boot(3),
       Boot(3),
       0x40000,
       false,
       IDS_WRONG_IMAGE,
       {{"Velmora_JQ Binary holds no Stack area [262144 bytes], check BINARY\n", kTraceBlack}},
       kUntouched},
      {"a smaller one neither",
       Boot(3),
       Boot(3),
       4096,
       false,
       IDS_WRONG_IMAGE,
       {{"Velmora_JQ Binary holds no Stack area [4096 bytes], check BINARY\n", kTraceBlack}},
       kUntouched},
      {"a small image with a higher boot major is sent whole",
       Boot(4),
       Boot(3),
       4096,
       true,
       0,
       {{"Binary[BootVer]=4\tTarget[BootVer]=3\n", kTraceRed},
        {"Bootloader 영역까지 전부 전송합니다 [1]\n", kTraceRed}},
       SendWindow{0, 4096, true, 1}},
      {"base differs",
       With(Boot(3), [](bsp_info_s& r) { r.base = 'T'; }),
       Boot(3),
       kOneMiB,
       false,
       IDS_VERSION_MISMATCH_56,
       {{"Velmora_JQ Base Miss match, check BINARY\n", kTraceBlack}},
       kUntouched},
      {"standard differs",
       With(Boot(3), [](bsp_info_s& r) { r.standard = 'A'; }),
       Boot(3),
       kOneMiB,
       false,
       IDS_VERSION_MISMATCH_57,
       {{"Velmora_JQ standard information Miss match, check BINARY\n", kTraceBlack}},
       kUntouched},
      {"type characters of one class still differ",
       With(Boot(3), [](bsp_info_s& r) { r.type = 'R'; }),
       Boot(3),
       kOneMiB,
       false,
       IDS_VERSION_MISMATCH_58,
       {{"Velmora_JQ type Miss match, check BINARY\n", kTraceBlack}},
       kUntouched},
      {"the last hardware letter differs",
       Boot(3),
       With(Boot(3), [](bsp_info_s& r) { r.hw[6] = 'Z'; }),
       kOneMiB,
       false,
       IDS_HW_UPGRADE_REQUIRED,
       {{"Velmora_JQ H/W[6] is miss-match. H/W upgrade is required \n", kTraceRed}},
       kUntouched},
      {"the first differing hardware letter is named",
       With(Boot(3),
            [](bsp_info_s& r) {
              r.hw[2] = 'X';
              r.hw[5] = 'X';
            }),
       Boot(3),
       kOneMiB,
       false,
       IDS_HW_UPGRADE_REQUIRED,
       {{"Velmora_JQ H/W[2] is miss-match. H/W upgrade is required \n", kTraceRed}},
       kUntouched},
      {"base is compared before the boot major",
       With(Boot(9), [](bsp_info_s& r) { r.base = 'T'; }),
       Boot(3),
       kOneMiB,
       false,
       IDS_VERSION_MISMATCH_56,
       {{"Velmora_JQ Base Miss match, check BINARY\n", kTraceBlack}},
       kUntouched},
      {"terminal unknown",
       Boot(3),
       unknown,
       kOneMiB,
       false,
       IDS_VERSION_MISMATCH_64,
       {{"Velmora KVX-01 Bootloader version is unknown. Can't Upgrade. Reboot and reconnect "
         "Velmora KVX-01 and try again\n",
         kTraceBlack}},
       kUntouched},
      {"both unknown",
       unknown,
       unknown,
       kOneMiB,
       false,
       IDS_VERSION_MISMATCH_62,
       {{"Velmora_JQ Bootloader version and Binary Bootloader version is unknown. Can't "
         "Upgrade\n",
         kTraceBlack}},
       kUntouched},
      {"image unknown",
       unknown,
       Boot(3),
       kOneMiB,
       false,
       IDS_VERSION_MISMATCH_63,
       {{"Binary Bootloader version is unknown. Can't Upgrade. Check Binary image\n", kTraceBlack}},
       kUntouched},
  };
  for (const bool dev_mode : {false, true}) {
    for (const BootCase& c : cases) {
      SCOPED_TRACE(std::string(c.reason) + (dev_mode ? ", development mode" : ""));
      RecordingCompatHost host;
      host.dev_mode = dev_mode;
      Versions v;
      v.image_boot = c.image;
      v.terminal_boot = c.terminal;
      SendWindow window = kUntouched;
      EXPECT_EQ(check_bsp_version(host, v.records(), c.image_size, window), c.result);
      EXPECT_EQ(window, c.window);
      EXPECT_EQ(host.lines, c.lines);
      if (c.posted == 0) {
        EXPECT_THAT(host.posted, IsEmpty());
      } else {
        const WPARAM button = dev_mode ? BTN_DISABLE : BTN_ENABLE;
        EXPECT_THAT(host.posted, ElementsAre(RecordingCompatHost::Post{button, c.posted}));
      }
    }
  }
}

TEST(SegmentCountFor, RoundsUpToWholeSegments) {
  EXPECT_EQ(segment_count_for(0), 0);
  EXPECT_EQ(segment_count_for(1), 1);
  EXPECT_EQ(segment_count_for(0x10000), 1);
  EXPECT_EQ(segment_count_for(0x10001), 2);
  EXPECT_EQ(segment_count_for(0x3600000), 864);
  EXPECT_EQ(whole_image_window(0x3600000), (SendWindow{0, 0x3600000, true, 864}));
}

// ---- The decision of a run ----

struct RunCase {
  const char* reason;
  Versions versions;
  RunOptions options;
  bool dev_mode;
  LRESULT answer;
  bool goes_on;
  std::vector<int> posted;
  SendWindow window;  // kUntouched when the run stops before the boot rule sets it
  std::vector<std::string> decision_lines;  // the sequence's own lines, in order
};

const SendWindow kStackOnly{0x40000, kOneMiB - 0x40000, false, 12};
const SendWindow kWhole{0, kOneMiB, true, 16};

Versions With(void (*change)(Versions&)) {
  Versions v;
  change(v);
  return v;
}

constexpr RunOptions kNoOptions{};
constexpr RunOptions kDowngrade{true, false, false};
constexpr RunOptions kForceBoot{false, false, true};

// The AT dialogue's use of the rules: the MMI step unless the terminal is in EMERGENCY mode,
// then the decision.
bool RunRules(RecordingCompatHost& host, const Versions& v, const RunOptions& options,
              SendWindow& window) {
  if (!v.terminal_stack.emergency && !apply_mmi_rule(host, v.records(), options)) return false;
  return decide_download(host, v.records(), options, kOneMiB, window);
}

TEST(VersionRules, DecideEachRunAsTheOperatorOptionsAllow) {
  const std::string forcing = "@@강제 업그레이드 합니다\n";
  const std::string forced_boot = "Bootloader 강제 업그레이드\n";
  const std::string whole = "Bootloader 영역까지 전부 전송합니다 [16]\n";
  const std::vector<RunCase> cases = {
      {"everything passes with equal boot majors",
       Versions{},
       kNoOptions,
       false,
       IDYES,
       true,
       {},
       kStackOnly,
       {}},
      {"MMI of another edition stops the run",
       With([](Versions& v) { v.image_mmi.edition = 2; }),
       kNoOptions,
       false,
       IDYES,
       false,
       {IDS_UNKNOWN_VERSIONS},
       kUntouched,
       {"@@check_mmi_version false\n"}},
      {"with downgrade enabled 152 is shown and the run goes on",
       With([](Versions& v) { v.image_mmi.edition = 2; }),
       kDowngrade,
       false,
       IDYES,
       true,
       {IDS_UNKNOWN_VERSIONS},
       kStackOnly,
       {forcing}},
      {"a lower MMI stops the run",
       With([](Versions& v) { v.image_mmi = Mmi(1, 0, 0); }),
       kNoOptions,
       false,
       IDYES,
       false,
       {IDS_LOWER_VERSION},
       kUntouched,
       {"@@check_mmi_version false\n"}},
      {"with downgrade enabled 151 is shown and the run goes on",
       With([](Versions& v) { v.image_mmi = Mmi(1, 0, 0); }),
       kDowngrade,
       false,
       IDYES,
       true,
       {IDS_LOWER_VERSION},
       kStackOnly,
       {forcing}},
      {"development mode lets a lower MMI through silently",
       With([](Versions& v) { v.image_mmi = Mmi(1, 0, 0); }),
       kNoOptions,
       true,
       IDYES,
       true,
       {},
       kStackOnly,
       {}},
      {"an equal MMI answered Yes goes on",
       With([](Versions& v) { v.image_mmi = v.terminal_mmi; }),
       kNoOptions,
       false,
       IDYES,
       true,
       {},
       kStackOnly,
       {}},
      {"an equal MMI answered No stops",
       With([](Versions& v) { v.image_mmi = v.terminal_mmi; }),
       kNoOptions,
       false,
       IDNO,
       false,
       {},
       kUntouched,
       {"@@check_mmi_version false\n"}},
      {"No with downgrade enabled goes on",
       With([](Versions& v) { v.image_mmi = v.terminal_mmi; }),
       kDowngrade,
       false,
       IDNO,
       true,
       {},
       kStackOnly,
       {forcing}},
      {"a terminal in EMERGENCY skips the MMI rule",
       With([](Versions& v) {
         v.terminal_stack = Emergency();
         v.terminal_mmi = Unknown();
       }),
       kNoOptions,
       false,
       IDYES,
       true,
       {},
       kStackOnly,
       {}},
      {"an older stack stops the run with 151",
       With([](Versions& v) { v.image_stack = Stack(3, 0, 0); }),
       kNoOptions,
       false,
       IDYES,
       false,
       {IDS_LOWER_VERSION},
       kUntouched,
       {"@@check_stack_version false\n"}},
      {"an unknown stack stops the run with 152",
       With([](Versions& v) { v.terminal_stack = Unknown(); }),
       kNoOptions,
       false,
       IDYES,
       false,
       {IDS_UNKNOWN_VERSIONS},
       kUntouched,
       {"@@check_stack_version false\n"}},
      {"with downgrade enabled an older stack goes on",
       With([](Versions& v) { v.image_stack = Stack(3, 0, 0); }),
       kDowngrade,
       false,
       IDYES,
       true,
       {},
       kStackOnly,
       {forcing}},
      {"forced stack passes an unknown stack",
       With([](Versions& v) { v.terminal_stack = Unknown(); }),
       RunOptions{false, true, false},
       false,
       IDYES,
       true,
       {},
       kStackOnly,
       {}},
      {"a higher boot major sends everything",
       With([](Versions& v) { v.image_boot.major = 4; }),
       kNoOptions,
       false,
       IDYES,
       true,
       {},
       kWhole,
       {}},
      {"a lower boot major stops the run",
       With([](Versions& v) { v.image_boot.major = 2; }),
       kNoOptions,
       false,
       IDYES,
       false,
       {IDS_LOWER_VERSION_60},
       kUntouched,
       {"@@check_bsp_version false\n"}},
      {"forced bootloader shows 160 and sends everything",
       With([](Versions& v) { v.image_boot.major = 2; }),
       kForceBoot,
       false,
       IDYES,
       true,
       {IDS_LOWER_VERSION_60},
       kWhole,
       {forced_boot, whole}},
      {"a hardware mismatch stops the run",
       With([](Versions& v) { v.terminal_boot.hw[6] = 'Z'; }),
       kNoOptions,
       false,
       IDYES,
       false,
       {IDS_HW_UPGRADE_REQUIRED},
       kUntouched,
       {"@@check_bsp_version false\n"}},
      {"forced bootloader overrides a hardware mismatch",
       With([](Versions& v) { v.terminal_boot.hw[6] = 'Z'; }),
       kForceBoot,
       false,
       IDYES,
       true,
       {IDS_HW_UPGRADE_REQUIRED},
       kWhole,
       {forced_boot, whole}},
      {"an unknown terminal boot version stops the run",
       With([](Versions& v) { v.terminal_boot = bsp_info_s{}; }),
       kNoOptions,
       false,
       IDYES,
       false,
       {IDS_VERSION_MISMATCH_64},
       kUntouched,
       {"@@check_bsp_version false\n"}},
      {"forced bootloader sends everything even when the boot rule passes",
       Versions{},
       kForceBoot,
       false,
       IDYES,
       true,
       {},
       kWhole,
       {forced_boot, whole}},
      {"forced bootloader does not override a refused stack",
       With([](Versions& v) { v.image_stack = Stack(3, 0, 0); }),
       kForceBoot,
       false,
       IDYES,
       false,
       {IDS_LOWER_VERSION},
       kUntouched,
       {"@@check_stack_version false\n"}},
  };
  const std::vector<std::string> sequence_lines = {
      "@@check_mmi_version false\n",  "@@check_stack_version false\n",
      "@@check_bsp_version false\n",  "@@강제 업그레이드 합니다\n",
      "Bootloader 강제 업그레이드\n", "Bootloader 영역까지 전부 전송합니다 [16]\n"};
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.reason);
    RecordingCompatHost host;
    host.dev_mode = c.dev_mode;
    host.answer = c.answer;
    SendWindow window = kUntouched;
    EXPECT_EQ(RunRules(host, c.versions, c.options, window), c.goes_on);
    EXPECT_EQ(host.PostedIds(), c.posted);
    EXPECT_EQ(window, c.window);

    std::vector<std::string> decision_lines;
    for (const auto& [text, colour] : host.lines) {
      if (std::find(sequence_lines.begin(), sequence_lines.end(), text) == sequence_lines.end()) {
        continue;
      }
      // The boot rule writes the same "everything" line for a higher major; count only the
      // sequence's own, which follows the forced-bootloader line.
      if (text == whole && !host.Traced(forced_boot)) continue;
      EXPECT_EQ(colour, kTraceRed) << text;
      decision_lines.push_back(text);
    }
    EXPECT_EQ(decision_lines, c.decision_lines);
  }
}

}  // namespace
}  // namespace kvx
