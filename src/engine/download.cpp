// The download: the setup exchange, the compressed 64 KiB segments and the finish exchange, each
// guarded by its response timer and resent up to five times.

#include <algorithm>
#include <cstdio>

#include "engine/timer_ids.h"
#include "engine/upgrade_worker.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "platform/string_table.h"

namespace kvx {

namespace {

constexpr std::int32_t kMaxResends = 5;
constexpr LPARAM kUpgradeCompleteId = UPGRADE_END_ID;

DateRecord DateOf(const LocalTime& t) {
  return MakeDateRecord(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

template <std::size_t N>
std::string_view TextOf(const std::array<char, N>& field) {
  return {field.data(),
          static_cast<std::size_t>(std::find(field.begin(), field.end(), '\0') - field.begin())};
}

// The terminal's version fields go back into the finish body byte for byte, NULs included.
template <std::size_t N>
std::string_view WholeField(const std::array<char, N>& field) {
  return {field.data(), field.size()};
}

void WriteDumpFile(const char* name, std::span<const std::uint8_t> bytes) {
  // A dump that cannot be written is skipped.
  (void)WriteWholeFile(name, bytes, IfExists::kTruncateNoLink, 0644);
}

}  // namespace

unsigned CUpgradeWorker::WriteResponsePeriod() const {
  const std::int32_t bytes_per_second = m_nCurBaudRate / 8;
  if (bytes_per_second > std::int32_t{kSegmentSize} || bytes_per_second <= 0) {
    return WRITE_RESPONSE_MS;
  }
  return static_cast<unsigned>(std::int32_t{kSegmentSize} / bytes_per_second) * WRITE_RESPONSE_MS;
}

void CUpgradeWorker::SendFrame() {
  m_Com.PortWrite(m_Frame.frame());
  TraceSentHead(static_cast<ImageHost&>(*this), m_Frame.head());
}

void CUpgradeWorker::SendSetup() {
  m_Frame.BuildSetup(m_Image.boot_included() ? 1 : 0, m_Image.send_size());
  m_nFrameSeg = m_nSentSeg = -1;
  SendFrame();
  SetTimerLogged(IDT_SETUP_RESPONSE, SETUP_RESPONSE_MS);
}

void CUpgradeWorker::OnFrameReceived(std::span<const std::uint8_t> record) {
  const RecordCheck check = CheckReceivedRecord(record, static_cast<ImageHost&>(*this));
  m_RxHeader = check.head;
  m_nRxStatus = check.status;
  const std::uint8_t cmd = m_RxHeader.cmd;

  if (m_nRxStatus == RC_OK) {
    if (cmd == kCmdSetupResponse) {
      if (!OnSetupResponse(record)) return;
    } else if (cmd == kCmdWriteResponse) {
      OnWriteResponse();
    } else if (cmd == kCmdFinishResponse) {
      OnFinishResponse();
    }
  }

  if (m_nRxStatus == RC_OK && (cmd == kCmdSetupResponse || cmd == kCmdWriteResponse)) {
    m_nReTransCount = 0;
    SendNextSegment();
  } else if (m_nRxStatus == RC_OK && cmd == kCmdFinishResponse) {
    WriteLog("FINISH!!!\n", kTraceBlack, LOG_TEXT);
    m_Com.SetRxMode(RX_MODE_LINE);
  } else if (m_nRxStatus == RC_SEG_ERROR) {
    // The terminal names the segment it wants; a jump counts as a resend.
    if (m_nReTransCount < kMaxResends) {
      m_nCurDataCount = m_RxHeader.seg;
      ++m_nReTransCount;
      ++m_RunRecord.resends;
      SendNextSegment();
    }
  } else {
    Retransmit();
  }
}

// False when the record is refused and nothing more is to be done with it.
bool CUpgradeWorker::OnSetupResponse(std::span<const std::uint8_t> record) {
  KillTimerLogged(IDT_SETUP_RESPONSE);
  SetupResponse response;
  if (CheckSetupResponseBody(record, response) != RC_OK) {
    m_nRxStatus = RC_HEADER_CRC_ERROR;
    return true;
  }
  if (!TextOf(response.TETVer).starts_with("OKR")) response.tet_date = {};
  if (!m_TargetBsp.valid) response.bsp_date = {};
  m_SetupResponse = response;

  const std::uint8_t mode_sent = m_Image.boot_included() ? 1 : 0;
  if (response.mode != mode_sent) {
    WriteLog("setup response에서 잘못된 mode 값이 왔다!!", kTraceRed, LOG_TEXT);
    Disconnect(0);
    return false;
  }
  WriteLogF(kTraceBlack, "WM_USER_PROG_SETUP 3 UPGRADE_PART occur[%d]\n", m_Image.segment_count());
  m_pMainDlg.Post(WM_USER_PROG_SETUP, static_cast<WPARAM>(m_Image.segment_count()), UPGRADE_PART);
  WriteLog("Setup complete(between MS and Downloader)\n", kTraceBlack, LOG_TEXT);
  WriteLog("Binary file read complete\n", kTraceBlack, LOG_TEXT);
  KillTimerLogged(IDT_SETUP_RESPONSE);
  return true;
}

void CUpgradeWorker::OnWriteResponse() {
  KillTimerLogged(IDT_WRITE_RESPONSE);
  ++m_nCurDataCount;
  WriteLogF(kTraceBlack, "OK - WM_USER_PROG_PROC UPGRADE_PART occur[%d]\n", m_nCurDataCount);
  m_pMainDlg.Post(WM_USER_PROG_PROC, 0, m_nCurDataCount);
}

void CUpgradeWorker::OnFinishResponse() {
  Disconnect(0);
  WriteLog("Finish response received\n", kTraceBlack, LOG_TEXT);
  KillTimerLogged(IDT_FINISH_RESPONSE);
  WriteLog("WM_USER_END IDS_UPGRADE_COMPLETE_2 occur\n", kTraceBlack, LOG_TEXT);
  m_pMainDlg.Post(WM_USER_END, 0, kUpgradeCompleteId);
}

// The frame buffer may already hold the next segment's frame: it is built while the previous
// one is on the line, so compressing never delays the exchange. A resend rebuilds the frame it
// repeats; zlib gives the same bytes for the same segment, so the resend is byte for byte.
void CUpgradeWorker::SendNextSegment() {
  const std::int32_t segments = m_Image.segment_count();
  if (m_nCurDataCount == segments) {
    SendFinish();
    return;
  }
  if (m_nCurDataCount > segments || m_nCurDataCount < 0) {
    m_nCurDataCount = 0;
    WriteLog("FAIL - cause OVERFLOW segment number\n", kTraceRed, LOG_TEXT);
    return;
  }
  if (m_nFrameSeg != m_nCurDataCount && !BuildSegmentFrame(m_nCurDataCount)) {
    WriteLog("Compress error\n", kTraceBlack, LOG_TEXT);
    // Nothing valid is left to resend and no response can come: end the run plainly.
    Disconnect(IDS_UPGRADE_FAILED);
    return;
  }
  // Dumped as sent, with the switch as it stands now, whenever the frame was compressed.
  if (m_bDumpSegments) DumpSegment(m_nCurDataCount);
  SendFrame();
  m_nSentSeg = m_nCurDataCount;
  SetTimerLogged(IDT_WRITE_RESPONSE, WriteResponsePeriod());
  if (m_nCurDataCount + 1 < segments) BuildSegmentFrame(m_nCurDataCount + 1);
}

std::span<const std::uint8_t> CUpgradeWorker::SegmentData(std::int32_t seg) const {
  const std::uint64_t offset = static_cast<std::uint64_t>(seg) * kSegmentSize;
  const auto length =
      static_cast<std::size_t>(std::min<std::uint64_t>(kSegmentSize, m_Image.send_size() - offset));
  return {m_Image.send_start() + offset, length};
}

// Compresses segment `seg` straight into the frame buffer's body and completes its write frame.
bool CUpgradeWorker::BuildSegmentFrame(std::int32_t seg) {
  m_nFrameSeg = -1;
  const std::span<const std::uint8_t> raw = SegmentData(seg);
  const std::optional<std::size_t> compressed =
      m_Compressor.Compress(raw, m_Frame.BeginWriteBody());
  if (!compressed || !m_Frame.FinishWriteFrame(static_cast<std::uint16_t>(seg & 0xffff),
                                               *compressed, raw.size())) {
    return false;
  }
  m_nFrameSeg = seg;
  return true;
}

// Writes the compressed body of the frame in the buffer (segment `seg`) and the raw segment.
void CUpgradeWorker::DumpSegment(std::int32_t seg) {
  const std::span<const std::uint8_t> compressed =
      m_Frame.frame().subspan(kFrameHeadSize, m_Frame.head().body);
  const std::span<const std::uint8_t> raw = SegmentData(seg);
  const LocalTime t = LocalTimeNow();
  char name[64];
  std::snprintf(name, sizeof name, "./%04d_comp_ReceivedData_%02d%02d%02d-%02d%02d%02d", seg,
                t.year, t.month, t.day, t.hour, t.minute, t.second);
  WriteDumpFile(name, compressed);
  std::snprintf(name, sizeof name, "./%04d_raw_ReceivedData__%02d%02d%02d-%02d%02d%02d", seg,
                t.year, t.month, t.day, t.hour, t.minute, t.second);
  WriteDumpFile(name, raw);
}

void CUpgradeWorker::SendFinish() {
  const DateRecord now = DateOf(LocalTimeNow());
  const std::string_view stack_text = m_ImageVersions.stack_text.text();
  FinishSlot first;
  FinishSlot second;
  if (m_SetupResponse.mode == 1) {
    first = {WholeField(m_SetupResponse.BSPVer), m_SetupResponse.bsp_date};
    second = {stack_text, now};
  } else {
    first = {stack_text, now};
    second = {WholeField(m_SetupResponse.TETVer), m_SetupResponse.tet_date};
  }
  m_Frame.BuildFinish(first, second);
  m_nFrameSeg = m_nSentSeg = -1;
  SendFrame();
  SetTimerLogged(IDT_FINISH_RESPONSE, FINISH_RESPONSE_MS);
}

void CUpgradeWorker::Retransmit() {
  // The buffer may hold the next segment already: bring back the frame that is to be repeated.
  // A frame that cannot be rebuilt leaves the buffer empty, which ends the transfer below.
  if (m_nSentSeg >= 0 && m_nFrameSeg != m_nSentSeg) BuildSegmentFrame(m_nSentSeg);
  const Tx_header& head = m_Frame.head();
  std::uintptr_t timer = IDT_SETUP_RESPONSE;
  unsigned period = SETUP_RESPONSE_MS;
  if (head.cmd == kCmdWrite) {
    timer = IDT_WRITE_RESPONSE;
    period = WriteResponsePeriod();
  } else if (head.cmd == kCmdFinish) {
    timer = IDT_FINISH_RESPONSE;
    period = FINISH_RESPONSE_MS;
  }
  if (m_nReTransCount < kMaxResends && m_Frame.length() > 0) {
    m_Com.PortWrite(m_Frame.frame());
    ++m_nReTransCount;
    ++m_RunRecord.resends;
    TraceSentHead(static_cast<ImageHost&>(*this), head);
    SetTimerLogged(timer, period);
    return;
  }
  WriteLogF(kTraceRed, "reTransmission count Full = [%d], segment:%d", m_nReTransCount,
            static_cast<int>(head.seg));
  m_nReTransCount = 0;
  KillTimerLogged(timer);
  Disconnect(IDS_UPGRADE_FAILED);
}

}  // namespace kvx
