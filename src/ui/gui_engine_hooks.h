// The engine's front-end hooks, answered on the GUI thread.
//
// The hooks run on the engine thread (the cable warning on a short thread of its own). Each one is
// carried over to the GUI thread through Qt's event loop: the blocking ones (port setup, boxes)
// wait there for the answer, as the engine expects; the log window's visibility and the
// cable-lost warning are only queued. A hook called on the GUI thread itself runs directly.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_hooks.h"

class QObject;

namespace kvx::ui {

// What the GUI shows for the engine. Called on the GUI thread.
class EngineRequests {
 public:
  virtual ~EngineRequests() = default;
  virtual std::optional<PortChoice> RunPortSetup(const std::vector<std::string>& free_ports,
                                                 const std::string& initial_port) = 0;
  virtual void ShowEngineBox(const std::string& caption, const std::string& text) = 0;
  virtual void ShowEngineInformation(const std::string& text) = 0;
  virtual void SetLogWindowVisible(bool visible) = 0;
  virtual void ShowCableLostWarning(const std::string& caption, const std::string& text) = 0;
};

// Owns the link between the hooks and the GUI. Construct and destroy on the GUI thread.
// Lifetimes: the engine thread must have ended before this object goes away (the blocking hooks
// wait on `context`); hooks still called afterwards, such as a late cable-lost warning from its
// detached thread, do nothing.
class GuiEngineHooks {
 public:
  // Requests go to `requests` on the thread of `context`; both must outlive this object.
  GuiEngineHooks(QObject& context, EngineRequests& requests);
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
