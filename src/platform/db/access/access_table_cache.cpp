#include "platform/db/access/access_table_cache.h"

#include <dorvane/runtime_error.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/db/access/access_page_file.h"
#include "platform/db/access/access_reader.h"
#include "platform/file/utf8_path.h"

namespace dorvane::db {

namespace {

namespace fs = std::filesystem;

struct TableKey {
  std::string path;
  std::uintmax_t size;
  std::int64_t time;
  std::string table;
  bool operator<(const TableKey& o) const {
    return std::tie(path, size, time, table) < std::tie(o.path, o.size, o.time, o.table);
  }
};

// One table as read. Its mutex is held by the thread reading it, so the
// others wait for it rather than read the file again.
struct KeptTable {
  std::mutex reading;
  bool kept = false;
  AccessTableDef definition;
  std::vector<std::vector<JetValue>> rows;
};

struct TableCache {
  std::mutex mutex;  // guards the fields below, never held while reading
  std::size_t budget = 0, used = 0;
  std::map<TableKey, std::shared_ptr<KeptTable>> entries;
};

TableCache& tableCache() {
  static TableCache cache;
  return cache;
}

std::atomic<std::uint64_t> hits{0}, misses{0};

// Passes a table on to sink and records it while it fits in the budget.
class RecordingSink : public TableSink {
 public:
  RecordingSink(TableSink& sink, KeptTable& into, std::size_t budget)
      : sink_(sink), into_(into), budget_(budget) {}
  void begin(const AccessTableDef& def) override {
    sink_.begin(def);
    into_.definition = def;
  }
  void row(const std::vector<JetValue>& row) override {
    sink_.row(row);
    if (over_) return;
    for (const JetValue& v : row) bytes_ += sizeof v + v.text.size() * 2 + v.bytes.size();
    if (bytes_ > budget_) {
      over_ = true;
      std::vector<std::vector<JetValue>>().swap(into_.rows);
      return;
    }
    into_.rows.push_back(row);
  }
  bool over() const { return over_; }
  std::size_t bytes() const { return bytes_; }

 private:
  TableSink& sink_;
  KeptTable& into_;
  std::size_t budget_, bytes_ = 0;
  bool over_ = false;
};

[[noreturn]] void damaged(const std::string& path, const std::string& table,
                          const std::string& why) {
  throw RuntimeError(
      err::kCannotOpenDatabase,
      "Cannot read table '" + table + "' of the Access file '" + path + "': " + why + ".");
}

void readFile(const std::string& path, const std::string& table, TableSink& sink) {
  try {
    readAccessTable(path, table, sink);
  } catch (const AccessDamage& e) {
    damaged(path, table, e.what());
  } catch (const std::bad_alloc&) {
    damaged(path, table, "it is too large to read into memory");
  }
}

}  // namespace

AccessStreamCounts accessStreamCounts() { return {hits.load(), misses.load()}; }

void keepAccessStreams(std::size_t budgetBytes) {
  TableCache& cache = tableCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  cache.budget = budgetBytes;
  if (budgetBytes == 0) {
    cache.entries.clear();
    cache.used = 0;
  }
}

void readAccessTableCached(const std::string& path, const std::string& table, TableSink& sink) {
  std::error_code ec;
  const fs::path file = ::dorvane::file::pathOf(path);
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec) throw RuntimeError(err::kFileNotFound, "Could not find file '" + path + "'.");
  const auto time = fs::last_write_time(file, ec).time_since_epoch().count();
  TableCache& cache = tableCache();
  std::shared_ptr<KeptTable> entry;
  std::size_t room = 0;
  {
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.budget != 0) {
      auto& slot = cache.entries[TableKey{path, size, static_cast<std::int64_t>(time), table}];
      if (!slot) slot = std::make_shared<KeptTable>();
      entry = slot;
      room = cache.budget - cache.used;
    }
  }
  if (!entry) {
    ++misses;
    return readFile(path, table, sink);
  }
  std::lock_guard<std::mutex> reading(entry->reading);
  if (entry->kept) {
    ++hits;
    sink.begin(entry->definition);
    for (const auto& row : entry->rows) sink.row(row);
    return;
  }
  ++misses;
  RecordingSink recording(sink, *entry, room);
  try {
    readFile(path, table, recording);
  } catch (...) {
    entry->rows.clear();
    throw;
  }
  std::lock_guard<std::mutex> lock(cache.mutex);
  if (!recording.over() && cache.budget != 0 && cache.used + recording.bytes() <= cache.budget) {
    cache.used += recording.bytes();
    entry->kept = true;
  } else {
    std::vector<std::vector<JetValue>>().swap(entry->rows);
  }
}

}  // namespace dorvane::db
