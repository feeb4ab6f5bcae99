// Fixtures for the operator interface's tests: dialogs that answer as scripted and record what
// they were shown, an engine link that records what the window posts, and a wait that keeps Qt's
// event loop turning.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/user_messages.h"
#include "support/temp_folder.h"
#include "operator/engine_link.h"
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

// Handles events until `done` holds; false if that did not happen within `bound`, which only a
// failing test reaches.
inline bool SpinUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds bound = std::chrono::seconds(30)) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > bound.count()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Answers every dialog from a script, or with the box's first button (OK, Yes), and records it.
class ScriptedDialogs final : public OperatorDialogs {
 public:
  BoxAnswer ShowBox(QWidget* owner, const BoxRequest& request) override {
    boxes.push_back(request);
    owners_visible.push_back(owner && owner->isVisible());
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
  std::optional<std::string> ChooseImageFile(QWidget*, const std::string& current) override {
    file_dialog_starts.push_back(current);
    return chosen_file;
  }
  CompletionChoice AskCompletion(QWidget*) override {
    ++completion_prompts;
    if (completion_answers.empty()) return CompletionChoice::kUpgrade;
    const CompletionChoice answer = completion_answers.front();
    completion_answers.pop_front();
    return answer;
  }
  void ChoosePort(QWidget*, const std::vector<std::string>& free_ports,
                  const std::string& initial_port, PortSetupDone done) override {
    port_lists.push_back(free_ports);
    initial_ports.push_back(initial_port);
    if (hold_port_setup) {
      pending_port_setup = std::move(done);
    } else {
      done(port_choice);
    }
  }
  void DismissPortSetup() override {}
  void ShowAbout(QWidget*) override { ++about_boxes; }
  void OpenWebPage(const std::string& url) override { web_pages.push_back(url); }

  // The boxes shown whose text is `text`.
  int CountBoxes(const std::string& text) const {
    int count = 0;
    for (const BoxRequest& box : boxes) count += box.text == text ? 1 : 0;
    return count;
  }

  std::deque<BoxAnswer> answers;
  std::vector<BoxRequest> boxes;
  std::vector<bool> owners_visible;  // per box: whether its owner window was shown then
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
  int about_boxes = 0;
  std::vector<std::string> web_pages;
};

// Stands for the engine: reports its start at once, records every post (with the text of a
// WM_USER_PORT_CONFIG string as it was when posted) and ends when asked to close.
class RecordingEngineLink final : public EngineLink {
 public:
  struct Posted {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::string text;
  };

  bool Start(WindowRef main_window, EngineHooks hooks) override {
    main_window_ = std::move(main_window);
    hooks_ = std::move(hooks);
    main_window_.Post(WM_USER_THREAD_START);
    return true;
  }
  bool Post(UINT msg, WPARAM wParam, LPARAM lParam) override {
    Posted post{msg, wParam, lParam, {}};
    if (msg == WM_USER_PORT_CONFIG) post.text = *reinterpret_cast<const std::string*>(wParam);
    posts.push_back(post);
    if (msg == WM_CLOSE) main_window_.Post(WM_USER_THREAD_END);
    return true;
  }
  void SetFilePath(const std::string& path) override { file_paths.push_back(path); }
  bool StageImage() override {
    ++stagings;
    return stage_result;
  }
  TraceStore* trace() override { return &store; }
  void Join() override { ++joins; }

  // The posts of one message, in order.
  std::vector<Posted> PostsOf(UINT msg) const {
    std::vector<Posted> found;
    for (const Posted& post : posts) {
      if (post.msg == msg) found.push_back(post);
    }
    return found;
  }

  const EngineHooks& hooks() const { return hooks_; }

  std::vector<Posted> posts;
  std::vector<std::string> file_paths;
  std::atomic<int> stagings{0};
  std::atomic<bool> stage_result{true};
  int joins = 0;
  TraceStore store;

 private:
  WindowRef main_window_;
  EngineHooks hooks_;
};

using kvx::test::TempFolder;

}  // namespace kvx::ui::test
