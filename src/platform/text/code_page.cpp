#include "platform/text/code_page.h"

#include <dorvane/runtime_error.h>
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "platform/text/code_page_rules.h"
#include "platform/worker_state.h"

namespace dorvane::text {

namespace {

// Held around every iconv_open and iconv_close of the process.
std::mutex& iconvSetupMutex() {
  static std::mutex m;
  return m;
}

// Code points in the machine's order: glibc's own form ("INTERNAL"), which it
// converts without loading a module, so a code page loads only its own.
constexpr const char* kUcs4 = "WCHAR_T";
static_assert(sizeof(wchar_t) == sizeof(char32_t), "wchar_t holds a code point");
// One iconv descriptor, closed when the object goes.
class Iconv {
 public:
  Iconv(const char* to, const char* from) {
    std::lock_guard<std::mutex> setup(iconvSetupMutex());
    cd_ = iconv_open(to, from);
  }
  ~Iconv() {
    std::lock_guard<std::mutex> setup(iconvSetupMutex());
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  void reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }
  // Converts as much of [in, in + inLeft) as fits into [out, out + outLeft);
  // advances the four arguments. Returns 0, or the errno of the stop.
  int convert(const char*& in, size_t& inLeft, char*& out, size_t& outLeft) {
    char* i = const_cast<char*>(in);
    size_t r = iconv(cd_, &i, &inLeft, &out, &outLeft);
    in = i;
    return r == static_cast<size_t>(-1) ? errno : 0;
  }
  // Writes the shift sequence that returns a stateful encoding to its start.
  void flush(char*& out, size_t& outLeft) { iconv(cd_, nullptr, nullptr, &out, &outLeft); }

 private:
  iconv_t cd_;
};

}  // namespace

// The converters of one code page and what they have learnt about characters.
class Converter {
 public:
  explicit Converter(int codePage)
      : codePage_(codePage),
        name_(iconvName(codePage)),
        toUnicode_(kUcs4, name_.c_str()),
        charToUnicode_(kUcs4, name_.c_str()),
        fromUnicode_(name_.c_str(), kUcs4),
        charFromUnicode_(name_.c_str(), kUcs4),
        bmp_(0x10000, kUnknown) {
    if (!toUnicode_.ok() || !charToUnicode_.ok() || !fromUnicode_.ok() || !charFromUnicode_.ok()) {
      throw RuntimeError(err::kInvalidCall, "Code page " + std::to_string(codePage) +
                                                " is not available (iconv has no converter '" +
                                                name_ + "')");
    }
  }

  std::u16string decode(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    decodeFast(bytes, out);
    if (encode(out) == bytes) return out;
    // Some character did not come back as its own bytes (a code page with two
    // byte sequences for one character): redo line by line, and character by
    // character in the lines that differ. A line end byte is never part of a
    // multi-byte character in the code pages we serve.
    out.clear();
    size_t start = 0;
    while (start < bytes.size()) {
      size_t end = bytes.find('\n', start);
      end = end == std::string_view::npos ? bytes.size() : end + 1;
      std::string_view line = bytes.substr(start, end - start);
      std::u16string piece;
      decodeFast(line, piece);
      if (encode(piece) == line) {
        out += piece;
      } else {
        decodeSlow(line, out);
      }
      start = end;
    }
    return out;
  }

  std::string encode(std::u16string_view text) {
    return rules::encodeKeepingEverything(
        text, [this](char32_t cp) { return holds(cp); },
        [this](std::u16string_view run, std::string& out) { encodeRun(run, out); });
  }

 private:
  static constexpr std::uint8_t kUnknown = 0, kHeld = 1, kNotHeld = 2;

  // Code points as UTF-16.
  static void appendCodePoints(const char32_t* cps, size_t n, std::u16string& out) {
    for (size_t i = 0; i < n; ++i) appendCodePoint(cps[i], out);
  }

  // Bulk conversion to UTF-16; each undecodable byte (or pair) becomes escapes.
  void decodeFast(std::string_view bytes, std::u16string& out) {
    toUnicode_.reset();
    const char* in = bytes.data();
    size_t inLeft = bytes.size();
    char32_t buf[2048];
    while (inLeft > 0) {
      char* o = reinterpret_cast<char*>(buf);
      size_t oLeft = sizeof buf;
      int e = toUnicode_.convert(in, inLeft, o, oLeft);
      appendCodePoints(buf, (sizeof buf - oLeft) / sizeof(char32_t), out);
      if (e == 0 || e == E2BIG) continue;
      size_t pos = bytes.size() - inLeft;
      size_t k = rules::escapeLength(codePage_, bytes, pos);
      rules::appendEscapes(bytes.substr(pos, k), out);
      in += k;
      inLeft -= k;
      toUnicode_.reset();
    }
    char* o = reinterpret_cast<char*>(buf);
    size_t oLeft = sizeof buf;
    toUnicode_.flush(o, oLeft);
    appendCodePoints(buf, (sizeof buf - oLeft) / sizeof(char32_t), out);
  }

  // One character at a time; a character whose bytes do not come back the
  // same when encoded is kept as escapes of its bytes.
  void decodeSlow(std::string_view bytes, std::u16string& out) {
    size_t pos = 0;
    charToUnicode_.reset();
    while (pos < bytes.size()) {
      const char* in = bytes.data() + pos;
      size_t inLeft = bytes.size() - pos;
      char32_t cp = 0;
      char* o = reinterpret_cast<char*>(&cp);
      size_t oLeft = sizeof cp;
      charToUnicode_.convert(in, inLeft, o, oLeft);
      size_t used = bytes.size() - pos - inLeft;
      if (used > 0 && oLeft == 0 && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) &&
          encodeChar(cp) == bytes.substr(pos, used)) {
        appendCodePoint(cp, out);
        pos += used;
        continue;
      }
      size_t k = used > 0 ? used : rules::escapeLength(codePage_, bytes, pos);
      rules::appendEscapes(bytes.substr(pos, k), out);
      pos += k;
      charToUnicode_.reset();
    }
  }

  static void appendCodePoint(char32_t cp, std::u16string& out) {
    if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
  }

  // The bytes of one character, or "" when the code page has none for it.
  std::string encodeChar(char32_t cp) {
    charFromUnicode_.reset();
    const char* in = reinterpret_cast<const char*>(&cp);
    size_t inLeft = sizeof cp;
    char buf[16];
    char* o = buf;
    size_t oLeft = sizeof buf;
    if (charFromUnicode_.convert(in, inLeft, o, oLeft) != 0) return {};
    charFromUnicode_.flush(o, oLeft);
    return std::string(buf, sizeof buf - oLeft);
  }

  // True when the code page holds cp: it has bytes for it, and those bytes
  // decode to cp again (a lossy mapping does not count).
  bool holds(char32_t cp) {
    std::uint8_t* slot = nullptr;
    if (cp < 0x10000) {
      slot = &bmp_[cp];
    } else {
      slot = &others_[cp];
    }
    if (*slot != kUnknown) return *slot == kHeld;
    bool held = false;
    std::string bytes = encodeChar(cp);
    if (!bytes.empty()) {
      charToUnicode_.reset();
      const char* in = bytes.data();
      size_t inLeft = bytes.size();
      char32_t back[2] = {0, 0};
      char* o = reinterpret_cast<char*>(back);
      size_t oLeft = sizeof back;
      held = charToUnicode_.convert(in, inLeft, o, oLeft) == 0 && inLeft == 0 &&
             oLeft == sizeof back - sizeof(char32_t) && back[0] == cp;
    }
    *slot = held ? kHeld : kNotHeld;
    return held;
  }

  // Characters already known to be held: one bulk conversion (of their code
  // points; a held character is never half a surrogate pair).
  void encodeRun(std::u16string_view run, std::string& out) {
    if (run.empty()) return;
    points_.clear();
    for (size_t i = 0; i < run.size(); ++i) {
      char32_t cp = run[i];
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < run.size() && run[i + 1] >= 0xDC00 &&
          run[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (run[++i] - 0xDC00);
      }
      points_.push_back(cp);
    }
    fromUnicode_.reset();
    const char* in = reinterpret_cast<const char*>(points_.data());
    size_t inLeft = points_.size() * sizeof(char32_t);
    char buf[8192];
    while (inLeft > 0) {
      char* o = buf;
      size_t oLeft = sizeof buf;
      int e = fromUnicode_.convert(in, inLeft, o, oLeft);
      out.append(buf, sizeof buf - oLeft);
      if (e == 0 || e == E2BIG) continue;
      // Not expected for held characters; never lose one: write a reference.
      rules::appendReference(out, points_[points_.size() - inLeft / sizeof(char32_t)]);
      in += sizeof(char32_t);
      inLeft -= sizeof(char32_t);
      fromUnicode_.reset();
    }
    char* o = buf;
    size_t oLeft = sizeof buf;
    fromUnicode_.flush(o, oLeft);
    out.append(buf, sizeof buf - oLeft);
  }

  int codePage_;
  std::string name_;
  Iconv toUnicode_, charToUnicode_, fromUnicode_, charFromUnicode_;
  std::vector<std::uint8_t> bmp_;
  std::unordered_map<char32_t, std::uint8_t> others_;
  std::vector<char32_t> points_;  // encodeRun's code points, kept for the next run
};

std::string iconvName(int codePage) {
  switch (codePage) {
    case 65001:
      return "UTF-8";
    case 20932:
    case 51932:
      return "EUC-JP";
    case 28591:
      return "ISO-8859-1";
    case 20127:
      return "ASCII";
    default:
      return "CP" + std::to_string(codePage);
  }
}

namespace {

// The calling worker's converter for codePage (platform/worker_state.h),
// opened at its first use and kept for the worker's life: opening one loads
// glibc's converter modules and closing the last one unloads them again,
// which a page merged at a time would otherwise pay for twice per page. A
// converter serves one call at a time (none calls back), so one per worker
// and code page serves them all. A worker keeps a few; beyond them, a
// converter is made in own for the call.
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

bool codePageAvailable(int codePage) {
  // Asked for every request of the service: known once per thread (no lock
  // of its own, which a forked child could inherit taken).
  thread_local std::unordered_map<int, bool> known;
  auto it = known.find(codePage);
  if (it != known.end()) return it->second;
  std::string name = iconvName(codePage);
  Iconv a(kUcs4, name.c_str()), b(name.c_str(), kUcs4);
  if (known.size() >= 64) known.clear();  // a client may ask for any number
  return known[codePage] = a.ok() && b.ok();
}

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
  out += impl_->decode(bytes);
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
