// PieceText: a long text held as a run of large pieces.
//
// A detail table over a million records is tens of megabytes. Built in one
// string, every growth copies it whole, and writing it into the page holds it
// twice. Built here, appending never copies what is already held, and
// PageText::writeAtMarker frees each piece as soon as it is copied, so the
// table and the page never hold the whole text at the same time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane::page {

class PieceText {
 public:
  void append(std::u16string_view s);

  std::int64_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // The pieces in order; a consumer may empty each one it has copied.
  std::vector<std::u16string>& pieces() { return pieces_; }

 private:
  std::vector<std::u16string> pieces_;
  std::int64_t size_ = 0;
};

}  // namespace dorvane::page
