// Object: the common base of every object the system hands to a host
// (databases, recordsets, spreadsheet objects), like an automation object.
// Held through std::shared_ptr: the counted reference.
#pragma once

namespace dorvane {

class Object {
 public:
  virtual ~Object() = default;
};

}  // namespace dorvane
