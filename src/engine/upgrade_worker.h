// The engine window: every step of an upgrade runs here, on the engine thread, as handlers of
// messages, port events and timers. Its member functions are split by concern:
//   upgrade_worker.cpp   construction, the message map, the trace, the toggles, ResetState
//   connection.cpp       port selection, StartUpgrade, connection attempts, port events, Disconnect
//   engine_timers.cpp    the timer expiries and their retries
//   at_dialogue.cpp      ReceiveDispatch and the AT dialogue up to "+START"
//   download.cpp         the setup, segment and finish exchanges and their resends
//
// Front ends set what they may through named calls (SetFilePath, SetCompression), hear the
// engine's reports through EngineReports (engine_reports.h), and read LastRun(); tests read
// Snapshot(). The run members themselves are private.
//
// Threading: constructed, used and destroyed on the engine thread only. The exceptions hold only
// while no run is in progress (the front end's controls are disabled during a run): the front end
// sets the file path and the compression before it posts a start request, calls stage_jq_image
// from its own thread, and reads LastRun() once the run has ended.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/engine_environment.h"
#include "engine/log_window.h"
#include "engine/run_record.h"
#include "image/compat_rules.h"
#include "image/firmware_image.h"
#include "image/image_host.h"
#include "image/image_versions.h"
#include "image/version_info.h"
#include "platform/message_loop.h"
#include "platform/printf_format.h"
#include "platform/trace.h"
#include "platform/user_messages.h"
#include "protocol/frame.h"
#include "protocol/segment_compressor.h"
#include "serial/ccom.h"

namespace kvx {

// States of the AT dialogue (m_nAtState).
enum AtState : std::int32_t {
  AT_PARSING__LINK = 0,
  AT_PARSING__HWVER = 1,
  AT_PARSING__HWVER_OK = 2,
  AT_PARSING__GGMR = 5,
  AT_PARSING__GGMR_OK = 6,
  AT_PARSING__USB_DOWNLOAD = 10,
  AT_PARSING__MPU_RESET = 11,
  AT_PARSING__UPGRADE = 12,
  AT_PARSING__BINARY = 13,
  AT_PARSING__SYSVER = 25,
  AT_PARSING__NV_CHECK = 26,
  AT_PARSING__NV_UPDATE = 27,
};

// A copy of the engine's run state as it stands between two messages: what tests and
// diagnostics read. Nothing writes the engine through it.
struct EngineSnapshot {
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
  std::int32_t m_nCurDataCount = 0;
  std::int32_t m_nReTransCount = 0;
};

// The rates a terminal answers at; connection attempts alternate between them, and the download
// always runs at the second.
inline constexpr std::int32_t kBaud115200 = 115200;
inline constexpr std::int32_t kBaud460800 = 460800;

class CUpgradeWorker : public Window, public ImageHost, public CompatHost {
 public:
  // `loop` is the engine thread's loop; `main_window` receives the engine's reports;
  // `environment` must outlive the worker.
  CUpgradeWorker(MessageLoop& loop, WindowRef main_window, EngineEnvironment& environment);
  ~CUpgradeWorker() override;

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  // Appends a trace line by sending the kind's request to this window. Kinds other than LOG_TX,
  // LOG_RX and LOG_TEXT write nothing. Any thread.
  void WriteLog(std::string_view text, COLORREF colour, int kind) override;
  // printf-style plain line (kind 3).
  void WriteLogF(COLORREF colour, const char* format, ...) KVX_PRINTF_FORMAT(3, 4);

  void ResetState();

  // The firmware file that the next Open and Start read. Front end's thread, only while no run
  // is in progress.
  void SetFilePath(std::string path) { m_strFilePath = std::move(path); }
  // How hard segments are compressed: zlib's default unless the front end asks for the
  // smallest stream. False when that level is not available. Front end's thread, only while no
  // run is in progress.
  bool SetCompression(SegmentCompressor::Level level) { return m_Compressor.SetLevel(level); }
  // The record of the run in progress or of the last one. Engine thread, or the front end while
  // the engine waits in a send (the one of Disconnect ends every run) or is idle.
  const RunRecord& LastRun() const { return m_RunRecord; }
  // The run state now. Engine thread, or any thread while the engine is idle.
  EngineSnapshot Snapshot() const;

  // Open: unpacks the JQ images of m_strFilePath. Front end's thread, no run in progress.
  bool stage_jq_image() { return m_Image.stage_jq_image(); }

  CATLog& log_window() { return m_LogDlg; }
  CCom& com() { return m_Com; }
  const CFirmwareImage& image() const { return m_Image; }
  const ImageVersions& image_versions() const { return m_ImageVersions; }
  // True from a start whose image loaded until Disconnect.
  bool run_active() const { return m_bRunActive; }

  // ImageHost and CompatHost.
  void PostOperatorMessage(int string_id) override;
  void Disconnect(int string_id) override;
  bool IsDevMode() const override { return m_bDevMode == 1; }
  void ShowInformation(const std::string& text) override;
  std::string FilePath() const override { return m_strFilePath; }
  void ClearFilePath() override { m_strFilePath.clear(); }
  void PostButtonControl(WPARAM button, int string_id) override;
  LRESULT Ask(int question_id) override;

 private:
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
  std::int32_t m_nAtState = AT_PARSING__LINK;
  bool m_bDownloadMode = false;
  std::int32_t m_nCurConnectRetry = 0;
  std::int32_t m_comport_count = 0;
  std::int32_t m_nConnectCount = 0;
  std::int32_t m_nUpappRetry = 0;
  std::int32_t m_nMpuResetRetry = 0;

  // The terminal's versions, from the AT dialogue.
  version_info_s m_TargetMmi;
  version_info_s m_TargetStack;
  bsp_info_s m_TargetBsp;
  nv_version_s m_TargetNv;

  // Download protocol.
  std::int32_t m_nCurDataCount = 0;
  std::int32_t m_nReTransCount = 0;
  Rx_header m_RxHeader;
  RecordStatus m_nRxStatus = RC_OK;
  SetupResponse m_SetupResponse;

  // connection.cpp
  std::int32_t CountFreePorts(const std::string& name);
  bool IsPortBusy(const std::string& name);
  void OnPortSetup();
  void OnPortConfig(const std::string* name);
  void OnUpgradeAgain();
  void StartUpgrade(LPARAM options);
  void ConnectSelectedPort();
  void com_port_test();
  void OnComEvent(WPARAM event, LPARAM value);
  void OnPortOpened(LPARAM error);
  bool ResumesAtUpapp() const;
  void OnCableLost();
  void OnTerminalReset();
  void SendPortSelected();
  void ForgetPortSelection();
  void OpenSelectedPort();
  void DisconnectFromFrontEnd(int string_id);
  std::string TracePort() const;

  // run_notices.cpp: what the front end is told beyond the run's own messages.
  void WriteRunWarnings();
  void NotePortOpen(const std::string& name, int error);
  void ForgetPortAccess();
  void ReportPortAccess();

  // engine_timers.cpp
  void OnTimer(std::uintptr_t id);
  void SetTimerLogged(std::uintptr_t id, unsigned period_ms);
  void KillTimerLogged(std::uintptr_t id);

  // at_dialogue.cpp
  void ReceiveDispatch();
  void ParseAtResponse(std::string_view line);
  void OnLinkLine(std::string_view line);
  void OnHwVersionLine(std::string_view line);
  void OnNvCheckLine(std::string_view line);
  void OnSysVerLine(std::string_view line);
  void OnUpgradeLine(std::string_view line);
  void Decide();
  void OnDownloadRequestAcknowledged();
  void SwitchToDownloadRate();
  void UpappStep();
  void SendCommand(std::string_view bytes, std::string_view trace);
  void SaveComPortProfile();
  RuleRecords Records() const;
  RunOptions Options() const;

  // download.cpp
  void SendSetup();
  void OnFrameReceived(std::span<const std::uint8_t> record);
  bool OnSetupResponse(std::span<const std::uint8_t> record);
  void OnWriteResponse();
  void OnFinishResponse();
  void SendNextSegment();
  void SendFinish();
  void Retransmit();
  void SendFrame();
  unsigned WriteResponsePeriod() const;
  std::span<const std::uint8_t> SegmentData(std::int32_t seg) const;
  bool BuildSegmentFrame(std::int32_t seg);
  void DumpSegment(std::int32_t seg);

  LRESULT OnLogRequest(int kind, WPARAM wParam, LPARAM lParam);
  void OnLogWindowControl(LPARAM request);
  void OnDevMode(LPARAM mode);
  void OnClose();

  MessageLoop& loop_;
  EngineEnvironment& env_;
  CATLog m_LogDlg;
  CCom m_Com;
  CFirmwareImage m_Image;
  ImageVersions m_ImageVersions;
  FrameBuffer m_Frame;
  SegmentCompressor m_Compressor;
  RunRecord m_RunRecord;
  std::int32_t m_nFrameSeg = -1;         // the segment whose write frame m_Frame holds, or -1
  std::int32_t m_nSentSeg = -1;          // the segment of the last write frame sent, or -1
  std::vector<std::uint8_t> m_RxBuffer;  // one take of the receive ring
  bool m_bRunActive = false;
  // The device whose open was last refused for lack of permission, with no open since; empty when
  // none. Cleared at each port check and start, and once told.
  std::string m_strDeniedPort;
  int m_nDeniedError = 0;
};

}  // namespace kvx
