#include "report/html_text.h"

#include <cstdio>

#include "platform/text/utf.h"

namespace dorvane::report {

namespace {

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool isHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; }

bool startsWithAt(const std::u16string& s, size_t at, std::u16string_view word) {
  if (at + word.size() > s.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (upper(s[at + i]) != word[i]) return false;
  }
  return true;
}

}  // namespace

std::string escapeHtml(std::u16string_view s, bool markRawBytes) {
  std::string out;
  out.reserve(s.size() + s.size() / 4);
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    switch (c) {
      case u'&':
        out += "&amp;";
        continue;
      case u'<':
        out += "&lt;";
        continue;
      case u'>':
        out += "&gt;";
        continue;
      case u'"':
        out += "&quot;";
        continue;
      case u'\'':
        out += "&#39;";
        continue;
      case u'\t':
      case u'\n':
      case u'\r':
        out += static_cast<char>(c);
        continue;
      default:
        break;
    }
    if (isHigh(c) && i + 1 < s.size() && isLow(s[i + 1])) {
      appendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00));
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDCFF) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c - 0xDC00));
      if (markRawBytes) {
        out += "<span class=\"raw\" title=\"a byte the code page does not define\">";
        out += hex;
        out += "</span>";
      } else {
        out += hex;
      }
    } else if (isHigh(c) || isLow(c)) {
      appendUtf8(out, 0xFFFD);
    } else if (c < 0x20) {
      appendUtf8(out, 0x2400 + c);
    } else if (c == 0x7F) {
      appendUtf8(out, 0x2421);
    } else {
      appendUtf8(out, c);
    }
  }
  return out;
}

std::string escapeHtml(std::string_view utf8, bool markRawBytes) {
  return escapeHtml(text::fromUtf8(utf8), markRawBytes);
}

std::u16string maskPasswords(std::u16string s) {
  static constexpr std::u16string_view kWords[] = {u"PWD=", u"PASSWORD="};
  for (size_t i = 0; i < s.size(); ++i) {
    for (std::u16string_view word : kWords) {
      if (!startsWithAt(s, i, word)) continue;
      const size_t from = i + word.size();
      // A braced value ({...}) may hold ";".
      size_t end = from < s.size() && s[from] == u'{' ? s.find(u'}', from) : s.find(u';', from);
      if (end == std::u16string::npos) {
        end = s.size();
      } else if (s[from] == u'{') {
        ++end;
      }
      s.replace(from, end - from, u"****");
      i = from + 3;
      break;
    }
  }
  return s;
}

std::string maskPasswords(const std::string& utf8) {
  return text::toUtf8(maskPasswords(text::fromUtf8(utf8)));
}

}  // namespace dorvane::report
