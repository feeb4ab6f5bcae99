// The AT dialogue: identifying the terminal, aligning its NV version, applying the version rules
// and bringing it into download mode, up to "+START".

#include <cstdio>

#include "engine/timer_ids.h"
#include "engine/upgrade_worker.h"
#include "platform/string_table.h"

namespace kvx {

namespace {

constexpr int kMaxTakesPerEvent = 20;

bool BeginsWith(std::string_view line, std::string_view text) {
  return line.starts_with(text);
}
bool Contains(std::string_view line, std::string_view text) {
  return line.find(text) != std::string_view::npos;
}

// The line without its line end.
std::string_view Trimmed(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// A reply as the run's record keeps it.
std::string RecordText(std::string_view line) {
  return ansi_text_to_utf8(Trimmed(line));
}

std::string NvText(const nv_version_s& nv) {
  const std::string_view chars = nv.chars();
  return RecordText(chars.substr(0, chars.find('\0')));
}

}  // namespace

void CUpgradeWorker::ReceiveDispatch() {
  for (int take = 0; take < kMaxTakesPerEvent; ++take) {
    if (m_Com.RxMode() == RX_MODE_LINE) {
      const int length = m_Com.PortGetLine(
          std::span<char>(reinterpret_cast<char*>(m_RxBuffer.data()), m_RxBuffer.size()));
      if (length <= 0) return;
      ParseAtResponse(std::string_view(reinterpret_cast<const char*>(m_RxBuffer.data()),
                                       static_cast<std::size_t>(length)));
    } else {
      const int length = m_Com.PortGetFrame(m_RxBuffer);
      if (length <= 0) return;
      if (m_bDownloadMode) {
        OnFrameReceived(
            std::span<const std::uint8_t>(m_RxBuffer.data(), static_cast<std::size_t>(length)));
      }
    }
    // A handler may have ended the run; what is left in the ring belongs to no one.
    if (!m_bRunActive) return;
  }
}

void CUpgradeWorker::SendCommand(std::string_view bytes, std::string_view trace) {
  m_Com.PortWrite(bytes);
  if (!trace.empty()) WriteLog(trace, kTraceBrown, LOG_TX);
}

void CUpgradeWorker::ParseAtResponse(std::string_view line) {
  if (line == "\n" || line == "\r\n") return;
  WriteLog(ansi_text_to_utf8(line), kTraceBlue, LOG_RX);

  if (!m_bDownloadMode) {
    switch (m_nAtState) {
      case AT_PARSING__LINK:
        OnLinkLine(line);
        return;
      case AT_PARSING__HWVER:
        OnHwVersionLine(line);
        return;
      case AT_PARSING__HWVER_OK:
        if (BeginsWith(line, "OK\r\n")) {
          m_nAtState = AT_PARSING__GGMR;
          SendCommand("at+ggmr\r", "at+ggmr\r\n");
        }
        return;
      case AT_PARSING__GGMR:
        parse_target_stack_version(line, m_TargetStack);
        m_RunRecord.stack_version = RecordText(line);
        m_nAtState = AT_PARSING__GGMR_OK;
        return;
      case AT_PARSING__GGMR_OK:
        if (!BeginsWith(line, "OK\r\n")) return;
        KillTimerLogged(IDT_CONNECT_RESPONSE);
        if (!m_TargetStack.emergency) {
          m_nAtState = AT_PARSING__NV_CHECK;
          SendCommand("AT+MMI=\"NV_VER_CHECK\"\r", "AT+MMI=\"NV_VER_CHECK\"\r");
        } else {
          // Stopped twice on purpose: the second kill line marks the EMERGENCY path in the trace.
          KillTimerLogged(IDT_CONNECT_RESPONSE);
          Decide();
        }
        return;
      case AT_PARSING__NV_CHECK:
        OnNvCheckLine(line);
        return;
      case AT_PARSING__NV_UPDATE:
        if (BeginsWith(line, "OK\r\n")) {
          m_RunRecord.nv_after = NvText(m_ImageVersions.nv);
          m_nAtState = AT_PARSING__SYSVER;
          SendCommand("AT+SYSVer\r", "AT+SYSVer\r\n");
        }
        return;
      case AT_PARSING__SYSVER:
        OnSysVerLine(line);
        return;
      default:
        break;
    }
  }

  if (m_nAtState == AT_PARSING__USB_DOWNLOAD && BeginsWith(line, "OK\r\n")) {
    OnDownloadRequestAcknowledged();
    return;
  }
  if ((m_nAtState == AT_PARSING__USB_DOWNLOAD || m_nAtState == AT_PARSING__MPU_RESET) &&
      BeginsWith(line, "+UPAPP")) {
    m_nAtState = AT_PARSING__UPGRADE;
    KillTimerLogged(IDT_BOOT_LOADER_TIMER_TEMP);
    m_nCurConnectRetry = 0;
    m_bDownloadMode = true;
    SendCommand("AT+UPGRADE\r", "AT+UPGRADE\n");
    return;
  }
  if (m_nAtState == AT_PARSING__UPGRADE && m_bDownloadMode) OnUpgradeLine(line);
}

void CUpgradeWorker::OnLinkLine(std::string_view line) {
  if (BeginsWith(line, "OK\r\n")) {
    WriteLogF(kTraceBlack, "Baud rate Searching complete, Baud[%d]\n", m_nCurBaudRate);
    SaveComPortProfile();
    // The trace has always shown this command as "at+ver"; log readers search for that text.
    SendCommand("at+hwver\r", "at+ver\r\n");
    m_nAtState = AT_PARSING__HWVER;
  } else if (Contains(line, "ERROR")) {
    SendCommand("AT\r", "AT\n");
  }
}

void CUpgradeWorker::OnHwVersionLine(std::string_view line) {
  constexpr std::string_view kHwVerPrefix = "+HWVER: ";
  const bool force_boot = m_bForceBoot == 1;
  const std::size_t prefix = line.find(kHwVerPrefix);
  if (prefix != std::string_view::npos) {
    m_RunRecord.hw_version = RecordText(line.substr(prefix + kHwVerPrefix.size()));
    parse_target_bsp_ver(line.substr(prefix + kHwVerPrefix.size()), m_TargetBsp, force_boot,
                         static_cast<ImageHost&>(*this));
  } else if (BeginsWith(line, "ERROR") ||
             !parse_target_bsp_ver(line, m_TargetBsp, force_boot, static_cast<ImageHost&>(*this))) {
    WriteLog("AT+HWVER response ERROR", kTraceRed, LOG_TEXT);
  }
  m_nAtState = AT_PARSING__HWVER_OK;
}

void CUpgradeWorker::OnNvCheckLine(std::string_view line) {
  if (!BeginsWith(line, "NV_VER")) return;
  extract_nv_version(Trimmed(line), m_TargetNv);
  m_RunRecord.nv_before = m_RunRecord.nv_after = NvText(m_TargetNv);
  const nv_version_s& image_nv = m_ImageVersions.nv;
  WriteLogF(kTraceRed, "binary NV ver %.2f\n", nv_version_value(image_nv));
  WriteLogF(kTraceRed, "target NV ver %.2f\n", nv_version_value(m_TargetNv));

  if (!image_nv.empty() && !m_TargetNv.empty() && image_nv.chars() != m_TargetNv.chars()) {
    m_nAtState = AT_PARSING__NV_UPDATE;
    char command[64];
    const int length = std::snprintf(command, sizeof command, "AT+MMI=\"NEW_NVM_VERSION\",%.4s\r",
                                     image_nv.bytes.data());
    const auto sent = static_cast<std::size_t>(length < 0 ? 0 : length);
    m_Com.PortWrite(std::string_view(command, std::min(sent, sizeof command - 1)));
    WriteLog("NV version 이 서로 다름 !!!!!!!!!!!!!!!!", kTraceRed, LOG_TEXT);
    WriteLog("AT+MMI=\"NEW_NVM_VERSION\"\r", kTraceBrown, LOG_TX);
    return;
  }
  m_nAtState = AT_PARSING__SYSVER;
  m_Com.PortWrite(std::string_view("AT+SYSVer\r"));
  if (!image_nv.empty() && !m_TargetNv.empty()) {
    WriteLog("NV version 같음.", kTraceRed, LOG_TEXT);
  }
  WriteLog("AT+SYSVer\r\n", kTraceBrown, LOG_TX);
}

void CUpgradeWorker::OnSysVerLine(std::string_view line) {
  KillTimerLogged(IDT_CONNECT_RESPONSE);
  if (!parse_mmi_version(line, MmiSide::kTerminal, m_TargetMmi)) {
    SendCommand("AT+SYSVer\r", "AT+SYSVer\r\n");
    return;
  }
  m_RunRecord.mmi_version = RecordText(line);
  if (!apply_mmi_rule(*this, Records(), Options())) {
    Disconnect(0);
    return;
  }
  Decide();
}

RuleRecords CUpgradeWorker::Records() const {
  return RuleRecords{m_ImageVersions.mmi, m_TargetMmi,          m_ImageVersions.stack,
                     m_TargetStack,       m_ImageVersions.boot, m_TargetBsp};
}

RunOptions CUpgradeWorker::Options() const {
  return RunOptions{m_bDowngrade == 1, m_bForceStack == 1, m_bForceBoot == 1};
}

void CUpgradeWorker::Decide() {
  SendWindow window;
  if (!decide_download(*this, Records(), Options(), m_Image.image_size(), window)) {
    Disconnect(0);
    return;
  }
  if (window.boot_included) {
    m_Image.SendWholeImage();
  } else if (!m_Image.SendFrom(window.offset)) {
    // The rules never leave an empty window; refuse rather than send nothing.
    PostOperatorMessage(IDS_WRONG_IMAGE);
    Disconnect(0);
    return;
  }
  m_RunRecord.download_decided = true;
  m_RunRecord.boot_included = m_Image.boot_included();
  m_RunRecord.segments = m_Image.segment_count();
  m_nAtState = AT_PARSING__USB_DOWNLOAD;
  m_Com.PortWrite(std::string_view("AT+MMI=\"USB_DOWNLOAD\"\r"));
  SetTimerLogged(IDT_BOOT_LOADER_TIMER_TEMP, DOWNLOAD_REQUEST_MS);
  WriteLog("AT+MMI=\"USB_DOWNLOAD\"\n", kTraceBrown, LOG_TX);
}

void CUpgradeWorker::OnDownloadRequestAcknowledged() {
  if (m_nCurBaudRate == kBaud115200 || m_nCurBaudRate == kBaud460800) SwitchToDownloadRate();
  m_nAtState = AT_PARSING__MPU_RESET;
  m_bDownloadMode = true;
}

// The line changes rate once; the trace line is written even when it is already at 460800.
// The result is not examined: the terminal's restart re-opens the port at this rate anyway.
void CUpgradeWorker::SwitchToDownloadRate() {
  WriteLogF(kTraceRed, "Change Baud rate %d -> 460800\r", m_nCurBaudRate);
  if (m_nCurBaudRate == kBaud460800) return;
  m_nCurBaudRate = kBaud460800;
  m_Com.PortModifyBaudrate(kBaud460800);
}

void CUpgradeWorker::UpappStep() {
  m_nAtState = AT_PARSING__USB_DOWNLOAD;
  m_Com.PortWrite(std::string_view("AT+UPAPP\r"));
  SetTimerLogged(IDT_BOOT_LOADER_TIMER_TEMP, UPAPP_RESPONSE_MS);
}

void CUpgradeWorker::OnUpgradeLine(std::string_view line) {
  if (BeginsWith(line, "+START\r\n")) {
    KillTimerLogged(IDT_CONNECT_RESPONSE);
    m_nAtState = AT_PARSING__BINARY;
    WriteLog("@@BINARY mode change\n", kTraceBlack, LOG_TEXT);
    if (m_Com.RxMode() == RX_MODE_LINE) m_Com.SetRxMode(RX_MODE_FRAME);
    WriteLog("WM_USER_STATIC_LOG_CTRL IDS_UPGRADE_IN_PROGRESS occur\n", kTraceRed, LOG_TEXT);
    m_pMainDlg.Post(WM_USER_STATIC_LOG_CTRL, 0, IDS_UPGRADE_IN_PROGRESS);
    SendSetup();
  } else if (line == "ERROR\r\n") {
    // The terminal is not ready for the download yet; give it a second.
    env_.clock.Sleep(Milliseconds(1000));
    KillTimerLogged(IDT_CONNECT_RESPONSE);
    m_nCurConnectRetry = 0;
    m_bDownloadMode = true;
    SendCommand("AT+UPGRADE\r", "AT+UPGRADE\n");
  }
}

void CUpgradeWorker::SaveComPortProfile() {
  env_.profile.WriteProfileString(kSectionComPort, kEntryPort, m_strComPort);
  env_.profile.WriteProfileInt(kSectionComPort, kEntryBaudrate, m_nCurBaudRate);
}

}  // namespace kvx
