#include "serve/merge_slots.h"

#include <algorithm>

namespace dorvane::serve {

MergeSlots::MergeSlots(int workers, int queueLength)
    : queueLength_(static_cast<std::size_t>(std::max(0, queueLength))) {
  for (int i = 0; i < std::max(1, workers); ++i) {
    states_.push_back(std::make_unique<platform::WorkerState>());
    free_.push_back(states_.back().get());
  }
}

std::size_t MergeSlots::waiting() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return waiters_.size();
}

std::size_t MergeSlots::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return states_.size() - free_.size();
}

MergeSlots::Admission MergeSlots::admit(platform::WorkerState*& state, Waiter& waiter) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!free_.empty()) {
    state = free_.back();
    free_.pop_back();
    return Admission::Held;
  }
  if (waiters_.size() >= queueLength_) return Admission::Full;
  waiters_.push_back(&waiter);
  return Admission::Queued;
}

bool MergeSlots::withdraw(Waiter& waiter) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find(waiters_.begin(), waiters_.end(), &waiter);
  if (it == waiters_.end()) return false;
  waiters_.erase(it);
  return true;
}

MergeSlot::MergeSlot(MergeSlots& slots, platform::WorkerState* taken)
    : slots_(slots), state_(taken), status_(Status::Held) {
  use_.emplace(*state_);
}

MergeSlot::MergeSlot(MergeSlots& slots, std::chrono::steady_clock::time_point until)
    : slots_(slots) {
  std::unique_lock<std::mutex> lock(slots_.mutex_);
  if (!slots_.free_.empty()) {
    state_ = slots_.free_.back();
    slots_.free_.pop_back();
  } else if (slots_.waiters_.size() < slots_.queueLength_) {
    MergeSlots::Waiter me;
    slots_.waiters_.push_back(&me);
    if (me.granted.wait_until(lock, until, [&] { return me.slot != nullptr; })) {
      state_ = me.slot;
    } else {
      slots_.waiters_.erase(std::find(slots_.waiters_.begin(), slots_.waiters_.end(), &me));
      status_ = Status::TimedOut;
    }
  }
  if (!state_) return;
  status_ = Status::Held;
  lock.unlock();
  use_.emplace(*state_);
}

MergeSlot::~MergeSlot() {
  if (!state_) return;
  use_.reset();
  std::lock_guard<std::mutex> lock(slots_.mutex_);
  if (slots_.waiters_.empty()) {
    slots_.free_.push_back(state_);
    return;
  }
  // Handed over while locked: the waiter cannot leave (and take its
  // condition variable with it) before it has the lock again.
  MergeSlots::Waiter* next = slots_.waiters_.front();
  slots_.waiters_.pop_front();
  next->slot = state_;
  if (next->handOver) {
    next->handOver(state_);
  } else {
    next->granted.notify_one();
  }
}

}  // namespace dorvane::serve
