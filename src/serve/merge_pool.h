// The merge workers: a fixed number of threads and a bounded queue.
//
// Each worker keeps the engine's per-thread state (connections, in-memory
// copies of Access files) from one merge to the next. submit() never blocks:
// when every worker is busy and the queue is full it refuses, and the caller
// answers 503. close() lets the queued tasks run, then ends the workers.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace dorvane::serve {

class MergePool {
 public:
  // workers ≥ 1 threads; at most queueLength tasks wait beyond the running ones.
  MergePool(int workers, int queueLength);
  ~MergePool();  // close()
  MergePool(const MergePool&) = delete;
  MergePool& operator=(const MergePool&) = delete;

  // Queues task; false (task dropped) when the queue is full or the pool closed.
  bool submit(std::function<void()> task);
  std::size_t waiting() const;  // tasks queued, not yet started
  std::size_t running() const;  // tasks being run
  // Runs what is queued, then ends and joins the workers. Idempotent.
  void close();

 private:
  void work();

  const std::size_t queueLength_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> tasks_;
  std::size_t running_ = 0;
  bool closed_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace dorvane::serve
