// What a backend made of a database file (a connection, an imported copy),
// kept per worker and found again by the file's identity (file_identity.h):
// device and inode, which stand for its canonical path without resolving it
// on every open. An entry serves only while the file's size and modification
// time are unchanged, so a file replaced or written since is opened afresh.
// Not thread-safe: each worker (platform/worker_state.h) keeps its own cache,
// as engine objects serve one thread at a time.
#pragma once

#include <map>
#include <utility>

#include "platform/file/file_identity.h"

namespace dorvane::db {

template <class T>
class FileCache {
 public:
  // What was kept for the file id describes, or nullptr when nothing was or
  // the file changed since.
  const T* find(const file::FileIdentity& id) const {
    auto it = entries_.find({id.device, id.index});
    if (it == entries_.end()) return nullptr;
    const Entry& e = it->second;
    bool unchanged = e.size == id.size && e.modifiedNs == id.modifiedNs;
    return unchanged ? &e.value : nullptr;
  }
  // Keeps value for the file id describes, replacing what was kept for it.
  void keep(const file::FileIdentity& id, T value) {
    entries_[{id.device, id.index}] = Entry{id.size, id.modifiedNs, std::move(value)};
  }

 private:
  struct Entry {
    std::int64_t size;
    std::int64_t modifiedNs;
    T value;
  };
  std::map<std::pair<std::uint64_t, std::uint64_t>, Entry> entries_;
};

}  // namespace dorvane::db
