// Everything the operator interface asks the operator or opens on the desktop goes through this
// one interface: message boxes, the file dialog, the completion prompt, the port setup dialog,
// the about box and the web page. Each window toolkit has its own, owned by its main window;
// tests put in their own to answer boxes and record what was shown.
//
// Threads: GUI thread only. Calls that wait for the operator run a nested event loop, so window
// messages from the engine keep being handled meanwhile.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/engine_hooks.h"
#include "operator/gui_engine_hooks.h"
#include "operator/message_boxes.h"

namespace kvx::ui {

enum class CompletionChoice { kUpgrade, kExit };

class OperatorDialogs {
 public:
  virtual ~OperatorDialogs() = default;

  // A modal box over the main window; returns the button chosen. A box closed without a button
  // answers Cancel, No or OK, whichever it has.
  virtual BoxAnswer ShowBox(const BoxRequest& request) = 0;
  // A box that does not wait for the operator (the cable-lost warning): returns at once.
  virtual void ShowBoxWithoutWaiting(const BoxRequest& request) = 0;

  // The file-open dialog for an image (.stf or .bin) starting at `current_path`; nothing when
  // the operator cancels.
  virtual std::optional<std::string> ChooseImageFile(const std::string& current_path) = 0;

  // The prompt after a completed upgrade: Upgrade another terminal, or Exit.
  virtual CompletionChoice AskCompletion() = 0;

  // Shows the port setup dialog over `free_ports` (in list order) with `initial_port`
  // preselected, and returns at once; the main window stays usable while it is open. `done`
  // runs once on the GUI thread: with the choice, or with nothing when the dialog is cancelled,
  // dismissed or goes away with its owner.
  virtual void ChoosePort(const std::vector<std::string>& free_ports,
                          const std::string& initial_port, PortSetupDone done) = 0;
  // Cancels an open port setup dialog (the program is closing and the engine waits for it).
  virtual void DismissPortSetup() = 0;

  virtual void ShowAbout() = 0;

  // Opens `url` in the desktop's browser.
  virtual void OpenWebPage(const std::string& url) = 0;
};

}  // namespace kvx::ui
