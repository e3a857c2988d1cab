// The registry of components: a text file of keys and named values, in the
// manner of a registry export:
//
//   [HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32]
//   @="/usr/local/lib/Dorvane.ocx"
//   "ThreadingModel"="Apartment"
//
// "@" is a key's default value. Key paths and value names compare case-blind.
// Changes go through Registry::update: under an exclusive lock on a lock file
// beside the registry, read, change, write a temporary file and rename it, so
// readers never see half a file and two registrations never lose each other's
// entries.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dorvane::com {

class Registry {
 public:
  struct Key {
    std::string path;
    std::vector<std::pair<std::string, std::string>> values;  // name ("" default), value
  };

  // Parses the text of a registry file; comment lines ("#", ";") and lines
  // it cannot read are skipped.
  static Registry parse(const std::string& text);
  std::string serialize() const;

  // The registry at path ("" when the file does not exist). Throws
  // std::runtime_error when the file exists but cannot be read.
  static Registry load(const std::string& path);
  // Runs edit on the registry at path under the lock and writes the result
  // back atomically (an empty registry removes the file). Throws
  // std::runtime_error with the reason when the file cannot be written.
  static void update(const std::string& path, const std::function<void(Registry&)>& edit);

  // Sets value name ("" for the default) of key, creating the key.
  void setValue(const std::string& key, const std::string& name, const std::string& value);
  // Creates key without values when it does not exist.
  void addKey(const std::string& key);
  std::optional<std::string> value(const std::string& key, const std::string& name = "") const;
  bool hasKey(const std::string& key) const;
  // Removes key with its values (not its subkeys).
  void removeKey(const std::string& key);
  bool empty() const { return keys_.empty(); }
  const std::vector<Key>& keys() const { return keys_; }

 private:
  Key* find(const std::string& key);
  const Key* find(const std::string& key) const;
  std::vector<Key> keys_;
};

}  // namespace dorvane::com
