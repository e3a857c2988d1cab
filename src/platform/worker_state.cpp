#include "platform/worker_state.h"

#include <atomic>

namespace dorvane::platform {

namespace {
thread_local WorkerState* inUse = nullptr;
}

WorkerState::~WorkerState() {
  // An object may use another of the state as it goes (a recordset leaving
  // the set of streaming ones): the state is current meanwhile, and what is
  // made again during the sweep goes in the next one.
  Use use(*this);
  for (bool any = true; any;) {
    any = false;
    for (std::size_t i = items_.size(); i-- > 0;) {
      if (!items_[i]) continue;
      any = true;
      std::unique_ptr<Item> gone = std::move(items_[i]);
      gone.reset();
    }
  }
}

WorkerState& WorkerState::current() {
  if (inUse) return *inUse;
  thread_local WorkerState own;
  return own;
}

std::size_t WorkerState::newIndex() {
  static std::atomic<std::size_t> next{0};
  return next++;
}

WorkerState::Use::Use(WorkerState& state) : previous_(inUse) { inUse = &state; }

WorkerState::Use::~Use() { inUse = previous_; }

}  // namespace dorvane::platform
