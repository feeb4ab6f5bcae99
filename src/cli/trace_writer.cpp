#include "cli/trace_writer.h"

#include <vector>

namespace kvx {

void TraceWriter::Attach(TraceStore& store) {
  store.SetListener([this, &store] { Flush(store); });
  // Lines appended before the listener was set (the start banner) are written here.
  Flush(store);
}

void TraceWriter::Flush(const TraceStore& store) {
  std::lock_guard guard(mutex_);
  std::uint64_t generation = 0;
  std::size_t first = 0;
  TraceSlice slice;
  // The generation before and after the read must agree, or a Clean came in between and the
  // lines read may belong to either side of it.
  for (;;) {
    generation = store.generation();
    first = generation == generation_ ? next_ : 0;
    slice = store.Slice(first);
    if (store.generation() == generation) break;
  }
  generation_ = generation;
  next_ = slice.next;
  for (const TraceLine& line : slice.lines) sink_(line.text);
}

}  // namespace kvx
