// What the system's converter does with each byte, byte pair and character of
// one code page, asked of the converter once and kept: a page then converts
// by table lookups instead of a call into the converter per run. Holds only
// for code pages whose characters are one byte, or a lead byte and a trail
// byte, each converted on its own (single-byte pages, and the double-byte
// ones of rules::isDoubleByte); for any other the table declines and the
// caller converts through the system. Every answer is the system's own, so
// the bytes and text are those of converting through it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane::text::detail {

// What the system makes of a short byte sequence converted whole.
struct DecodeProbe {
  enum Kind : std::uint8_t {
    kChar,        // exactly one code point, all bytes used
    kIncomplete,  // the bytes begin a longer character
    kInvalid,     // the first byte starts no character
    kOther,       // anything else: the table cannot stand in for the system
  };
  Kind kind;
  char32_t cp;
};

class CodePageTable {
 public:
  using Decode = std::function<DecodeProbe(std::string_view)>;
  // The bytes of one character, "" when the code page has none for it.
  using Encode = std::function<std::string(char32_t)>;

  // The table of codePage, or nullptr when its characters are not one byte
  // or a pair. decode and encode must outlive the table.
  static std::unique_ptr<CodePageTable> make(int codePage, Decode decode, Encode encode);

  // Appends bytes decoded as the system does in bulk, each undecodable byte
  // (or pair) as escapes. False (out as it was) when the table cannot answer.
  bool decodeBulk(std::string_view bytes, std::u16string& out);
  // As decodeBulk, but a character whose bytes do not come back the same
  // when encoded is kept as escapes of its bytes.
  bool decodeEach(std::string_view bytes, std::u16string& out);
  // True when the code page has bytes for cp and they decode to cp again;
  // nothing when the table cannot answer (cp outside the BMP among them).
  std::optional<bool> holds(char32_t cp);
  // Appends run (characters the code page holds) encoded; false (out as it
  // was) when some character is not in the table.
  bool encodeRun(std::u16string_view run, std::string& out);

 private:
  static constexpr char32_t kNone = 0xFFFFFFFF;      // no character
  static constexpr char32_t kNotAsked = 0xFFFFFFFE;  // a pair not met yet
  CodePageTable(int codePage, Decode decode, Encode encode);
  // The character at pos and its length: 0 when the bytes there do not
  // decode, -1 when the table cannot answer.
  int decodeAt(std::string_view bytes, size_t pos, char32_t& cp);
  // A lead byte's 256 pairs, kNotAsked until met.
  const char32_t* pairs(unsigned char lead) {
    return block_[lead] != 0 ? pairs_.data() + (block_[lead] - 1) * 256 : newBlock(lead);
  }
  const char32_t* newBlock(unsigned char lead);
  // The held bytes of a BMP character: 1 << 24 | byte, 2 << 24 | pair,
  // kNotHeld, or kRefused when the table cannot answer.
  std::uint32_t bytesOf(char32_t cp);

  int codePage_;
  Decode decode_;
  Encode encode_;
  bool refused_ = false;    // a pair behaved unlike a character: the table no longer answers
  bool asciiAsIs_ = false;  // U+0000..U+007F held, each as its own byte
  char32_t single_[256];    // a byte alone: its character or kNone
  bool lead_[256];          // a byte that begins a pair
  std::vector<std::uint16_t> block_;  // per lead byte: 1 + its index in pairs_, or 0
  std::vector<char32_t> pairs_;       // 256 per lead byte met
  struct Free {
    void operator()(std::uint32_t* p) const { std::free(p); }
  };
  std::unique_ptr<std::uint32_t[], Free>
      encoded_;  // per BMP character, bytesOf, kUnasked until asked
};

}  // namespace dorvane::text::detail
