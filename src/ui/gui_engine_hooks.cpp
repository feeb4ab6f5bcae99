#include "ui/gui_engine_hooks.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
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

}  // namespace

struct GuiEngineHooks::Target {
  std::mutex mutex;  // guards both pointers; cleared when the hooks are detached
  QObject* context = nullptr;
  EngineRequests* requests = nullptr;

  // Runs `call(requests)` on the context's thread and waits for it. False once detached.
  template <typename Call>
  bool RunAndWait(Call call) {
    QObject* on = nullptr;
    EngineRequests* gui = nullptr;
    {
      std::lock_guard guard(mutex);
      on = context;
      gui = requests;
    }
    if (!on) return false;
    if (QThread::currentThread() == on->thread()) {
      call(*gui);
    } else {
      QMetaObject::invokeMethod(
          on, [&] { call(*gui); }, Qt::BlockingQueuedConnection);
    }
    return true;
  }

  // Queues `call(requests)` on the context's thread and returns at once.
  template <typename Call>
  void Queue(Call call) {
    std::lock_guard guard(mutex);
    if (!context) return;
    EngineRequests* gui = requests;
    QMetaObject::invokeMethod(
        context, [gui, call = std::move(call)] { call(*gui); }, Qt::QueuedConnection);
  }
};

GuiEngineHooks::GuiEngineHooks(QObject& context, EngineRequests& requests)
    : target_(std::make_shared<Target>()) {
  target_->context = &context;
  target_->requests = &requests;
}

GuiEngineHooks::~GuiEngineHooks() {
  std::lock_guard guard(target_->mutex);
  target_->context = nullptr;
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
  // Runs on the engine thread; reads /proc only.
  hooks.modem_manager_running = [] { return ModemManagerRunning(); };
  return hooks;
}

}  // namespace kvx::ui
