#include "serve/connection_pool.h"

#include <algorithm>

namespace dorvane::serve {

namespace {
thread_local int connectionRequests = 0;
}

int requestsOnThisConnection() { return connectionRequests; }
void countRequestOnThisConnection() { ++connectionRequests; }

ConnectionPool::ConnectionPool(int threads) {
  for (int i = 0; i < std::max(1, threads); ++i) {
    threads_.emplace_back([this] {
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
