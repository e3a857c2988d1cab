#include "platform/db/access_reader.h"

// mdbtools needs glib's declarations first.
#include <glib.h>
#include <mdbtools.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/db/access_values.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"

namespace dorvane::db {

namespace {

constexpr int kOffsetMask = 0x1FFF;
constexpr int kDeletedRow = 0x4000;
constexpr std::uint32_t kLvalInline = 0x80000000u;
constexpr std::uint32_t kLvalSinglePage = 0x40000000u;
constexpr std::uint32_t kLvalLengthMask = 0x3FFFFFFFu;

struct HandleCloser {
  void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFreer {
  void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

// The engine names the file and the table around the reader's message.
[[noreturn]] void fail(const std::string& /*path*/, const std::string& what) {
  throw std::runtime_error(what);
}

std::uint32_t load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

class TableReader {
 public:
  TableReader(MdbHandle* mdb, MdbTableDef* table, std::string path)
      : mdb_(mdb), table_(table), path_(std::move(path)), jet3_(IS_JET3(mdb)) {}

  AccessTableDef definition() const {
    AccessTableDef def;
    def.name = table_->name;
    for (unsigned i = 0; i < table_->num_cols; ++i) {
      auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, i));
      AccessColumn c;
      c.name = col->name;
      c.type = col->col_type;
      c.size = col->col_size;
      if (c.type == jet::kText && !jet3_) c.size /= 2;
      c.precision = col->col_prec;
      c.scale = col->col_scale;
      // mdbtools 1.0 gives the two the other way round; a scale is never
      // larger than its precision.
      if (c.scale > c.precision) std::swap(c.scale, c.precision);
      def.columns.push_back(c);
    }
    if (table_->indices) {
      for (unsigned i = 0; i < table_->indices->len; ++i) {
        auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(table_->indices, i));
        if (idx->num_keys == 0 || idx->num_keys > MDB_MAX_IDX_COLS) continue;
        AccessIndex x;
        x.name = idx->name;
        x.primaryKey = idx->index_type == 1;
        x.foreignKey = idx->index_type == 2;
        x.unique = (idx->flags & MDB_IDX_UNIQUE) != 0 || x.primaryKey;
        bool valid = true;
        for (unsigned k = 0; k < idx->num_keys; ++k) {
          int col = idx->key_col_num[k] - 1;
          if (col < 0 || col >= static_cast<int>(table_->num_cols)) valid = false;
          x.columns.push_back(col);
          x.descending.push_back(idx->key_col_order[k] == MDB_DESC);
        }
        if (valid) def.indexes.push_back(std::move(x));
      }
    }
    return def;
  }

  // Walks the table's data pages the way mdb_fetch_row does, but cracks each
  // row only once and reads the stored bytes, so Null and '' stay apart.
  void readRows(TableSink& sink) {
    const unsigned ncols = table_->num_cols;
    std::vector<MdbField> fields(ncols ? ncols : 1);
    std::vector<JetValue> row(ncols);
    mdb_rewind_table(table_);
    table_->cur_pg_num = 1;
    table_->cur_row = 0;
    if (ncols == 0) return;
    while (mdb_read_next_dpg(table_)) {
      int rows = mdb_get_int16(mdb_->pg_buf, mdb_->fmt->row_count_offset);
      if (rows < 0 || rows > 1000) fail(path_, "a damaged data page in table '" + name() + "'");
      for (int r = 0; r < rows; ++r) {
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb_, r, &start, &size) != 0 || size == 0) continue;
        if (start & kDeletedRow) continue;
        start &= kOffsetMask;
        std::memset(fields.data(), 0, fields.size() * sizeof(MdbField));
        for (auto& f : fields) f.colnum = -1;
        // A row written before columns were added holds fewer columns than
        // the table; mdbtools gives the missing ones as Null.
        if (mdb_crack_row(table_, start, size, fields.data()) < 0) continue;
        for (unsigned i = 0; i < ncols; ++i) {
          const MdbField& f = fields[i];
          if (f.colnum < 0 || f.colnum >= static_cast<int>(ncols))
            fail(path_, "a damaged row in table '" + name() + "'");
          auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, f.colnum));
          row[f.colnum] = value(col, f);
        }
        sink.row(row);
      }
    }
  }

 private:
  std::string name() const { return table_->name; }

  bool inPage(const MdbField& f) const {
    return f.siz >= 0 && f.start >= 0 &&
           static_cast<size_t>(f.start) + static_cast<size_t>(f.siz) <= sizeof mdb_->pg_buf &&
           f.value == mdb_->pg_buf + f.start;
  }

  JetValue value(MdbColumn* col, const MdbField& f) {
    JetValue v;
    if (col->col_type == jet::kBoolean) {
      v.kind = JetValue::Kind::Integer;
      v.i = f.is_null ? 0 : 1;  // a Yes/No value lives in the null mask: set means Yes
      return v;
    }
    if (f.is_null) return v;
    if (!inPage(f)) fail(path_, "a damaged value in column '" + std::string(col->name) + "'");
    const auto* p = static_cast<const std::uint8_t*>(f.value);
    size_t n = static_cast<size_t>(f.siz);
    try {
      switch (col->col_type) {
        case jet::kText:
          v.kind = JetValue::Kind::Text;
          v.text = text(p, n);
          return v;
        case jet::kMemo: {
          std::vector<std::uint8_t> bytes = longValue(p, n, col->name);
          v.kind = JetValue::Kind::Text;
          v.text = text(bytes.data(), bytes.size());
          return v;
        }
        case jet::kOle:
          v.kind = JetValue::Kind::Blob;
          v.bytes = longValue(p, n, col->name);
          return v;
        default:
          return decodeFixedValue(col->col_type, p, n, std::min(col->col_scale, col->col_prec));
      }
    } catch (const std::runtime_error& e) {
      fail(path_,
           std::string(e.what()) + " in column '" + col->name + "' of table '" + name() + "'");
    }
  }

  std::u16string text(const std::uint8_t* p, size_t n) {
    if (!jet3_) return decodeJet4Text(p, n);
    // Jet 3 stores text in the file's code page; mdbtools converts it.
    std::string out(n * 4 + 1, '\0');
    int len = mdb_unicode2ascii(mdb_, reinterpret_cast<const char*>(p), n, out.data(), out.size());
    out.resize(len < 0 ? 0 : std::min(static_cast<size_t>(len), out.size()));
    return text::fromUtf8(out.c_str());
  }

  // The bytes of a Memo or OLE value: in the row, on one other page, or in a
  // chain of pages. The chain is bounded by the file's page count.
  std::vector<std::uint8_t> longValue(const std::uint8_t* p, size_t n, const char* column) {
    if (n < MDB_MEMO_OVERHEAD) throw std::runtime_error("a damaged Memo or OLE value");
    std::uint32_t head = load32(p);
    size_t length = head & kLvalLengthMask;
    std::vector<std::uint8_t> out;
    if (head & kLvalInline) {
      size_t have = n - MDB_MEMO_OVERHEAD;
      out.assign(p + MDB_MEMO_OVERHEAD, p + MDB_MEMO_OVERHEAD + std::min(have, length));
      return out;
    }
    int pgRow = static_cast<int>(load32(p + 4));
    size_t maxLinks = pageCount() + 1;
    if (length > maxLinks * static_cast<size_t>(mdb_->fmt->pg_size))
      throw std::runtime_error("a damaged Memo or OLE value (longer than the file)");
    out.reserve(length);
    bool single = (head & kLvalSinglePage) != 0;
    for (size_t link = 0; pgRow != 0 && out.size() < length; ++link) {
      if (link > maxLinks) throw std::runtime_error("a damaged Memo or OLE value (a loop)");
      void* buf = nullptr;
      int start = 0;
      size_t len = 0;
      if (mdb_find_pg_row(mdb_, pgRow, &buf, &start, &len) != 0 || !buf ||
          static_cast<size_t>(start) + len > static_cast<size_t>(mdb_->fmt->pg_size))
        throw std::runtime_error("a damaged Memo or OLE value (a missing page)");
      const auto* b = static_cast<const std::uint8_t*>(buf) + start;
      if (single) {
        out.insert(out.end(), b, b + std::min(len, length));
        break;
      }
      if (len < 4) throw std::runtime_error("a damaged Memo or OLE value");
      pgRow = static_cast<int>(load32(b));
      out.insert(out.end(), b + 4, b + 4 + std::min(len - 4, length - out.size()));
    }
    if (out.size() != length) {
      throw std::runtime_error("a damaged Memo or OLE value in column '" + std::string(column) +
                               "' (" + std::to_string(out.size()) + " of " +
                               std::to_string(length) + " bytes found)");
    }
    return out;
  }

  size_t pageCount() const {
    long pos = std::ftell(mdb_->f->stream);
    std::fseek(mdb_->f->stream, 0, SEEK_END);
    long end = std::ftell(mdb_->f->stream);
    std::fseek(mdb_->f->stream, pos, SEEK_SET);
    return end > 0 ? static_cast<size_t>(end) / static_cast<size_t>(mdb_->fmt->pg_size) : 0;
  }

  MdbHandle* mdb_;
  MdbTableDef* table_;
  std::string path_;
  bool jet3_;
};

// A catalog entry made by hand: mdb_read_catalog also parses every object's
// property blobs, which loops for minutes on some damaged files, and the
// reader needs nothing of them.
MdbCatalogEntry entryAt(MdbHandle* mdb, const std::string& name, unsigned long page) {
  MdbCatalogEntry e{};
  e.mdb = mdb;
  std::snprintf(e.object_name, sizeof e.object_name, "%s", name.c_str());
  e.object_type = MDB_TABLE;
  e.table_pg = page;
  return e;
}

// Reads a table's definition and rows from its catalog entry into sink.
void readEntry(MdbHandle* mdb, MdbCatalogEntry& entry, const std::string& path, TableSink& sink) {
  std::string name = entry.object_name;
  std::unique_ptr<MdbTableDef, TableFreer> def(mdb_read_table(&entry));
  if (!def) fail(path, "the definition of table '" + name + "' is unreadable");
  if (!mdb_read_columns(def.get()))
    fail(path, "the columns of table '" + name + "' are unreadable");
  mdb_read_indices(def.get());
  TableReader reader(mdb, def.get(), path);
  sink.begin(reader.definition());
  reader.readRows(sink);
}

// Finds a table's first page in MSysObjects: the Id of the row with its name
// (case-blind) and the type of a table.
struct TablePageFinder : TableSink {
  std::u16string wanted;
  int name = -1, type = -1, id = -1;
  unsigned long page = 0;
  bool exact = false;
  void begin(const AccessTableDef& def) override {
    for (size_t i = 0; i < def.columns.size(); ++i) {
      std::u16string n = text::fromUtf8(def.columns[i].name);
      if (text::equalsText(n, u"Name")) name = static_cast<int>(i);
      if (text::equalsText(n, u"Type")) type = static_cast<int>(i);
      if (text::equalsText(n, u"Id")) id = static_cast<int>(i);
    }
  }
  void row(const std::vector<JetValue>& row) override {
    if (name < 0 || type < 0 || id < 0 || exact) return;
    const JetValue &n = row[name], &t = row[type], &i = row[id];
    if (n.kind != JetValue::Kind::Text || t.kind != JetValue::Kind::Integer || t.i != 1 ||
        i.kind != JetValue::Kind::Integer)
      return;
    if (n.text == wanted) {
      exact = true;
    } else if (page != 0 || !text::equalsText(n.text, wanted)) {
      return;
    }
    page = static_cast<unsigned long>(i.i & 0x00FFFFFF);
  }
};

}  // namespace

void readAccessTable(const std::string& path, const std::string& table, TableSink& sink) {
  std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
  if (!mdb) fail(path, "not an Access database mdbtools can open");
  constexpr unsigned long kCatalogPage = 2;  // MSysObjects lives at a fixed page
  MdbCatalogEntry objects = entryAt(mdb.get(), "MSysObjects", kCatalogPage);
  if (text::equalsText(text::fromUtf8(table), u"MSysObjects")) {
    readEntry(mdb.get(), objects, path, sink);
    return;
  }
  TablePageFinder finder;
  finder.wanted = text::fromUtf8(table);
  readEntry(mdb.get(), objects, path, finder);
  if (finder.page == 0) fail(path, "it has no table '" + table + "'");
  MdbCatalogEntry entry = entryAt(mdb.get(), table, finder.page);
  readEntry(mdb.get(), entry, path, sink);
}

}  // namespace dorvane::db
