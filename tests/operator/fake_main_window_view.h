// The main window's view in the behaviour's tests: keeps what the behaviour shows, control by
// control, and runs its waits on the test thread's queue. The controls start as the window's
// template has them: Port Setup, the two options and the link area hidden, everything enabled.
// An id the window has no control for fails the test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

#include "operator/control_ids.h"
#include "operator/main_window_view.h"
#include "test_thread_queue.h"

namespace kvx::ui::test {

class FakeMainWindowView final : public MainWindowView {
 public:
  struct Control {
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    std::string text;
  };

  explicit FakeMainWindowView(TestThreadQueue& queue) : queue_(queue) {
    for (const int id :
         {IDC_PORTSETUP, IDC_OPEN, IDC_START, IDC_EXIT, IDC_PATH_BOX, IDC_STATUS_LINE, IDC_PROGRESS,
          IDC_FORCED_BOOTLOADER, IDC_DOWNGRADE, IDC_WEB_LINK_AREA}) {
      controls_[id] = Control{};
    }
    for (const int id : {IDC_PORTSETUP, IDC_FORCED_BOOTLOADER, IDC_DOWNGRADE, IDC_WEB_LINK_AREA}) {
      controls_[id].visible = false;
    }
  }

  const Control& control(int id) const {
    static const Control kNone;
    const auto found = controls_.find(id);
    if (found != controls_.end()) return found->second;
    ADD_FAILURE() << "no control " << id;
    return kNone;
  }
  // What the operator changes: a tick in an option.
  void Tick(int id, bool checked) { Find(id).checked = checked; }

  void EnableControl(int id, bool enabled) override { Find(id).enabled = enabled; }
  bool IsControlEnabled(int id) const override { return control(id).enabled; }
  void ShowControl(int id, bool visible) override { Find(id).visible = visible; }
  void SetChecked(int id, bool checked) override { Find(id).checked = checked; }
  bool IsChecked(int id) const override { return control(id).checked; }
  void FocusControl(int id) override {
    Find(id);
    focused = id;
  }
  void SetControlText(int id, const std::string& text) override { Find(id).text = text; }
  std::string ControlText(int id) const override { return control(id).text; }
  void SetProgressRange(const ProgressRange& range) override {
    progress_range = range;
    progress_position = range.minimum;
  }
  void SetProgressPosition(int position) override { progress_position = position; }
  void SetTitle(const std::string& text) override { title = text; }
  void ShowSelectedPort(const std::string& port) override { selected_port = port; }
  void ShowMainWindow() override { ++shows; }
  void AttachTrace(TraceStore* store) override { trace = store; }
  void SetLogWindowShown(bool shown) override { log_shown = shown; }
  void RunUntil(const std::function<bool()>& done) override {
    while (!done()) {
      // Bounded only so that a failing test ends.
      if (!queue_.RunOne(std::chrono::seconds(30))) {
        ADD_FAILURE() << "nothing came that ends the wait";
        return;
      }
    }
  }
  void Ended() override { ++ends; }

  bool shown() const { return shows > 0; }

  int focused = 0;
  std::string title;
  std::string selected_port;
  int shows = 0;
  ProgressRange progress_range;
  int progress_position = 0;
  TraceStore* trace = nullptr;
  bool log_shown = false;
  int ends = 0;

 private:
  Control& Find(int id) {
    static Control ignored;
    const auto found = controls_.find(id);
    if (found != controls_.end()) return found->second;
    ADD_FAILURE() << "no control " << id;
    return ignored;
  }

  TestThreadQueue& queue_;
  std::map<int, Control> controls_;
};

}  // namespace kvx::ui::test
