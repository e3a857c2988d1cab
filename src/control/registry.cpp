#include "control/registry.h"

#include <algorithm>
#include <sstream>

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
