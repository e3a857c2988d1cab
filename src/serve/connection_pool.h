// The threads that serve HTTP connections, in place of cpp-httplib's own pool.
//
// cpp-httplib's default pool closes connections still waiting in its queue
// unanswered when the server stops. This one never drops a connection it was
// given: shutdown() lets every queued connection be served, then joins.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace dorvane::serve {

// How many requests have been read on the connection the calling thread
// serves (0 outside a connection thread).
int requestsOnThisConnection();
// Counts one more request on the calling thread's connection.
void countRequestOnThisConnection();
// The socket of the connection the calling thread serves, req having been
// read from it; -1 when it cannot be told. cpp-httplib does not hand it to
// handlers: it is found once per connection by its two addresses.
int socketOfThisConnection(const httplib::Request& req);

class ConnectionPool : public httplib::TaskQueue {
 public:
  explicit ConnectionPool(int threads);
  ~ConnectionPool() override;

  void enqueue(std::function<void()> fn) override;
  // Serves what is queued, then ends the threads.
  void shutdown() override;

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace dorvane::serve
