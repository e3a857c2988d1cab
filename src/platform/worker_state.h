// What a merge worker keeps from one merge to the next: connections and
// imported copies of database files, converters, the open read snapshot.
//
// Each thread has a state of its own, so by default every thread that merges
// is a worker. A host that merges on whichever thread serves a request (the
// network service) keeps a fixed number of states instead and lends one at a
// time to the thread that merges: while a WorkerState::Use is alive the
// calling thread works with that state rather than its own. A state serves
// one thread at a time; the objects in it may be used from another thread
// once the first has let it go.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace dorvane::platform {

class WorkerState {
 public:
  WorkerState() = default;
  ~WorkerState();
  WorkerState(const WorkerState&) = delete;
  WorkerState& operator=(const WorkerState&) = delete;

  // The calling thread's state: the one it uses now, else its own.
  static WorkerState& current();

  // Makes a state the calling thread's current one for the guard's life.
  class Use {
   public:
    explicit Use(WorkerState& state);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

   private:
    WorkerState* previous_;
  };

 private:
  template <class T>
  friend class WorkerLocal;
  struct Item {
    virtual ~Item() = default;
  };
  static std::size_t newIndex();

  std::vector<std::unique_ptr<Item>> items_;
};

// One T per worker state, made at its first use there. Declared at namespace
// scope (or as a function's static) where a thread_local would be.
template <class T>
class WorkerLocal {
 public:
  WorkerLocal() : index_(WorkerState::newIndex()) {}
  WorkerLocal(const WorkerLocal&) = delete;
  WorkerLocal& operator=(const WorkerLocal&) = delete;

  T& get() const {
    auto& items = WorkerState::current().items_;
    if (items.size() <= index_) items.resize(index_ + 1);
    auto& item = items[index_];
    if (!item) item = std::make_unique<Holder>();
    return static_cast<Holder&>(*item).value;
  }
  T& operator*() const { return get(); }
  T* operator->() const { return &get(); }

 private:
  struct Holder : WorkerState::Item {
    T value{};
  };
  const std::size_t index_;
};

}  // namespace dorvane::platform
