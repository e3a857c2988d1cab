#include "control/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace dorvane::com {

namespace {

bool equalsNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string quote(const std::string& s) {
  std::string q = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') q.push_back('\\');
    if (c == '\n') {
      q += "\\n";
      continue;
    }
    q.push_back(c);
  }
  return q + "\"";
}

// Reads a quoted string starting at s[i] == '"'; advances i past it.
std::optional<std::string> unquote(const std::string& s, size_t& i) {
  if (i >= s.size() || s[i] != '"') return std::nullopt;
  std::string out;
  for (++i; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      ++i;
      out.push_back(s[i] == 'n' ? '\n' : s[i]);
    } else if (s[i] == '"') {
      ++i;
      return out;
    } else {
      out.push_back(s[i]);
    }
  }
  return std::nullopt;
}

[[noreturn]] void fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " '" + path + "': " + std::strerror(errno));
}

// An exclusive lock on path + ".lock" for the life of the object.
class FileLock {
 public:
  explicit FileLock(const std::string& registry) {
    std::string lockPath = registry + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) fail("Cannot open the registry lock", lockPath);
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) fail("Cannot lock the registry", lockPath);
    }
  }
  ~FileLock() { ::close(fd_); }  // closing releases the lock
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

Registry Registry::parse(const std::string& text) {
  Registry r;
  std::istringstream in(text);
  std::string line;
  Key* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      std::string path = line.substr(1, line.size() - 2);
      r.addKey(path);
      current = r.find(path);
      continue;
    }
    if (!current) continue;
    size_t i = 0;
    std::string name;
    if (line[0] == '@') {
      i = 1;
    } else if (auto n = unquote(line, i)) {
      name = *n;
    } else {
      continue;
    }
    if (i >= line.size() || line[i] != '=') continue;
    ++i;
    if (auto v = unquote(line, i)) r.setValue(current->path, name, *v);
  }
  return r;
}

std::string Registry::serialize() const {
  std::string out = "# Dorvane component registry. Keys in brackets; @ is a key's default value.\n";
  for (const Key& k : keys_) {
    out += "\n[" + k.path + "]\n";
    for (const auto& [name, value] : k.values)
      out += (name.empty() ? std::string("@") : quote(name)) + "=" + quote(value) + "\n";
  }
  return out;
}

Registry Registry::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT || !std::filesystem::exists(path)) return Registry();
    fail("Cannot read the registry", path);
  }
  std::ostringstream s;
  s << in.rdbuf();
  return parse(s.str());
}

void Registry::update(const std::string& path, const std::function<void(Registry&)>& edit) {
  std::filesystem::path p(path);
  std::error_code ec;
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
  FileLock lock(path);
  Registry r = load(path);
  edit(r);
  if (r.empty()) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail("Cannot remove the registry", path);
    return;
  }
  std::string tmp = path + ".tmp." + std::to_string(::getpid());
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << r.serialize();
    out.flush();
    if (!out) fail("Cannot write the registry", tmp);
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    fail("Cannot replace the registry", path);
  }
}

Registry::Key* Registry::find(const std::string& key) {
  for (Key& k : keys_)
    if (equalsNoCase(k.path, key)) return &k;
  return nullptr;
}

const Registry::Key* Registry::find(const std::string& key) const {
  return const_cast<Registry*>(this)->find(key);
}

void Registry::addKey(const std::string& key) {
  if (!find(key)) keys_.push_back(Key{key, {}});
}

void Registry::setValue(const std::string& key, const std::string& name, const std::string& value) {
  addKey(key);
  Key* k = find(key);
  for (auto& [n, v] : k->values) {
    if (equalsNoCase(n, name)) {
      v = value;
      return;
    }
  }
  k->values.emplace_back(name, value);
}

std::optional<std::string> Registry::value(const std::string& key, const std::string& name) const {
  const Key* k = find(key);
  if (!k) return std::nullopt;
  for (const auto& [n, v] : k->values)
    if (equalsNoCase(n, name)) return v;
  return std::nullopt;
}

bool Registry::hasKey(const std::string& key) const { return find(key) != nullptr; }

void Registry::removeKey(const std::string& key) {
  keys_.erase(std::remove_if(keys_.begin(), keys_.end(),
                             [&](const Key& k) { return equalsNoCase(k.path, key); }),
              keys_.end());
}

}  // namespace dorvane::com
