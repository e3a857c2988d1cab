// An observer that tells a person, line by line on a stream, what a merge does.
#pragma once

#include <dorvane/observer.h>

#include <cstdio>

namespace dorvane::cli {

class ExplainObserver : public MergeObserver {
 public:
  explicit ExplainObserver(std::FILE* out) : out_(out) {}

  void passStarted(const std::u16string& path, int wkcycle) override;
  void placeholderFound(const std::u16string& text, const std::u16string& where) override;
  void keyLookedUp(const std::u16string& key, bool found) override;
  void skipped(std::string_view reason) override;
  void sqlRun(const std::u16string& sql) override;
  void loopEnded(LoopEnd end) override;
  void resolved(const PlaceholderResult& result) override;
  void valueWritten(const std::u16string& text, const std::u16string& where) override;
  void failed(std::string_view step, int number, std::string_view description) override;

 private:
  std::FILE* out_;
};

}  // namespace dorvane::cli
