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

// An address as text ("127.0.0.1", "::1") and its port; false for another family.
bool addressOf(const sockaddr_storage& a, std::string& text, int& port) {
  char buffer[INET6_ADDRSTRLEN] = "";
  if (a.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&a);
    ::inet_ntop(AF_INET, &in->sin_addr, buffer, sizeof buffer);
    port = ntohs(in->sin_port);
  } else if (a.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(&a);
    ::inet_ntop(AF_INET6, &in->sin6_addr, buffer, sizeof buffer);
    port = ntohs(in->sin6_port);
  } else {
    return false;
  }
  text = buffer;
  return true;
}

// The open socket connecting req's local address to its remote one, or -1.
int socketOf(const httplib::Request& req) {
  DIR* fds = ::opendir("/proc/self/fd");
  if (!fds) return -1;
  int found = -1;
  while (const dirent* e = ::readdir(fds)) {
    const int fd = std::atoi(e->d_name);
    if (e->d_name[0] < '0' || e->d_name[0] > '9' || fd == ::dirfd(fds)) continue;
    sockaddr_storage peer{}, local{};
    socklen_t peerLength = sizeof peer, localLength = sizeof local;
    std::string peerText, localText;
    int peerPort = -1, localPort = -1;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
        !addressOf(peer, peerText, peerPort) || peerPort != req.remote_port ||
        peerText != req.remote_addr)
      continue;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) == 0 &&
        addressOf(local, localText, localPort) && localPort == req.local_port &&
        localText == req.local_addr) {
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
  if (connectionSocket == -2) connectionSocket = socketOf(req);
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
