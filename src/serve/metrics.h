// The service's Prometheus metrics (prometheus-cpp), in the text format.
#pragma once

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace dorvane::serve {

class Metrics {
 public:
  Metrics();
  // One answered request: its route ("other" for none), status and seconds.
  void request(const std::string& route, int status, double seconds);
  // A run that ended with run-time error number.
  void runtimeError(int number);
  // The gauges, and the Access reads since the last export, set just before
  // an export.
  void setLoad(double inFlight, double queued);
  void setAccessReads(std::uint64_t hits, std::uint64_t misses);
  // Everything, in the Prometheus text exposition format.
  std::string text() const;

 private:
  std::shared_ptr<prometheus::Registry> registry_;
  prometheus::Family<prometheus::Counter>& requests_;
  prometheus::Family<prometheus::Histogram>& durations_;
  prometheus::Family<prometheus::Counter>& errors_;
  prometheus::Gauge& inFlight_;
  prometheus::Gauge& queued_;
  prometheus::Family<prometheus::Counter>& access_;
  prometheus::Counter& accessHits_;
  prometheus::Counter& accessMisses_;
  std::mutex accessLock_;
  std::uint64_t hitsSeen_ = 0, missesSeen_ = 0;
};

}  // namespace dorvane::serve
