#include "protocol/result_codes.h"

#include <algorithm>
#include <array>

#include "protocol/frame_format.h"

namespace kvx {
namespace {

// The text for 0xCC and for every code without an entry: "strange error, please check".
constexpr std::string_view kStrangeErrorText = "이상한 에러, 확인요망 !!!";

constexpr std::array<ResultCodeInfo, 17> kResultCodes{{
    {PACKET_CMD_REQ, "PACKET_CMD_REQ", "PACKET_CMD_REQ received !!!"},
    {RC_OK, "RC_OK", ""},
    {RC_PARSING_ERROR, "RC_PARSING_ERROR", "received data parsing error !!!"},
    {RC_HEADER_CRC_ERROR, "RC_HEADER_CRC_ERROR", "received header crc error !!!"},
    {RC_UNCOMPRESS_ERROR, "RC_UNCOMPRESS_ERROR", "scp_uncompress error !!!"},
    {RC_SYN_STX_ERROR, "RC_SYN_STX_ERROR", "SYN/STX header error !!!"},
    {RC_ETX_ERROR, "RC_ETX_ERROR", "ETX header error !!!"},
    {RC_COMMAND_ERROR, "RC_COMMAND_ERROR", "command header error !!!"},
    {RC_UNDEFINED_ERROR, "RC_UNDEFINED_ERROR", "undefined error !!!"},
    {RC_SIZE_ERROR, "RC_SIZE_ERROR", "RC_SIZE_ERROR received !!!"},
    {RC_FLASH_ERASE_ERROR, "RC_FLASH_ERASE_ERROR", "RC_FLASH_ERASE_ERROR received !!!"},
    {RC_FLASH_WRITE_ERROR, "RC_FLASH_WRITE_ERROR", "RC_FLASH_WRITE_ERROR received !!!"},
    {RC_SEG_ERROR, "RC_SEG_ERROR", "RC_SEG_ERROR received !!!"},
    {0xCC, "", kStrangeErrorText},
    {RC_TOTAL_SIZE_ERROR, "RC_TOTAL_SIZE_ERROR", "RC_TOTAL_SIZE_ERROR received !!!"},
    {RC_BLOCK_SIZE_ERROR, "RC_BLOCK_SIZE_ERROR", "RC_BLOCK_SIZE_ERROR received !!!"},
    {RC_SETUP_MODE_ERROR, "RC_SETUP_MODE_ERROR", "RC_SETUP_MODE_ERROR received !!!"},
}};

constexpr std::array<CommandCodeRule, 7> kCommandCodeRules{{
    {kCmdSetupResponse, RC_OK, true, RC_UNDEFINED_ERROR},
    {kCmdWriteResponse, RC_OK, true, RC_UNDEFINED_ERROR},
    {kCmdFinishResponse, RC_OK, false, RC_COMMAND_ERROR},
    {kCmdDeviceRequest, PACKET_CMD_REQ, false, RC_COMMAND_ERROR},
    {kCmdDeviceOk, RC_OK, false, RC_COMMAND_ERROR},
    // A host command echoed back is never an answer.
    {kCmdSetup, std::nullopt, false, RC_COMMAND_ERROR},
    {kCmdWrite, std::nullopt, false, RC_COMMAND_ERROR},
}};

const ResultCodeInfo* FindResultCode(RecordStatus code) {
  const auto it = std::find_if(kResultCodes.begin(), kResultCodes.end(),
                               [code](const ResultCodeInfo& info) { return info.code == code; });
  return it == kResultCodes.end() ? nullptr : &*it;
}

}  // namespace

std::span<const ResultCodeInfo> ResultCodeTable() {
  return kResultCodes;
}

std::string_view ResultReasonText(RecordStatus code) {
  const ResultCodeInfo* info = FindResultCode(code);
  return info == nullptr ? kStrangeErrorText : info->reason;
}

std::string_view ResultCodeName(RecordStatus code) {
  const ResultCodeInfo* info = FindResultCode(code);
  return info == nullptr ? std::string_view() : info->name;
}

std::span<const CommandCodeRule> CommandCodeRules() {
  return kCommandCodeRules;
}

RecordStatus StatusForCommandCode(std::uint8_t cmd, std::uint8_t code) {
  const auto rule =
      std::find_if(kCommandCodeRules.begin(), kCommandCodeRules.end(),
                   [cmd](const CommandCodeRule& candidate) { return candidate.cmd == cmd; });
  if (rule == kCommandCodeRules.end()) return RC_UNDEFINED_ERROR;
  if (rule->accepted_code == code) return RC_OK;
  if (rule->refused_code_is_status && code != 0) return code;
  return rule->refused_status;
}

}  // namespace kvx
