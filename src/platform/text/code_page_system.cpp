// The code page converters of a POSIX system: glibc's iconv.
#include "platform/text/code_page_system.h"

#include <dorvane/runtime_error.h>
#include <iconv.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/text/code_page.h"
#include "platform/text/code_page_rules.h"
#include "platform/text/code_page_table.h"
#include "platform/text/utf.h"

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

void appendCodePoints(const char32_t* cps, size_t n, std::u16string& out) {
  for (size_t i = 0; i < n; ++i) appendUtf16(out, cps[i]);
}

}  // namespace

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

namespace detail {

struct SystemCodePage::Impl {
  explicit Impl(int codePage)
      : codePage(codePage),
        name(iconvName(codePage)),
        toUnicode(kUcs4, name.c_str()),
        charToUnicode(kUcs4, name.c_str()),
        fromUnicode(name.c_str(), kUcs4),
        charFromUnicode(name.c_str(), kUcs4) {}

  // The bytes of one character, or "" when the code page has none for it.
  std::string encodeChar(char32_t cp) {
    charFromUnicode.reset();
    const char* in = reinterpret_cast<const char*>(&cp);
    size_t inLeft = sizeof cp;
    char buf[16];
    char* o = buf;
    size_t oLeft = sizeof buf;
    if (charFromUnicode.convert(in, inLeft, o, oLeft) != 0) return {};
    charFromUnicode.flush(o, oLeft);
    return std::string(buf, sizeof buf - oLeft);
  }

  // What iconv makes of bytes converted whole, for the table.
  DecodeProbe decodeProbe(std::string_view bytes) {
    charToUnicode.reset();
    const char* in = bytes.data();
    size_t inLeft = bytes.size();
    char32_t back[2] = {0, 0};
    char* o = reinterpret_cast<char*>(back);
    size_t oLeft = sizeof back;
    int e = charToUnicode.convert(in, inLeft, o, oLeft);
    size_t n = (sizeof back - oLeft) / sizeof(char32_t);
    if (e == 0 && inLeft == 0 && n == 1) return {DecodeProbe::kChar, back[0]};
    if (e == EINVAL && n == 0 && inLeft == bytes.size()) return {DecodeProbe::kIncomplete, 0};
    if (e == EILSEQ && n == 0 && inLeft == bytes.size()) return {DecodeProbe::kInvalid, 0};
    return {DecodeProbe::kOther, 0};
  }

  int codePage;
  std::string name;
  Iconv toUnicode, charToUnicode, fromUnicode, charFromUnicode;
  std::vector<char32_t> points;  // encodeRun's code points, kept for the next run
  // iconv's answers kept, for the code pages a table can hold; dropped when
  // it cannot answer for a page.
  std::unique_ptr<CodePageTable> table;
};

SystemCodePage::SystemCodePage(int codePage) : impl_(std::make_unique<Impl>(codePage)) {
  Impl& s = *impl_;
  if (!s.toUnicode.ok() || !s.charToUnicode.ok() || !s.fromUnicode.ok() ||
      !s.charFromUnicode.ok()) {
    throw RuntimeError(err::kInvalidCall, "Code page " + std::to_string(codePage) +
                                              " is not available (iconv has no converter '" +
                                              s.name + "')");
  }
  s.table = CodePageTable::make(
      codePage, [&s](std::string_view bytes) { return s.decodeProbe(bytes); },
      [&s](char32_t cp) { return s.encodeChar(cp); });
}

SystemCodePage::~SystemCodePage() = default;

void convertThroughSystemOnly(SystemCodePage& page) { page.impl_->table.reset(); }

// Each undecodable byte (or pair) becomes escapes; the result is always
// worth checking.
bool SystemCodePage::decodeBulk(std::string_view bytes, std::u16string& out) {
  Impl& s = *impl_;
  if (s.table) {
    if (s.table->decodeBulk(bytes, out)) return true;
    s.table.reset();
  }
  s.toUnicode.reset();
  const char* in = bytes.data();
  size_t inLeft = bytes.size();
  char32_t buf[2048];
  while (inLeft > 0) {
    char* o = reinterpret_cast<char*>(buf);
    size_t oLeft = sizeof buf;
    int e = s.toUnicode.convert(in, inLeft, o, oLeft);
    appendCodePoints(buf, (sizeof buf - oLeft) / sizeof(char32_t), out);
    if (e == 0 || e == E2BIG) continue;
    size_t pos = bytes.size() - inLeft;
    size_t k = rules::escapeLength(s.codePage, bytes, pos);
    rules::appendEscapes(bytes.substr(pos, k), out);
    in += k;
    inLeft -= k;
    s.toUnicode.reset();
  }
  char* o = reinterpret_cast<char*>(buf);
  size_t oLeft = sizeof buf;
  s.toUnicode.flush(o, oLeft);
  appendCodePoints(buf, (sizeof buf - oLeft) / sizeof(char32_t), out);
  return true;
}

void SystemCodePage::decodeEach(std::string_view bytes, std::u16string& out) {
  Impl& s = *impl_;
  if (s.table) {
    if (s.table->decodeEach(bytes, out)) return;
    s.table.reset();
  }
  size_t pos = 0;
  s.charToUnicode.reset();
  while (pos < bytes.size()) {
    const char* in = bytes.data() + pos;
    size_t inLeft = bytes.size() - pos;
    char32_t cp = 0;
    char* o = reinterpret_cast<char*>(&cp);
    size_t oLeft = sizeof cp;
    s.charToUnicode.convert(in, inLeft, o, oLeft);
    size_t used = bytes.size() - pos - inLeft;
    if (used > 0 && oLeft == 0 && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) &&
        s.encodeChar(cp) == bytes.substr(pos, used)) {
      appendUtf16(out, cp);
      pos += used;
      continue;
    }
    size_t k = used > 0 ? used : rules::escapeLength(s.codePage, bytes, pos);
    rules::appendEscapes(bytes.substr(pos, k), out);
    pos += k;
    s.charToUnicode.reset();
  }
}

// A lossy mapping (bytes that decode to another character) does not count.
bool SystemCodePage::holds(char32_t cp) {
  Impl& s = *impl_;
  if (s.table) {
    if (std::optional<bool> held = s.table->holds(cp)) return *held;
  }
  std::string bytes = s.encodeChar(cp);
  if (bytes.empty()) return false;
  s.charToUnicode.reset();
  const char* in = bytes.data();
  size_t inLeft = bytes.size();
  char32_t back[2] = {0, 0};
  char* o = reinterpret_cast<char*>(back);
  size_t oLeft = sizeof back;
  return s.charToUnicode.convert(in, inLeft, o, oLeft) == 0 && inLeft == 0 &&
         oLeft == sizeof back - sizeof(char32_t) && back[0] == cp;
}

// One bulk conversion of the run's code points (a held character is never
// half a surrogate pair).
void SystemCodePage::encodeRun(std::u16string_view run, std::string& out) {
  if (run.empty()) return;
  Impl& s = *impl_;
  if (s.table && s.table->encodeRun(run, out)) return;
  s.points.clear();
  for (size_t i = 0; i < run.size(); ++i) {
    char32_t cp = run[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < run.size() && run[i + 1] >= 0xDC00 &&
        run[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (run[++i] - 0xDC00);
    }
    s.points.push_back(cp);
  }
  s.fromUnicode.reset();
  const char* in = reinterpret_cast<const char*>(s.points.data());
  size_t inLeft = s.points.size() * sizeof(char32_t);
  char buf[8192];
  while (inLeft > 0) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    int e = s.fromUnicode.convert(in, inLeft, o, oLeft);
    out.append(buf, sizeof buf - oLeft);
    if (e == 0 || e == E2BIG) continue;
    // Not expected for held characters; never lose one: write a reference.
    rules::appendReference(out, s.points[s.points.size() - inLeft / sizeof(char32_t)]);
    in += sizeof(char32_t);
    inLeft -= sizeof(char32_t);
    s.fromUnicode.reset();
  }
  char* o = buf;
  size_t oLeft = sizeof buf;
  s.fromUnicode.flush(o, oLeft);
  out.append(buf, sizeof buf - oLeft);
}

}  // namespace detail
}  // namespace dorvane::text
