// The network service: HTTP routes over the merge workers, health, metrics,
// reload and drain.
//
// Threads: the HTTP server's threads (one per merge worker and one more, so
// that probes and refusals are answered while every worker merges) read the
// requests; a merge runs on the thread that read it, holding one of
// config.workers MergeSlots. A request that finds every slot taken waits in
// the slots' queue without a thread, and is merged by a server thread once a
// slot is handed to it.
// drain() and reload() may be called from any thread (the signal thread, a
// test).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "serve/http_server.h"
#include "serve/merge_request.h"
#include "serve/merge_slots.h"
#include "serve/metrics.h"
#include "serve/serve_config.h"

namespace dorvane::serve {

class Service : private HttpHandler {
 public:
  // configPath is read again by reload(); listen overrides its address.
  Service(Config config, std::string configPath, std::string listen);
  ~Service() override;

  // Binds the listening socket; returns the port, or -1 with why set.
  int bind(std::string& why);
  // Serves until drain() has finished: every connection accepted before it
  // answered. Returns true on a clean drain.
  bool run();
  // The one way the service stops: stops accepting (the listening socket is
  // closed, /readyz answers 503), lets every request already begun — read,
  // merging or waiting for a slot — get its answer, closes kept-alive
  // connections once answered or while they wait for a request, and lets
  // run() return. Idempotent.
  void drain();
  // Reads the configuration file again; data sources, folders, tokens,
  // limits and deadline apply to requests read from then on (workers, queue
  // and address stay). Returns false, keeping the old one, when it is bad.
  bool reload(std::string& why);

 private:
  struct PendingMerge;

  bool answerBeforeBody(HttpExchange& ex) override;
  void handle(std::shared_ptr<HttpExchange> ex) override;
  void refuse(HttpExchange& ex, int status) override;
  void answered(const HttpExchange& ex) override;

  std::shared_ptr<const Config> config() const;
  bool authorized(const HttpRequest& req, HttpResponse& res, const Config& c);
  bool readMergeRequest(MergeKind kind, const HttpRequest& req, HttpResponse& res, const Config& c,
                        MergeRequest& m);
  void merge(MergeKind kind, const std::shared_ptr<HttpExchange>& ex);
  void mergeHeld(PendingMerge& p, HttpExchange& ex, platform::WorkerState* slot);
  void answer(MergeKind kind, const MergeRequest& request, MergeAnswer&& a, const HttpRequest& req,
              HttpResponse& res);
  void readiness(HttpResponse& res);

  mutable std::mutex configLock_;
  std::shared_ptr<const Config> config_;
  const std::string configPath_, listen_;
  MergeSlots slots_;
  Metrics metrics_;
  std::atomic<bool> draining_{false};
  HttpServer http_;
};

}  // namespace dorvane::serve
