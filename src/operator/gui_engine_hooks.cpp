#include "operator/gui_engine_hooks.h"

#include <future>
#include <mutex>
#include <utility>

#include "platform/modem_manager.h"

namespace kvx::ui {

namespace {

// The port setup's answer, given once. Whoever drops the last reference without answering (a
// request that never reached the GUI, a dialog that vanished) answers nothing, so the engine
// thread waiting for it always goes on.
class PortAnswer {
 public:
  ~PortAnswer() { Give(std::nullopt); }

  std::future<std::optional<PortChoice>> Future() { return promise_.get_future(); }

  void Give(std::optional<PortChoice> choice) {
    std::lock_guard guard(mutex_);
    if (given_) return;
    given_ = true;
    promise_.set_value(std::move(choice));
  }

 private:
  std::mutex mutex_;
  bool given_ = false;
  std::promise<std::optional<PortChoice>> promise_;
};

// Completes a blocking hook's wait when its task has run, or when the task is dropped unrun (the
// GUI's queue went away), so the engine thread never waits for ever.
class TaskDone {
 public:
  ~TaskDone() { promise_.set_value(); }
  std::future<void> Future() { return promise_.get_future(); }

 private:
  std::promise<void> promise_;
};

}  // namespace

struct GuiEngineHooks::Target {
  std::mutex mutex;  // guards both pointers; cleared when the hooks are detached
  GuiTasks* gui = nullptr;
  EngineRequests* requests = nullptr;

  // Runs `call(requests)` on the GUI thread and waits for it. False once detached.
  template <typename Call>
  bool RunAndWait(Call call) {
    GuiTasks* on = nullptr;
    EngineRequests* gui_requests = nullptr;
    {
      std::lock_guard guard(mutex);
      on = gui;
      gui_requests = requests;
    }
    if (!on) return false;
    if (on->IsGuiThread()) {
      call(*gui_requests);
      return true;
    }
    auto task_done = std::make_shared<TaskDone>();
    std::future<void> done = task_done->Future();
    Queue([&call, task_done](EngineRequests& requests_on_gui) { call(requests_on_gui); });
    task_done.reset();  // only the task holds it now
    done.wait();
    return true;
  }

  // Queues `call(requests)` on the GUI thread and returns at once.
  template <typename Call>
  void Queue(Call call) {
    std::lock_guard guard(mutex);
    if (!gui) return;
    gui->Queue([gui_requests = requests, call = std::move(call)] { call(*gui_requests); });
  }
};

GuiEngineHooks::GuiEngineHooks(GuiTasks& gui, EngineRequests& requests)
    : target_(std::make_shared<Target>()) {
  target_->gui = &gui;
  target_->requests = &requests;
}

GuiEngineHooks::~GuiEngineHooks() {
  std::lock_guard guard(target_->mutex);
  target_->gui = nullptr;
  target_->requests = nullptr;
}

EngineHooks GuiEngineHooks::hooks() const {
  const std::shared_ptr<Target> target = target_;
  EngineHooks hooks;
  hooks.run_port_setup = [target](const std::vector<std::string>& free_ports,
                                  const std::string& initial_port) {
    auto answer = std::make_shared<PortAnswer>();
    std::future<std::optional<PortChoice>> choice = answer->Future();
    target->Queue([answer, free_ports, initial_port](EngineRequests& gui) {
      gui.RunPortSetup(free_ports, initial_port, [answer](std::optional<PortChoice> chosen) {
        answer->Give(std::move(chosen));
      });
    });
    answer.reset();  // only the GUI side holds it now
    return choice.get();
  };
  hooks.show_message_box = [target](const std::string& caption, const std::string& text) {
    target->RunAndWait([&](EngineRequests& gui) { gui.ShowEngineBox(caption, text); });
  };
  hooks.show_information = [target](const std::string& text) {
    target->RunAndWait([&](EngineRequests& gui) { gui.ShowEngineInformation(text); });
  };
  hooks.log_window_visibility = [target](bool visible) {
    target->Queue([visible](EngineRequests& gui) { gui.SetLogWindowVisible(visible); });
  };
  hooks.show_cable_lost_warning = [target](const std::string& caption, const std::string& text) {
    target->Queue(
        [caption, text](EngineRequests& gui) { gui.ShowCableLostWarning(caption, text); });
  };
  // Runs on the engine thread; asks the system only.
  hooks.modem_manager_running = [] { return ModemManagerRunning(); };
  return hooks;
}

}  // namespace kvx::ui
