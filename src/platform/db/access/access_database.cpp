#include "platform/db/access/access_database.h"

#include <dorvane/runtime_error.h>

#include <filesystem>

#include "platform/db/access/access_header.h"
#include "platform/db/access/access_table_cache.h"
#include "platform/db/access/jet_collation.h"
#include "platform/db/access_sql_translate.h"
#include "platform/db/file_cache.h"
#include "platform/db/odbc_connect_string.h"
#include "platform/db/sqlite/sqlite_recordset.h"
#include "platform/db/sqlite/sqlite_values.h"
#include "platform/file/input_file.h"
#include "platform/file/utf8_path.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"
#include "platform/worker_state.h"

namespace dorvane::db {

namespace {

namespace fs = std::filesystem;
using file::pathOf;
using file::utf8Of;

std::size_t pageSize(FileFormat format) { return format == FileFormat::Jet3 ? 2048 : 4096; }

[[noreturn]] void damaged(const std::string& path, const std::string& why) {
  throw RuntimeError(err::kCannotOpenDatabase,
                     "The Access file '" + path + "' is damaged: " + why + ".");
}

// Per worker, like the engine's SQLite connections: the objects serve one
// thread at a time.
platform::WorkerLocal<FileCache<std::shared_ptr<AccessFile>>> cache;

// The first bytes of the file at utf8Path (fewer when it is shorter, none
// when it cannot be read).
std::size_t readHead(const std::string& utf8Path, std::uint8_t* into, std::size_t size) {
  file::InputFile in;
  if (in.open(utf8Path) != file::InputFile::Status::Ok) return 0;
  const long long got = in.readAt(0, reinterpret_cast<char*>(into), size);
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

FileFormat formatOf(const std::string& path) {
  std::uint8_t header[64];
  return detectFormat(header, readHead(path, header, sizeof header));
}

}  // namespace

// ---- AccessFile ------------------------------------------------------------

AccessFile::AccessFile(std::string path, FileFormat format)
    : path_(std::move(path)), format_(format), connection_(SqliteConnection::openMemory()) {
  registerJetCollation(connection_->handle());
  shelf_ = registerStoreModule(connection_->handle());
}

std::shared_ptr<AccessFile> AccessFile::open(const std::string& utf8Path, FileFormat format) {
  file::FileIdentity id;
  if (file::identifyFile(utf8Path, id) != file::FileKind::Regular)
    throw RuntimeError(err::kFileNotFound, "Could not find file '" + utf8Path + "'.");
  const auto page = static_cast<std::int64_t>(pageSize(format));
  if (id.size < 2 * page) damaged(utf8Path, "it is shorter than two pages (truncated)");
  if (id.size % page != 0)
    damaged(utf8Path, "its size is not a whole number of " + std::to_string(page) +
                          "-byte pages (truncated)");
  std::uint8_t header[256];
  const std::size_t got = readHead(utf8Path, header, sizeof header);
  // Access asks for the password; the engine has none to give.
  if (hasDatabasePassword(header, got, format))
    throw RuntimeError(err::kNotValidPassword,
                       "Not a valid password: the Access file '" + utf8Path +
                           "' is protected by a database password, and the engine has none to "
                           "give.");
  std::shared_ptr<AccessFile> file(new AccessFile(utf8Path, format));
  CollectSink objects;
  readAccessTableCached(utf8Path, "MSysObjects", objects);
  file->catalog_ = catalogFromRows(objects, utf8Path);
  return file;
}

const CatalogEntry* AccessFile::find(const std::u16string& name) const {
  for (const auto& e : catalog_)
    if (e.type == object_type::kTable || e.type == object_type::kQuery ||
        e.type == object_type::kLinkedTable || e.type == object_type::kOdbcLinkedTable)
      if (text::equalsText(e.name, name)) return &e;
  return nullptr;
}

const ImportedTable* AccessFile::imported(const std::u16string& name) const {
  for (const auto& t : imported_)
    if (text::equalsText(t.name, name)) return &t;
  return nullptr;
}

std::optional<IndexDef> AccessFile::index(const std::u16string& table,
                                          const std::u16string& index) const {
  // The copy needs no index of its own: a Seek's comparison is answered from
  // the column's lookup (access_virtual_table.h).
  if (const ImportedTable* t = imported(table))
    for (const auto& x : t->indexes)
      if (text::equalsText(x.name, index)) return x;
  return std::nullopt;
}

std::string AccessFile::linkedPath(const CatalogEntry& entry) const {
  std::string stored = entry.database;
  std::vector<fs::path> candidates;
  fs::path p = pathOf(stored);
  if (!stored.empty()) {
    if (p.is_absolute()) {
      candidates.push_back(p);
    } else {
      candidates.push_back(pathOf(path_).parent_path() / p);
      std::error_code ec;
      fs::path cwd = fs::current_path(ec);
      if (!ec) candidates.push_back(cwd / p);
    }
  }
  for (const auto& c : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(c, ec)) return utf8Of(c);
  }
  throw RuntimeError(err::kFileNotFound, "Could not find file '" + stored +
                                             "': the linked table '" + text::toUtf8(entry.name) +
                                             "' of '" + path_ + "' links to it.");
}

void AccessFile::importTable(const CatalogEntry& entry, const std::string& file,
                             const std::string& table) {
  imported_.push_back(importAccessTable(connection_->handle(), *shelf_, entry.name, file, table));
}

const std::vector<QueryRow>* AccessFile::queryRows(const CatalogEntry& entry) {
  if (!queryRows_) {
    CollectSink rows;
    readAccessTableCached(path_, "MSysQueries", rows);
    queryRows_ = queryRowsFromRows(rows);
  }
  auto it = queryRows_->find(entry.id);
  return it == queryRows_->end() ? nullptr : &it->second;
}

std::string AccessFile::querySql(const CatalogEntry& entry) {
  const std::vector<QueryRow>* clauses = queryRows(entry);
  try {
    if (!clauses) throw TranslateError("MSysQueries holds no clause of it");
    return buildQuerySql(*clauses, entry.flags, [this](const std::string& name) {
      const CatalogEntry* source = find(text::fromUtf8(name));
      if (!source) throw TranslateError("it reads from '" + name + "', which the file lacks");
      import(*source);
      SourceShape shape;
      shape.isTable = source->type != object_type::kQuery;
      Statement stmt = connection_->cachedStatement("SELECT name FROM pragma_table_info(?1)");
      bindVariant(stmt.get(), 1, Variant::string(source->name));
      while (stmt.step()) shape.columns.push_back(text::toUtf8(columnText16(stmt.get(), 0)));
      return shape;
    });
  } catch (const TranslateError& e) {
    throw RuntimeError(err::kSyntaxError, "The stored query '" + text::toUtf8(entry.name) +
                                              "' of '" + path_ + "' cannot be run: " + e.what() +
                                              ".");
  }
}

void AccessFile::import(const CatalogEntry& entry) {
  if (imported(entry.name)) return;
  switch (entry.type) {
    case object_type::kTable:
      importTable(entry, path_, text::toUtf8(entry.name));
      return;
    case object_type::kLinkedTable: {
      std::string file = linkedPath(entry);
      FileFormat f = formatOf(file);
      if (f != FileFormat::Jet3 && f != FileFormat::Jet4 && f != FileFormat::Ace) {
        throw RuntimeError(err::kCannotOpenDatabase,
                           "The linked table '" + text::toUtf8(entry.name) + "' of '" + path_ +
                               "' links to '" + file + "', which is no Access file.");
      }
      importTable(entry, file,
                  entry.foreignName.empty() ? text::toUtf8(entry.name) : entry.foreignName);
      return;
    }
    case object_type::kOdbcLinkedTable:
      // Its rows stay on the server: only statements over server tables alone run there.
      throw RuntimeError(err::kOperationNotSupported,
                         "The table '" + text::toUtf8(entry.name) + "' of '" + path_ +
                             "' is on a server (an ODBC link to '" + maskPasswords(entry.connect) +
                             "'); it can be read by name or by an SQL text over server tables "
                             "alone, not together with the file's own tables or queries.");
    case object_type::kQuery: {
      for (const auto& v : views_)
        if (text::equalsText(v, entry.name)) return;
      std::string sql = querySql(entry);
      std::string create = "CREATE VIEW " + text::toUtf8(quoteName(entry.name)) + " AS " + sql;
      char* msg = nullptr;
      if (sqlite3_exec(connection_->handle(), create.c_str(), nullptr, nullptr, &msg) !=
          SQLITE_OK) {
        std::string error = msg ? msg : "unknown error";
        sqlite3_free(msg);
        throw RuntimeError(err::kSyntaxError, "The stored query '" + text::toUtf8(entry.name) +
                                                  "' of '" + path_ + "' cannot be run (" + error +
                                                  "): " + sql);
      }
      views_.push_back(entry.name);
      return;
    }
    default:
      return;
  }
}

// ---- AccessDatabase --------------------------------------------------------

std::shared_ptr<Recordset> AccessDatabase::OpenRecordset(const std::u16string& source) {
  if (auto onServer = links_.open(source)) return onServer;
  return SqliteDatabase::OpenRecordset(source);
}

std::optional<IndexDef> AccessDatabase::findIndex(const std::u16string& table,
                                                  const std::u16string& index) {
  return file_->index(table, index);
}

bool AccessDatabase::importTable(const std::u16string& name) {
  const CatalogEntry* entry = file_->find(name);
  if (!entry || file_->imported(entry->name)) return false;
  file_->import(*entry);
  return true;
}

bool AccessDatabase::isLinked(const std::u16string& table) {
  const CatalogEntry* entry = file_->find(table);
  return entry &&
         (entry->type == object_type::kLinkedTable || entry->type == object_type::kOdbcLinkedTable);
}

std::shared_ptr<Database> cachedAccessDatabase(const file::FileIdentity& id,
                                               const std::u16string& name) {
  const auto* file = cache->find(id);
  return file ? std::make_shared<AccessDatabase>(*file, name) : nullptr;
}

std::shared_ptr<Database> openAccessDatabase(const std::string& utf8Path,
                                             const file::FileIdentity& id,
                                             const std::u16string& name, FileFormat format) {
  std::error_code ec;
  const fs::path canonical = fs::canonical(pathOf(utf8Path), ec);
  auto file = AccessFile::open(ec ? utf8Path : utf8Of(canonical), format);
  cache->keep(id, file);
  return std::make_shared<AccessDatabase>(file, name);
}

}  // namespace dorvane::db
