#include "engine/upgrade_proc.h"

namespace kvx {

WindowRef CUpgradeProc::engine_window() const {
  return engine_window_;
}

bool CUpgradeProc::InitInstance() {
  worker_ = std::make_unique<CUpgradeWorker>(loop(), m_pMainDlg, environment_);
  engine_window_ = worker_->Ref();
  worker_ptr_ = worker_.get();
  m_pMainDlg.Post(WM_USER_THREAD_START);
  return true;
}

int CUpgradeProc::ExitInstance() {
  worker_ptr_ = nullptr;
  worker_.reset();
  m_pMainDlg.Post(WM_USER_THREAD_END);
  return 0;
}

}  // namespace kvx
