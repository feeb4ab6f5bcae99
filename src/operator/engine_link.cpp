#include "operator/engine_link.h"

#include <system_error>

#include "engine/upgrade_proc.h"

namespace kvx::ui {

EngineThreadLink::EngineThreadLink(Clock& clock, SerialDeviceOpener& opener,
                                   SerialPortSource& ports, ProfileStore& profile)
    : clock_(clock), opener_(opener), ports_(ports), profile_(profile) {}

EngineThreadLink::~EngineThreadLink() = default;

bool EngineThreadLink::Start(WindowRef main_window, EngineHooks hooks) {
  if (proc_) return false;
  proc_ = std::make_unique<CUpgradeProc>(
      EngineEnvironment{clock_, opener_, ports_, profile_, std::move(hooks)});
  proc_->m_pMainDlg = std::move(main_window);
  try {
    proc_->Start();
  } catch (const std::system_error&) {
    proc_.reset();
    return false;
  }
  return true;
}

bool EngineThreadLink::Post(UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc_ && proc_->engine_window().Post(msg, wParam, lParam);
}

void EngineThreadLink::SetFilePath(const std::string& path) {
  if (CUpgradeWorker* worker = proc_ ? proc_->worker() : nullptr) worker->SetFilePath(path);
}

bool EngineThreadLink::StageImage() {
  CUpgradeWorker* worker = proc_ ? proc_->worker() : nullptr;
  return worker && worker->stage_jq_image();
}

TraceStore* EngineThreadLink::trace() {
  CUpgradeWorker* worker = proc_ ? proc_->worker() : nullptr;
  return worker ? &worker->log_window().store() : nullptr;
}

void EngineThreadLink::Join() {
  if (proc_) proc_->Join();
}

}  // namespace kvx::ui
