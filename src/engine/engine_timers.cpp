// The engine window's timer expiries: connection retries, the download-mode request and AT+UPAPP,
// and the download's response timers.

#include "engine/timer_ids.h"
#include "engine/upgrade_worker.h"
#include "platform/string_table.h"

namespace kvx {

namespace {

constexpr std::int32_t kMaxUpappRepeats = 4;

}  // namespace

void CUpgradeWorker::SetTimerLogged(std::uintptr_t id, unsigned period_ms) {
  loop_.SetTimer(*this, id, Milliseconds(period_ms));
  WriteLogF(kTraceAmber, "%s timer set\n", TimerName(id));
}

void CUpgradeWorker::KillTimerLogged(std::uintptr_t id) {
  loop_.KillTimer(*this, id);
  WriteLogF(kTraceAmber, "%s timer kill\n", TimerName(id));
}

void CUpgradeWorker::OnTimer(std::uintptr_t id) {
  switch (id) {
    case IDT_CONNECT_RESPONSE:
      // No answer in time: close, pause, then the next attempt at the other rate.
      KillTimerLogged(IDT_CONNECT_RESPONSE);
      if (m_Com.IsOpen()) {
        m_Com.PortClose();
        WriteLog(TracePort() + " Port Closed\n", kTraceBlack, LOG_TEXT);
      }
      SetTimerLogged(IDT_WAIT_COM_RESTORE, WAIT_COM_RESTORE_MS);
      break;
    case IDT_WAIT_COM_RESTORE:
      KillTimerLogged(IDT_WAIT_COM_RESTORE);
      ++m_nConnectCount;
      ConnectSelectedPort();
      break;
    case IDT_BOOT_LOADER_TIMER_TEMP:
      KillTimerLogged(IDT_BOOT_LOADER_TIMER_TEMP);
      if (m_nUpappRetry >= kMaxUpappRepeats) {
        Disconnect(IDS_UPGRADE_FAILED);
        break;
      }
      ++m_nUpappRetry;
      if (m_nCurBaudRate != kBaud460800) SwitchToDownloadRate();
      m_Com.PortWrite(std::string_view("AT+UPAPP\r"));
      SetTimerLogged(IDT_BOOT_LOADER_TIMER_TEMP, UPAPP_RESPONSE_MS);
      WriteLog("AT+UPAPP\n", kTraceBrown, LOG_TX);
      break;
    case IDT_SETUP_RESPONSE:
    case IDT_WRITE_RESPONSE:
    case IDT_FINISH_RESPONSE:
      Retransmit();
      break;
    default:
      // IDT_PORT_SEARCH belongs to a port search that never runs; any other id is not ours.
      loop_.KillTimer(*this, id);
      break;
  }
}

}  // namespace kvx
