// The main window's hold on the upgrade engine: start it, post to its window, the two direct
// accesses allowed while no run is in progress, its trace, and the wait for its end.
//
// EngineThreadLink runs the real engine (CUpgradeProc); tests put in a recording link to see what
// the window posts. Threads: GUI thread, except StageImage (see there).
#pragma once

#include <memory>
#include <string>

#include "engine/engine_environment.h"
#include "platform/trace.h"
#include "platform/window.h"

namespace kvx {
class CUpgradeProc;
}

namespace kvx::ui {

class EngineLink {
 public:
  virtual ~EngineLink() = default;

  // Starts the engine thread, which reports to `main_window` and asks the front end through
  // `hooks`. False when the thread could not be started. Once.
  virtual bool Start(WindowRef main_window, EngineHooks hooks) = 0;

  // Posts to the engine window. From WM_USER_THREAD_START until WM_CLOSE has been posted.
  virtual bool Post(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) = 0;

  // The engine's image path (m_strFilePath) and its image-open step (stage_jq_image). Only
  // while no run is in progress and before WM_CLOSE has been posted. StageImage may run on a
  // helper thread while the GUI thread keeps handling messages and waits for it.
  virtual void SetFilePath(const std::string& path) = 0;
  virtual bool StageImage() = 0;

  // The engine's trace; valid from WM_USER_THREAD_START until WM_CLOSE has been posted.
  virtual TraceStore* trace() = 0;

  // Waits for the engine thread to end; on WM_USER_THREAD_END.
  virtual void Join() = 0;
};

// The real engine on its own thread.
class EngineThreadLink final : public EngineLink {
 public:
  // The services the engine runs on; they must outlive this object. Hooks come with Start.
  EngineThreadLink(Clock& clock, SerialDeviceOpener& opener, SerialPortSource& ports,
                   ProfileStore& profile);
  ~EngineThreadLink() override;

  bool Start(WindowRef main_window, EngineHooks hooks) override;
  bool Post(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void SetFilePath(const std::string& path) override;
  bool StageImage() override;
  TraceStore* trace() override;
  void Join() override;

 private:
  Clock& clock_;
  SerialDeviceOpener& opener_;
  SerialPortSource& ports_;
  ProfileStore& profile_;
  std::unique_ptr<CUpgradeProc> proc_;
};

}  // namespace kvx::ui
