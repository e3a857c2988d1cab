#include "platform/db/access/access_reader.h"

#include <algorithm>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "platform/db/access/access_catalog.h"
#include "platform/db/access/access_data_page.h"
#include "platform/db/access/access_long_value.h"
#include "platform/db/access/access_page_file.h"
#include "platform/db/access/access_properties.h"
#include "platform/db/access/access_row.h"
#include "platform/db/access/access_table_definition.h"
#include "platform/db/access/access_usage_map.h"
#include "platform/db/access/access_values.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"

namespace dorvane::db {

namespace {

constexpr std::uint32_t kCatalogPage = 2;  // MSysObjects' definition
constexpr std::uint32_t kPageMask = 0x00FFFFFF;

class TableReader {
 public:
  TableReader(PageFile& file, std::uint32_t page, std::string name)
      : file_(file), page_(page), name_(std::move(name)), def_(readTableDefinition(file, page)) {}

  TableDefinition& definition() { return def_; }

  AccessTableDef accessDefinition() const {
    AccessTableDef out;
    out.name = name_;
    for (const StoredColumn& c : def_.columns) out.columns.push_back(c.column);
    out.indexes = def_.indexes;
    return out;
  }

  // Hands every row of the table's data pages to sink, in page order.
  void readRows(TableSink& sink) {
    std::vector<std::uint8_t> map;
    const RowSlot slot = readPageRow(file_, def_.usageMap, map, "usage map");
    const std::vector<std::uint32_t> pages =
        usageMapPages(file_, map.data() + slot.start, slot.size);
    std::vector<std::uint8_t> page;
    std::vector<FieldSpan> spans;
    std::vector<JetValue> row(def_.columns.size());
    for (const std::uint32_t number : pages) {
      file_.read(number, page, "usage map");
      if (page[0] != page_type::kData || load32(page.data() + 4) != page_)
        damage("its usage map marks page " + std::to_string(number) +
               ", which is no data page of the table");
      const std::vector<RowSlot> slots = rowSlots(page, file_.layout(), number);
      for (std::size_t r = 0; r < slots.size(); ++r) {
        if (slots[r].removed || slots[r].size == 0) continue;
        const std::uint8_t* bytes = page.data() + slots[r].start;
        if (!crackRow(bytes, slots[r].size, def_, file_.layout(), spans))
          damage("row " + std::to_string(r) + " of data page " + std::to_string(number) +
                 " cannot be read (its column count, offsets or null mask do not fit in it)");
        for (std::size_t i = 0; i < def_.columns.size(); ++i)
          value(def_.columns[i], spans[i], bytes, row[i]);
        sink.row(row);
      }
    }
  }

 private:
  // The value of column `stored` in row into v. The row's values are
  // decoded into the same JetValues row after row: text keeps its room.
  void value(const StoredColumn& stored, const FieldSpan& f, const std::uint8_t* row, JetValue& v) {
    const AccessColumn& column = stored.column;
    v.kind = JetValue::Kind::Null;
    v.i = 0;
    v.d = 0;
    v.text.clear();
    v.bytes.clear();
    if (stored.storedType == jet::kBoolean) {
      v.kind = JetValue::Kind::Integer;
      v.i = f.present ? 1 : 0;  // a Yes/No value lives in the null mask: set means Yes
      return;
    }
    if (!f.present) return;
    const std::uint8_t* p = row + f.start;
    const std::size_t n = f.size;
    try {
      if (column.calculated) {
        v = calculatedValue(column, p, n);
        return;
      }
      switch (column.type) {
        case jet::kText:
          v.kind = JetValue::Kind::Text;
          text(p, n, v.text);
          return;
        case jet::kMemo: {
          const std::vector<std::uint8_t> bytes = readLongValue(file_, p, n);
          v.kind = JetValue::Kind::Text;
          text(bytes.data(), bytes.size(), v.text);
          return;
        }
        case jet::kOle:
          v.kind = JetValue::Kind::Blob;
          v.bytes = readLongValue(file_, p, n);
          return;
        case jet::kExtendedDateTime:
          v.kind = JetValue::Kind::Real;
          v.d = decodeExtendedDate(p, n);
          return;
        default:
          v = decodeFixedValue(column.type, p, n, column.scale);
          return;
      }
    } catch (const std::runtime_error& e) {
      damage(std::string(e.what()) + " in column '" + column.name + "'");
    }
  }

  // A calculated column's value: Access stores the result of the type its
  // ResultType names behind a header (16 bytes, then the result's length),
  // in the row or, for a long text, as a Memo. A result of no bytes is Null.
  JetValue calculatedValue(const AccessColumn& column, const std::uint8_t* p, std::size_t n) {
    std::vector<std::uint8_t> stored;
    if (column.type == jet::kMemo) {
      stored = readLongValue(file_, p, n);
      p = stored.data();
      n = stored.size();
    }
    constexpr std::size_t kLengthAt = 16, kDataAt = 20;
    if (n < kDataAt) throw std::runtime_error("a damaged calculated value");
    const std::size_t length = load32(p + kLengthAt);
    if (length > n - kDataAt) throw std::runtime_error("a damaged calculated value");
    p += kDataAt;
    JetValue v;
    if (length == 0) return v;  // the expression gave Null
    switch (column.type) {
      case jet::kText:
      case jet::kMemo:
        v.kind = JetValue::Kind::Text;
        text(p, length, v.text);
        return v;
      case jet::kBoolean:
        v.kind = JetValue::Kind::Integer;
        v.i = p[0] != 0;
        return v;
      case jet::kNumeric:
        return calculatedDecimal(p, length);
      default:
        return decodeFixedValue(column.type, p, length, column.scale);
    }
  }

  void text(const std::uint8_t* p, std::size_t n, std::u16string& out) {
    if (!file_.jet3())
      decodeJet4Text(p, n, out);
    else
      out = decodeJet3Text(p, n, file_.header().codePage);
  }

  PageFile& file_;
  std::uint32_t page_;
  std::string name_;
  TableDefinition def_;
};

// Finds a table's first page in MSysObjects: the Id of the row with its name
// (exactly, else case-blind) and the type of a table. Notes on the way what
// the kinds of complex columns are read from: MSysComplexColumns and the
// complex types.
struct TablePageFinder : TableSink {
  std::u16string wanted;
  int name = -1, type = -1, id = -1, props = -1;
  std::uint32_t page = 0;
  std::int64_t tableId = 0;
  std::uint32_t complexColumnsPage = 0;
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
    if (n.text == u"MSysComplexColumns") complexColumnsPage = i.i & kPageMask;
    if (n.text.rfind(u"MSysComplexType", 0) == 0) complexTypes[i.i] = n.text;
    if (exact) return;  // the table is found; the scan goes on for the notes above
    if (n.text == wanted) {
      exact = true;
    } else if (page != 0 || !text::equalsText(n.text, wanted)) {
      return;
    }
    page = static_cast<std::uint32_t>(i.i & kPageMask);
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

// Reads the table at page into sink.
void readAt(PageFile& file, std::uint32_t page, const std::string& name, TableSink& sink) {
  TableReader reader(file, page, name);
  sink.begin(reader.accessDefinition());
  reader.readRows(sink);
}

// The result types of the calculated columns and the kinds of the complex
// columns of the table found by finder, set in def.
void completeColumns(PageFile& file, const TablePageFinder& finder, TableDefinition& def) {
  auto any = [&](auto pred) { return std::any_of(def.columns.begin(), def.columns.end(), pred); };
  if (any([](const StoredColumn& c) { return c.column.calculated; })) {
    // The result type is a property of the column; without one, the
    // column's own type stands for it.
    const std::map<std::string, int> types =
        integerProperty(finder.lvProp, "ResultType", file.jet3(), file.header().codePage);
    for (StoredColumn& c : def.columns) {
      if (!c.column.calculated) continue;
      auto type = types.find(c.column.name);
      if (type != types.end()) c.column.type = type->second;
      // A long text result is kept like a Memo.
      if (c.column.type == jet::kText && c.column.size == 0) c.column.type = jet::kMemo;
    }
  }
  if (finder.complexColumnsPage == 0 ||
      !any([](const StoredColumn& c) { return c.column.type == jet::kComplex; }))
    return;
  CollectSink complex;
  readAt(file, finder.complexColumnsPage, "MSysComplexColumns", complex);
  const int column = complex.column("ColumnName"), owner = complex.column("ConceptualTableID"),
            kind = complex.column("ComplexTypeObjectID");
  if (column < 0 || owner < 0 || kind < 0) return;
  std::map<std::string, NestedKind> kinds;
  for (const auto& row : complex.rows()) {
    if (row[owner].i != finder.tableId || row[column].kind != JetValue::Kind::Text) continue;
    auto type = finder.complexTypes.find(row[kind].i);
    if (type == finder.complexTypes.end()) continue;
    kinds[text::toUtf8(row[column].text)] = nestedKindOf(type->second);
  }
  for (StoredColumn& c : def.columns) {
    auto k = kinds.find(c.column.name);
    if (c.column.type == jet::kComplex && k != kinds.end()) c.column.nested = k->second;
  }
}

}  // namespace

void readAccessTable(const std::string& path, const std::string& table, TableSink& sink) {
  PageFile file(path);
  if (text::equalsText(text::fromUtf8(table), u"MSysObjects")) {
    readAt(file, kCatalogPage, "MSysObjects", sink);
    return;
  }
  TablePageFinder finder;
  finder.wanted = text::fromUtf8(table);
  readAt(file, kCatalogPage, "MSysObjects", finder);
  if (finder.page == 0) damage("it has no table '" + table + "'");
  TableReader reader(file, finder.page, table);
  completeColumns(file, finder, reader.definition());
  sink.begin(reader.accessDefinition());
  reader.readRows(sink);
}

}  // namespace dorvane::db
