// Fuzz target: arbitrary bytes opened and read as an Access file through the
// engine's Access reader — the catalog, every table with its indexes, every
// stored query. Whatever the bytes, the process must not crash, hang or leak:
// a damaged file is a RuntimeError.
#include <dorvane/runtime_error.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/db/access/access_database.h"
#include "platform/db/file_format.h"

using namespace dorvane;

namespace {

void readAll(Recordset& rs) {
  for (long n = 0; !rs.Eof() && n < 100000; ++n) rs.MoveNext();
}

void exercise(const std::shared_ptr<db::AccessFile>& file) {
  auto database = std::make_shared<db::AccessDatabase>(file, u"fuzz");
  for (const auto& entry : file->catalog()) {
    if (entry.type != db::object_type::kTable && entry.type != db::object_type::kQuery) continue;
    try {
      auto rs = database->OpenRecordset(entry.name);
      readAll(*rs);
      if (const auto* t = file->imported(entry.name)) {
        for (const auto& index : t->indexes) {
          rs->setIndex(index.name);
          rs->Seek(u"=", Variant::string(u"A01"));
        }
      }
    } catch (const RuntimeError&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/dorvane_fuzz_" + std::to_string(::getpid()) + ".mdb";
  db::FileFormat format = db::detectFormat(data, size);
  if (format != db::FileFormat::Jet3 && format != db::FileFormat::Jet4 &&
      format != db::FileFormat::Ace)
    return 0;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  try {
    exercise(db::AccessFile::open(path, format));
  } catch (const RuntimeError&) {
  }
  return 0;
}
