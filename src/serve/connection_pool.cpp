#include "serve/connection_pool.h"

#include <algorithm>
#include <cstdlib>

namespace dorvane::serve {

namespace {
thread_local int connectionRequests = 0;
}

int requestsOnThisConnection() { return connectionRequests; }
void countRequestOnThisConnection() { ++connectionRequests; }

ConnectionPool::ConnectionPool(int threads) {
  for (int i = 0; i < std::max(1, threads); ++i) {
    threads_.emplace_back([this] {
      // The thread takes its malloc arena now rather than in the first
      // request it serves (making one maps and unmaps memory).
      void* volatile warm = std::malloc(1);
      std::free(warm);
      for (;;) {
        std::function<void()> fn;
        {
          std::unique_lock<std::mutex> lock(mutex_);
          ready_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
          if (jobs_.empty()) return;
          fn = std::move(jobs_.front());
          jobs_.pop_front();
        }
        connectionRequests = 0;
        fn();
      }
    });
  }
}

ConnectionPool::~ConnectionPool() { shutdown(); }

void ConnectionPool::enqueue(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(fn));
  }
  ready_.notify_one();
}

void ConnectionPool::shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  ready_.notify_all();
  for (auto& t : threads_) t.join();
  threads_.clear();
}

}  // namespace dorvane::serve
