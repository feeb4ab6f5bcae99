#include "ui/trace_feed.h"

#include <QMetaObject>
#include <QObject>
#include <mutex>

#include "platform/trace.h"

namespace kvx::ui {

struct TraceFeed::Shared {
  std::mutex mutex;  // guards the fields below
  QObject* context = nullptr;
  std::function<void()> changed;
  bool attached = false;
  bool queued = false;

  // Any thread.
  void Notify(const std::shared_ptr<Shared>& self) {
    std::lock_guard guard(mutex);
    if (!context || !attached || queued) return;
    queued = true;
    QMetaObject::invokeMethod(
        context, [self] { self->Deliver(); }, Qt::QueuedConnection);
  }

  // GUI thread.
  void Deliver() {
    std::function<void()> call;
    {
      std::lock_guard guard(mutex);
      queued = false;
      if (!context || !attached) return;
      call = changed;
    }
    call();
  }
};

TraceFeed::TraceFeed(QObject& context, std::function<void()> changed)
    : shared_(std::make_shared<Shared>()) {
  shared_->context = &context;
  shared_->changed = std::move(changed);
}

TraceFeed::~TraceFeed() {
  Detach();
  std::lock_guard guard(shared_->mutex);
  shared_->context = nullptr;
}

void TraceFeed::Attach(TraceStore& store) {
  Detach();
  store_ = &store;
  {
    std::lock_guard guard(shared_->mutex);
    shared_->attached = true;
  }
  std::weak_ptr<Shared> weak = shared_;
  store.SetListener([weak] {
    if (const std::shared_ptr<Shared> shared = weak.lock()) shared->Notify(shared);
  });
  shared_->Notify(shared_);
}

void TraceFeed::Detach() {
  if (!store_) return;
  store_->SetListener(nullptr);
  store_ = nullptr;
  std::lock_guard guard(shared_->mutex);
  shared_->attached = false;
}

}  // namespace kvx::ui
