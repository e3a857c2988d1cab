// The code page converters of Windows: the system's own functions
// (MultiByteToWideChar, WideCharToMultiByte). They keep neither rule of
// code_page.h on their own: an undefined byte fails the whole conversion
// (MB_ERR_INVALID_CHARS) or becomes U+FFFD or a best-fit character, and an
// unheld character becomes "?". So a bulk decode fails on any such byte and
// the character-by-character decode escapes it, and only characters known
// to be held are encoded in bulk.
#include <dorvane/runtime_error.h>
#include <windows.h>

#include "platform/text/code_page.h"
#include "platform/text/code_page_rules.h"
#include "platform/text/code_page_system.h"
#include "platform/text/utf.h"

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

// The whole of bytes appended to out, failing at the first byte the code
// page does not define.
bool decodeStrict(UINT cp, std::string_view bytes, std::u16string& out) {
  if (bytes.empty()) return true;
  if (bytes.size() > 0x7FFFFFFF) return false;
  const int n = static_cast<int>(bytes.size());
  const int need = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), n, nullptr, 0);
  if (need <= 0) return false;
  const size_t at = out.size();
  out.resize(at + static_cast<size_t>(need));
  const int got = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), n,
                                        reinterpret_cast<wchar_t*>(out.data() + at), need);
  out.resize(at + static_cast<size_t>(got > 0 ? got : 0));
  return got == need;
}

}  // namespace

std::string iconvName(int codePage) { return "CP" + std::to_string(codePage); }

bool codePageAvailable(int codePage) {
  CPINFO info{};
  return codePage > 0 && codePage <= 65535 && ::GetCPInfo(static_cast<UINT>(codePage), &info);
}

namespace detail {

struct SystemCodePage::Impl {
  UINT cp() const { return static_cast<UINT>(codePage); }

  bool holdsUndefined(std::u16string_view text) const {
    if (!isDoubleByte(codePage)) return false;
    for (char16_t c : text)
      if (standsForUndefinedByte(codePage, c)) return true;
    return false;
  }

  // The number of bytes of the character that starts at pos (1 for a byte
  // that starts none).
  size_t charLength(std::string_view bytes, size_t pos) const {
    const auto b = static_cast<unsigned char>(bytes[pos]);
    if (codePage == 65001) {
      size_t k = b < 0x80           ? 1
                 : (b >> 5) == 0x6  ? 2
                 : (b >> 4) == 0xE  ? 3
                 : (b >> 3) == 0x1E ? 4
                                    : 1;
      return pos + k <= bytes.size() ? k : 1;
    }
    if (isDoubleByte(codePage)) {
      return pos + 1 < bytes.size() && isLead(codePage, b) &&
                     isTrail(codePage, static_cast<unsigned char>(bytes[pos + 1]))
                 ? 2
                 : 1;
    }
    if (maxBytes == 2 && ::IsDBCSLeadByteEx(cp(), b) && pos + 1 < bytes.size()) return 2;
    return 1;
  }

  // The bytes of text, or "" when some character has none of its own (a
  // default character or a best fit would stand for it).
  std::string encodeExact(std::u16string_view text) const {
    if (text.empty()) return {};
    const int n = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const bool flags = !takesNoFlags(codePage);
    const DWORD how = flags ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL* used = flags ? &usedDefault : nullptr;
    char buf[32];
    int got =
        ::WideCharToMultiByte(cp(), how, wide(text.data()), n, buf, sizeof buf, nullptr, used);
    if (got <= 0 || usedDefault) return {};
    return std::string(buf, static_cast<size_t>(got));
  }

  int codePage = 0;
  unsigned maxBytes = 1;
};

SystemCodePage::SystemCodePage(int codePage) : impl_(std::make_unique<Impl>()) {
  CPINFO info{};
  if (codePage <= 0 || codePage > 65535 || !::GetCPInfo(static_cast<UINT>(codePage), &info)) {
    throw RuntimeError(err::kInvalidCall, "Code page " + std::to_string(codePage) +
                                              " is not available on this system");
  }
  impl_->codePage = codePage;
  impl_->maxBytes = info.MaxCharSize;
}

SystemCodePage::~SystemCodePage() = default;

bool SystemCodePage::decodeBulk(std::string_view bytes, std::u16string& out) {
  const size_t at = out.size();
  return decodeStrict(impl_->cp(), bytes, out) &&
         !impl_->holdsUndefined(std::u16string_view(out).substr(at));
}

void SystemCodePage::decodeEach(std::string_view bytes, std::u16string& out) {
  const Impl& s = *impl_;
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t k = s.charLength(bytes, pos);
    std::string_view one = bytes.substr(pos, k);
    std::u16string piece;
    if (decodeStrict(s.cp(), one, piece) && !piece.empty() &&
        !(piece.size() == 1 &&
          (isHigh(piece[0]) || isLow(piece[0]) || standsForUndefinedByte(s.codePage, piece[0]))) &&
        s.encodeExact(piece) == one) {
      out += piece;
    } else {
      appendEscapes(one, out);
    }
    pos += k;
  }
}

// A best fit does not count.
bool SystemCodePage::holds(char32_t c) {
  const Impl& s = *impl_;
  std::u16string one;
  appendUtf16(one, c);
  if (standsForUndefinedByte(s.codePage, one[0])) return false;
  const std::string bytes = s.encodeExact(one);
  if (bytes.empty()) return false;
  std::u16string back;
  return decodeStrict(s.cp(), bytes, back) && back == one;
}

void SystemCodePage::encodeRun(std::u16string_view run, std::string& out) {
  const UINT cp = impl_->cp();
  while (!run.empty()) {
    const size_t take = run.size() > 0x10000000 ? 0x10000000 : run.size();
    const int n = static_cast<int>(take);
    const int need =
        ::WideCharToMultiByte(cp, 0, wide(run.data()), n, nullptr, 0, nullptr, nullptr);
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(need > 0 ? need : 0));
    if (need > 0)
      ::WideCharToMultiByte(cp, 0, wide(run.data()), n, out.data() + at, need, nullptr, nullptr);
    run.remove_prefix(take);
  }
}

}  // namespace detail
}  // namespace dorvane::text
