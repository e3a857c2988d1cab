// The rules every code page converter keeps, whichever functions convert
// (code_page.h): escapes for bytes that do not decode, "&#N;" for characters
// that do not encode, and what a double-byte code page's pairs look like.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dorvane::text::rules {

constexpr char16_t kEscapeBase = 0xDC00;  // U+DC00 + byte stands for an undecodable byte

inline bool isEscape(char16_t c) { return c >= 0xDC00 && c <= 0xDCFF; }
inline bool isHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool isLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Double-byte code pages: a lead byte followed by a trail byte is one
// character, so an invalid pair is escaped whole (its trail byte may be an
// ASCII letter that must not be read as one).
inline bool isDoubleByte(int cp) { return cp == 932 || cp == 936 || cp == 949 || cp == 950; }
inline bool isLead(int cp, unsigned char b) {
  if (cp == 932) return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  return b >= 0x81 && b <= 0xFE;
}
inline bool isTrail(int cp, unsigned char b) {
  if (cp == 932) return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
  return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// The length of the escape that starts at pos: a whole lead-trail pair of a
// double-byte code page, otherwise one byte.
inline size_t escapeLength(int cp, std::string_view bytes, size_t pos) {
  return isDoubleByte(cp) && pos + 1 < bytes.size() &&
                 isLead(cp, static_cast<unsigned char>(bytes[pos])) &&
                 isTrail(cp, static_cast<unsigned char>(bytes[pos + 1]))
             ? 2
             : 1;
}

inline void appendEscapes(std::string_view bytes, std::u16string& out) {
  for (char b : bytes)
    out.push_back(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(b)));
}

inline void appendReference(std::string& out, char32_t cp) {
  out += "&#";
  out += std::to_string(static_cast<std::uint32_t>(cp));
  out += ';';
}

// UTF-16 text to bytes, losing nothing: runs of characters the code page
// holds go to encodeRun(run, out) whole, escapes become their byte again, and
// every other character (a lone surrogate too) becomes "&#N;". holds(cp)
// tells whether the code page holds a code point.
template <class Holds, class EncodeRun>
std::string encodeKeepingEverything(std::u16string_view text, Holds&& holds,
                                    EncodeRun&& encodeRun) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  size_t run = 0;  // start of the run of characters the code page takes as they are
  size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (c < 0xD800 || c > 0xDFFF) {  // no half of a surrogate pair: most characters
      if (!holds(c)) {
        encodeRun(text.substr(run, i - run), out);
        appendReference(out, c);
        run = i + 1;
      }
      ++i;
      continue;
    }
    if (isHigh(c) && i + 1 < text.size() && isLow(text[i + 1])) {
      const char32_t cp =
          0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
      if (!holds(cp)) {
        encodeRun(text.substr(run, i - run), out);
        appendReference(out, cp);
        run = i + 2;
      }
      i += 2;
      continue;
    }
    // Half a surrogate pair on its own.
    encodeRun(text.substr(run, i - run), out);
    if (isEscape(c)) {
      out += static_cast<char>(c - kEscapeBase);
    } else {
      appendReference(out, c);  // a lone surrogate has no character to hold
    }
    run = ++i;
  }
  encodeRun(text.substr(run), out);
  return out;
}

}  // namespace dorvane::text::rules
