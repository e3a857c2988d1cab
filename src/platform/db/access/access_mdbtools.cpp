#include "platform/db/access/access_mdbtools.h"

// mdbtools needs glib's declarations first.
#include <glib.h>
#include <mdbtools.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/db/access/access_catalog.h"
#include "platform/db/access/access_values.h"
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

// The ResultType property of each column named in a table's property blob
// (MSysObjects.LvProp).
std::map<std::string, int> readResultTypes(MdbHandle* mdb, std::vector<std::uint8_t>& lvProp) {
  std::map<std::string, int> out;
  if (lvProp.empty()) return out;
  GPtrArray* all = mdb_kkd_to_props(mdb, lvProp.data(), lvProp.size());
  if (!all) return out;
  for (unsigned i = 0; i < all->len; ++i) {
    auto* props = static_cast<MdbProperties*>(g_ptr_array_index(all, i));
    if (!props->name || !props->hash) continue;
    auto* type = static_cast<const char*>(g_hash_table_lookup(props->hash, "ResultType"));
    if (type) out[props->name] = std::atoi(type);
  }
  for (unsigned i = 0; i < all->len; ++i)
    mdb_free_props(static_cast<MdbProperties*>(g_ptr_array_index(all, i)));
  g_ptr_array_free(all, TRUE);
  return out;
}

class TableReader {
 public:
  // lvProp: the table's property blob, which gives the result type of each
  // calculated column; read only when the table has one.
  // nestedKinds gives the kind of each complex column by name; asked only
  // when the table has one.
  TableReader(MdbHandle* mdb, MdbTableDef* table, std::string path,
              std::vector<std::uint8_t>& lvProp,
              const std::function<std::map<std::string, NestedKind>()>& nestedKinds)
      : mdb_(mdb), table_(table), path_(std::move(path)), jet3_(IS_JET3(mdb)) {
    const std::vector<bool> calculated = calculatedColumns();
    std::map<std::string, int> resultTypes;
    if (std::find(calculated.begin(), calculated.end(), true) != calculated.end())
      resultTypes = readResultTypes(mdb, lvProp);
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
      const auto row = static_cast<size_t>(col->row_col_num);
      if (row < calculated.size() && calculated[row]) {
        // The result type is a property of the column; without one, the
        // column's own type stands for it.
        auto type = resultTypes.find(c.name);
        c.calculated = true;
        if (type != resultTypes.end()) c.type = type->second;
        // A long text result is kept like a Memo.
        if (c.type == jet::kText && c.size == 0) c.type = jet::kMemo;
      }
      columns_.push_back(c);
    }
    auto isComplex = [](const AccessColumn& c) { return c.type == jet::kComplex; };
    if (nestedKinds && std::any_of(columns_.begin(), columns_.end(), isComplex)) {
      const std::map<std::string, NestedKind> kinds = nestedKinds();
      for (auto& c : columns_) {
        auto kind = kinds.find(c.name);
        if (isComplex(c) && kind != kinds.end()) c.nested = kind->second;
      }
    }
  }

  AccessTableDef definition() const {
    AccessTableDef def;
    def.name = table_->name;
    def.columns = columns_;
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
    const int pageSize = static_cast<int>(mdb_->fmt->pg_size);
    const int countAt = static_cast<int>(mdb_->fmt->row_count_offset);
    while (mdb_read_next_dpg(table_)) {
      int rows = mdb_get_int16(mdb_->pg_buf, countAt);
      // The row offsets follow the count; the rows lie between them and the
      // page's end. A row outside that space is damage, never an empty row.
      const int offsetsEnd = countAt + 2 + 2 * rows;
      if (rows < 0 || offsetsEnd > pageSize)
        fail(path_, "data page " + std::to_string(table_->cur_phys_pg) + " holds " +
                        std::to_string(rows) + " rows, more than fit in a page");
      for (int r = 0; r < rows; ++r) {
        int start = 0;
        size_t size = 0;
        const int stored = mdb_get_int16(mdb_->pg_buf, countAt + 2 + 2 * r);
        if (stored & kDeletedRow) continue;
        if (mdb_find_row(mdb_, r, &start, &size) != 0 || (start & kOffsetMask) < offsetsEnd ||
            (start & kOffsetMask) + size > static_cast<size_t>(pageSize))
          fail(path_, "row " + std::to_string(r) + " of data page " +
                          std::to_string(table_->cur_phys_pg) + " lies outside the page");
        if (size == 0) continue;
        start &= kOffsetMask;
        std::memset(fields.data(), 0, fields.size() * sizeof(MdbField));
        for (auto& f : fields) f.colnum = -1;
        // A row written before columns were added holds fewer columns than
        // the table: the later ones read as Null. mdbtools refuses some such
        // rows; those are cracked here. A row neither can read is damage.
        if (mdb_crack_row(table_, start, size, fields.data()) < 0 &&
            !crackShortRow(start, size, fields))
          fail(path_, "row " + std::to_string(r) + " of data page " +
                          std::to_string(table_->cur_phys_pg) +
                          " cannot be read (its column count, offsets or null mask do not fit "
                          "in it)");
        for (unsigned i = 0; i < ncols; ++i) {
          const MdbField& f = fields[i];
          if (f.colnum < 0 || f.colnum >= static_cast<int>(ncols))
            fail(path_, "a damaged row in table '" + name() + "'");
          auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, f.colnum));
          row[f.colnum] = value(col, columns_[static_cast<size_t>(f.colnum)], f);
        }
        sink.row(row);
      }
    }
  }

 private:
  std::string name() const { return table_->name; }

  // Cracks the Jet 4 row [start, start + size) of the current page into
  // fields, as mdb_crack_row would: the row's column count, its fixed
  // columns after it, the offsets of its variable columns and the null mask
  // at its end. Columns the row does not hold (added after it was written)
  // are Null. False when the row's own tables do not fit in it.
  bool crackShortRow(int start, size_t size, std::vector<MdbField>& fields) const {
    if (jet3_ || size < 2) return false;
    const auto* row = reinterpret_cast<const std::uint8_t*>(mdb_->pg_buf) + start;
    auto u16 = [&](size_t at) { return static_cast<size_t>(row[at] | (row[at + 1] << 8)); };
    const size_t rowColumns = u16(0), maskSize = (rowColumns + 7) / 8;
    if (maskSize + 2 > size) return false;
    const std::uint8_t* mask = row + size - maskSize;
    size_t varColumns = 0, dataEnd = size - maskSize;
    std::vector<size_t> offsets;
    if (table_->num_var_cols > 0) {
      if (maskSize + 2 + 2 > size) return false;
      varColumns = u16(size - maskSize - 2);
      const size_t tableSize = 2 + 2 * (varColumns + 1);
      if (maskSize + tableSize + 2 > size) return false;
      dataEnd = size - maskSize - tableSize;
      for (size_t i = 0; i <= varColumns; ++i) {
        offsets.push_back(u16(size - maskSize - 4 - 2 * i));
        if (offsets.back() > dataEnd || (i > 0 && offsets[i] < offsets[i - 1])) return false;
      }
    }
    for (unsigned i = 0; i < table_->num_cols; ++i) {
      auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, i));
      MdbField& f = fields[i];
      f.colnum = static_cast<int>(i);
      f.is_fixed = col->is_fixed;
      f.is_null = 1;
      f.value = nullptr;
      f.start = 0;
      f.siz = 0;
      const auto number = static_cast<size_t>(col->row_col_num);
      if (col->row_col_num < 0 || number >= rowColumns) continue;  // added after the row
      f.is_null = (mask[number / 8] & (1 << (number % 8))) ? 0 : 1;
      size_t from = 0, length = 0;
      if (col->is_fixed) {
        from = 2 + static_cast<size_t>(col->fixed_offset);
        length = static_cast<size_t>(col->col_size);
        if (col->fixed_offset < 0 || from + length > dataEnd) {
          if (!f.is_null && col->col_type != jet::kBoolean) return false;
          continue;
        }
      } else if (col->var_col_num < varColumns) {
        from = offsets[col->var_col_num];
        length = offsets[col->var_col_num + 1] - from;
      } else {
        f.is_null = 1;
        continue;
      }
      f.start = start + static_cast<int>(from);
      f.value = mdb_->pg_buf + f.start;
      f.siz = static_cast<int>(length);
    }
    return true;
  }

  bool inPage(const MdbField& f) const {
    return f.siz >= 0 && f.start >= 0 &&
           static_cast<size_t>(f.start) + static_cast<size_t>(f.siz) <= sizeof mdb_->pg_buf &&
           f.value == mdb_->pg_buf + f.start;
  }

  JetValue value(MdbColumn* col, const AccessColumn& column, const MdbField& f) {
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
      if (column.calculated) return calculatedValue(column, p, n);
      switch (col->col_type) {
        case jet::kText:
          v.kind = JetValue::Kind::Text;
          v.text = text(p, n);
          return v;
        case jet::kMemo: {
          std::vector<std::uint8_t> bytes = longValue(p, n);
          v.kind = JetValue::Kind::Text;
          v.text = text(bytes.data(), bytes.size());
          return v;
        }
        case jet::kOle:
          v.kind = JetValue::Kind::Blob;
          v.bytes = longValue(p, n);
          return v;
        case jet::kExtendedDateTime:
          v.kind = JetValue::Kind::Real;
          v.d = decodeExtendedDate(p, n);
          return v;
        default:
          return decodeFixedValue(col->col_type, p, n, std::min(col->col_scale, col->col_prec));
      }
    } catch (const std::runtime_error& e) {
      fail(path_,
           std::string(e.what()) + " in column '" + col->name + "' of table '" + name() + "'");
    }
  }

  // A calculated column's value: Access stores the result of the type its
  // ResultType names behind a header (16 bytes, then the result's length),
  // in the row or, for a long text, as a Memo. A result of no bytes is Null.
  JetValue calculatedValue(const AccessColumn& column, const std::uint8_t* p, size_t n) {
    std::vector<std::uint8_t> stored;
    if (column.type == jet::kMemo) {
      stored = longValue(p, n);
      p = stored.data();
      n = stored.size();
    }
    constexpr size_t kLengthAt = 16, kDataAt = 20;
    if (n < kDataAt) throw std::runtime_error("a damaged calculated value");
    const size_t length = load32(p + kLengthAt);
    if (length > n - kDataAt) throw std::runtime_error("a damaged calculated value");
    p += kDataAt;
    JetValue v;
    if (length == 0) return v;  // the expression gave Null
    switch (column.type) {
      case jet::kText:
      case jet::kMemo:
        v.kind = JetValue::Kind::Text;
        v.text = text(p, length);
        return v;
      case jet::kBoolean:
        if (length < 1) throw std::runtime_error("a damaged calculated Yes/No value");
        v.kind = JetValue::Kind::Integer;
        v.i = p[0] != 0;
        return v;
      case jet::kNumeric:
        return calculatedDecimal(p, length);
      default:
        return decodeFixedValue(column.type, p, length, column.scale);
    }
  }

  std::u16string text(const std::uint8_t* p, size_t n) {
    if (!jet3_) return decodeJet4Text(p, n);
    return decodeJet3Text(p, n, mdb_->f->code_page);
  }

  // Per column entry of the table definition (by its place in the row):
  // whether Access marks it calculated. Jet 3 and Jet 4 files have none.
  std::vector<bool> calculatedColumns() {
    std::vector<bool> out;
    // Access 2010 brought calculated columns; older files have no such flag.
    if (mdb_->f->jet_version < MDB_VER_ACCDB_2010 || !table_->entry) return out;
    const MdbFormatConstants& fmt = *mdb_->fmt;
    const size_t page = static_cast<size_t>(fmt.pg_size);
    // The definition may go on over further pages, each after an 8-byte header.
    std::vector<std::uint8_t> def;
    unsigned long pg = table_->entry->table_pg;
    const size_t first =
        fmt.tab_cols_start_offset + table_->num_real_idxs * fmt.tab_ridx_entry_size;
    const size_t end = first + table_->num_cols * fmt.tab_col_entry_size;
    for (int links = 0; def.size() < end && pg != 0 && links < 64; ++links) {
      if (mdb_read_alt_pg(mdb_, pg) != static_cast<ssize_t>(page))
        fail(path_, "the definition of table '" + name() + "' is unreadable");
      const auto* b = reinterpret_cast<const std::uint8_t*>(mdb_->alt_pg_buf);
      def.insert(def.end(), b + (def.empty() ? 0 : 8), b + page);
      pg = load32(b + 4);
    }
    if (def.size() < end) fail(path_, "the definition of table '" + name() + "' is cut short");
    constexpr std::uint8_t kCalculated = 0xC0;  // in the extra flags after the flags
    for (unsigned i = 0; i < table_->num_cols; ++i) {
      const std::uint8_t* e = def.data() + first + i * fmt.tab_col_entry_size;
      size_t row = e[fmt.tab_row_col_num_offset] | (e[fmt.tab_row_col_num_offset + 1] << 8);
      if (row >= out.size()) out.resize(row + 1);
      out[row] = (e[fmt.col_flags_offset + 1] & kCalculated) == kCalculated;
    }
    return out;
  }

  // The bytes of a Memo or OLE value: in the row, on one other page, or in a
  // chain of pages. The chain is bounded by the file's page count.
  std::vector<std::uint8_t> longValue(const std::uint8_t* p, size_t n) {
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
      throw std::runtime_error("a damaged Memo or OLE value (" + std::to_string(out.size()) +
                               " of " + std::to_string(length) + " bytes found)");
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
  std::vector<AccessColumn> columns_;
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
void readEntry(MdbHandle* mdb, MdbCatalogEntry& entry, const std::string& path, TableSink& sink,
               std::vector<std::uint8_t> lvProp = {},
               const std::function<std::map<std::string, NestedKind>()>& nestedKinds = {}) {
  std::string name = entry.object_name;
  std::unique_ptr<MdbTableDef, TableFreer> def(mdb_read_table(&entry));
  if (!def) fail(path, "the definition of table '" + name + "' is unreadable");
  if (!mdb_read_columns(def.get()))
    fail(path, "the columns of table '" + name + "' are unreadable");
  mdb_read_indices(def.get());
  TableReader reader(mdb, def.get(), path, lvProp, nestedKinds);
  sink.begin(reader.definition());
  reader.readRows(sink);
}

// Finds a table's first page in MSysObjects: the Id of the row with its name
// (case-blind) and the type of a table. Notes on the way what the kinds of
// complex columns are read from: MSysComplexColumns and the complex types.
struct TablePageFinder : TableSink {
  std::u16string wanted;
  int name = -1, type = -1, id = -1, props = -1;
  unsigned long page = 0;
  std::int64_t tableId = 0;
  unsigned long complexColumnsPage = 0;
  std::map<std::int64_t, std::u16string> complexTypes;  // Id -> MSysComplexType… name
  std::vector<std::uint8_t> lvProp;                     // the found table's properties
  bool exact = false;
  void begin(const AccessTableDef& def) override {
    for (size_t i = 0; i < def.columns.size(); ++i) {
      std::u16string n = text::fromUtf8(def.columns[i].name);
      if (text::equalsText(n, u"Name")) name = static_cast<int>(i);
      if (text::equalsText(n, u"Type")) type = static_cast<int>(i);
      if (text::equalsText(n, u"Id")) id = static_cast<int>(i);
      if (text::equalsText(n, u"LvProp")) props = static_cast<int>(i);
    }
  }
  void row(const std::vector<JetValue>& row) override {
    if (name < 0 || type < 0 || id < 0) return;
    const JetValue &n = row[name], &t = row[type], &i = row[id];
    if (n.kind != JetValue::Kind::Text || t.kind != JetValue::Kind::Integer || t.i != 1 ||
        i.kind != JetValue::Kind::Integer)
      return;
    if (n.text == u"MSysComplexColumns") complexColumnsPage = i.i & 0x00FFFFFF;
    if (n.text.rfind(u"MSysComplexType", 0) == 0) complexTypes[i.i] = n.text;
    if (exact) return;  // the table is found; the scan goes on for the notes above
    if (n.text == wanted) {
      exact = true;
    } else if (page != 0 || !text::equalsText(n.text, wanted)) {
      return;
    }
    page = static_cast<unsigned long>(i.i & 0x00FFFFFF);
    tableId = i.i;
    lvProp = props >= 0 ? row[props].bytes : std::vector<std::uint8_t>();
  }
};

// The kind of a complex column from the name of its complex type:
// MSysComplexType_Attachment, MSysComplexTypeVH_… (an append-only Memo's
// history), or one per value type of a multi-value column.
NestedKind nestedKindOf(const std::u16string& typeName) {
  if (typeName == u"MSysComplexType_Attachment") return NestedKind::Attachment;
  if (typeName.rfind(u"MSysComplexTypeVH", 0) == 0) return NestedKind::VersionHistory;
  return NestedKind::MultiValue;
}

}  // namespace

void readAccessTableWithMdbtools(const std::string& path, const std::string& table,
                                 TableSink& sink) {
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
  auto nestedKinds = [&] {
    std::map<std::string, NestedKind> kinds;
    if (finder.complexColumnsPage == 0) return kinds;
    CollectSink complex;
    MdbCatalogEntry at = entryAt(mdb.get(), "MSysComplexColumns", finder.complexColumnsPage);
    readEntry(mdb.get(), at, path, complex);
    const int column = complex.column("ColumnName"), owner = complex.column("ConceptualTableID"),
              kind = complex.column("ComplexTypeObjectID");
    if (column < 0 || owner < 0 || kind < 0) return kinds;
    for (const auto& row : complex.rows()) {
      if (row[owner].i != finder.tableId || row[column].kind != JetValue::Kind::Text) continue;
      auto type = finder.complexTypes.find(row[kind].i);
      if (type == finder.complexTypes.end()) continue;
      kinds[text::toUtf8(row[column].text)] = nestedKindOf(type->second);
    }
    return kinds;
  };
  readEntry(mdb.get(), entry, path, sink, std::move(finder.lvProp), nestedKinds);
}

}  // namespace dorvane::db
