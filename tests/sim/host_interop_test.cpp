// The simulator against the host's own frame code: what the host builds, the terminal takes;
// what the terminal answers, the host accepts. Both sides were written apart, so agreement here
// means the wire format is read the same way twice.
#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <string>

#include "host_frames.h"
#include "protocol/frame.h"
#include "sim/download_session.h"
#include "sim/recording_sink.h"

namespace kvx::sim {
namespace {

class NullLog : public LogSink {
 public:
  void WriteLog(std::string_view, COLORREF, int) override {}
};

std::string AsString(std::span<const std::uint8_t> bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// The host's check of one answer, given as the record its frame take hands out.
RecordStatus HostStatus(const std::string& answer_frame) {
  NullLog log;
  const std::string record = answer_frame.substr(1);
  return CheckReceivedRecord(
             std::span(reinterpret_cast<const std::uint8_t*>(record.data()), record.size()), log)
      .status;
}

TEST(HostInteropTest, FramesBuiltByTheHostAreTakenAndTheAnswersPassTheHostsChecks) {
  DownloadConfig config;
  config.bsp_date = {2023, 11, 2, 8, 5, 59};
  config.tet_date = {2024, 12, 31, 23, 59, 0};
  FaultPlan faults{{}};
  RecordingSink sink;
  DownloadSession session(config, faults, sink);
  FrameBuffer frames;
  const std::string image = SampleData(70000, 3);

  frames.BuildSetup(1, image.size());
  session.Receive(AsString(frames.frame()));
  const std::string setup_answer = sink.TakeSent();
  ASSERT_EQ(HostStatus(setup_answer), RC_OK);
  SetupResponse response;
  const std::string record = setup_answer.substr(1);
  ASSERT_EQ(
      CheckSetupResponseBody(
          std::span(reinterpret_cast<const std::uint8_t*>(record.data()), record.size()), response),
      RC_OK);
  EXPECT_EQ(response.mode, 1);
  EXPECT_EQ(std::string(response.BSPVer.data()), config.bsp_version);
  EXPECT_EQ(response.bsp_date, MakeDateRecord(2023, 11, 2, 8, 5, 59));
  EXPECT_EQ(response.tet_date, MakeDateRecord(2024, 12, 31, 23, 59, 0));

  for (std::uint16_t seg = 0; seg < 2; ++seg) {
    const std::string segment = image.substr(seg * 65536u, 65536);
    std::span<std::uint8_t> area = frames.BeginWriteBody();
    uLongf length = area.size();
    ASSERT_EQ(compress(area.data(), &length, reinterpret_cast<const Bytef*>(segment.data()),
                       segment.size()),
              Z_OK);
    ASSERT_TRUE(frames.FinishWriteFrame(seg, length, segment.size()));
    session.Receive(AsString(frames.frame()));
    EXPECT_EQ(HostStatus(sink.TakeSent()), RC_OK) << "segment " << seg;
  }

  frames.BuildFinish({"JQ_SAT_V3.1.7", MakeDateRecord(2024, 3, 15, 14, 25, 30)},
                     {"OKR_TET_1.0.0", MakeDateRecord(2024, 1, 10, 9, 30, 0)});
  session.Receive(AsString(frames.frame()));
  EXPECT_EQ(HostStatus(sink.TakeSent()), RC_OK);

  const TransferSummary summary = session.Summary();
  EXPECT_TRUE(summary.clean());
  EXPECT_EQ(session.data(), image);
  ASSERT_TRUE(summary.finish);
  EXPECT_EQ((*summary.finish)[0].date, (DateTime{2024, 3, 15, 14, 25, 30}));
  EXPECT_EQ((*summary.finish)[1].version, "OKR_TET_1.0.0");
}

}  // namespace
}  // namespace kvx::sim
