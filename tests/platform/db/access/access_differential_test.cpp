// The Access reader against an independent one: every user table of every
// fixture and public corpus file, read through the engine and through
// mdb-reader (npm, run by
// tests/tools/access-reader/dump.mjs), compared cell by cell in one canonical
// form (kind + text; Null apart from ""; dates ISO to the millisecond; bytes
// in hex). Where mdb-reader is wrong too (calculated columns, which it reads
// as their stored bytes) the right values are pinned by hand. A second test
// compares the same tables with mdb-export (Debian mdbtools), stating each
// place where mdbtools is known wrong once.
#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "platform/convert.h"
#include "platform/db/access/access_catalog.h"
#include "platform/db/access/access_database.h"
#include "platform/db/access/access_fixture.h"
#include "platform/text/utf.h"

namespace dorvane {
namespace {

namespace fs = std::filesystem;
const char kTool[] = "tests/tools/access-reader";

// A double as JavaScript's String(n) writes it.
std::string jsNumber(double d) {
  if (d == 0) return "0";
  char buf[64];
  auto end = std::to_chars(buf, buf + sizeof buf, std::fabs(d), std::chars_format::scientific).ptr;
  std::string s(buf, end);
  size_t e = s.find('e');
  std::string digits = s.substr(0, 1) + (e > 2 ? s.substr(2, e - 2) : "");
  const int k = static_cast<int>(digits.size()), n = std::stoi(s.substr(e + 1)) + 1;
  std::string out = d < 0 ? "-" : "";
  if (k <= n && n <= 21) return out + digits + std::string(n - k, '0');
  if (0 < n && n <= 21) return out + digits.substr(0, n) + "." + digits.substr(n);
  if (-6 < n && n <= 0) return out + "0." + std::string(-n, '0') + digits;
  out += digits.substr(0, 1) + (k > 1 ? "." + digits.substr(1) : "");
  return out + "e" + (n - 1 >= 0 ? "+" : "-") + std::to_string(std::abs(n - 1));
}

std::string isoDate(double serial) {
  double whole = std::trunc(serial);
  auto ms = std::llround(std::fabs(serial - whole) * 86400000.0);
  if (ms >= 86400000) ms -= 86400000, whole += 1;
  DateParts p = dateToParts(whole);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02lld:%02lld:%02lld.%03lld", p.year, p.month,
                p.day, ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
  return buf;
}

std::string canonical(const Variant& v) {
  switch (v.type()) {
    case VarType::Null:
      return "null";
    case VarType::Boolean:
      return v.asBool() ? "bool:True" : "bool:False";
    case VarType::Single:
    case VarType::Double:
      return "num:" + jsNumber(v.asDouble());
    case VarType::Currency:
    case VarType::Decimal:
      return "dec:" + text::toUtf8(toText(v));
    case VarType::Date:
      return "date:" + isoDate(v.asDouble());
    case VarType::String:
      return "text:" + text::toUtf8(v.asString());
    case VarType::Binary: {
      std::string hex;
      char b[3];
      for (auto c : v.asBytes()) std::snprintf(b, sizeof b, "%02X", c), hex += b;
      return "bin:" + hex;
    }
    default:
      return "int:" + text::toUtf8(toText(v));
  }
}

// A field's canonical form; a nested-recordset column (error 13) is "complex".
std::string engineCell(Recordset& rs, const std::string& column) try {
  return canonical(rs.Fields(text::fromUtf8(column)));
} catch (const RuntimeError& e) {
  return e.number() == err::kTypeMismatch ? "complex" : "error " + std::to_string(e.number());
}

// Cells checked against values worked out by hand from each calculated
// column's expression (mdb-reader reads such columns as their stored bytes).
struct Pinned {
  const char *file, *table, *column;
  int row;
  const char* cell;
};
const Pinned kPinned[] = {
    {"calcFieldTestV2010.accdb", "Table1", "LastFirst", 0, "text:Wayne, Bruce"},
    {"calcFieldTestV2010.accdb", "Table1", "LastFirstLen", 0, "int:12"},
    {"calcFieldTestV2010.accdb", "Table1", "MonthlySalary", 0, "dec:83333.3333"},  // /12
    {"calcFieldTestV2010.accdb", "Table1", "MonthlySalary", 1, "dec:-0.0833"},
    {"calcFieldTestV2010.accdb", "Table1", "IsRich", 0, "bool:True"},  // > 100000
    {"calcFieldTestV2010.accdb", "Table1", "IsRich", 1, "bool:False"},
    {"calcFieldTestV2010.accdb", "Table1", "AllNames", 0, "text:Wayne, Bruce=Wayne, Bruce"},
    {"calcFieldTestV2010.accdb", "Table1", "AllNames", 2, "text:Doe, John=Doe, John"},
    {"calcFieldTestV2010.accdb", "Table1", "WeeklySalary", 0, "dec:19230.7692307692"},  // /52
    {"calcFieldTestV2010.accdb", "Table1", "WeeklySalary", 1, "dec:-0.0192307692307692"},
    {"calcFieldTestV2010.accdb", "Table1", "SalaryTest", 1, "dec:-1"},
    {"calcFieldTestV2010.accdb", "Table1", "BoolTest", 2, "bool:True"},
    {"calcFieldTestV2010.accdb", "Table1", "DecimalTest", 0, "dec:50.325"},
    {"calcFieldTestV2010.accdb", "Table1", "DecimalTest", 3, "dec:102030405060.654321"},
    // 1000000 * 0.13 / 50.325 as a Single
    {"calcFieldTestV2010.accdb", "Table1", "FloatTest", 0, "num:2583.209228515625"},
    // (1000000 * 83333.3333 / 50.325) * 34.12342134 to 28 digits
    {"calcFieldTestV2010.accdb", "Table1", "BigNumTest", 0, "dec:56505085819.42479129657228018"},
    {"calcFieldTestV2010.accdb", "Table1", "BigNumTest", 1, "dec:-0.0784734499180612994241100748"},
    {"extDateTestV2019.accdb", "Table1", "DateNormalCalc", 0, "date:2020-06-17T00:00:00.000"},
    {"extDateTestV2019.accdb", "Table1", "DateNormalCalc", 2, "date:2021-06-14T12:45:00.000"},
    // ([retail]/[wholesale]-1)*100 as a Double: (15/10-1)*100, (110/100-1)*100
    {"ucanaccess__src_test_resources_testdbs_calculatedField.accdb", "products", "%markup", 0,
     "num:50"},
    {"ucanaccess__src_test_resources_testdbs_calculatedField.accdb", "products", "%markup", 1,
     "num:10.000000000000009"},
    {"ucanaccess__src_test_resources_testdbs_calculatedField-bc634806.accdb", "Product", "%markup",
     0, "num:50"},
    {"ucanaccess__src_test_resources_testdbs_calculatedField-bc634806.accdb", "Product", "%markup",
     1, "num:10.000000000000009"},
    // eee: a calculated Text column of the ucanaccess test files badDb and alterTable (and
    // their copies); mdb-reader shows the stored header before each result.
    {"*baddb", "Tabella1", "eee", 0, "text:g"},
    {"*baddb", "Tabella1", "eee", 1, "null"},
    {"*baddb", "Tabella1", "eee", 4, "text:eee1"},
    {"*baddb", "Tabella1", "eee", 5, "text:CC1"},
    {"*baddb", "Tabella1", "eee", 6, "text:CFFFFC(((1"},
    {"*altertable", "Tabella1", "eee", 0, "text:g"},
    {"*altertable", "Tabella1", "eee", 1, "null"},
    {"*altertable", "Tabella1", "eee", 4, "text:eee1"},
};

// The pinned cells of a column (all rows), or none when mdb-reader's count.
// A pinned file name also stands for the corpus copies of that file
// ("V2010__calcFieldTestV2010.accdb"); one starting with "*" for every file
// whose name holds the rest, case-blind.
std::vector<const Pinned*> pinnedCells(const std::string& file, const std::string& table,
                                       const std::string& column) {
  std::vector<const Pinned*> out;
  for (const auto& p : kPinned) {
    const std::string copy = std::string("__") + p.file;
    std::string lower = file;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const bool sameFile = file == p.file ||
                          (p.file[0] == '*' && lower.find(p.file + 1) != std::string::npos) ||
                          (file.size() > copy.size() &&
                           file.compare(file.size() - copy.size(), copy.size(), copy) == 0);
    if (sameFile && table == p.table && column == p.column) out.push_back(&p);
  }
  return out;
}

// mdb-reader writes U+FFFD for the five bytes code page 1252 leaves
// undefined; Windows (and the engine) give U+0081, U+008D, U+008F, U+0090 and
// U+009D. Otherwise the texts must be equal.
bool sameCell(const std::string& engine, const std::string& reader) {
  if (engine == reader || engine.rfind("text:", 0) != 0) return engine == reader;
  std::u16string a = text::fromUtf8(engine), b = text::fromUtf8(reader);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    if (b[i] != 0xFFFD || std::u16string_view(u"\u0081\u008D\u008F\u0090\u009D").find(a[i]) ==
                              std::u16string_view::npos)
      return false;
  }
  return true;
}

// Every file as mdb-reader reads it, keyed by path: one run of the tool.
nlohmann::json independentRead(const std::vector<fs::path>& files) {
  std::string cmd = "TZ=UTC node " + std::string(kTool) + "/dump.mjs";
  for (const auto& f : files) cmd += " '" + f.string() + "'";
  std::FILE* p = ::popen(cmd.c_str(), "r");
  std::string out;
  char buf[65536];
  while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  return ::pclose(p) == 0 ? nlohmann::json::parse(out, nullptr, false) : nlohmann::json();
}

// What the engine gives instead of a file's or a table's rows, by design or
// because the file is damaged: the error (and a word of its description).
// table nullptr: opening the file.
struct Refused {
  const char *file, *table;
  int number;
  const char* mentions;
};
const Refused kRefused[] = {
    // A database password: the engine has none to give (mdb-reader ignores a
    // Jet 4 password; it cannot open the ACE ones).
    {"mdb-reader__test_password_data_V2000_with-password.mdb", nullptr, err::kNotValidPassword,
     "password"},
    {"mdb-reader__test_password_data_V2003_with-password.mdb", nullptr, err::kNotValidPassword,
     "password"},
    {"mdb-reader__test_password_data_V2010_with-password.accdb", nullptr, err::kNotValidPassword,
     "password"},
    {"mdb-reader__test_data_real_ASampleDatabase-protected.accdb", nullptr, err::kNotValidPassword,
     "password"},
    {"ucanaccess__src_main_resources_password-protected.accdb", nullptr, err::kNotValidPassword,
     "password"},
    {"mdb-reader__test_encryption_data_office-agile-4.2.accdb", nullptr, err::kNotValidPassword,
     "password"},
    {"ucanaccess__src_test_resources_testdbs_password.mdb", nullptr, err::kNotValidPassword,
     "password"},
};

// Tables of files mdb-reader cannot open (columns of kinds it does not know),
// read by the engine alone: every row, every field a value or "complex".
struct ReadAlone {
  const char *file, *table;
  size_t rows;
};
const ReadAlone kReadAlone[] = {
    {"V2007__unsupportedFieldsTestV2007.accdb", "Test", 3},  // kinds 0x46, 0x47: bytes
};

const Refused* refused(const std::string& file, const char* table) {
  for (const auto& r : kRefused)
    if (file == r.file &&
        ((!table && !r.table) || (table && r.table && table == std::string(r.table))))
      return &r;
  return nullptr;
}

// The error f raises, as "error N: description", or "" when it raises none.
template <typename F>
std::string errorOf(F&& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return "error " + std::to_string(e.number()) + ": " + e.description();
  }
  return "";
}

// Whether got is the refusal r states.
bool refusedAsStated(const std::string& got, const Refused& r) {
  return got.rfind("error " + std::to_string(r.number) + ":", 0) == 0 &&
         got.find(r.mentions) != std::string::npos;
}

// Compares one table of the engine with mdb-reader's; appends differences.
void compareTable(Database& db, const std::string& fileName, const std::string& table,
                  const nlohmann::json& reader, std::vector<std::string>& differences,
                  std::set<const Pinned*>& pinnedSeen) {
  const std::string where = fileName + " " + table;
  const auto& columns = reader["columns"];
  const auto& rows = reader["rows"];
  std::shared_ptr<Recordset> rs;
  const std::string failed = errorOf([&] { rs = db.OpenRecordset(text::fromUtf8(table)); });
  if (const Refused* r = refused(fileName, table.c_str())) {
    if (!refusedAsStated(failed, *r))
      differences.push_back(where + ": refused as stated expected, got '" + failed + "'");
    return;
  }
  if (!failed.empty()) {
    differences.push_back(where + ": " + failed);
    return;
  }
  size_t row = 0;
  for (; !rs->Eof(); rs->MoveNext(), ++row) {
    if (row >= rows.size()) break;
    for (size_t c = 0; c < columns.size(); ++c) {
      const std::string column = columns[c], got = engineCell(*rs, column);
      const auto pinned = pinnedCells(fileName, table, column);
      for (const Pinned* p : pinned)
        if (static_cast<size_t>(p->row) == row) {
          if (got != p->cell)
            differences.push_back(where + " row " + std::to_string(row) + " " + column +
                                  ": engine " + got + ", pinned " + p->cell);
          pinnedSeen.insert(p);
        }
      if (pinned.empty() && !sameCell(got, rows[row][c].get<std::string>()))
        differences.push_back(where + " row " + std::to_string(row) + " " + column + ": engine " +
                              got + ", mdb-reader " + rows[row][c].get<std::string>());
    }
  }
  if (row != rows.size() || !rs->Eof())
    differences.push_back(where + ": the engine reads " + std::to_string(row) +
                          "+ rows, mdb-reader " + std::to_string(rows.size()));
}

// Every user table of every Access file of the fixtures and of both public
// corpora, read through the engine and through mdb-reader. A file mdb-reader
// cannot open must be refused by the engine as kRefused states.
TEST(AccessDifferential, EveryFixtureTableReadsAsTheIndependentReaderReadsIt) {
  const std::string fixtures = testing::fixturesDir(), corpora = testing::corporaDir();
  const bool toolThere = fs::is_directory(fs::path(kTool) / "node_modules" / "mdb-reader");
  if (fixtures.empty() || corpora.empty() || !toolThere) {
    if (testing::fixturesRequired())
      FAIL() << "fixtures, corpora or mdb-reader missing: run scripts/setup";
    GTEST_SKIP() << "fixtures, corpora or mdb-reader (scripts/setup installs it) missing";
  }
  std::vector<fs::path> files;
  for (const fs::path& dir :
       {fs::path(fixtures) / "access", fs::path(fixtures) / "public",
        fs::path(corpora) / "access-jackcess", fs::path(corpora) / "access-ucanaccess-mdbreader"}) {
    std::set<fs::path> sorted;
    for (const auto& f : fs::directory_iterator(dir))
      if (f.path().extension() == ".mdb" || f.path().extension() == ".accdb")
        sorted.insert(f.path());
    files.insert(files.end(), sorted.begin(), sorted.end());
  }
  const nlohmann::json all = independentRead(files);
  ASSERT_TRUE(all.is_object()) << "mdb-reader failed";
  int tables = 0, agreeing = 0, refusedFiles = 0;
  std::set<const Pinned*> pinnedSeen;
  std::vector<std::string> differences;
  for (const fs::path& path : files) {
    const std::string fileName = path.filename().string();
    const nlohmann::json& reader = all[path.string()];
    std::shared_ptr<Database> db;
    const std::string failed =
        errorOf([&] { db = Engine::instance().OpenDatabase(text::fromUtf8(path.string())); });
    auto* access = dynamic_cast<db::AccessDatabase*>(db.get());
    ASSERT_TRUE(access || !failed.empty()) << path;
    if (const Refused* r = refused(fileName, nullptr)) {
      ++refusedFiles;
      if (!refusedAsStated(failed, *r) || failed.find(path.string()) == std::string::npos)
        differences.push_back(fileName + ": refused as stated expected, got '" + failed + "'");
      continue;
    }
    if (auto alone = std::find_if(std::begin(kReadAlone), std::end(kReadAlone),
                                  [&](const ReadAlone& a) { return fileName == a.file; });
        alone != std::end(kReadAlone) && failed.empty()) {
      ++tables;
      const size_t before = differences.size();
      const std::string where = fileName + " " + alone->table;
      const std::string error = errorOf([&] {
        auto rs = db->OpenRecordset(text::fromUtf8(alone->table));
        size_t rows = 0;
        for (; !rs->Eof(); rs->MoveNext(), ++rows)
          for (const auto& column :
               access->file().imported(text::fromUtf8(alone->table))->definition.columns)
            if (engineCell(*rs, column.name).rfind("error", 0) == 0)
              differences.push_back(where + " " + column.name + ": " +
                                    engineCell(*rs, column.name));
        if (rows != alone->rows)
          differences.push_back(where + ": " + std::to_string(rows) + " rows, not " +
                                std::to_string(alone->rows));
      });
      if (!error.empty()) differences.push_back(where + ": " + error);
      if (differences.size() == before) ++agreeing;
      continue;
    }
    if (reader.contains("error") || !failed.empty()) {
      differences.push_back(fileName + ": engine '" + failed + "', mdb-reader '" +
                            reader.value("error", "") + "'");
      continue;
    }
    std::set<std::string> ours;
    for (const auto& entry : access->file().catalog()) {
      if (entry.type != db::object_type::kTable || entry.system()) continue;
      const std::string table = text::toUtf8(entry.name);
      ours.insert(table);
      ++tables;
      const size_t before = differences.size();
      if (!reader.contains(table))
        differences.push_back(fileName + " " + table + ": mdb-reader does not list it");
      else
        compareTable(*db, fileName, table, reader[table], differences, pinnedSeen);
      if (differences.size() == before) ++agreeing;
    }
    // Access hides its system tables and the temporaries "~…" it leaves
    // behind; the engine lists neither.
    for (const auto& [table, t] : reader.items())
      if (table.rfind("MSys", 0) != 0 && table.rfind("~", 0) != 0 && !ours.count(table))
        differences.push_back(fileName + " " + table + ": the engine does not list it");
  }
  std::string list;
  for (const auto& d : differences) list += "\n  " + d;
  EXPECT_TRUE(differences.empty()) << differences.size() << " differences:" << list;
  EXPECT_EQ(pinnedSeen.size(), std::size(kPinned)) << "a pinned cell was not met";
  std::printf("[ figures  ] %zu files (%d refused as stated), %d tables compared, %d agree\n",
              files.size(), refusedFiles, tables, agreeing);
}

// ---- the second oracle: mdb-export ------------------------------------------

// What mdb-export is told to write between rows and cells and for Null:
// sequences no text of the files holds.
const std::string kRowEnd = "\x1e\x02\x1e", kCellEnd = "\x1f\x02\x1f", kNull = "\x1d\x02\x1d";

// One cell as both readers give it.
struct Cell {
  const std::string &file, &table, &column;
  bool calculated;
  const std::string &engine, &exported;  // exported "" for a whole table
};

// Where mdbtools is known wrong, each stated once.
struct MdbtoolsWrong {
  const char* why;
  bool (*applies)(const Cell&);
};
bool fileHas(const Cell& c, const char* part) { return c.file.find(part) != std::string::npos; }
std::string asMdbtoolsWrites(const std::string& utf8);
const MdbtoolsWrong kMdbtoolsWrong[] = {
    {"a zero-length Text or binary value: mdbtools cannot tell it from Null",
     [](const Cell& c) {
       return (c.engine == "text:" || c.engine == "bin:") && c.exported == kNull;
     }},
    {"calculated columns (Access 2010+): mdbtools reads the stored result header as the value",
     [](const Cell& c) { return c.calculated; }},
    {"characters its converter lacks: mdbtools writes '?' for each half of a character beyond "
     "U+FFFF and for the C1 controls a Jet 3 file's code page 1252 leaves undefined",
     [](const Cell& c) {
       return c.engine.rfind("text:", 0) == 0 && asMdbtoolsWrites(c.engine.substr(5)) == c.exported;
     }},
    {"dates outside the C library's calendar (before 1900-03-01, from 9999 on): mdbtools writes "
     "the impossible day 1900-01-00",
     [](const Cell& c) {
       return c.engine.rfind("date:", 0) == 0 && c.exported.rfind("1900-01-00", 0) == 0;
     }},
    {"Date/Time Extended (Access 2019+, extDateTest): mdbtools 1.0 does not know the type and "
     "writes Null",
     [](const Cell& c) { return fileHas(c, "extDateTest") && c.exported == kNull; }},
    {"Large Number (Access 2016+): mdbtools 1.0 does not know the type and writes nothing",
     [](const Cell& c) { return fileHas(c, "bigint") && c.exported.empty(); }},
    {"column kinds 0x46 and 0x47 (unsupportedFieldsTest): mdbtools writes nothing",
     [](const Cell& c) { return fileHas(c, "unsupportedFieldsTest") && c.exported.empty(); }},
    {"Parameters 'table 1': mdbtools skips the row written before a column was added (ID 9)",
     [](const Cell& c) {
       return fileHas(c, "_Parameters-d7881267.") && c.table == "table 1" && c.column.empty();
     }},
};

// A text as mdbtools writes it: '?' for each UTF-16 unit of a character beyond
// U+FFFF and for the C1 controls.
std::string asMdbtoolsWrites(const std::string& utf8) {
  std::u16string out;
  for (char16_t ch : text::fromUtf8(utf8))
    out += (ch >= 0xD800 && ch <= 0xDFFF) || (ch >= 0x80 && ch <= 0x9F) ? u'?' : ch;
  return text::toUtf8(out);
}

// One mdb-export cell in the engine's canonical terms: true when they agree.
// mdb-export writes numbers in C's %g forms, Yes/No as 1/0, bytes and GUIDs
// (with -b hex) in hex.
bool agreesWithExport(const std::string& engine, const std::string& cell) {
  auto number = [](const std::string& s, double& d) {
    char* end = nullptr;
    d = std::strtod(s.c_str(), &end);
    return !s.empty() && end == s.c_str() + s.size();
  };
  auto close = [](double a, double b) {
    return std::fabs(a - b) <= 1e-6 * std::max({1.0, std::fabs(a), std::fabs(b)});
  };
  if (engine == "null") return cell == kNull;
  if (cell == kNull) return false;
  if (engine == "bool:True") return cell == "1";
  if (engine == "bool:False") return cell == "0";
  if (engine.rfind("int:", 0) == 0) return engine.substr(4) == cell;
  if (engine.rfind("num:", 0) == 0 || engine.rfind("dec:", 0) == 0) {
    double a, b;
    return number(engine.substr(4), a) && number(cell, b) && close(a, b);
  }
  if (engine.rfind("bin:", 0) == 0) return engine.substr(4) == cell;
  if (engine.rfind("text:", 0) == 0) {
    const std::string text = engine.substr(5);
    if (text == cell) return true;
    // A Replication ID: mdb-export writes its text in hex, without one dash.
    if (cell.size() % 2 || cell.find_first_not_of("0123456789ABCDEF") != std::string::npos)
      return false;
    std::string decoded;
    for (size_t i = 0; i + 1 < cell.size(); i += 2)
      decoded += static_cast<char>(std::stoi(cell.substr(i, 2), nullptr, 16));
    auto undashed = [](std::string s) {
      s.erase(std::remove(s.begin(), s.end(), '-'), s.end());
      return s;
    };
    return text.size() == 38 && text[0] == '{' && undashed(decoded) == undashed(text);
  }
  if (engine.rfind("date:", 0) == 0) {
    std::string iso = engine.substr(5, 19);
    iso[10] = ' ';
    return iso == cell;
  }
  return engine == "complex";
}

// The rows of table in file as mdb-export writes them (cells split), or
// nullopt when it fails.
std::optional<std::vector<std::vector<std::string>>> exported(const fs::path& file,
                                                              const std::string& table) {
  std::string quoted = table;
  for (size_t at = 0; (at = quoted.find('\'', at)) != std::string::npos; at += 4)
    quoted.replace(at, 1, "'\\''");
  const std::string cmd =
      "mdb-export -H -Q -b hex -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' "
      "-0 \"$(printf '\\035\\002\\035')\" -d \"$(printf '\\037\\002\\037')\" "
      "-R \"$(printf '\\036\\002\\036')\" '" +
      file.string() + "' '" + quoted + "' 2>/dev/null";
  std::FILE* p = ::popen(cmd.c_str(), "r");
  std::string out;
  char buf[65536];
  while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  if (::pclose(p) != 0) return std::nullopt;
  std::vector<std::vector<std::string>> rows;
  size_t start = 0;
  for (size_t end; (end = out.find(kRowEnd, start)) != std::string::npos; start = end + 3) {
    std::vector<std::string> cells;
    const std::string line = out.substr(start, end - start);
    size_t from = 0;
    for (size_t to; (to = line.find(kCellEnd, from)) != std::string::npos; from = to + 3)
      cells.push_back(line.substr(from, to - from));
    cells.push_back(line.substr(from));
    rows.push_back(std::move(cells));
  }
  return rows;
}

const MdbtoolsWrong* knownWrong(const Cell& cell) {
  for (const auto& w : kMdbtoolsWrong)
    if (w.applies(cell)) return &w;
  return nullptr;
}

// Every user table of the same files, also against mdb-export (Debian
// mdbtools): the cells agree, except where mdbtools is known wrong.
TEST(AccessDifferential, EveryTableReadsAsMdbExportReadsIt) {
  const std::string fixtures = testing::fixturesDir(), corpora = testing::corporaDir();
  if (fixtures.empty() || corpora.empty() || std::system("command -v mdb-export >/dev/null")) {
    if (testing::fixturesRequired()) FAIL() << "fixtures, corpora or mdb-export missing";
    GTEST_SKIP() << "fixtures, corpora or mdb-export (Debian mdbtools) missing";
  }
  int tables = 0, agreeing = 0;
  std::set<const MdbtoolsWrong*> used;
  std::vector<std::string> differences;
  for (const fs::path& dir :
       {fs::path(fixtures) / "access", fs::path(fixtures) / "public",
        fs::path(corpora) / "access-jackcess", fs::path(corpora) / "access-ucanaccess-mdbreader"}) {
    std::set<fs::path> files;
    for (const auto& f : fs::directory_iterator(dir))
      if (f.path().extension() == ".mdb" || f.path().extension() == ".accdb")
        files.insert(f.path());
    for (const fs::path& path : files) {
      const std::string fileName = path.filename().string();
      std::shared_ptr<Database> db;
      if (!errorOf([&] {
             db = Engine::instance().OpenDatabase(text::fromUtf8(path.string()));
           }).empty())
        continue;  // refused files: the test above states each
      auto& access = dynamic_cast<db::AccessDatabase&>(*db);
      for (const auto& entry : access.file().catalog()) {
        if (entry.type != db::object_type::kTable || entry.system()) continue;
        const std::string table = text::toUtf8(entry.name), where = fileName + " " + table;
        std::shared_ptr<Recordset> rs;
        if (!errorOf([&] { rs = db->OpenRecordset(entry.name); }).empty()) continue;
        ++tables;
        const std::string none;
        if (const auto* w = knownWrong({fileName, table, none, false, none, none})) {
          used.insert(w);
          continue;
        }
        const auto rows = exported(path, table);
        if (!rows) {
          differences.push_back(where + ": mdb-export fails on it");
          continue;
        }
        const auto& columns = access.file().imported(entry.name)->definition.columns;
        const size_t before = differences.size();
        size_t row = 0;
        for (; !rs->Eof() && row < rows->size(); rs->MoveNext(), ++row) {
          const auto& cells = (*rows)[row];
          for (size_t c = 0; c < columns.size() && c < cells.size(); ++c) {
            const std::string got = engineCell(*rs, columns[c].name);
            if (agreesWithExport(got, cells[c])) continue;
            if (const auto* w = knownWrong(
                    {fileName, table, columns[c].name, columns[c].calculated, got, cells[c]})) {
              used.insert(w);
              continue;
            }
            differences.push_back(where + " row " + std::to_string(row) + " " + columns[c].name +
                                  ": engine " + got + ", mdb-export " + cells[c]);
          }
        }
        if (row != rows->size() || !rs->Eof())
          differences.push_back(where + ": the engine reads " + std::to_string(row) +
                                "+ rows, mdb-export " + std::to_string(rows->size()));
        if (differences.size() == before) ++agreeing;
      }
    }
  }
  std::string list;
  for (const auto& d : differences) list += "\n  " + d;
  EXPECT_TRUE(differences.empty()) << differences.size() << " differences:" << list;
  EXPECT_EQ(used.size(), std::size(kMdbtoolsWrong)) << "a stated mdbtools fault was not met";
  std::printf("[ figures  ] %d tables compared with mdb-export, %d agree\n", tables, agreeing);
}

}  // namespace
}  // namespace dorvane
