// What the engine tells its front end, as calls with typed arguments.
//
// The engine talks to its front end in window messages (WM_USER_END, WM_USER_BTN_CTRL, ...) whose
// ids, parameters and order of posts and sends stay as they are. A front end's window does not
// take them apart itself: its WindowProc hands every message to DispatchEngineReport, which does
// the casts once and calls the matching method here. Methods a front end does not override do
// nothing; a question it does not answer is answered No.
//
// Threads: the methods run on the front end's window thread, inside the WindowProc. For the sent
// reports (port selected, device count, question, port error, access denied, and the
// button-control report of Disconnect) the engine waits until the method has returned; strings
// passed by reference live in the engine only for that call and must be copied to be kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/message.h"

namespace kvx {

class EngineReports {
 public:
  virtual ~EngineReports() = default;

  // WM_USER_THREAD_START: the engine window exists and takes messages.
  virtual void OnThreadStart() {}
  // WM_USER_THREAD_END: the engine thread is ending; join it.
  virtual void OnThreadEnd() {}
  // WM_USER_END: the upgrade has completed; `string_id` is the completion text's id (149).
  virtual void OnUpgradeEnd(int /*string_id*/) {}
  // WM_USER_PROG_SETUP: a progress range for `count` steps of `part` (CHECK_COM_PORT_PART or
  // UPGRADE_PART).
  virtual void OnProgressSetup(std::uint64_t /*count*/, int /*part*/) {}
  // WM_USER_PROG_PROC: the progress position.
  virtual void OnProgress(std::int64_t /*position*/) {}
  // WM_USER_BTN_CTRL: controls on or off, and the operator message to show (0: none).
  virtual void OnButtonControl(bool /*enable*/, int /*string_id*/) {}
  // WM_USER_STATIC_LOG_CTRL: the status line's text id.
  virtual void OnStatus(int /*string_id*/) {}
  // WM_USER_PORT_SELECTED: the engine's selection; a baud rate of 0 means no port is selected.
  virtual void OnPortSelected(const std::string& /*port*/, std::int32_t /*baud*/) {}
  // WM_USER_DEVICE_COUNT: terminals found by a start without a selected port. The result goes
  // back to the engine.
  virtual LRESULT OnDeviceCount(std::uint64_t /*count*/) { return 0; }
  // WM_USER_ASK: a Yes/No question; IDYES or IDNO.
  virtual LRESULT OnAsk(int /*string_id*/) { return IDNO; }
  // WM_USER_PORT_ERROR: the outcome of a port check (1 or more: ports free; 0: none free; -1: no
  // port listed; -2: the selected port is held by another program).
  virtual void OnPortError(std::int32_t /*check*/) {}
  // WM_USER_PORT_ACCESS_DENIED: `device` could not be opened for lack of permission (`error`).
  virtual void OnPortAccessDenied(const std::string& /*device*/, int /*error*/) {}
  // WM_USER_SYNC: everything posted to the engine before the sync request has been handled;
  // `run_active` says whether a run is still in progress.
  virtual void OnSync(bool /*run_active*/) {}
};

// Decodes `msg` if it is one of the engine's reports and calls the matching method of `reports`,
// returning the result for the engine; std::nullopt for any other message.
std::optional<LRESULT> DispatchEngineReport(EngineReports& reports, UINT msg, WPARAM wParam,
                                            LPARAM lParam);

}  // namespace kvx
