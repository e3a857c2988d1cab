// What a backend made of a database file (a connection, an imported copy),
// kept per thread and found again by the file's identity: device and inode,
// which stand for its canonical path without resolving it on every open.
// An entry serves only while the file's size and modification time are
// unchanged, so a file replaced or written since is opened afresh. Not
// thread-safe: each thread keeps its own cache, as engine objects belong to
// the thread that opened them.
#pragma once

#include <sys/stat.h>

#include <map>
#include <utility>

namespace dorvane::db {

template <class T>
class FileCache {
 public:
  // What was kept for the file st describes, or nullptr when nothing was or
  // the file changed since.
  const T* find(const struct stat& st) const {
    auto it = entries_.find({st.st_dev, st.st_ino});
    if (it == entries_.end()) return nullptr;
    const Entry& e = it->second;
    bool unchanged = e.size == st.st_size && e.mtime.tv_sec == st.st_mtim.tv_sec &&
                     e.mtime.tv_nsec == st.st_mtim.tv_nsec;
    return unchanged ? &e.value : nullptr;
  }
  // Keeps value for the file st describes, replacing what was kept for it.
  void keep(const struct stat& st, T value) {
    entries_[{st.st_dev, st.st_ino}] = Entry{st.st_size, st.st_mtim, std::move(value)};
  }

 private:
  struct Entry {
    off_t size;
    timespec mtime;
    T value;
  };
  std::map<std::pair<dev_t, ino_t>, Entry> entries_;
};

}  // namespace dorvane::db
