// The merge slots: at most `workers` merges at once, each run by the thread
// that serves its request, and at most `queue` requests waiting for a slot.
//
// A slot is a merge worker without a thread of its own: it keeps the
// engine's worker state (platform/worker_state.h: connections, in-memory
// copies of Access files, converters) from one merge to the next, and the
// thread holding it works with that state. So the caches stay as many as the
// slots, whichever connection threads serve the requests, and a merge costs
// no hand-over to another thread and back. Slots go to the waiting requests
// in the order they came, whether they wait on a thread (MergeSlot) or, as
// the HTTP server's requests do, without one (admit()).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/worker_state.h"

namespace dorvane::serve {

class MergeSlots {
 public:
  // workers ≥ 1 slots; at most queueLength requests wait beyond them.
  MergeSlots(int workers, int queueLength);
  MergeSlots(const MergeSlots&) = delete;
  MergeSlots& operator=(const MergeSlots&) = delete;

  std::size_t waiting() const;  // requests waiting for a slot
  std::size_t running() const;  // slots held

  // A request waiting without a thread. handOver is called once with its
  // slot, by the thread that frees it and under the slots' lock: it only
  // passes the slot on (to a MergeSlot made on another thread).
  struct Waiter {
    std::function<void(platform::WorkerState*)> handOver;
    std::condition_variable granted;  // MergeSlot's own waits
    platform::WorkerState* slot = nullptr;
  };
  enum class Admission { Held, Queued, Full };
  // Takes a free slot into state (Held), or queues waiter, which the caller
  // keeps alive until it is handed a slot or withdrawn (Queued), or refuses
  // when the queue is full (Full).
  Admission admit(platform::WorkerState*& state, Waiter& waiter);
  // Takes waiter out of the queue: true when it was still there (it gets no
  // slot), false when its slot has been handed over already.
  bool withdraw(Waiter& waiter);

 private:
  friend class MergeSlot;

  const std::size_t queueLength_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<platform::WorkerState>> states_;
  std::vector<platform::WorkerState*> free_;
  std::deque<Waiter*> waiters_;
};

// A slot held by the calling thread, its worker state in use on this thread,
// for the life of the object.
class MergeSlot {
 public:
  enum class Status {
    Held,     // this thread may merge
    Full,     // every slot is taken and the queue is full: refused at once
    TimedOut  // no slot came free before the time given
  };
  // Takes a free slot, or waits in the queue for one until `until`.
  MergeSlot(MergeSlots& slots, std::chrono::steady_clock::time_point until);
  // Holds a slot taken by admit() or handed over to a waiter.
  MergeSlot(MergeSlots& slots, platform::WorkerState* taken);
  ~MergeSlot();  // hands the slot to the first waiting request, or frees it
  MergeSlot(const MergeSlot&) = delete;
  MergeSlot& operator=(const MergeSlot&) = delete;

  Status status() const { return status_; }

 private:
  MergeSlots& slots_;
  platform::WorkerState* state_ = nullptr;
  Status status_ = Status::Full;
  std::optional<platform::WorkerState::Use> use_;
};

}  // namespace dorvane::serve
