// The fault matrix: kvx-flash upgrades kvx-sim over a pseudo-terminal while the simulated
// terminal misbehaves in one way at one place. Each row states the outcome an operator must see:
// an upgrade completed with every byte intact, or a failure with its message; either way the
// port is let go and the next run on the same port completes.
//
// Rows wait on the engine's real response timers (up to 30 s per silence, a minute for the
// exhausted resends of a vanished terminal); ctest runs each row as its own test.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "mkimage/sample_image.h"
#include "platform/string_table.h"
#include "support/flash_process.h"
#include "support/sim_process.h"

namespace kvx {
namespace {

using namespace std::chrono_literals;

enum class Outcome {
  kCompleted,  // exit 0, the terminal holds the image
  kFailed,     // exit 1 with `message`
  kWaits,      // the run waits where nothing watches the dialogue; Ctrl-C ends it with 130
};

struct FaultRow {
  const char* name;
  std::vector<std::string> sim_options;
  Outcome outcome;
  int message_id = 0;          // the operator message a failure must show, if any
  const char* waits_at = "";   // for kWaits: the simulator log text after which the run waits
  bool lasting_fault = false;  // the fault never wears off: a new terminal for the next run
};

void PrintTo(const FaultRow& row, std::ostream* os) {
  *os << row.name;
}

// Six segments, the last one short, after the boot region.
std::vector<std::uint8_t> MatrixImage() {
  SampleImageSpec spec;
  spec.size = 0x40000 + 5 * 65536 + 1000;
  return MakeSampleImage(spec);
}

class FaultMatrixTest : public ::testing::TestWithParam<FaultRow> {
 protected:
  void SetUp() override {
    sim_ = std::make_unique<test::SimProcess>(KVX_SIM_PATH, GetParam().sim_options);
    ASSERT_TRUE(sim_->WaitUntilReady());
    image_ = MatrixImage();
    image_path_ = sim_->folder() + "/image.bin";
    std::string error;
    ASSERT_TRUE(WriteSampleFile(image_path_, image_, error)) << error;
  }

  std::unique_ptr<test::FlashProcess> StartFlash(const std::string& tag) {
    std::filesystem::remove(sim_->output_file());
    return std::make_unique<test::FlashProcess>(
        KVX_FLASH_PATH, std::vector<std::string>{"--port", sim_->link(), "--yes", image_path_},
        sim_->link(), sim_->folder() + "/" + tag);
  }

  // The simulator's log holds `text` (bounded wait).
  bool WaitForLog(const std::string& text) {
    for (int i = 0; i < 3000; ++i) {
      if (test::SimProcess::ReadFile(sim_->log_file()).find(text) != std::string::npos) {
        return true;
      }
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  std::string Received() const { return test::SimProcess::ReadFile(sim_->output_file()); }
  std::string Expected() const { return std::string(image_.begin() + 0x40000, image_.end()); }
  std::string Diagnosis(const test::FlashProcess& flash) const {
    return "kvx-flash said:\n" + flash.Stderr() + "\nsimulator log tail:\n" + LogTail();
  }
  std::string LogTail() const {
    const std::string log = test::SimProcess::ReadFile(sim_->log_file());
    return log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
  }

  std::unique_ptr<test::SimProcess> sim_;
  std::vector<std::uint8_t> image_;
  std::string image_path_;
};

TEST_P(FaultMatrixTest, EndsAsStatedAndTheNextRunOnThePortCompletes) {
  const FaultRow& row = GetParam();
  auto first = StartFlash("first");
  if (row.outcome == Outcome::kWaits) {
    ASSERT_TRUE(WaitForLog(row.waits_at)) << LogTail();
    first->Signal(SIGINT);
  }
  const int status = first->WaitForExit(240s);
  ASSERT_TRUE(sim_->WaitUntilIdle()) << LogTail();
  switch (row.outcome) {
    case Outcome::kCompleted:
      ASSERT_EQ(status, 0) << Diagnosis(*first);
      EXPECT_TRUE(Received() == Expected()) << "received " << Received().size() << " bytes";
      break;
    case Outcome::kFailed:
      ASSERT_EQ(status, 1) << Diagnosis(*first);
      if (row.message_id != 0) {
        EXPECT_NE(first->Stderr().find(std::string(*LoadString(row.message_id))), std::string::npos)
            << Diagnosis(*first);
      }
      EXPECT_FALSE(std::filesystem::exists(sim_->output_file())) << "no transfer completed";
      break;
    case Outcome::kWaits:
      ASSERT_EQ(status, 130) << Diagnosis(*first);
      break;
  }

  // The same port, a terminal that behaves: the next run completes.
  if (row.lasting_fault) {
    sim_->Respawn({});
    ASSERT_TRUE(sim_->WaitUntilReady());
  }
  auto next = StartFlash("next");
  ASSERT_EQ(next->WaitForExit(120s), 0) << Diagnosis(*next);
  ASSERT_TRUE(sim_->WaitUntilIdle()) << LogTail();
  EXPECT_TRUE(Received() == Expected()) << "received " << Received().size() << " bytes";
}

const FaultRow kFaultRows[] = {
    // Download frames: damage the terminal reports or that the host detects is resent.
    {"WriteAnswerWithBadCrc", {"--fault", "W2:bad-crc"}, Outcome::kCompleted},
    {"SetupAnswerWithBadCrc", {"--fault", "S:bad-crc"}, Outcome::kCompleted},
    {"FinishAnswerWithBadCrc", {"--fault", "F:bad-crc"}, Outcome::kCompleted},
    {"WriteParsingError", {"--fault", "W2:code=0xC1"}, Outcome::kCompleted},
    {"WriteHeaderCrcError", {"--fault", "W2:code=0xC2"}, Outcome::kCompleted},
    {"WriteUncompressError", {"--fault", "W2:code=0xC3"}, Outcome::kCompleted},
    {"WriteSynStxError", {"--fault", "W2:code=0xC4"}, Outcome::kCompleted},
    {"WriteEtxError", {"--fault", "W2:code=0xC5"}, Outcome::kCompleted},
    {"WriteCommandError", {"--fault", "W2:code=0xC6"}, Outcome::kCompleted},
    {"WriteUndefinedError", {"--fault", "W2:code=0xC7"}, Outcome::kCompleted},
    {"WriteSizeError", {"--fault", "W2:code=0xC8"}, Outcome::kCompleted},
    {"WriteFlashEraseError", {"--fault", "W2:code=0xC9"}, Outcome::kCompleted},
    {"WriteFlashWriteError", {"--fault", "W2:code=0xCA"}, Outcome::kCompleted},
    {"WriteTotalSizeError", {"--fault", "W2:code=0xCD"}, Outcome::kCompleted},
    {"WriteBlockSizeError", {"--fault", "W2:code=0xCE"}, Outcome::kCompleted},
    {"WriteSetupModeError", {"--fault", "W2:code=0xCF"}, Outcome::kCompleted},
    {"WriteUnknownCode", {"--fault", "W2:code=0x17"}, Outcome::kCompleted},
    {"SetupFlashEraseError", {"--fault", "S:code=0xC9"}, Outcome::kCompleted},
    {"FinishFlashWriteError", {"--fault", "F:code=0xCA"}, Outcome::kCompleted},
    {"SegmentErrorNamingAnEarlierSegment", {"--fault", "W4:seg-error=2"}, Outcome::kCompleted},
    {"RequestFrameInsteadOfWriteAnswer", {"--fault", "W2:request"}, Outcome::kCompleted},
    {"RequestFrameInsteadOfSetupAnswer", {"--fault", "S:request"}, Outcome::kCompleted},
    {"NoiseBetweenEveryFrame", {"--fault", "any:noise=40:all"}, Outcome::kCompleted},
    {"SetupAnswerInTheWrongMode", {"--fault", "S:wrong-mode"}, Outcome::kFailed},
    // Resends beyond the limit end the run.
    {"WriteAnswerBadSixTimes", {"--fault", "W2:bad-crc:6"}, Outcome::kFailed, IDS_UPGRADE_FAILED},
    {"WriteFailingSixTimes", {"--fault", "W2:code=0xC9:6"}, Outcome::kFailed, IDS_UPGRADE_FAILED},
    {"SegmentErrorOnEveryAnswer",
     {"--fault", "W4:seg-error=4:all"},
     Outcome::kFailed,
     IDS_UPGRADE_FAILED,
     "",
     true},
    // Silence where a timer watches: the frame or command is sent again.
    {"NoAnswerToAWrite", {"--fault", "W2:silent"}, Outcome::kCompleted},
    {"NoAnswerToTheSetup", {"--fault", "S:silent"}, Outcome::kCompleted},
    {"NoAnswerToTheFinish", {"--fault", "F:silent"}, Outcome::kCompleted},
    {"NoAnswerToTheLinkTest", {"--silent-at", "link"}, Outcome::kCompleted},
    {"NoAnswerToTheHardwareVersion", {"--silent-at", "hwver"}, Outcome::kCompleted},
    {"NoAnswerToTheStackVersion", {"--silent-at", "ggmr"}, Outcome::kCompleted},
    {"NoAnswerToUpapp", {"--silent-at", "upapp"}, Outcome::kCompleted},
    {"NoAnswerToTheDownloadRequest",
     {"--silent-at", "usb-download"},
     Outcome::kFailed,
     IDS_UPGRADE_FAILED},
    {"NeverAnAnswerToTheLinkTest",
     {"--silent-at", "link:all"},
     Outcome::kFailed,
     IDS_CONNECTION_FAILED,
     "",
     true},
    // Silence where nothing watches: the run waits for the operator.
    {"NoStartAfterUpgrade", {"--silent-at", "upgrade"}, Outcome::kWaits, 0, "\"AT+UPGRADE\\r\""},
    // ERROR replies.
    {"ErrorToTheLinkTest", {"--error-at", "link"}, Outcome::kCompleted},
    {"ErrorToTheHardwareVersion", {"--error-at", "hwver"}, Outcome::kCompleted},
    {"ErrorToTheStackVersion", {"--error-at", "ggmr"}, Outcome::kCompleted},
    {"ErrorToTheNvCheck",
     {"--error-at", "nv-check"},
     Outcome::kWaits,
     0,
     "\"AT+MMI=\\\"NV_VER_CHECK\\\"\\r\"\nreply \"ERROR"},
    {"ErrorToTheSystemVersion", {"--error-at", "sysver"}, Outcome::kCompleted},
    {"ErrorToTheDownloadRequest",
     {"--error-at", "usb-download"},
     Outcome::kFailed,
     IDS_UPGRADE_FAILED},
    {"ErrorToUpapp", {"--error-at", "upapp"}, Outcome::kCompleted},
    {"ErrorToUpgrade", {"--error-at", "upgrade"}, Outcome::kCompleted},
    // The device goes away in the middle of the transfer and comes back rebooted.
    {"TerminalVanishesMidTransfer",
     {"--fault", "W3:vanish=3000"},
     Outcome::kFailed,
     IDS_UPGRADE_FAILED},
};

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(kFaultRows),
                         [](const ::testing::TestParamInfo<FaultRow>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kvx
