// The engine window: every step of an upgrade runs here, on the engine thread, as handlers of
// messages, port events and timers.
//
// Threading: constructed, used and destroyed on the engine thread only. Two exceptions, both only
// while no run is in progress (the front end's controls are disabled during a run): the front end
// writes m_strFilePath before it posts a start request, and runs stage_jq_image from its own
// thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/engine_hooks.h"
#include "engine/log_window.h"
#include "platform/message_loop.h"
#include "platform/trace.h"
#include "platform/user_messages.h"

namespace kvx {

class CUpgradeWorker : public Window, public LogSink {
 public:
  // `loop` is the engine thread's loop; `main_window` receives the engine's reports; `hooks` must
  // outlive the worker.
  CUpgradeWorker(MessageLoop& loop, WindowRef main_window, const EngineHooks& hooks);
  ~CUpgradeWorker() override;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  // Appends a trace line by sending the kind's request to this window. Kinds other than LOG_TX,
  // LOG_RX and LOG_TEXT write nothing.
  void WriteLog(std::string_view text, COLORREF colour, int kind) override;
  // printf-style plain line (kind 3).
  void WriteLogF(COLORREF colour, const char* format, ...) __attribute__((format(printf, 3, 4)));

  void ResetState();

  CATLog& log_window() { return m_LogDlg; }

  // Shared run members (names as the rest of the engine knows them).
  WindowRef m_pMainDlg;
  std::string m_strFilePath;
  std::string m_strComPort;
  std::int32_t m_nCurBaudRate = 0;
  std::string m_strLastPort;
  std::int32_t m_nLastBaudRate = 0;
  std::int32_t m_nPortCheck = 0;
  bool m_bPortSelected = false;
  bool m_bKnownPort = false;
  std::int32_t m_bForceBoot = 0;
  std::int32_t m_bForceStack = 0;
  std::int32_t m_bDowngrade = 0;
  std::int32_t m_bDevMode = 0;
  bool m_bDumpSegments = false;
  bool m_bLogVisible = false;
  std::int32_t m_nAtState = 0;
  bool m_bDownloadMode = false;
  std::int32_t m_nCurConnectRetry = 0;
  std::int32_t m_comport_count = 0;
  std::int32_t m_nConnectCount = 0;
  std::int32_t m_nUpappRetry = 0;
  std::int32_t m_nMpuResetRetry = 0;

 protected:
  MessageLoop& loop() { return loop_; }

  // Timers of this window, with their amber set and kill trace lines.
  void SetTimerLogged(std::uintptr_t id, unsigned period_ms);
  void KillTimerLogged(std::uintptr_t id);

 private:
  LRESULT OnLogRequest(int kind, WPARAM wParam, LPARAM lParam);
  void OnLogWindowControl(LPARAM request);
  void OnDevMode(LPARAM mode);
  void OnClose();

  MessageLoop& loop_;
  const EngineHooks& hooks_;
  CATLog m_LogDlg;
};

}  // namespace kvx
