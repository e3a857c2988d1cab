// libzip's calls as the workbook package makes them, through a table filled
// on first use. On Linux the library is loaded then, so a program that opens
// no workbook file never maps it (nor what it pulls in: libcrypto, libbz2,
// zlib); on Windows the table points at the linked library.
#pragma once

#include <zip.h>

// Every libzip function the package calls.
// clang-format off
#define DORVANE_ZIP_CALLS(X) \
  X(zip_open) \
  X(zip_close) \
  X(zip_discard) \
  X(zip_strerror) \
  X(zip_error_init_with_code) \
  X(zip_error_strerror) \
  X(zip_error_fini) \
  X(zip_get_num_entries) \
  X(zip_get_name) \
  X(zip_name_locate) \
  X(zip_stat_init) \
  X(zip_stat_index) \
  X(zip_fopen_index) \
  X(zip_fread) \
  X(zip_fclose) \
  X(zip_file_strerror) \
  X(zip_file_set_mtime) \
  X(zip_delete) \
  X(zip_file_add) \
  X(zip_file_replace) \
  X(zip_set_file_compression) \
  X(zip_source_buffer) \
  X(zip_source_free)
// clang-format on

namespace dorvane::sheet::ooxml {

struct ZipApi {
#define DORVANE_ZIP_MEMBER(name) decltype(&::name) name = nullptr;
  DORVANE_ZIP_CALLS(DORVANE_ZIP_MEMBER)
#undef DORVANE_ZIP_MEMBER
};

// The calls, loaded on the first use (thread-safe). Raises 75 naming the
// loader's reason when libzip cannot be loaded.
const ZipApi& libzip();

}  // namespace dorvane::sheet::ooxml
