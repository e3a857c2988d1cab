// The network service: HTTP routes over the merge workers, health, metrics,
// reload and drain.
//
// Threads: cpp-httplib's accept loop runs in run(); connections are served by
// a ConnectionPool, whose threads also run the merges, each holding one of
// config.workers MergeSlots while it merges.
// drain() and reload() may be called from any thread (the signal thread, a
// test).
#pragma once

#include <httplib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "serve/merge_request.h"
#include "serve/merge_slots.h"
#include "serve/metrics.h"
#include "serve/serve_config.h"

namespace dorvane::serve {

class Service {
 public:
  // configPath is read again by reload(); listen overrides its address.
  Service(Config config, std::string configPath, std::string listen);
  ~Service();

  // Binds the listening socket; returns the port, or -1 with why set.
  int bind(std::string& why);
  // Serves until drain() has finished: every connection accepted before it
  // answered. Returns true on a clean drain.
  bool run();
  // The one way the service stops: stops accepting (the listening socket is
  // shut, /readyz answers 503), lets every accepted connection — served, or
  // waiting for a connection thread — get its answers, asks kept-alive
  // clients to close, and lets run() return. Idempotent.
  void drain();
  // Reads the configuration file again; data sources, folders, tokens,
  // limits and deadline apply to requests read from then on (workers, queue
  // and address stay). Returns false, keeping the old one, when it is bad.
  bool reload(std::string& why);

 private:
  std::shared_ptr<const Config> config() const;
  void routes();
  bool authorized(const httplib::Request& req, httplib::Response& res, const Config& c);
  void merge(MergeKind kind, const httplib::Request& req, httplib::Response& res,
             const httplib::ContentReader& body);
  void answer(MergeKind kind, const MergeRequest& request, MergeAnswer&& a,
              const httplib::Request& req, httplib::Response& res);
  void readiness(httplib::Response& res);
  void logRequest(const httplib::Request& req, const httplib::Response& res);

  mutable std::mutex configLock_;
  std::shared_ptr<const Config> config_;
  const std::string configPath_, listen_;
  httplib::Server http_;
  MergeSlots slots_;
  Metrics metrics_;
  std::atomic<bool> draining_{false};
  std::atomic<int> listenFd_{-1};
};

}  // namespace dorvane::serve
