#include "cli/run_report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "support/temp_folder.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string File(const test::TempFolder& folder, const std::string& name) {
  return (folder / name).string();
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

RunReport CompletedRun() {
  RunReport report;
  report.port = "/dev/ttyUSB0";
  report.port_by_id = "/dev/serial/by-id/usb-Velmora_KVX-01_0042-if00";
  report.start = std::chrono::system_clock::time_point(std::chrono::seconds(1'765'000'000));
  report.end = report.start + std::chrono::milliseconds(83'250);
  report.image = {"/srv/fw/kvx.stf", 16'777'216, std::string(64, 'a')};
  report.terminal = {"SFQAABCDEFG V2.0.1",
                     "+GGMR: JQ_SAT_V3.1.0 20240115",
                     "OK+SYSVer:KVX_2.9.0_ML_VM",
                     "1.01",
                     "1.02",
                     true,
                     false,
                     252,
                     3};
  report.result = RunResult::kCompleted;
  report.message_id = 141;
  report.message = "Upgrade has been completed";
  return report;
}

TEST(RunReport, ALineIsOneJsonObjectWithEveryFieldOfTheRun) {
  const std::string line = ReportLine(CompletedRun());
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const json record = json::parse(line);
  EXPECT_EQ(record["port"], "/dev/ttyUSB0");
  EXPECT_EQ(record["port_by_id"], "/dev/serial/by-id/usb-Velmora_KVX-01_0042-if00");
  EXPECT_DOUBLE_EQ(record["duration_s"].get<double>(), 83.25);
  EXPECT_EQ(
      record["image"],
      json({{"path", "/srv/fw/kvx.stf"}, {"size", 16'777'216}, {"sha256", std::string(64, 'a')}}));
  EXPECT_EQ(record["terminal"]["hw_version"], "SFQAABCDEFG V2.0.1");
  EXPECT_EQ(record["terminal"]["stack_version"], "+GGMR: JQ_SAT_V3.1.0 20240115");
  EXPECT_EQ(record["terminal"]["mmi_version"], "OK+SYSVer:KVX_2.9.0_ML_VM");
  EXPECT_EQ(record["terminal"]["nv_version_before"], "1.01");
  EXPECT_EQ(record["terminal"]["nv_version_after"], "1.02");
  EXPECT_EQ(record["upgrade"], "main");
  EXPECT_EQ(record["segments"], 252);
  EXPECT_EQ(record["resends"], 3);
  EXPECT_EQ(record["result"], "completed");
  EXPECT_EQ(record["message_id"], 141);
  EXPECT_EQ(record["message"], "Upgrade has been completed");
  // ISO 8601 with milliseconds and the zone's offset, whatever zone the machine is in.
  const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
  EXPECT_TRUE(std::regex_match(record["start"].get<std::string>(), iso)) << record["start"];
  EXPECT_TRUE(std::regex_match(record["end"].get<std::string>(), iso)) << record["end"];
}

TEST(RunReport, WhatARunNeverReachedIsNullOrEmptyAndForeignBytesAreReplaced) {
  RunReport report = CompletedRun();
  report.port_by_id.clear();
  report.terminal = {};
  report.terminal.hw_version = "V\xff\xfe";  // not UTF-8
  report.result = RunResult::kRefused;
  const json record = json::parse(ReportLine(report));
  EXPECT_TRUE(record["port_by_id"].is_null());
  EXPECT_TRUE(record["upgrade"].is_null()) << "the rules never decided";
  EXPECT_EQ(record["terminal"]["hw_version"], "V\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(record["terminal"]["mmi_version"], "");
  EXPECT_EQ(record["result"], "refused");
}

TEST(RunReport, TheImageIsIdentifiedByItsSizeAndSha256) {
  test::TempFolder scratch;
  const std::string path = File(scratch, "image.bin");
  std::ofstream(path, std::ios::binary) << "abc";
  ImageIdentity identity;
  ASSERT_FALSE(IdentifyImage(path, identity));
  EXPECT_EQ(identity.path, path);
  EXPECT_EQ(identity.size, 3u);
  EXPECT_EQ(identity.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  const std::string million = File(scratch, "million.bin");
  std::ofstream(million, std::ios::binary) << std::string(1'000'000, 'a');
  ASSERT_FALSE(IdentifyImage(million, identity));
  EXPECT_EQ(identity.sha256, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

  EXPECT_TRUE(IdentifyImage(File(scratch, "missing.bin"), identity));
  fs::create_directory(File(scratch, "folder"));
  EXPECT_TRUE(IdentifyImage(File(scratch, "folder"), identity));
}

TEST(RunReport, TheFileIsAppendedToOneLinePerRun) {
  test::TempFolder scratch;
  const std::string path = File(scratch, "runs.jsonl");
  std::ofstream(path) << "{\"earlier\":true}\n";
  std::error_code error;
  std::optional<ReportFile> file = ReportFile::Open(path, error);
  ASSERT_TRUE(file) << error.message();
  ASSERT_FALSE(file->Append(CompletedRun()));
  RunReport failed = CompletedRun();
  failed.result = RunResult::kFailed;
  ASSERT_FALSE(file->Append(failed));

  std::istringstream lines(ReadText(path));
  std::vector<json> records;
  for (std::string line; std::getline(lines, line);) records.push_back(json::parse(line));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_TRUE(records[0]["earlier"]);
  EXPECT_EQ(records[1]["result"], "completed");
  EXPECT_EQ(records[2]["result"], "failed");

  EXPECT_FALSE(ReportFile::Open(File(scratch, "no/such/folder/runs.jsonl"), error));
  EXPECT_TRUE(error);
}

}  // namespace
}  // namespace kvx
