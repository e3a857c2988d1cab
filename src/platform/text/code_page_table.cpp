#include "platform/text/code_page_table.h"

#include <cstdlib>
#include <new>

#include "platform/text/code_page_rules.h"
#include "platform/text/utf.h"

namespace dorvane::text::detail {

namespace {
// encoded_'s values besides bytes: 0 until asked, so the table starts zeroed.
constexpr std::uint32_t kUnasked = 0;
constexpr std::uint32_t kNotHeld = 0xFFFFFFFF;
constexpr std::uint32_t kRefused = 0xFFFFFFFE;  // not kept: the table cannot answer
}  // namespace

std::unique_ptr<CodePageTable> CodePageTable::make(int codePage, Decode decode, Encode encode) {
  std::unique_ptr<CodePageTable> t(
      new CodePageTable(codePage, std::move(decode), std::move(encode)));
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    DecodeProbe p = t->decode_(std::string_view(&byte, 1));
    if (p.kind == DecodeProbe::kOther) return nullptr;
    t->single_[b] = p.kind == DecodeProbe::kChar ? p.cp : kNone;
    t->lead_[b] = p.kind == DecodeProbe::kIncomplete;
    if (t->lead_[b] && !rules::isDoubleByte(codePage)) return nullptr;
  }
  bool asIs = true;
  for (char32_t c = 0; c < 0x80; ++c) asIs = asIs && t->bytesOf(c) == (1u << 24 | c);
  t->asciiAsIs_ = asIs;
  return t;
}

CodePageTable::CodePageTable(int codePage, Decode decode, Encode encode)
    : codePage_(codePage),
      decode_(std::move(decode)),
      encode_(std::move(encode)),
      block_(256, 0),
      // All kUnasked; calloc's fresh pages cost nothing until touched.
      encoded_(static_cast<std::uint32_t*>(std::calloc(0x10000, sizeof(std::uint32_t)))) {
  if (!encoded_) throw std::bad_alloc();
  // Half a surrogate pair is no character of any code page.
  for (char32_t c = 0xD800; c <= 0xDFFF; ++c) encoded_[c] = kNotHeld;
}

// A lead byte's pairs, each asked of the system the first time it is met.
const char32_t* CodePageTable::newBlock(unsigned char lead) {
  pairs_.insert(pairs_.end(), 256, kNotAsked);
  block_[lead] = static_cast<std::uint16_t>(pairs_.size() / 256);
  return pairs_.data() + (block_[lead] - 1) * 256;
}

int CodePageTable::decodeAt(std::string_view bytes, size_t pos, char32_t& cp) {
  const auto b = static_cast<unsigned char>(bytes[pos]);
  if (single_[b] != kNone) {
    cp = single_[b];
    return 1;
  }
  if (!lead_[b] || pos + 1 >= bytes.size()) return 0;
  if (refused_) return -1;
  const auto t = static_cast<unsigned char>(bytes[pos + 1]);
  cp = pairs(b)[t];
  if (cp == kNotAsked) {
    DecodeProbe p = decode_(bytes.substr(pos, 2));
    if (p.kind != DecodeProbe::kChar && p.kind != DecodeProbe::kInvalid) {
      refused_ = true;  // not a pair as the table knows them
      return -1;
    }
    cp = p.kind == DecodeProbe::kChar ? p.cp : kNone;
    pairs_[(block_[b] - 1) * 256 + t] = cp;
  }
  return cp == kNone ? 0 : 2;
}

bool CodePageTable::decodeBulk(std::string_view bytes, std::u16string& out) {
  const size_t start = out.size();
  // At most two UTF-16 units per byte; written in place, then cut to size.
  out.resize(start + 2 * bytes.size());
  char16_t* o = out.data() + start;
  size_t pos = 0;
  while (pos < bytes.size()) {
    const char32_t one = single_[static_cast<unsigned char>(bytes[pos])];
    if (one < 0x10000) {
      *o++ = static_cast<char16_t>(one);
      ++pos;
      continue;
    }
    char32_t cp;
    int n = decodeAt(bytes, pos, cp);
    if (n < 0) {
      out.resize(start);
      return false;
    }
    if (n > 0) {
      if (cp < 0x10000) {
        *o++ = static_cast<char16_t>(cp);
      } else {
        std::u16string units;
        appendUtf16(units, cp);
        for (char16_t u : units) *o++ = u;
      }
      pos += n;
      continue;
    }
    for (size_t k = rules::escapeLength(codePage_, bytes, pos); k > 0; --k, ++pos)
      *o++ = static_cast<char16_t>(rules::kEscapeBase + static_cast<unsigned char>(bytes[pos]));
  }
  out.resize(o - out.data());
  return true;
}

bool CodePageTable::decodeEach(std::string_view bytes, std::u16string& out) {
  const size_t start = out.size();
  size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t cp = 0;
    int n = decodeAt(bytes, pos, cp);
    if (n < 0) {
      out.resize(start);
      return false;
    }
    if (n > 0 && cp < 0x10000) {
      std::uint32_t held = bytesOf(cp);
      std::uint32_t here = n == 1 ? (1u << 24 | static_cast<unsigned char>(bytes[pos]))
                                  : (2u << 24 | static_cast<unsigned char>(bytes[pos]) << 8 |
                                     static_cast<unsigned char>(bytes[pos + 1]));
      if (held == kRefused) {
        out.resize(start);
        return false;
      }
      if (held == here) {
        out.push_back(static_cast<char16_t>(cp));
        pos += n;
        continue;
      }
    } else if (n > 0) {
      out.resize(start);  // outside the BMP: left to the system
      return false;
    }
    size_t k = n > 0 ? n : rules::escapeLength(codePage_, bytes, pos);
    rules::appendEscapes(bytes.substr(pos, k), out);
    pos += k;
  }
  return true;
}

std::uint32_t CodePageTable::bytesOf(char32_t cp) {
  std::uint32_t& slot = encoded_[cp];
  if (slot != kUnasked) return slot;
  slot = kNotHeld;
  std::string b = encode_(cp);
  char32_t back = kNone;
  if (!b.empty()) {
    int n = b.size() <= 2 ? decodeAt(b, 0, back) : -1;  // longer: no character the table knows
    if (n < 0) {
      slot = kUnasked;
      return kRefused;
    }
    if (n != static_cast<int>(b.size())) back = kNone;
  }
  if (back == cp) {
    slot =
        b.size() == 1
            ? (1u << 24 | static_cast<unsigned char>(b[0]))
            : (2u << 24 | static_cast<unsigned char>(b[0]) << 8 | static_cast<unsigned char>(b[1]));
  }
  return slot;
}

std::optional<bool> CodePageTable::holds(char32_t cp) {
  if (cp >= 0x10000 || rules::isHigh(static_cast<char16_t>(cp)) ||
      rules::isLow(static_cast<char16_t>(cp)))
    return std::nullopt;
  std::uint32_t b = bytesOf(cp);
  if (b == kRefused) return std::nullopt;
  return b != kNotHeld;
}

bool CodePageTable::encodeRun(std::u16string_view run, std::string& out) {
  const size_t start = out.size();
  // At most two bytes per character; written in place, then cut to size.
  out.resize(start + 2 * run.size());
  char* o = out.data() + start;
  for (char16_t c : run) {
    if (c < 0x80 && asciiAsIs_) {
      *o++ = static_cast<char>(c);
      continue;
    }
    std::uint32_t b = encoded_[c];
    if (b == kUnasked) b = bytesOf(c);
    if (b == kNotHeld || b == kRefused) {
      out.resize(start);
      return false;
    }
    if (b >> 24 == 2) *o++ = static_cast<char>(b >> 8 & 0xFF);
    *o++ = static_cast<char>(b & 0xFF);
  }
  out.resize(o - out.data());
  return true;
}

}  // namespace dorvane::text::detail
