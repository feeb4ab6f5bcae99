// Dialogs for the operator window's tests: each answers from a script, or with the box's first
// button (OK, Yes), and records what it was shown. Toolkit-free, for the behaviour's tests and
// the Qt window's alike.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "operator/operator_dialogs.h"

namespace kvx::ui {

// Readable failure messages for boxes.
inline void PrintTo(const BoxRequest& box, std::ostream* out) {
  *out << "{caption \"" << box.caption << "\", text \"" << box.text << "\", icon "
       << static_cast<int>(box.icon) << ", buttons " << static_cast<int>(box.buttons)
       << (box.topmost ? ", topmost}" : "}");
}

}  // namespace kvx::ui

namespace kvx::ui::test {

class ScriptedDialogs final : public OperatorDialogs {
 public:
  BoxAnswer ShowBox(const BoxRequest& request) override {
    boxes.push_back(request);
    window_shown_at_box.push_back(main_window_shown && main_window_shown());
    if (!answers.empty()) {
      const BoxAnswer answer = answers.front();
      answers.pop_front();
      return answer;
    }
    return request.buttons == BoxButtons::kYesNo ? BoxAnswer::kYes : BoxAnswer::kOk;
  }
  void ShowBoxWithoutWaiting(const BoxRequest& request) override {
    boxes_without_waiting.push_back(request);
  }
  std::optional<std::string> ChooseImageFile(const std::string& current) override {
    file_dialog_starts.push_back(current);
    return chosen_file;
  }
  CompletionChoice AskCompletion() override {
    ++completion_prompts;
    if (completion_answers.empty()) return CompletionChoice::kUpgrade;
    const CompletionChoice answer = completion_answers.front();
    completion_answers.pop_front();
    return answer;
  }
  void ChoosePort(const std::vector<std::string>& free_ports, const std::string& initial_port,
                  PortSetupDone done) override {
    port_lists.push_back(free_ports);
    initial_ports.push_back(initial_port);
    if (hold_port_setup) {
      pending_port_setup = std::move(done);
    } else {
      done(port_choice);
    }
  }
  void DismissPortSetup() override { ++port_setup_dismissals; }
  void ShowAbout() override { ++about_boxes; }
  void OpenWebPage(const std::string& url) override { web_pages.push_back(url); }

  // The boxes shown whose text is `text`.
  int CountBoxes(const std::string& text) const {
    int count = 0;
    for (const BoxRequest& box : boxes) count += box.text == text ? 1 : 0;
    return count;
  }

  // Whether the main window is on the screen; recorded for every box.
  std::function<bool()> main_window_shown;

  std::deque<BoxAnswer> answers;
  std::vector<BoxRequest> boxes;
  std::vector<bool> window_shown_at_box;
  std::vector<BoxRequest> boxes_without_waiting;
  std::optional<std::string> chosen_file;
  std::vector<std::string> file_dialog_starts;
  std::deque<CompletionChoice> completion_answers;
  int completion_prompts = 0;
  std::optional<PortChoice> port_choice;
  bool hold_port_setup = false;      // keep the dialog open until the test answers it
  PortSetupDone pending_port_setup;  // the open dialog's answer
  std::vector<std::vector<std::string>> port_lists;
  std::vector<std::string> initial_ports;
  int port_setup_dismissals = 0;
  int about_boxes = 0;
  std::vector<std::string> web_pages;
};

}  // namespace kvx::ui::test
