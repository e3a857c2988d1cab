#include "serve/merge_pool.h"

#include <algorithm>

namespace dorvane::serve {

MergePool::MergePool(int workers, int queueLength)
    : queueLength_(static_cast<std::size_t>(std::max(0, queueLength))) {
  for (int i = 0; i < std::max(1, workers); ++i) threads_.emplace_back([this] { work(); });
}

MergePool::~MergePool() { close(); }

bool MergePool::submit(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A task may wait only if a worker is free or a queue slot is.
    if (closed_ || tasks_.size() + running_ >= threads_.size() + queueLength_) return false;
    tasks_.push_back(std::move(task));
  }
  ready_.notify_one();
  return true;
}

std::size_t MergePool::waiting() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tasks_.size();
}

std::size_t MergePool::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

void MergePool::close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ && threads_.empty()) return;
    closed_ = true;
  }
  ready_.notify_all();
  for (auto& t : threads_) t.join();
  threads_.clear();
}

void MergePool::work() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return closed_ || !tasks_.empty(); });
      if (tasks_.empty()) return;  // closed and nothing left
      task = std::move(tasks_.front());
      tasks_.pop_front();
      ++running_;
    }
    task();
    std::lock_guard<std::mutex> lock(mutex_);
    --running_;
  }
}

}  // namespace dorvane::serve
