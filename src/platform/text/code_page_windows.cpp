// The code page conversion of page files with the system's own functions
// (MultiByteToWideChar, WideCharToMultiByte), keeping the rules of the POSIX
// build (code_page.h): bytes the code page does not define come through
// unchanged as escapes, and a character it cannot hold is written "&#N;".
// The system functions do neither on their own: an undefined byte fails the
// whole conversion (MB_ERR_INVALID_CHARS) or becomes U+FFFD or a best-fit
// character, and an unheld character becomes "?". So a run is converted in
// bulk and checked, and only a line that does not come back as its own bytes
// is taken character by character.
#include <dorvane/runtime_error.h>
#include <windows.h>

#include <cstdint>
#include <new>
#include <unordered_map>
#include <vector>

#include "platform/text/code_page.h"
#include "platform/text/code_page_rules.h"

namespace dorvane::text {

using namespace rules;

namespace {

const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

// What Windows gives the single bytes a double-byte code page leaves
// undefined (0x80, 0xA0, 0xFD..0xFF in 932): a C1 control or a private-use
// character. The POSIX build keeps such bytes as escapes; so does this one.
bool standsForUndefinedByte(int cp, char16_t c) {
  return isDoubleByte(cp) && ((c >= 0x80 && c <= 0x9F) || (c >= 0xF8F0 && c <= 0xF8FF));
}

// Code pages whose conversion functions take no flags (UTF-7, UTF-8, the
// ISCII and ISO-2022 families and a few others).
bool takesNoFlags(int cp) {
  return cp == 65000 || cp == 65001 || cp == 42 || (cp >= 50220 && cp <= 50229) || cp == 52936 ||
         cp == 54936 || (cp >= 57002 && cp <= 57011);
}

}  // namespace

class Converter {
 public:
  explicit Converter(int codePage) : codePage_(codePage), bmp_(0x10000, kUnknown) {
    CPINFO info{};
    if (codePage <= 0 || codePage > 65535 || !::GetCPInfo(static_cast<UINT>(codePage), &info)) {
      throw RuntimeError(err::kInvalidCall, "Code page " + std::to_string(codePage) +
                                                " is not available on this system");
    }
    maxBytes_ = info.MaxCharSize;
  }

  std::u16string decode(std::string_view bytes) {
    std::u16string out;
    if (bytes.empty()) return out;
    if (decodeStrict(bytes, out) && !holdsUndefined(out) && encode(out) == bytes) return out;
    out.clear();
    size_t start = 0;
    while (start < bytes.size()) {
      size_t end = bytes.find('\n', start);
      end = end == std::string_view::npos ? bytes.size() : end + 1;
      std::string_view line = bytes.substr(start, end - start);
      std::u16string piece;
      if (decodeStrict(line, piece) && !holdsUndefined(piece) && encode(piece) == line) {
        out += piece;
      } else {
        decodeSlow(line, out);
      }
      start = end;
    }
    return out;
  }

  std::string encode(std::u16string_view text) {
    return encodeKeepingEverything(
        text, [this](char32_t cp) { return holds(cp); },
        [this](std::u16string_view run, std::string& out) { encodeRun(run, out); });
  }

 private:
  static constexpr std::uint8_t kUnknown = 0, kHeld = 1, kNotHeld = 2;

  UINT cp() const { return static_cast<UINT>(codePage_); }

  bool holdsUndefined(std::u16string_view text) const {
    if (!isDoubleByte(codePage_)) return false;
    for (char16_t c : text)
      if (standsForUndefinedByte(codePage_, c)) return true;
    return false;
  }

  // The whole of bytes, failing at the first byte the code page does not define.
  bool decodeStrict(std::string_view bytes, std::u16string& out) {
    if (bytes.empty()) return true;
    if (bytes.size() > 0x7FFFFFFF) return false;
    const int n = static_cast<int>(bytes.size());
    const int need = ::MultiByteToWideChar(cp(), MB_ERR_INVALID_CHARS, bytes.data(), n, nullptr, 0);
    if (need <= 0) return false;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(need));
    const int got = ::MultiByteToWideChar(cp(), MB_ERR_INVALID_CHARS, bytes.data(), n,
                                          reinterpret_cast<wchar_t*>(out.data() + at), need);
    out.resize(at + static_cast<size_t>(got > 0 ? got : 0));
    return got == need;
  }

  // The number of bytes of the character that starts at pos (1 for a byte
  // that starts none).
  size_t charLength(std::string_view bytes, size_t pos) const {
    const auto b = static_cast<unsigned char>(bytes[pos]);
    if (codePage_ == 65001) {
      size_t k = b < 0x80           ? 1
                 : (b >> 5) == 0x6  ? 2
                 : (b >> 4) == 0xE  ? 3
                 : (b >> 3) == 0x1E ? 4
                                    : 1;
      return pos + k <= bytes.size() ? k : 1;
    }
    if (isDoubleByte(codePage_)) {
      return pos + 1 < bytes.size() && isLead(codePage_, b) &&
                     isTrail(codePage_, static_cast<unsigned char>(bytes[pos + 1]))
                 ? 2
                 : 1;
    }
    if (maxBytes_ == 2 && ::IsDBCSLeadByteEx(cp(), b) && pos + 1 < bytes.size()) return 2;
    return 1;
  }

  // Character by character; one whose bytes do not come back the same is
  // kept as escapes of its bytes.
  void decodeSlow(std::string_view bytes, std::u16string& out) {
    size_t pos = 0;
    while (pos < bytes.size()) {
      const size_t k = charLength(bytes, pos);
      std::string_view one = bytes.substr(pos, k);
      std::u16string piece;
      if (decodeStrict(one, piece) && !piece.empty() &&
          !(piece.size() == 1 &&
            (isHigh(piece[0]) || isLow(piece[0]) || standsForUndefinedByte(codePage_, piece[0]))) &&
          encodeExact(piece) == one) {
        out += piece;
      } else {
        appendEscapes(one, out);
      }
      pos += k;
    }
  }

  // The bytes of text, or "" when some character has none of its own (a
  // default character or a best fit would stand for it).
  std::string encodeExact(std::u16string_view text) {
    if (text.empty()) return {};
    const int n = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const bool flags = !takesNoFlags(codePage_);
    const DWORD how = flags ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL* used = flags ? &usedDefault : nullptr;
    char buf[32];
    int got =
        ::WideCharToMultiByte(cp(), how, wide(text.data()), n, buf, sizeof buf, nullptr, used);
    if (got <= 0 || usedDefault) return {};
    return std::string(buf, static_cast<size_t>(got));
  }

  // True when the code page holds cp: it has bytes for it, and those bytes
  // decode to cp again (a best fit does not count).
  bool holds(char32_t c) {
    std::uint8_t* slot = c < 0x10000 ? &bmp_[c] : &others_[c];
    if (*slot != kUnknown) return *slot == kHeld;
    std::u16string one;
    if (c < 0x10000) {
      one.push_back(static_cast<char16_t>(c));
    } else {
      one.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      one.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
    bool held = false;
    const std::string bytes =
        standsForUndefinedByte(codePage_, one[0]) ? std::string() : encodeExact(one);
    if (!bytes.empty()) {
      std::u16string back;
      held = decodeStrict(bytes, back) && back == one;
    }
    *slot = held ? kHeld : kNotHeld;
    return held;
  }

  // Characters already known to be held: one bulk conversion.
  void encodeRun(std::u16string_view run, std::string& out) {
    while (!run.empty()) {
      const size_t take = run.size() > 0x10000000 ? 0x10000000 : run.size();
      const int n = static_cast<int>(take);
      const int need =
          ::WideCharToMultiByte(cp(), 0, wide(run.data()), n, nullptr, 0, nullptr, nullptr);
      const size_t at = out.size();
      out.resize(at + static_cast<size_t>(need > 0 ? need : 0));
      if (need > 0)
        ::WideCharToMultiByte(cp(), 0, wide(run.data()), n, out.data() + at, need, nullptr,
                              nullptr);
      run.remove_prefix(take);
    }
  }

  int codePage_;
  unsigned maxBytes_ = 1;
  std::vector<std::uint8_t> bmp_;
  std::unordered_map<char32_t, std::uint8_t> others_;
};

std::string iconvName(int codePage) { return "CP" + std::to_string(codePage); }

bool codePageAvailable(int codePage) {
  CPINFO info{};
  return codePage > 0 && codePage <= 65535 && ::GetCPInfo(static_cast<UINT>(codePage), &info);
}

std::u16string decodeCodePage(std::string_view bytes, int codePage) {
  try {
    Converter c(codePage);
    return c.decode(bytes);
  } catch (const std::bad_alloc&) {
    throw RuntimeError(err::kOutOfMemory, "Out of memory converting a page of " +
                                              std::to_string(bytes.size()) + " bytes");
  }
}

// Windows keeps no converters per thread (they are cheap to make): the
// object owns its own.
CodePageConverter::CodePageConverter(int codePage)
    : own_(std::make_unique<Converter>(codePage)), impl_(own_.get()) {}

CodePageConverter::~CodePageConverter() = default;

void CodePageConverter::decodeAppend(std::string_view bytes, std::u16string& out) {
  out += impl_->decode(bytes);
}

std::string CodePageConverter::encode(std::u16string_view text) { return impl_->encode(text); }

std::string encodeCodePage(std::u16string_view text, int codePage) {
  try {
    Converter c(codePage);
    return c.encode(text);
  } catch (const std::bad_alloc&) {
    throw RuntimeError(err::kOutOfMemory, "Out of memory converting a page of " +
                                              std::to_string(text.size()) + " characters");
  }
}

}  // namespace dorvane::text
