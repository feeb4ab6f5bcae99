// The main window's behaviour on the test thread's queue, with a fake view, scripted dialogs, a
// recording engine, a Config.ini in a fresh folder, a profile in memory and a manual clock for
// the development key sequence.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "fake_main_window_view.h"
#include "operator/main_window_behaviour.h"
#include "platform/clock.h"
#include "platform/profile_store.h"
#include "platform/user_messages.h"
#include "support/recording_engine_link.h"
#include "support/scripted_dialogs.h"
#include "support/temp_folder.h"
#include "test_thread_queue.h"

namespace kvx::ui::test {

using kvx::test::TempFolder;

class MainWindowFixture : public ::testing::Test {
 protected:
  MainWindowFixture() {
    dialogs_.main_window_shown = [this] { return view_.shown(); };
  }

  // Makes the behaviour and runs its start with `profile_text` as the profile, the start-up
  // warning answered `startup`, and Config.ini holding `config_text` (none when nullopt); then
  // handles what the start queued (the engine's start report).
  void Open(std::optional<std::string> config_text = std::nullopt,
            const std::string& profile_text = {}, BoxAnswer startup = BoxAnswer::kOk) {
    if (config_text) TempFolder::Write(config_path(), *config_text);
    profile_ = std::make_unique<MemoryProfileStore>(profile_text);
    behaviour_ = std::make_unique<MainWindowBehaviour>(
        MainWindowServices{engine_, dialogs_, *profile_, clock_, queue_, queue_, config_path()},
        view_);
    dialogs_.answers.push_back(startup);
    behaviour_->OnInitDialog();
    queue_.RunPending();
  }

  void TearDown() override { behaviour_.reset(); }

  std::filesystem::path config_path() const { return folder_ / "Config.ini"; }

  // The engine's reports, as it sends them (the handler runs at once).
  LRESULT Engine(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    return behaviour_->WindowProc(msg, wParam, lParam);
  }
  void ReportPort(const std::string& port, std::int32_t baud = 115200) {
    Engine(WM_USER_PORT_SELECTED, reinterpret_cast<WPARAM>(&port), reinterpret_cast<LPARAM>(&baud));
  }
  void ReportPortError(std::int32_t code) {
    Engine(WM_USER_PORT_ERROR, 0, reinterpret_cast<LPARAM>(&code));
  }

  // The four keys of the development sequence, `gap` apart on the manual clock.
  void EnterDevSequence(Clock::Duration gap = Milliseconds(100)) {
    for (int step = 0; step < DevKeySequence::kSteps; ++step) {
      clock_.Advance(gap);
      behaviour_->OnDevSequenceKey(step);
    }
  }

  // What the engine posted back (its end) handled, whether the window has ended.
  bool EndedAfterPending() {
    queue_.RunPending();
    return view_.ends == 1;
  }

  const FakeMainWindowView::Control& Control(int id) const { return view_.control(id); }
  std::string PathBox() const { return view_.ControlText(IDC_PATH_BOX); }
  std::string Status() const { return view_.ControlText(IDC_STATUS_LINE); }

  TempFolder folder_;
  ManualClock clock_;
  std::unique_ptr<MemoryProfileStore> profile_;
  TestThreadQueue queue_;
  ScriptedDialogs dialogs_;
  RecordingEngineLink engine_;
  FakeMainWindowView view_{queue_};
  std::unique_ptr<MainWindowBehaviour> behaviour_;
};

}  // namespace kvx::ui::test
