#include "serve/connection_pool.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace dorvane::serve {

namespace {

thread_local int connectionRequests = 0;
thread_local int connectionSocket = -2;  // -2: not looked for yet

// The open socket whose peer is addr:port, or -1.
int socketWithPeer(const std::string& addr, int port) {
  DIR* fds = ::opendir("/proc/self/fd");
  if (!fds) return -1;
  int found = -1;
  while (const dirent* e = ::readdir(fds)) {
    const int fd = std::atoi(e->d_name);
    if (e->d_name[0] < '0' || e->d_name[0] > '9' || fd == ::dirfd(fds)) continue;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;
    char text[INET6_ADDRSTRLEN] = "";
    int p = -1;
    if (peer.ss_family == AF_INET) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(&peer);
      ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
      p = ntohs(in->sin_port);
    } else if (peer.ss_family == AF_INET6) {
      const auto* in = reinterpret_cast<const sockaddr_in6*>(&peer);
      ::inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
      p = ntohs(in->sin6_port);
    }
    if (p == port && addr == text) {
      found = fd;
      break;
    }
  }
  ::closedir(fds);
  return found;
}

}  // namespace

int requestsOnThisConnection() { return connectionRequests; }
void countRequestOnThisConnection() { ++connectionRequests; }

int socketOfThisConnection(const httplib::Request& req) {
  if (connectionSocket == -2) connectionSocket = socketWithPeer(req.remote_addr, req.remote_port);
  return connectionSocket;
}

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
        connectionSocket = -2;
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
