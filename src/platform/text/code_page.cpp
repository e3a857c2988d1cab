// The rules of code_page.h over the system's converters (code_page_system.h):
// a page is decoded in bulk and checked by encoding it again; only a line
// that does not come back as its own bytes is decoded character by character.
#include "platform/text/code_page.h"

#include <dorvane/runtime_error.h>

#include <cstdint>
#include <new>
#include <unordered_map>
#include <vector>

#include "platform/text/code_page_rules.h"
#include "platform/text/code_page_system.h"
#include "platform/worker_state.h"

namespace dorvane::text {

// The converters of one code page and what they have learnt about characters.
class Converter {
 public:
  explicit Converter(int codePage) : system_(codePage), bmp_(0x10000, kUnknown) {}

  std::u16string decode(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    if (system_.decodeBulk(bytes, out) && encode(out) == bytes) return out;
    // Some character did not come back as its own bytes (a code page with two
    // byte sequences for one character, a byte it leaves undefined): redo
    // line by line, and character by character in the lines that differ. A
    // line end byte is never part of a multi-byte character in the code
    // pages we serve.
    out.clear();
    size_t start = 0;
    while (start < bytes.size()) {
      size_t end = bytes.find('\n', start);
      end = end == std::string_view::npos ? bytes.size() : end + 1;
      std::string_view line = bytes.substr(start, end - start);
      std::u16string piece;
      if (system_.decodeBulk(line, piece) && encode(piece) == line) {
        out += piece;
      } else {
        system_.decodeEach(line, out);
      }
      start = end;
    }
    return out;
  }

  std::string encode(std::u16string_view text) {
    return rules::encodeKeepingEverything(
        text, [this](char32_t cp) { return holds(cp); },
        [this](std::u16string_view run, std::string& out) { system_.encodeRun(run, out); });
  }

 private:
  static constexpr std::uint8_t kUnknown = 0, kHeld = 1, kNotHeld = 2;

  // system_.holds, asked once per character.
  bool holds(char32_t cp) {
    std::uint8_t* slot = cp < 0x10000 ? &bmp_[cp] : &others_[cp];
    if (*slot == kUnknown) *slot = system_.holds(cp) ? kHeld : kNotHeld;
    return *slot == kHeld;
  }

  detail::SystemCodePage system_;
  std::vector<std::uint8_t> bmp_;
  std::unordered_map<char32_t, std::uint8_t> others_;
};

namespace {

// The calling worker's converter for codePage (platform/worker_state.h),
// opened at its first use and kept for the worker's life: opening one loads
// the system's converter modules (glibc's), and what a converter has learnt
// about characters serves the next page too. A converter serves one call at
// a time (none calls back), so one per worker and code page serves them
// all. A worker keeps a few; beyond them, a converter is made in own for the
// call.
Converter& workerConverter(int codePage, std::unique_ptr<Converter>& own) {
  constexpr std::size_t kMaxCodePages = 8;
  static platform::WorkerLocal<std::unordered_map<int, std::unique_ptr<Converter>>> perWorker;
  auto& converters = *perWorker;
  auto it = converters.find(codePage);
  if (it != converters.end()) return *it->second;
  own = std::make_unique<Converter>(codePage);  // raises for an unknown code page
  if (converters.size() >= kMaxCodePages) return *own;
  return *converters.emplace(codePage, std::move(own)).first->second;
}

}  // namespace

std::u16string decodeCodePage(std::string_view bytes, int codePage) {
  try {
    std::unique_ptr<Converter> own;
    return workerConverter(codePage, own).decode(bytes);
  } catch (const std::bad_alloc&) {
    throw RuntimeError(err::kOutOfMemory, "Out of memory converting a page of " +
                                              std::to_string(bytes.size()) + " bytes");
  }
}

CodePageConverter::CodePageConverter(int codePage) : impl_(&workerConverter(codePage, own_)) {}

CodePageConverter::~CodePageConverter() = default;

void CodePageConverter::decodeAppend(std::string_view bytes, std::u16string& out) {
  if (out.empty()) {
    out = impl_->decode(bytes);
  } else {
    out += impl_->decode(bytes);
  }
}

std::string CodePageConverter::encode(std::u16string_view text) { return impl_->encode(text); }

std::string encodeCodePage(std::u16string_view text, int codePage) {
  try {
    std::unique_ptr<Converter> own;
    return workerConverter(codePage, own).encode(text);
  } catch (const std::bad_alloc&) {
    throw RuntimeError(err::kOutOfMemory, "Out of memory converting a page of " +
                                              std::to_string(text.size()) + " characters");
  }
}

}  // namespace dorvane::text
