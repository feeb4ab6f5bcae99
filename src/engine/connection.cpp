// Port selection, the start request, connection attempts, port events and Disconnect.

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "engine/timer_ids.h"
#include "engine/upgrade_worker.h"
#include "platform/string_table.h"
#include "serial/port_match.h"
#include "serial/serial_ports.h"

namespace kvx {

namespace {

constexpr std::int32_t kMaxConnectAttempts = 10;
constexpr std::int32_t kMaxTerminalResets = 10;
// In the order Disconnect stops them.
constexpr std::uintptr_t kTimersStoppedByDisconnect[] = {
    IDT_BOOT_LOADER_TIMER_TEMP, IDT_CONNECT_RESPONSE, IDT_WAIT_COM_RESTORE, IDT_SETUP_RESPONSE,
    IDT_WRITE_RESPONSE,         IDT_PORT_SEARCH,      IDT_FINISH_RESPONSE};

}  // namespace

std::string CUpgradeWorker::TracePort() const {
  return PortNameForTrace(m_strComPort);
}

bool CUpgradeWorker::IsPortBusy(const std::string& name) {
  // kvx::IsPortBusy's test, keeping the errno for a refusal by permission.
  const int error = TryPortOpen(name, env_.opener);
  NotePortOpen(name, error);
  return error != 0;
}

std::int32_t CUpgradeWorker::CountFreePorts(const std::string& name) {
  const std::vector<std::string> ports = EnumSerialPorts(env_.ports);
  const auto listed = static_cast<std::int32_t>(ports.size());
  if (listed < 1) return -1;
  if (!name.empty()) {
    // A path to a listed port (a /dev/serial/by-id link) counts as that port.
    if (!FindListedPort(name, ports)) return -1;
    return IsPortBusy(name) ? 0 : listed;
  }
  return static_cast<std::int32_t>(
      std::count_if(ports.begin(), ports.end(), [this](const auto& p) { return !IsPortBusy(p); }));
}

void CUpgradeWorker::SendPortSelected() {
  m_pMainDlg.Send(WM_USER_PORT_SELECTED, reinterpret_cast<WPARAM>(&m_strComPort),
                  reinterpret_cast<LPARAM>(&m_nCurBaudRate));
}

void CUpgradeWorker::OnPortSetup() {
  ForgetPortAccess();
  m_nPortCheck = CountFreePorts("");
  if (m_nPortCheck <= 0) {
    m_pMainDlg.Send(WM_USER_PORT_ERROR, 0, reinterpret_cast<LPARAM>(&m_nPortCheck));
    ReportPortAccess();
    return;
  }
  m_bPortSelected = true;
  std::vector<std::string> free_ports = EnumSerialPorts(env_.ports);
  std::erase_if(free_ports, [this](const auto& p) { return IsPortBusy(p); });
  const std::optional<PortChoice> choice = env_.hooks.run_port_setup(free_ports, m_strComPort);
  if (!choice) return;
  m_strComPort = choice->port;
  m_nCurBaudRate = static_cast<std::int32_t>(std::strtol(choice->baud_text.c_str(), nullptr, 10));
  WriteLogF(kTraceBlack, "[%s]port, [%d]baud rate selected\n", TracePort().c_str(), m_nCurBaudRate);
  m_strLastPort = m_strComPort;
  m_nLastBaudRate = m_nCurBaudRate;
  SendPortSelected();
}

void CUpgradeWorker::OnPortConfig(const std::string* name) {
  m_strLastPort = name ? *name : std::string();
  ForgetPortAccess();
  if (CountFreePorts(m_strLastPort) > 0) {
    m_nLastBaudRate = kBaud115200;
    m_bPortSelected = true;
  } else {
    m_strLastPort.clear();
    m_nLastBaudRate = 0;
    m_bPortSelected = false;
  }
  m_strComPort = m_strLastPort;
  m_nCurBaudRate = m_nLastBaudRate;
  SendPortSelected();
  ReportPortAccess();
}

void CUpgradeWorker::OnUpgradeAgain() {
  m_bPortSelected = true;
  m_strComPort = m_strLastPort;
  m_nCurBaudRate = m_nLastBaudRate;
  SendPortSelected();
}

void CUpgradeWorker::StartUpgrade(LPARAM options) {
  ForgetPortAccess();
  if (IsPortBusy(m_strComPort)) {
    m_nPortCheck = -2;
    m_pMainDlg.Send(WM_USER_PORT_ERROR, 0, reinterpret_cast<LPARAM>(&m_nPortCheck));
    ReportPortAccess();
    return;
  }
  m_bDowngrade = (options & OPTION_DOWNGRADE) ? 1 : 0;
  m_bForceStack = (options & OPTION_FORCE_STACK) ? 1 : 0;
  m_bForceBoot = (options & OPTION_FORCE_BOOT) ? 1 : 0;
  m_pMainDlg.Post(WM_USER_BTN_CTRL, BTN_DISABLE, 0);
  WriteRunWarnings();
  WriteLogF(kTraceBlack, "file path : %s\n", m_strFilePath.c_str());
  // The size as the previous load left it: this run's image is loaded below.
  WriteLogF(kTraceBlack, "file size : %llu byte\n",
            static_cast<unsigned long long>(m_Image.last_loaded_size()));
  // A run that ended with the port already closed (a terminal that never came back from its
  // restart) left the dialogue where it stopped; every run begins with the link test.
  m_nAtState = AT_PARSING__LINK;
  m_bDownloadMode = false;
  m_RunRecord = {};
  m_Com.PortReset();
  m_Com.SetOwner(*this);
  WriteLog("WM_USER_STATIC_LOG_CTRL IDS_INIT_IN_PROGRESS occur\n", kTraceBlack, LOG_TEXT);
  m_pMainDlg.Post(WM_USER_STATIC_LOG_CTRL, 0, IDS_INIT_IN_PROGRESS);
  m_comport_count = 0;

  m_ImageVersions.downgrade_enabled = m_bDowngrade == 1;
  if (!m_Image.load_image(m_ImageVersions)) return;
  m_bRunActive = true;

  if (m_bPortSelected) {
    m_bKnownPort = true;
    WriteLogF(kTraceBlack, "WM_USER_PROG_SETUP UPGRADE_PART occur[%d]\n", m_Image.segment_count());
    m_pMainDlg.Post(WM_USER_PROG_SETUP, static_cast<WPARAM>(m_Image.segment_count()), UPGRADE_PART);
    ConnectSelectedPort();
  } else {
    m_bKnownPort = false;
    WriteLogF(kTraceBlack, "WM_USER_PROG_SETUP CHECK_COM_PORT_PART occur[%d]\n", m_comport_count);
    m_pMainDlg.Post(WM_USER_PROG_SETUP, static_cast<WPARAM>(m_comport_count), CHECK_COM_PORT_PART);
    m_nCurConnectRetry = 0;
    com_port_test();
  }
}

void CUpgradeWorker::OpenSelectedPort() {
  m_Com.PortOpen(m_strComPort, static_cast<std::uint32_t>(m_nCurBaudRate), 8, "NONE", 1);
}

void CUpgradeWorker::ConnectSelectedPort() {
  if (m_nConnectCount == kMaxConnectAttempts) {
    KillTimerLogged(IDT_CONNECT_RESPONSE);
    WriteLog("AT reTranmit Counter overflow\n", kTraceBlack, LOG_TEXT);
    WriteLog("Upgrade procedure fail..\n", kTraceBlack, LOG_TEXT);
    m_nConnectCount = 0;
    Disconnect(IDS_CONNECTION_FAILED);
    return;
  }
  if (m_bPortSelected) m_nCurBaudRate = (m_nConnectCount % 2) ? kBaud460800 : kBaud115200;
  OpenSelectedPort();
}

void CUpgradeWorker::com_port_test() {
  // The list of candidate ports is empty at every start, so the search ends at once.
  WriteLog("WM_USER_STATIC_LOG_CTRL IDS_INIT_IN_PROGRESS occur\n", kTraceBlack, LOG_TEXT);
  m_pMainDlg.Post(WM_USER_STATIC_LOG_CTRL, 0, IDS_INIT_IN_PROGRESS_SEARCH);
  WriteLogF(kTraceBlack, "com_port_test() - WM_USER_PROG_PROC occur[%d]\n", m_nCurConnectRetry);
  m_pMainDlg.Post(WM_USER_PROG_PROC, 0, m_nCurConnectRetry);
  if (m_nCurConnectRetry != 6 * m_comport_count) return;
  KillTimerLogged(IDT_WAIT_COM_RESTORE);
  KillTimerLogged(IDT_PORT_SEARCH);
  WriteLog("port search complete\n", kTraceBlack, LOG_TEXT);
  m_bKnownPort = true;
  const int found = 0;
  WriteLogF(kTraceBlack, "sky_deck_count = [%d]\n", found);
  Disconnect(0);
  m_pMainDlg.Send(WM_USER_DEVICE_COUNT, found, 0);
}

void CUpgradeWorker::OnComEvent(WPARAM event, LPARAM value) {
  // Events of a connection that Disconnect has already ended (the re-open that the last
  // terminal reset issued, say) find no run to act on.
  if (!m_bRunActive) return;
  switch (event) {
    case COM_EVT_OPEN:
      OnPortOpened(value);
      break;
    case COM_EVT_RXDATA:
      ReceiveDispatch();
      break;
    case COM_EVT_DSR:
      if (value == 0 && m_nAtState != AT_PARSING__USB_DOWNLOAD &&
          m_nAtState != AT_PARSING__MPU_RESET) {
        OnCableLost();
      }
      break;
    case COM_EVT_ERROR:
      if (value == EIO &&
          (m_nAtState == AT_PARSING__USB_DOWNLOAD || m_nAtState == AT_PARSING__MPU_RESET)) {
        OnTerminalReset();
      }
      break;
    default:
      break;
  }
}

void CUpgradeWorker::OnPortOpened(LPARAM error) {
  NotePortOpen(m_strComPort, static_cast<int>(error));
  if (error == 0) {
    WriteLogF(kTraceBlack, "%s , baud[%d] Port Open Success\n", TracePort().c_str(),
              m_nCurBaudRate);
    if (m_bKnownPort && ResumesAtUpapp()) {
      UpappStep();
      return;
    }
    if (m_nCurBaudRate == kBaud115200) {
      SendCommand("AT+CEXT=1\r", "AT+CEXT=1\n");
    } else {
      SendCommand("AT\r", "AT\n");
    }
    SetTimerLogged(IDT_CONNECT_RESPONSE, CONNECT_RESPONSE_MS);
    m_nAtState = AT_PARSING__LINK;
    return;
  }
  WriteLogF(kTraceBlack, "%s , baud[%d] Port Open fail err-code[%d]\n", TracePort().c_str(),
            m_nCurBaudRate, static_cast<int>(error));
  if (m_Com.PortClose() == 1) {
    WriteLog(TracePort() + " Port Closed\n", kTraceBlack, LOG_TEXT);
  } else {
    WriteLog("PORT close fail\n", kTraceBlack, LOG_TEXT);
  }
  SetTimerLogged(IDT_CONNECT_RESPONSE, CONNECT_RESPONSE_MS);
}

// The terminal has come back after acknowledging the download request: in state 11 on its
// first restart, or in state 10 when it dropped off again after AT+UPAPP. A link test there
// would go unheard, since the dialogue before download mode acts only while the flag is 0.
bool CUpgradeWorker::ResumesAtUpapp() const {
  return m_nAtState == AT_PARSING__MPU_RESET ||
         (m_nAtState == AT_PARSING__USB_DOWNLOAD && m_bDownloadMode);
}

void CUpgradeWorker::OnCableLost() {
  m_Com.SuspendReader();
  m_Com.ShowCableLostWarning();
  KillTimerLogged(IDT_SETUP_RESPONSE);
  KillTimerLogged(IDT_WRITE_RESPONSE);
  KillTimerLogged(IDT_FINISH_RESPONSE);
  WriteLog("Connection Cable is deleted\r\n", kTraceRed, LOG_TEXT);
  m_nAtState = AT_PARSING__LINK;
  m_bDownloadMode = false;
  m_nCurDataCount = 0;
  m_nReTransCount = 0;
  m_nCurConnectRetry = 0;
  Disconnect(0);
}

void CUpgradeWorker::OnTerminalReset() {
  if (m_Com.IsOpen() && m_Com.PortClose() != 1) {
    WriteLog("PORT close fail\n", kTraceBlack, LOG_TEXT);
    return;
  }
  ++m_nMpuResetRetry;
  OpenSelectedPort();
  WriteLogF(kTraceBlack, "mpu_reset detect, retry [%s] port open [%d]\n", TracePort().c_str(),
            m_nCurBaudRate);
  if (m_nMpuResetRetry > kMaxTerminalResets) Disconnect(IDS_UPGRADE_FAILED);
}

// No port is selected: the port's name and rate go too, and the front end is told.
void CUpgradeWorker::ForgetPortSelection() {
  m_strComPort.clear();
  m_nCurBaudRate = 0;
  SendPortSelected();
}

void CUpgradeWorker::Disconnect(int string_id) {
  if (!loop_.IsCurrentThread()) {
    DisconnectFromFrontEnd(string_id);
    return;
  }
  if (m_Com.IsOpen()) {
    if (m_Com.PortClose() == 1) {
      m_nAtState = AT_PARSING__LINK;
      m_bDownloadMode = false;
      WriteLog(TracePort() + " Port Closed\n", kTraceBlack, LOG_TEXT);
      m_ImageVersions.stack = {};
      m_ImageVersions.boot = {};
      m_TargetStack = {};
      m_TargetBsp = {};
    } else {
      WriteLogF(kTraceRed, "[%s] close fail", TracePort().c_str());
    }
  }
  m_Image.Release();
  ResetState();
  if (!m_bPortSelected) ForgetPortSelection();
  for (const std::uintptr_t id : kTimersStoppedByDisconnect) KillTimerLogged(id);
  WriteLogF(kTraceBlack, "Disconnect() : WM_USER_BTN_CTRL BTN_ENABLE occur[%d]\n", string_id);
  m_bRunActive = false;
  m_pMainDlg.Send(WM_USER_BTN_CTRL, BTN_ENABLE, string_id);
  ReportPortAccess();
}

// Staging at Open runs on the front end's thread while the engine is idle: no port is open and
// no timer runs. It ends as Disconnect does, except that the timers, which belong to the engine
// thread and are all stopped, are only named in the trace.
void CUpgradeWorker::DisconnectFromFrontEnd(int string_id) {
  m_Image.Release();
  ResetState();
  if (!m_bPortSelected) ForgetPortSelection();
  for (const std::uintptr_t id : kTimersStoppedByDisconnect) {
    WriteLogF(kTraceAmber, "%s timer kill\n", TimerName(id));
  }
  WriteLogF(kTraceBlack, "Disconnect() : WM_USER_BTN_CTRL BTN_ENABLE occur[%d]\n", string_id);
  m_pMainDlg.Send(WM_USER_BTN_CTRL, BTN_ENABLE, string_id);
}

}  // namespace kvx
