// kvx-flash with an archive whose first KVX image is damaged: the run ends with error 99 and
// the terminal hears nothing, even though a later image in the archive is whole.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "mkimage/sample_image.h"
#include "platform/string_table.h"
#include "support/flash_process.h"
#include "support/sim_process.h"

namespace kvx {
namespace {

using namespace std::chrono_literals;

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(DamagedArchiveTest, AFailedKvxItemEndsTheRunOnceAndNothingReachesTheTerminal) {
  test::SimProcess sim(KVX_SIM_PATH, {});
  ASSERT_TRUE(sim.WaitUntilReady());
  SampleImageSpec spec;
  spec.size = 0x40000 + 2 * 65536;
  const std::vector<std::uint8_t> image = MakeSampleImage(spec);
  std::vector<SampleArchiveItem> items(2);
  items[0].name = "KVX_1.bin";
  items[0].data = image;
  items[0].declared_crc = 0x12345678;  // unpacks with a CRC error
  items[1].name = "KVX_2.bin";
  items[1].data = image;
  const std::string archive = sim.folder() + "/firmware.stf";
  std::string error;
  ASSERT_TRUE(WriteSampleArchive(archive, items, error)) << error;

  test::FlashProcess flash(KVX_FLASH_PATH, {"--port", sim.link(), "--yes", archive}, sim.link(),
                           sim.folder() + "/flash");
  const int status = flash.WaitForExit(60s);

  // kvx-flash loads the image before it touches the port, and refuses an unusable file up front.
  EXPECT_EQ(status, kExitUsage) << flash.Stderr();
  EXPECT_EQ(Occurrences(flash.Stderr(), std::string(*LoadString(IDS_EXTRACT_FAIL))), 1u)
      << flash.Stderr();
  const std::string log = test::SimProcess::ReadFile(sim.log_file());
  EXPECT_EQ(log.find("\nat "), std::string::npos) << "no command reached the terminal:\n" << log;
}

}  // namespace
}  // namespace kvx
