// The engine thread: builds the engine window on its own thread, runs its message loop, and tells
// the front end when it has started and when it has ended.
//
// Life: construct, set m_pMainDlg, Start(). The front end posts WM_CLOSE to worker() to end it,
// and on WM_USER_THREAD_END calls Join(), which returns once the thread has ended.
#pragma once

#include <atomic>
#include <memory>

#include "engine/engine_environment.h"
#include "engine/upgrade_worker.h"
#include "platform/message_thread.h"

namespace kvx {

class CUpgradeProc : public MessageThread {
 public:
  explicit CUpgradeProc(EngineEnvironment environment)
      : MessageThread(environment.clock), environment_(std::move(environment)) {}
  ~CUpgradeProc() override { Join(); }

  // Set before Start(): the front end's window.
  WindowRef m_pMainDlg;

  // The engine window, once WM_USER_THREAD_START has been posted and until the thread ends. The
  // front end touches it directly only while no run is in progress.
  CUpgradeWorker* worker() const { return worker_ptr_.load(); }
  // Handle for posting to the engine window; valid from WM_USER_THREAD_START on.
  WindowRef engine_window() const;

 protected:
  bool InitInstance() override;
  int ExitInstance() override;

 private:
  EngineEnvironment environment_;
  std::unique_ptr<CUpgradeWorker> worker_;
  std::atomic<CUpgradeWorker*> worker_ptr_{nullptr};
  WindowRef engine_window_;  // written before WM_USER_THREAD_START is posted
};

}  // namespace kvx
