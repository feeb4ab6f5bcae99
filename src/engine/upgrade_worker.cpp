#include "engine/upgrade_worker.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace kvx {

namespace {

constexpr char kStartBanner[] =
    "InitalizationInitalizationInitalizationInitalizationInitalizationInitalization.\r\n";

UINT LogRequestOf(int kind) {
  switch (kind) {
    case LOG_TX:
      return WM_USER_LOG_TX;
    case LOG_RX:
      return WM_USER_LOG_RX;
    case LOG_TEXT:
      return WM_USER_LOG;
    default:
      return 0;
  }
}

}  // namespace

CUpgradeWorker::CUpgradeWorker(MessageLoop& loop, WindowRef main_window,
                               EngineEnvironment& environment)
    : Window(loop),
      m_pMainDlg(std::move(main_window)),
      loop_(loop),
      env_(environment),
      m_LogDlg(environment.hooks),
      m_Com(environment.opener, environment.clock),
      m_Image(*this),
      m_RxBuffer(CCom::kMaxTake) {
  m_Com.SetOwner(*this);
  m_Com.SetCableLostWarningHook(env_.hooks.show_cable_lost_warning);
  m_bDevMode = 0;
  m_bForceBoot = m_bForceStack = m_bDowngrade = 0;
  ResetState();
  m_bLogVisible = false;
  WriteLog(kStartBanner, kTraceRed, LOG_TEXT);
}

CUpgradeWorker::~CUpgradeWorker() {
  // The port's threads end while this window can still take their log requests.
  m_Com.Shutdown();
  m_Image.Release();
  DestroyWindow();
}

void CUpgradeWorker::ResetState() {
  m_bKnownPort = false;
  m_bDownloadMode = false;
  m_bLogVisible = false;
  m_bDumpSegments = false;
  m_nCurConnectRetry = 0;
  m_nConnectCount = 0;
  m_nUpappRetry = 0;
  m_nMpuResetRetry = 0;
  m_Image.ResetState();
  m_ImageVersions.ResetRecords();
  m_TargetMmi = {};
  m_TargetStack = {};
  m_TargetBsp = {};
  m_TargetNv = {};
  m_nCurDataCount = 0;
  m_nFrameSeg = -1;
  m_nSentSeg = -1;
  m_nReTransCount = 0;
  m_RxHeader = {};
  m_nRxStatus = RC_OK;
  m_SetupResponse = {};
}

EngineSnapshot CUpgradeWorker::Snapshot() const {
  return EngineSnapshot{m_strFilePath,      m_strComPort,    m_nCurBaudRate,  m_strLastPort,
                        m_nLastBaudRate,    m_nPortCheck,    m_bPortSelected, m_bKnownPort,
                        m_bForceBoot,       m_bForceStack,   m_bDowngrade,    m_bDevMode,
                        m_bDumpSegments,    m_bLogVisible,   m_nAtState,      m_bDownloadMode,
                        m_nCurConnectRetry, m_comport_count, m_nConnectCount, m_nUpappRetry,
                        m_nMpuResetRetry,   m_nCurDataCount, m_nReTransCount};
}

LRESULT CUpgradeWorker::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_USER_LOG:
      return OnLogRequest(LOG_TEXT, wParam, lParam);
    case WM_USER_LOG_TX:
      return OnLogRequest(LOG_TX, wParam, lParam);
    case WM_USER_LOG_RX:
      return OnLogRequest(LOG_RX, wParam, lParam);
    case WM_USER_COM_EVENT:
      OnComEvent(wParam, lParam);
      return 0;
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_USER_UPGRADE_START:
      StartUpgrade(lParam);
      return 0;
    case WM_USER_PORT_SETUP:
      OnPortSetup();
      return 0;
    case WM_USER_PORT_CONFIG:
      OnPortConfig(reinterpret_cast<const std::string*>(wParam));
      return 0;
    case WM_USER_UPGRADE_AGAIN:
      OnUpgradeAgain();
      return 0;
    case WM_USER_SYNC:
      m_pMainDlg.Post(WM_USER_SYNC, m_bRunActive ? 1 : 0);
      return 0;
    case WM_USER_ABORT_RUN:
      if (m_bRunActive) Disconnect(0);
      return 0;
    case WM_USER_LOG_WND_CTRL:
      OnLogWindowControl(lParam);
      return 0;
    case WM_USER_DEV_MODE:
      OnDevMode(lParam);
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    default:
      return 0;
  }
}

void CUpgradeWorker::WriteLog(std::string_view text, COLORREF colour, int kind) {
  const UINT request = LogRequestOf(kind);
  if (request == 0) return;
  const std::string line(text);
  if (Ref().Send(request, reinterpret_cast<WPARAM>(&line), static_cast<LPARAM>(colour)) == 0) {
    env_.hooks.show_message_box("", "SendMessage fail");
  }
}

void CUpgradeWorker::WriteLogF(COLORREF colour, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::vector<char> buffer(static_cast<std::size_t>(length > 0 ? length : 0) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  WriteLog(std::string_view(buffer.data(), buffer.size() - 1), colour, LOG_TEXT);
}

LRESULT CUpgradeWorker::OnLogRequest(int kind, WPARAM wParam, LPARAM lParam) {
  const auto* text = reinterpret_cast<const std::string*>(wParam);
  if (text) m_LogDlg.AppendLogLine(*text, static_cast<COLORREF>(lParam), kind);
  return 1;
}

void CUpgradeWorker::OnLogWindowControl(LPARAM request) {
  if (request == LOG_WND_TOGGLE) {
    // Shown is what the window was last told, not m_bLogVisible: ResetState clears the flag
    // and leaves the window as it is.
    if (m_LogDlg.IsShown()) {
      m_LogDlg.ShowWindow(false);
    } else if (m_bDevMode == 1) {
      m_LogDlg.ShowWindow(true);
    }
    m_bLogVisible = m_LogDlg.IsShown();
  } else if (request == DUMP_TOGGLE) {
    if (m_bDevMode == 1) m_bDumpSegments = !m_bDumpSegments;
  }
}

void CUpgradeWorker::OnDevMode(LPARAM mode) {
  if (mode == DEV_MODE_OFF) {
    m_bDevMode = 0;
    m_bPortSelected = false;
  } else if (mode == DEV_MODE_ON) {
    m_bDevMode = 1;
  }
}

void CUpgradeWorker::OnClose() {
  // The engine window is the thread's main window: its end ends the thread's loop.
  DestroyWindow();
  loop_.Quit();
}

void CUpgradeWorker::PostOperatorMessage(int string_id) {
  m_pMainDlg.Post(WM_USER_BTN_CTRL, BTN_ENABLE, string_id);
}

void CUpgradeWorker::PostButtonControl(WPARAM button, int string_id) {
  m_pMainDlg.Post(WM_USER_BTN_CTRL, button, string_id);
}

LRESULT CUpgradeWorker::Ask(int question_id) {
  return m_pMainDlg.Send(WM_USER_ASK, 0, question_id);
}

void CUpgradeWorker::ShowInformation(const std::string& text) {
  env_.hooks.show_information(text);
}

}  // namespace kvx
