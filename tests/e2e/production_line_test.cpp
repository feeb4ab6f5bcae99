// kvx-flash on a production line: several kvx-sim terminals side by side (one engine per port in
// one process) and a series of terminals on one port, with a report line and a summary row for
// every run.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/exit_codes.h"
#include "mkimage/sample_image.h"
#include "support/flash_process.h"
#include "support/sim_process.h"
#include "support/temp_folder.h"

namespace kvx {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

class ProductionLineTest : public ::testing::Test {
 protected:
  // Starts one simulator per entry of `faults` (an empty entry: a healthy terminal).
  void StartSims(const std::vector<std::vector<std::string>>& options) {
    for (const auto& o : options) {
      sims_.push_back(std::make_unique<test::SimProcess>(KVX_SIM_PATH, o));
      ASSERT_TRUE(sims_.back()->WaitUntilReady());
    }
    SampleImageSpec spec;
    spec.size = 0x40000 + 4 * 65536 + 321;
    image_ = MakeSampleImage(spec);
    std::string error;
    ASSERT_TRUE(WriteSampleFile(ImagePath(), image_, error)) << error;
  }

  std::unique_ptr<test::FlashProcess> StartFlash(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--yes", "--report", ReportPath()};
    std::string ports;
    for (const auto& sim : sims_) {
      args.insert(args.end(), {"--port", sim->link()});
      ports += (ports.empty() ? "" : ":") + sim->link();
    }
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(ImagePath());
    return std::make_unique<test::FlashProcess>(KVX_FLASH_PATH, args, ports,
                                                (folder_ / "flash").string());
  }

  std::vector<json> Report() const {
    std::istringstream lines(test::TempFolder::Read(ReportPath()));
    std::vector<json> records;
    for (std::string line; std::getline(lines, line);) records.push_back(json::parse(line));
    return records;
  }

  std::string ImagePath() const { return (folder_ / "image.bin").string(); }
  std::string ReportPath() const { return (folder_ / "runs.jsonl").string(); }
  std::string Expected() const { return std::string(image_.begin() + 0x40000, image_.end()); }

  test::TempFolder folder_;
  std::vector<std::unique_ptr<test::SimProcess>> sims_;
  std::vector<std::uint8_t> image_;
};

TEST_F(ProductionLineTest, OneFailingTerminalLeavesTheOthersCompleteAndIsReported) {
  StartSims({{"--once"}, {"--once", "--fault", "W1:code=0xC9:6"}, {"--once"}});
  ASSERT_FALSE(HasFatalFailure());
  auto flash = StartFlash();
  ASSERT_EQ(flash->WaitForExit(120s), kExitFailed) << flash->Stderr();

  for (const std::size_t healthy : {0u, 2u}) {
    EXPECT_TRUE(test::SimProcess::ReadFile(sims_[healthy]->output_file()) == Expected())
        << "terminal " << healthy << " holds the image";
  }
  const std::vector<json> runs = Report();
  ASSERT_EQ(runs.size(), 3u) << test::TempFolder::Read(ReportPath());
  int completed = 0;
  for (const json& run : runs) {
    const bool failing = run["port"] == sims_[1]->link();
    EXPECT_EQ(run["result"], failing ? "failed" : "completed") << run.dump();
    EXPECT_EQ(run["message_id"], failing ? 146 : 141);
    EXPECT_EQ(run["image"]["size"], image_.size());
    EXPECT_EQ(run["image"]["sha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(run["segments"], 5);
    EXPECT_EQ(run["upgrade"], "main");
    EXPECT_EQ(run["terminal"]["hw_version"], "SFQAABCDEFG V2.0.1");
    completed += failing ? 0 : 1;
  }
  EXPECT_EQ(completed, 2);

  // The summary: a header and a row per run, each naming its port and result.
  const std::string err = flash->Stderr();
  const auto header = err.find("run  port");
  ASSERT_NE(header, std::string::npos) << err;
  std::istringstream table(err.substr(header));
  std::vector<std::string> rows;
  for (std::string line; std::getline(table, line) && !line.empty();) rows.push_back(line);
  ASSERT_EQ(rows.size(), 4u) << err;
  for (const auto& sim : sims_) {
    const bool failing = &sim == &sims_[1];
    const std::string expected = failing ? "failed (146)" : "completed";
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                            [&](const std::string& row) {
                              return row.find(sim->link()) != std::string::npos &&
                                     row.find(expected) != std::string::npos;
                            }),
              1)
        << err;
  }
}

TEST_F(ProductionLineTest, CtrlCEndsEveryRunAndClosesEveryPort) {
  // Every terminal stays silent after AT+UPGRADE, where no timer watches the dialogue.
  StartSims({{"--silent-at", "upgrade"}, {"--silent-at", "upgrade"}, {"--silent-at", "upgrade"}});
  ASSERT_FALSE(HasFatalFailure());
  auto flash = StartFlash();
  const auto waiting = [&](const test::SimProcess& sim) {
    return test::SimProcess::ReadFile(sim.log_file()).find("\"AT+UPGRADE\\r\"") !=
           std::string::npos;
  };
  for (int i = 0; i < 3000 && !std::all_of(sims_.begin(), sims_.end(),
                                           [&](const auto& sim) { return waiting(*sim); });
       ++i) {
    std::this_thread::sleep_for(10ms);
  }
  flash->Signal(SIGINT);
  ASSERT_EQ(flash->WaitForExit(60s), 130) << flash->Stderr();
  for (const auto& sim : sims_) {
    EXPECT_TRUE(sim->WaitUntilIdle()) << test::SimProcess::ReadFile(sim->log_file());
    const std::string log = test::SimProcess::ReadFile(sim->log_file());
    EXPECT_NE(log.find("event host closed", log.rfind("\"AT+UPGRADE\\r\"")), std::string::npos)
        << "the port is closed after the last command:\n"
        << log;
  }
  const std::vector<json> runs = Report();
  ASSERT_EQ(runs.size(), 3u);
  for (const json& run : runs) EXPECT_EQ(run["result"], "interrupted");
}

TEST_F(ProductionLineTest, APortGivenTwiceRunsOnceAndAnUnknownPortDoesNotStopTheOthers) {
  StartSims({{"--once"}});
  ASSERT_FALSE(HasFatalFailure());
  auto flash = StartFlash({"--port", sims_[0]->link(), "--port", (folder_ / "nothing").string()});
  ASSERT_EQ(flash->WaitForExit(120s), kExitFailed) << flash->Stderr();
  const std::string err = flash->Stderr();
  EXPECT_NE(err.find("is given more than once"), std::string::npos) << err;
  EXPECT_TRUE(test::SimProcess::ReadFile(sims_[0]->output_file()) == Expected()) << err;
  const std::vector<json> runs = Report();
  ASSERT_EQ(runs.size(), 1u) << "the unknown port never ran";
  EXPECT_EQ(runs[0]["result"], "completed");
}

TEST_F(ProductionLineTest, AReportThatCannotBeWrittenStopsBeforeAnyRun) {
  StartSims({{"--once"}});
  ASSERT_FALSE(HasFatalFailure());
  test::FlashProcess flash(KVX_FLASH_PATH,
                           {"--port", sims_[0]->link(), "--report",
                            (folder_ / "no" / "such" / "runs.jsonl").string(), ImagePath()},
                           sims_[0]->link(), (folder_ / "flash").string());
  ASSERT_EQ(flash.WaitForExit(60s), kExitUsage) << flash.Stderr();
  EXPECT_NE(flash.Stderr().find("cannot write the report"), std::string::npos);
  EXPECT_EQ(test::SimProcess::ReadFile(sims_[0]->log_file()).find("event host opened"),
            std::string::npos)
      << "the port was never touched";
}

// One port, three terminals one after another: the second fails, the series goes on.
TEST_F(ProductionLineTest, ASeriesOnOnePortGoesOnAfterAFailedTerminal) {
  StartSims({{"--terminals", "3", "--for-terminal", "2", "--fault", "W1:code=0xC9:all"}});
  ASSERT_FALSE(HasFatalFailure());
  auto flash = StartFlash({"--count", "3"});
  ASSERT_EQ(flash->WaitForExit(180s), kExitFailed) << flash->Stderr();
  EXPECT_EQ(sims_[0]->WaitForExit(), 0) << test::SimProcess::ReadFile(sims_[0]->log_file());

  const std::vector<json> runs = Report();
  ASSERT_EQ(runs.size(), 3u) << test::TempFolder::Read(ReportPath());
  EXPECT_EQ(runs[0]["result"], "completed");
  EXPECT_EQ(runs[1]["result"], "failed");
  EXPECT_EQ(runs[1]["message_id"], 146);
  EXPECT_EQ(runs[2]["result"], "completed");
  for (const int terminal : {1, 3}) {
    EXPECT_TRUE(test::SimProcess::ReadFile(sims_[0]->output_file() + "." +
                                           std::to_string(terminal)) == Expected())
        << "terminal " << terminal << " holds the image";
  }
  EXPECT_EQ(Occurrences(flash->Stderr(), "connect the next terminal"), 2u) << flash->Stderr();
}

// A report that fails to take a run's line (a full disk: /dev/full) ends the series after the run
// in progress and says why.
TEST_F(ProductionLineTest, AReportWriteFailureStopsTheSeriesAfterTheRunInProgress) {
  StartSims({{"--terminals", "3"}});
  ASSERT_FALSE(HasFatalFailure());
  test::FlashProcess flash(
      KVX_FLASH_PATH,
      {"--port", sims_[0]->link(), "--count", "3", "--yes", "--report", "/dev/full", ImagePath()},
      sims_[0]->link(), (folder_ / "flash").string());
  ASSERT_EQ(flash.WaitForExit(120s), kExitFailed) << flash.Stderr();
  EXPECT_NE(flash.Stderr().find("cannot write the report"), std::string::npos) << flash.Stderr();
  EXPECT_EQ(flash.Stderr().find("connect the next terminal"), std::string::npos)
      << "no further run starts";
  EXPECT_TRUE(test::SimProcess::ReadFile(sims_[0]->output_file() + ".1") == Expected())
      << "the run in progress finished";
}

}  // namespace
}  // namespace kvx
