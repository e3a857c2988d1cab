// Conversion between page files in a code page (932, Shift-JIS, by default)
// and the system's UTF-16 text, through glibc's iconv.
//
// The conversion is lossless in both directions for everything a page file
// can hold:
//   - a byte (or a two-byte sequence) that is not valid in the code page, or
//     that would not come back as the same bytes, is decoded as one escape
//     per byte: the lone low surrogate U+DC00 + byte. Escapes never equal an
//     ASCII character, so searches for markers never misread them, and encode
//     turns each back into its byte;
//   - a character the code page cannot hold (or holds only by a lossy mapping,
//     such as U+00A5 onto the byte of "\") is encoded as an HTML numeric
//     character reference "&#N;" with the decimal code point (a surrogate pair
//     is one reference), never as "?".
// So decode followed by encode gives the original bytes back, whatever they are.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace dorvane::text {

// The iconv name of a code page number: 932 "CP932", 65001 "UTF-8",
// 20932/51932 "EUC-JP", 28591 "ISO-8859-1", 20127 "ASCII", others "CP<n>".
std::string iconvName(int codePage);

// True when iconv has a converter for the code page.
bool codePageAvailable(int codePage);

// bytes (in codePage) to UTF-16, invalid bytes as escapes U+DC00 + byte.
// Raises 5 when iconv has no converter for codePage, 7 when out of memory.
std::u16string decodeCodePage(std::string_view bytes, int codePage);

// UTF-16 to bytes in codePage: escapes U+DC00..U+DCFF become their byte, a
// character the code page cannot hold "&#N;". Raises 5 when iconv has no
// converter for codePage.
std::string encodeCodePage(std::u16string_view text, int codePage);

class Converter;

// One code page's converters, kept to convert a large page piece by piece
// (the calling thread's own, which the object must not outlive or leave)
// without holding it whole in both forms. Gives the same text and bytes as
// decodeCodePage and encodeCodePage of the whole when each piece to decode
// ends just after a line end byte (or is the last) and no piece to encode
// ends between the two halves of a surrogate pair. Raises 5 when iconv has no
// converter for codePage; bad_alloc when out of memory.
class CodePageConverter {
 public:
  explicit CodePageConverter(int codePage);
  ~CodePageConverter();
  CodePageConverter(const CodePageConverter&) = delete;
  CodePageConverter& operator=(const CodePageConverter&) = delete;

  void decodeAppend(std::string_view bytes, std::u16string& out);
  std::string encode(std::u16string_view text);

 private:
  std::unique_ptr<Converter> own_;  // when the thread keeps none for codePage
  Converter* impl_;
};

}  // namespace dorvane::text
