// The small merge with no HTTP around it: the merge a `dorvane serve` worker
// runs for one request, called directly in a loop on 1 and 2 threads, with
// the service's own configuration (its data sources and database policy).
// Beside the time, the CPU each merge takes in user mode and in the kernel
// (getrusage of each thread): what the service's figures would be if
// receiving and answering a request cost nothing.
//
// Run it in the folder of the configuration:
//   bench_small_merge [benchmark flags] CONFIG PAGE SOURCE
// CONFIG a service configuration file, PAGE the template, SOURCE the name of
// one of its data sources (bench/bench_serve.sh runs it so).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "serve/merge_request.h"
#include "serve/serve_config.h"

namespace {

using namespace dorvane::serve;

Config config;
std::string page, source;

double microseconds(const timeval& t) { return t.tv_sec * 1e6 + t.tv_usec; }

void BM_SmallMerge(benchmark::State& state) {
  MergeRequest m;
  m.kind = MergeKind::Page;
  m.policy = &config.policy;
  m.db = config.dataSources.at(source);
  rusage before{}, after{};
  getrusage(RUSAGE_THREAD, &before);
  for (auto _ : state) {
    m.body = page;
    m.deadline = Clock::now() + std::chrono::seconds(30);
    const MergeAnswer a = runMerge(m);
    if (a.status != MergeAnswer::Status::Done) {
      state.SkipWithError("the merge did not go through");
      break;
    }
    benchmark::DoNotOptimize(a.body.data());
  }
  getrusage(RUSAGE_THREAD, &after);
  // Summed over the threads, then divided by every thread's iterations.
  const auto perMerge = benchmark::Counter::kAvgIterations;
  state.counters["user_us"] =
      benchmark::Counter(microseconds(after.ru_utime) - microseconds(before.ru_utime), perMerge);
  state.counters["kernel_us"] =
      benchmark::Counter(microseconds(after.ru_stime) - microseconds(before.ru_stime), perMerge);
}
BENCHMARK(BM_SmallMerge)->Threads(1)->Threads(2)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s [benchmark flags] CONFIG PAGE SOURCE\n", argv[0]);
    return 2;
  }
  std::string why;
  auto loaded = loadConfig(argv[1], "", why);
  if (!loaded || !loaded->dataSources.count(argv[3])) {
    std::fprintf(stderr, "%s: %s\n", argv[1], loaded ? "no such data source" : why.c_str());
    return 1;
  }
  config = std::move(*loaded);
  source = argv[3];
  std::ifstream in(argv[2], std::ios::binary);
  page.assign(std::istreambuf_iterator<char>(in), {});
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
