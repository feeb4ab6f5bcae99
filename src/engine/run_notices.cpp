// What the engine tells beyond the run's own messages and trace lines: ModemManager's presence at
// the start of a run, and a port refused for lack of permission after the report it caused.

#include <string>
#include <utility>

#include "engine/upgrade_worker.h"
#include "platform/modem_manager.h"
#include "platform/port_permission.h"
#include "serial/serial_ports.h"

namespace kvx {

void CUpgradeWorker::WriteRunWarnings() {
  if (!env_.hooks.modem_manager_running()) return;
  for (const std::string& line : ModemManagerWarning()) WriteLog(line + "\n", kTraceRed, LOG_TEXT);
}

// Any open that succeeds shows that permission is not the problem.
void CUpgradeWorker::NotePortOpen(const std::string& name, int error) {
  if (error == 0) {
    ForgetPortAccess();
  } else if (IsPermissionError(error)) {
    m_strDeniedPort = SerialDevicePath(name);
    m_nDeniedError = error;
  }
}

void CUpgradeWorker::ForgetPortAccess() {
  m_strDeniedPort.clear();
  m_nDeniedError = 0;
}

void CUpgradeWorker::ReportPortAccess() {
  if (m_strDeniedPort.empty()) return;
  const std::string path = std::exchange(m_strDeniedPort, {});
  const int error = std::exchange(m_nDeniedError, 0);
  m_pMainDlg.Send(WM_USER_PORT_ACCESS_DENIED, reinterpret_cast<WPARAM>(&path), error);
}

}  // namespace kvx
