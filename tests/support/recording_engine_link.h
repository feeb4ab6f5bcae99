// Stands for the engine in the operator window's tests: reports its start at once, records every
// post (with the text of a WM_USER_PORT_CONFIG string as it was when posted) and ends when asked
// to close. Toolkit-free.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "operator/engine_link.h"
#include "platform/user_messages.h"

namespace kvx::ui::test {

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
    if (during_staging) during_staging();
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
  // Runs inside StageImage, on the helper thread that stages.
  std::function<void()> during_staging;
  int joins = 0;
  TraceStore store;

 private:
  WindowRef main_window_;
  EngineHooks hooks_;
};

}  // namespace kvx::ui::test
