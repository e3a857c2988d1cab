#include "serve/metrics.h"

#include <prometheus/text_serializer.h>

namespace dorvane::serve {

Metrics::Metrics()
    : registry_(std::make_shared<prometheus::Registry>()),
      requests_(prometheus::BuildCounter()
                    .Name("dorvane_http_requests_total")
                    .Help("Requests answered, by route and status")
                    .Register(*registry_)),
      durations_(prometheus::BuildHistogram()
                     .Name("dorvane_http_request_duration_seconds")
                     .Help("Time from reading a request to answering it, by route")
                     .Register(*registry_)),
      errors_(prometheus::BuildCounter()
                  .Name("dorvane_runtime_errors_total")
                  .Help("Merge runs that ended with a run-time error, by its number")
                  .Register(*registry_)),
      inFlight_(prometheus::BuildGauge()
                    .Name("dorvane_merges_in_flight")
                    .Help("Merges being run by a worker")
                    .Register(*registry_)
                    .Add({})),
      queued_(prometheus::BuildGauge()
                  .Name("dorvane_queue_length")
                  .Help("Merges waiting for a worker")
                  .Register(*registry_)
                  .Add({})),
      access_(prometheus::BuildCounter()
                  .Name("dorvane_access_import_cache_total")
                  .Help("Access tables read: replayed from memory (hit) or from the file (miss)")
                  .Register(*registry_)),
      accessHits_(access_.Add({{"result", "hit"}})),
      accessMisses_(access_.Add({{"result", "miss"}})) {}

void Metrics::request(const std::string& route, int status, double seconds) {
  requests_.Add({{"route", route}, {"status", std::to_string(status)}}).Increment();
  static const prometheus::Histogram::BucketBoundaries kBuckets = {
      0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30};
  durations_.Add({{"route", route}}, kBuckets).Observe(seconds);
}

void Metrics::runtimeError(int number) {
  errors_.Add({{"number", std::to_string(number)}}).Increment();
}

void Metrics::setLoad(double inFlight, double queued) {
  inFlight_.Set(inFlight);
  queued_.Set(queued);
}

void Metrics::setAccessReads(std::uint64_t hits, std::uint64_t misses) {
  std::lock_guard<std::mutex> lock(accessLock_);
  accessHits_.Increment(static_cast<double>(hits - hitsSeen_));
  accessMisses_.Increment(static_cast<double>(misses - missesSeen_));
  hitsSeen_ = hits;
  missesSeen_ = misses;
}

std::string Metrics::text() const {
  return prometheus::TextSerializer().Serialize(registry_->Collect());
}

}  // namespace dorvane::serve
