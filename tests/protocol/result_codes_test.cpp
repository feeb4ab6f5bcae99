// The result-code texts and the status a command letter gives each code.
#include "protocol/result_codes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kvx {
namespace {

// "이상한 에러, 확인요망 !!!" spelled out as UTF-8 bytes, so the source encoding cannot hide a
// difference.
const std::string kStrangeError =
    "\xEC\x9D\xB4\xEC\x83\x81\xED\x95\x9C \xEC\x97\x90\xEB\x9F\xAC, "
    "\xED\x99\x95\xEC\x9D\xB8\xEC\x9A\x94\xEB\xA7\x9D !!!";

TEST(ResultReasonTextTest, GivesEachCodeItsText) {
  const struct {
    RecordStatus code;
    const char* text;
  } cases[] = {
      {0xB0, "PACKET_CMD_REQ received !!!"},       {0xC1, "received data parsing error !!!"},
      {0xC2, "received header crc error !!!"},     {0xC3, "scp_uncompress error !!!"},
      {0xC4, "SYN/STX header error !!!"},          {0xC5, "ETX header error !!!"},
      {0xC6, "command header error !!!"},          {0xC7, "undefined error !!!"},
      {0xC8, "RC_SIZE_ERROR received !!!"},        {0xC9, "RC_FLASH_ERASE_ERROR received !!!"},
      {0xCA, "RC_FLASH_WRITE_ERROR received !!!"}, {0xCB, "RC_SEG_ERROR received !!!"},
      {0xCD, "RC_TOTAL_SIZE_ERROR received !!!"},  {0xCE, "RC_BLOCK_SIZE_ERROR received !!!"},
      {0xCF, "RC_SETUP_MODE_ERROR received !!!"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResultReasonText(c.code), c.text) << std::hex << c.code;
  }
}

TEST(ResultReasonTextTest, OkHasNoText) {
  EXPECT_TRUE(ResultReasonText(RC_OK).empty());
}

TEST(ResultReasonTextTest, UnknownCodesAndCcShareTheKoreanTextByteForByte) {
  for (RecordStatus code : {0x00u, 0xCCu, 0x01u, 0xAFu, 0xB1u, 0xBFu, 0xD0u, 0xFFu, 0x1C0u}) {
    EXPECT_EQ(ResultReasonText(code), kStrangeError) << std::hex << code;
  }
}

TEST(ResultCodeTableTest, ListsEveryNamedCodeOnceInAscendingOrder) {
  std::set<int> seen;
  int previous = -1;
  for (const ResultCodeInfo& info : ResultCodeTable()) {
    EXPECT_GT(info.code, previous);
    previous = info.code;
    seen.insert(info.code);
  }
  EXPECT_EQ(seen.size(), 17u);  // 0xB0 and 0xC0 to 0xCF
  EXPECT_EQ(ResultCodeName(RC_SEG_ERROR), "RC_SEG_ERROR");
  EXPECT_EQ(ResultCodeName(PACKET_CMD_REQ), "PACKET_CMD_REQ");
  EXPECT_TRUE(ResultCodeName(0xCC).empty());
  EXPECT_TRUE(ResultCodeName(0x42).empty());
}

TEST(StatusForCommandCodeTest, FollowsTheCommandAndCodeTable) {
  const struct {
    const char* reason;
    char cmd;
    std::uint8_t code;
    RecordStatus status;
  } cases[] = {
      {"setup response accepted", 's', 0xC0, RC_OK},
      {"write response accepted", 'w', 0xC0, RC_OK},
      {"code 0 from a response is undefined", 's', 0x00, RC_UNDEFINED_ERROR},
      {"code 0 from a write response is undefined", 'w', 0x00, RC_UNDEFINED_ERROR},
      {"a response's failure code is the status", 'w', 0xC9, 0xC9},
      {"the segment request keeps its code", 'w', RC_SEG_ERROR, RC_SEG_ERROR},
      {"even a request marker is taken as the code", 's', 0xB0, 0xB0},
      {"an unlisted code is the status too", 's', 0x7F, 0x7F},
      {"finish response accepted", 'f', 0xC0, RC_OK},
      {"a finish response with a segment request is a command error", 'f', RC_SEG_ERROR,
       RC_COMMAND_ERROR},
      {"a finish response with code 0", 'f', 0x00, RC_COMMAND_ERROR},
      {"a device request with the request marker", 'D', 0xB0, RC_OK},
      {"a device request without it", 'D', 0xC0, RC_COMMAND_ERROR},
      {"'d' with OK", 'd', 0xC0, RC_OK},
      {"'d' with anything else", 'd', 0xB0, RC_COMMAND_ERROR},
      {"an echoed setup command, even with OK", 'S', 0xC0, RC_COMMAND_ERROR},
      {"an echoed write command", 'W', 0xB0, RC_COMMAND_ERROR},
      {"an echoed finish command is an unknown letter", 'F', 0xC0, RC_UNDEFINED_ERROR},
      {"an unknown letter", 'x', 0xC0, RC_UNDEFINED_ERROR},
      {"a zero letter", '\0', 0xC0, RC_UNDEFINED_ERROR},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusForCommandCode(static_cast<std::uint8_t>(c.cmd), c.code), c.status) << c.reason;
  }
}

}  // namespace
}  // namespace kvx
