// Checking received records: every refusal is reached by corrupting a good record on purpose
// (flip a byte, shrink or grow a length, re-fix the head CRC so only the intended check fails).
// Records are held in vectors of their exact size, so a read past the end shows under ASan.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "recording_log.h"

namespace kvx {
namespace {

using Record = std::vector<std::uint8_t>;

// A terminal frame as the port's frame take hands it out: from the second SYN on.
Record MakeRecord(std::uint8_t cmd, std::uint8_t code, std::uint16_t seg, const Record& body) {
  Record frame(kFrameHeadSize + body.size() + 1);
  WriteFrameHead(std::span<std::uint8_t, kFrameHeadSize>(frame.data(), kFrameHeadSize), cmd, code,
                 seg, static_cast<std::uint32_t>(body.size()),
                 static_cast<std::uint32_t>(body.size()));
  std::copy(body.begin(), body.end(), frame.begin() + kFrameHeadSize);
  frame.back() = ETX;
  return Record(frame.begin() + 1, frame.end());
}

void PutLe32(Record& record, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) record[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Makes the head CRC right again after a deliberate change to the head.
void RefixHeadCrc(Record& record) {
  PutLe32(record, 14, Crc32(std::span<const std::uint8_t>(record).subspan(1, 13)));
}

void SetBodyLength(Record& record, std::uint32_t n) {
  PutLe32(record, 6, n);
  RefixHeadCrc(record);
}

void SetCode(Record& record, std::uint8_t code, bool refix) {
  record[3] = code;
  if (refix) RefixHeadCrc(record);
}

RecordStatus Check(const Record& record) {
  testing::RecordingLog log;
  return CheckReceivedRecord(record, log).status;
}

struct CorruptionCase {
  const char* reason;
  std::function<void(Record&)> corrupt;
  RecordStatus expected;
};

class RecordCorruptionTest : public ::testing::TestWithParam<CorruptionCase> {};

TEST_P(RecordCorruptionTest, IsRefusedByTheFirstCheckThatFails) {
  // A write response with a three-byte body that holds no ETX byte.
  Record record = MakeRecord('w', RC_OK, 7, {0x11, 0x22, 0x33});
  ASSERT_EQ(Check(record), RC_OK);
  GetParam().corrupt(record);
  EXPECT_EQ(Check(record), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    CheckOrder, RecordCorruptionTest,
    ::testing::Values(
        CorruptionCase{"a wrong first byte with a right STX", [](Record& r) { r[0] = 0x97; },
                       RC_SYN_STX_ERROR},
        CorruptionCase{"a wrong STX", [](Record& r) { r[1] = 0x83; }, RC_SYN_STX_ERROR},
        CorruptionCase{"a bad code is judged before the head CRC it breaks",
                       [](Record& r) { SetCode(r, RC_FLASH_ERASE_ERROR, false); },
                       RC_FLASH_ERASE_ERROR},
        CorruptionCase{"a code of 0 in a write response", [](Record& r) { SetCode(r, 0, true); },
                       RC_UNDEFINED_ERROR},
        CorruptionCase{"one bit of seg flipped, code still OK", [](Record& r) { r[4] ^= 0x01; },
                       RC_HEADER_CRC_ERROR},
        CorruptionCase{"one bit of the crc field flipped", [](Record& r) { r[17] ^= 0x80; },
                       RC_HEADER_CRC_ERROR},
        CorruptionCase{"the ETX missing under a right head CRC", [](Record& r) { r.back() = 0x00; },
                       RC_ETX_ERROR},
        CorruptionCase{"Body shrunk by one: ETX is not where the head says",
                       [](Record& r) { SetBodyLength(r, 2); }, RC_ETX_ERROR},
        CorruptionCase{"Body grown past the record's end", [](Record& r) { SetBodyLength(r, 4); },
                       RC_ETX_ERROR},
        CorruptionCase{"Body claiming four gigabytes",
                       [](Record& r) { SetBodyLength(r, 0xFFFFFFFF); }, RC_ETX_ERROR},
        CorruptionCase{"the record cut inside the head", [](Record& r) { r.resize(10); },
                       RC_HEADER_CRC_ERROR},
        CorruptionCase{"the record cut after the head, before the ETX",
                       [](Record& r) { r.resize(kRecordHeadSize); }, RC_ETX_ERROR},
        CorruptionCase{"a record of one byte", [](Record& r) { r.resize(1); }, RC_SYN_STX_ERROR},
        CorruptionCase{"an empty record", [](Record& r) { r.clear(); }, RC_SYN_STX_ERROR},
        CorruptionCase{"an unknown command letter",
                       [](Record& r) {
                         r[2] = 'x';
                         RefixHeadCrc(r);
                       },
                       RC_UNDEFINED_ERROR},
        CorruptionCase{"the terminal echoing a host write command",
                       [](Record& r) {
                         r[2] = 'W';
                         RefixHeadCrc(r);
                       },
                       RC_COMMAND_ERROR}));

TEST(RecordCheckTest, SegErrorIsTheStatusOfAWriteResponseButACommandErrorOfAFinishResponse) {
  EXPECT_EQ(Check(MakeRecord('w', RC_SEG_ERROR, 3, {})), RC_SEG_ERROR);
  EXPECT_EQ(Check(MakeRecord('s', RC_SEG_ERROR, 3, {})), RC_SEG_ERROR);
  EXPECT_EQ(Check(MakeRecord('f', RC_SEG_ERROR, 3, {})), RC_COMMAND_ERROR);
}

TEST(RecordCheckTest, ReturnsTheHeadAsReceived) {
  testing::RecordingLog log;
  const Record record = MakeRecord('w', RC_SEG_ERROR, 0x0304, {9, 9});
  const RecordCheck check = CheckReceivedRecord(record, log);
  EXPECT_EQ(check.head.cmd, 'w');
  EXPECT_EQ(check.head.code, RC_SEG_ERROR);
  EXPECT_EQ(check.head.seg, 0x0304);
  EXPECT_EQ(check.head.body, 2u);
  EXPECT_EQ(check.head.raw_body, 2u);
  EXPECT_EQ(check.head.crc, Crc32(std::span<const std::uint8_t>(record).subspan(1, 13)));
}

TEST(RecordCheckTest, TracesTheHeadAndTheReasonOfAFailureCode) {
  testing::RecordingLog log;
  CheckReceivedRecord(MakeRecord('w', RC_FLASH_ERASE_ERROR, 2, {}), log);
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(log.lines[0].text.rfind("cmd['w'/c9],Seg=2,Body=0,R_Body=0,crc[0x", 0), 0u);
  EXPECT_EQ(log.lines[0].colour, 0xff0000u);
  EXPECT_EQ(log.lines[0].kind, LOG_RX);
  EXPECT_EQ(log.lines[1].text, "Reason = RC_FLASH_ERASE_ERROR received !!!\r\n");
  EXPECT_EQ(log.lines[1].colour, 0xffu);
  EXPECT_EQ(log.lines[1].kind, LOG_TEXT);
}

TEST(RecordCheckTest, LogsTheReasonOfADeviceRequestThatItAccepts) {
  testing::RecordingLog log;
  EXPECT_EQ(CheckReceivedRecord(MakeRecord('D', PACKET_CMD_REQ, 0, {}), log).status, RC_OK);
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(log.lines[1].text, "Reason = PACKET_CMD_REQ received !!!\r\n");
}

TEST(RecordCheckTest, WritesNoReasonForAnOkCodeEvenWhenTheHeadCrcIsBad) {
  testing::RecordingLog log;
  Record record = MakeRecord('w', RC_OK, 1, {});
  record[5] ^= 0x10;
  EXPECT_EQ(CheckReceivedRecord(record, log).status, RC_HEADER_CRC_ERROR);
  EXPECT_EQ(log.lines.size(), 1u);
}

// A setup response body as a terminal sends it, with a right CRC.
Record SetupResponseBody(std::uint8_t mode) {
  Record body(kSetupResponseBodySize, 0);
  body[0] = mode;
  const std::string bsp = "KVX01-BSP-1.2";
  std::copy(bsp.begin(), bsp.end(), body.begin() + 1);
  const std::uint8_t bsp_date[5] = {0xE8, 0xC7, 0x3C, 0x97, 0x79};  // 2024-03-15 14:25:30
  std::copy(std::begin(bsp_date), std::end(bsp_date), body.begin() + 65);
  const std::string tet = "OKR1.0.7";
  std::copy(tet.begin(), tet.end(), body.begin() + 70);
  const std::uint8_t tet_date[5] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  std::copy(std::begin(tet_date), std::end(tet_date), body.begin() + 86);
  std::fill(body.begin() + 91, body.begin() + 107, 'z');
  const std::uint32_t crc = Crc32(std::span<const std::uint8_t>(body).first(107));
  for (int i = 0; i < 4; ++i) body[107 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  return body;
}

TEST(SetupResponseTest, SavesModeVersionsAndDatesInTheRecordForm) {
  const Record record = MakeRecord('s', RC_OK, 0, SetupResponseBody(1));
  ASSERT_EQ(Check(record), RC_OK);

  SetupResponse response;
  ASSERT_EQ(CheckSetupResponseBody(record, response), RC_OK);
  EXPECT_EQ(response.mode, 1);
  EXPECT_EQ(std::string(response.BSPVer.data()), "KVX01-BSP-1.2");
  EXPECT_EQ(response.bsp_date, (DateRecord{2024, 3, 15, 14, 25, 30}));
  EXPECT_EQ(std::string(response.TETVer.data(), 8), "OKR1.0.7");
  EXPECT_EQ(response.tet_date, (DateRecord{16383, 15, 31, 31, 63, 63}));
}

TEST(SetupResponseTest, RefusesABodyWhoseCrcIsWrongAndKeepsWhatWasSaved) {
  Record body = SetupResponseBody(0);
  body[40] ^= 0x01;
  const Record record = MakeRecord('s', RC_OK, 0, body);
  ASSERT_EQ(Check(record), RC_OK);

  SetupResponse response;
  response.mode = 7;
  EXPECT_EQ(CheckSetupResponseBody(record, response), RC_HEADER_CRC_ERROR);
  EXPECT_EQ(response.mode, 7);
}

TEST(SetupResponseTest, RefusesABodyShorterThanItsFieldsEvenWhenTheEtxCompletesARightCrc) {
  // A well-framed record one body byte short, made so that its ETX (0x83) is the CRC's top
  // byte: read as a 111-byte body it would pass.
  Record body = SetupResponseBody(0);
  std::uint32_t crc = 0;
  for (int filler = 0; filler < 65536; ++filler) {
    body[91] = static_cast<std::uint8_t>(filler);
    body[92] = static_cast<std::uint8_t>(filler >> 8);
    crc = Crc32(std::span<const std::uint8_t>(body).first(107));
    if ((crc >> 24) == ETX) break;
  }
  ASSERT_EQ(crc >> 24, ETX);
  body.resize(kSetupResponseBodySize - 1);
  for (int i = 0; i < 3; ++i) body[107 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  const Record record = MakeRecord('s', RC_OK, 0, body);
  ASSERT_EQ(Check(record), RC_OK);

  SetupResponse response;
  EXPECT_EQ(CheckSetupResponseBody(record, response), RC_HEADER_CRC_ERROR);
}

TEST(SetupResponseTest, RefusesARecordCutShortOfTheBodyItsHeadClaims) {
  Record record = MakeRecord('s', RC_OK, 0, SetupResponseBody(0));
  record.resize(kRecordHeadSize + 50);

  SetupResponse response;
  EXPECT_EQ(CheckSetupResponseBody(record, response), RC_HEADER_CRC_ERROR);
  EXPECT_EQ(CheckSetupResponseBody({}, response), RC_HEADER_CRC_ERROR);
}

}  // namespace
}  // namespace kvx
