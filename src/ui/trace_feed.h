// Tells the GUI thread that the engine's trace has changed, without flooding it.
//
// The trace store's listener runs on the engine thread for every line. The feed turns a burst of
// such calls into one queued call of `changed` on the GUI thread: a call is queued only when
// none is waiting. Attach, Detach and the destructor run on the GUI thread; after Detach the
// store is not touched again and a listener call still in flight does nothing.
#pragma once

#include <functional>
#include <memory>

class QObject;

namespace kvx {
class TraceStore;
}

namespace kvx::ui {

class TraceFeed {
 public:
  // `changed` runs on the thread of `context`, which must outlive this object.
  TraceFeed(QObject& context, std::function<void()> changed);
  ~TraceFeed();
  TraceFeed(const TraceFeed&) = delete;
  TraceFeed& operator=(const TraceFeed&) = delete;

  // Listens to `store` (which must stay alive until Detach) and reports once at once.
  void Attach(TraceStore& store);
  void Detach();

  TraceStore* store() const { return store_; }

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  TraceStore* store_ = nullptr;
};

}  // namespace kvx::ui
