// The system's conversion functions for one code page, as code_page.cpp uses
// them to keep the rules of code_page.h. One file per system:
// code_page_system.cpp (glibc's iconv) and code_page_system_windows.cpp
// (MultiByteToWideChar and WideCharToMultiByte).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace dorvane::text::detail {

// Not copied (it owns the system's converters); one thread at a time.
class SystemCodePage {
 public:
  // Raises 5 when the system has no converter for codePage.
  explicit SystemCodePage(int codePage);
  ~SystemCodePage();

  // Appends bytes decoded in bulk to out. False when the system cannot
  // decode them whole in a form worth checking; the caller then decodes
  // them by decodeEach. On true the caller still checks that encoding gives
  // the bytes back.
  bool decodeBulk(std::string_view bytes, std::u16string& out);
  // Appends bytes decoded one character at a time to out: a character whose
  // bytes do not come back the same when encoded is kept as escapes of its
  // bytes (rules::appendEscapes).
  void decodeEach(std::string_view bytes, std::u16string& out);
  // True when the code page has bytes for cp and they decode to cp again.
  bool holds(char32_t cp);
  // Appends run, whose characters the code page holds, encoded in bulk.
  void encodeRun(std::u16string_view run, std::string& out);

  // POSIX: from now on converts through iconv alone, without the table of
  // its answers (code_page_table.h), to check the table against.
  friend void convertThroughSystemOnly(SystemCodePage& page);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dorvane::text::detail
