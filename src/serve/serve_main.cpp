#include "serve/serve_main.h"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/db/access/access_table_cache.h"
#include "serve/service.h"

namespace dorvane::serve {

namespace {

// Room for the Access tables the service keeps read between requests.
constexpr std::size_t kStreamBudget = std::size_t{1} << 30;
constexpr int kExitDrainTimedOut = 4;

// What one merge frees, the next one takes again: glibc keeps it rather than
// hand it back to the kernel (trimming a heap, unmapping a large block) and
// map it anew, with the TLB shootdowns that come with each, for every request.
void keepFreedMemory() {
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // glibc's largest
}

void say(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

}  // namespace

int serve(const ServeOptions& options) {
  std::string why;
  auto config = loadConfig(options.config, options.listen, why);
  if (!config) {
    std::fprintf(stderr, "dorvane serve: %s\n", why.c_str());
    return 1;
  }
  if (options.checkOnly) {
    std::printf("%s: the configuration is good (%zu data sources)\n", options.config.c_str(),
                config->dataSources.size());
    return 0;
  }
  // The signals go to one thread that waits for them; every other thread,
  // made from here on, inherits the blocked mask.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  db::keepAccessStreams(kStreamBudget);
  keepFreedMemory();

  const auto drainTimeout = config->drainTimeout;
  Service service(std::move(*config), options.config, options.listen);
  const int port = service.bind(why);
  if (port < 0) {
    std::fprintf(stderr, "dorvane serve: %s\n", why.c_str());
    return 1;
  }
  std::fprintf(stderr, "{\"event\":\"listening\",\"port\":%d}\n", port);
  sd_notify(0, "READY=1");

  std::atomic<bool> finished{false};
  std::mutex lock;
  std::condition_variable ended;
  std::thread watcher([&] {
    const timespec tick{0, 200 * 1000 * 1000};
    while (!finished) {
      const int sig = sigtimedwait(&signals, nullptr, &tick);
      if (sig == SIGHUP) {
        sd_notify(0, "RELOADING=1");
        std::string reason;
        say(service.reload(reason)
                ? "{\"event\":\"reloaded\"}"
                : "{\"event\":\"reload refused\",\"reason\":\"" + reason + "\"}");
        sd_notify(0, "READY=1");
      } else if (sig == SIGTERM || sig == SIGINT) {
        sd_notify(0, "STOPPING=1");
        service.drain();
        std::unique_lock<std::mutex> guard(lock);
        if (!ended.wait_for(guard, drainTimeout, [&] { return finished.load(); })) {
          say("{\"event\":\"drain timed out\"}");
          std::_Exit(kExitDrainTimedOut);
        }
      }
    }
  });
  const bool drained = service.run();
  {
    std::lock_guard<std::mutex> guard(lock);
    finished = true;
  }
  ended.notify_all();
  watcher.join();
  say(drained ? "{\"event\":\"drained\"}" : "{\"event\":\"stopped\"}");
  return drained ? 0 : 1;
}

}  // namespace dorvane::serve
