// The engine's front-end hooks, answered on the GUI thread.
//
// The hooks run on the engine thread (the cable warning on a short thread of its own). Each one is
// carried over to the GUI thread as a task of its queue (GuiTasks). The boxes are shown there while
// the calling thread waits (a box called on the GUI thread itself is shown directly). The port
// setup dialog is shown without a nested loop and answers through a callback while the engine
// thread waits for it: the GUI goes on with its own loop meanwhile, so whatever the operator does
// in the main window (an Open, whose image code sends trace lines to the engine) never has to
// unwind before the dialog's answer can reach the engine. The log window's visibility and the
// cable-lost warning are only queued.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_hooks.h"
#include "operator/gui_tasks.h"

namespace kvx::ui {

// Receives the port setup dialog's answer: the choice, or nothing when cancelled.
using PortSetupDone = std::function<void(std::optional<PortChoice>)>;

// What the GUI shows for the engine. Called on the GUI thread.
class EngineRequests {
 public:
  virtual ~EngineRequests() = default;
  // Shows the dialog and returns; `done` runs once, on the GUI thread, when it is answered.
  virtual void RunPortSetup(const std::vector<std::string>& free_ports,
                            const std::string& initial_port, PortSetupDone done) = 0;
  virtual void ShowEngineBox(const std::string& caption, const std::string& text) = 0;
  virtual void ShowEngineInformation(const std::string& text) = 0;
  virtual void SetLogWindowVisible(bool visible) = 0;
  virtual void ShowCableLostWarning(const std::string& caption, const std::string& text) = 0;
};

// Owns the link between the hooks and the GUI. Construct and destroy on the GUI thread.
// Lifetimes: the engine thread must have ended before this object goes away (the blocking hooks
// wait for the GUI thread); hooks still called afterwards, such as a late cable-lost warning from
// its detached thread, do nothing, and a port setup whose request is dropped answers nothing. The
// port setup hook must not be called on the GUI thread.
class GuiEngineHooks {
 public:
  // Requests go to `requests` through `gui`; both must outlive this object.
  GuiEngineHooks(GuiTasks& gui, EngineRequests& requests);
  ~GuiEngineHooks();
  GuiEngineHooks(const GuiEngineHooks&) = delete;
  GuiEngineHooks& operator=(const GuiEngineHooks&) = delete;

  // The hooks to give the engine; any copy may be called from any thread.
  EngineHooks hooks() const;

 private:
  struct Target;
  std::shared_ptr<Target> target_;
};

}  // namespace kvx::ui
