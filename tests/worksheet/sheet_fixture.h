// A reference database for the worksheet merge (value and detail
// placeholders, one SQLite file that is also its own source database) and an
// in-process workbook registered as the running application.
#pragma once

#include <dorvane/sheet.h>

#include <memory>
#include <string>

#include "platform/sheet/memory_sheet.h"
#include "support/temp_db.h"

namespace dorvane::testing {

// Builds the database at path. "DB名" of every row names path itself, except
// !!nodb, whose database does not exist.
inline void buildSheetDatabase(const std::string& path) {
  std::string sql = referenceTableSchema();
  sql += R"sql(
CREATE TABLE items (code TEXT, name TEXT, price DOUBLE);
INSERT INTO items VALUES ('A01', 'pen', 120), ('A01', 'ink', 80), ('A02', 'note', 245.5);
CREATE TABLE orders (code TEXT, item TEXT, qty INTEGER, amount DOUBLE, extra TEXT);
INSERT INTO orders VALUES
  ('A01', 'pen', 1, 100, 'x1'), ('A01', 'ink', 2, 200, 'x2'), ('B02', 'cap', 3, 300, 'x3'),
  ('A''1', 'quoted', 4, 400, 'x4');
CREATE TABLE no_orders (code TEXT, item TEXT, qty INTEGER, amount DOUBLE, extra TEXT);
CREATE VIEW q_orders AS SELECT code, item, qty * 10 AS qty, amount, extra FROM orders;
INSERT INTO 参照ﾃｰﾌﾞﾙ
  (ｷｰ, 転送優先, ｷｰﾌｨｰﾙﾄﾞ, DB名, ﾌｨｰﾙﾄﾞ名, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ, "ﾃｰﾌﾞﾙ／ｸｴﾘｰF",
   ﾃｰﾌﾞﾙ名, ｸｴﾘｰ名, 内容説明, 単位, ﾗｳﾝﾄﾞ, 小数位, 行間) VALUES
  ('!!price',    1, 'code', '@DB@', 'price', '数値', 'table', 'items', NULL, '単価', 1, '四捨五入', 0, NULL),
  ('!!name',     0, 'code', '@DB@', 'name', 'テキスト', 'table', 'items', NULL, '品名', 1, NULL, 0, NULL),
  ('!!plain',    1, 'code', '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, 1, '四捨五入', 0, NULL),
  ('!!blank',    1, 'code', '@DB@', 'price', '数値', 'table', 'items', NULL, '', 1, '四捨五入', 0, NULL),
  ('!!badround', 1, 'code', '@DB@', 'price', '数値', 'table', 'items', NULL, '丸め不明', 1, '適当', 0, NULL),
  ('!!nodb',     1, 'code', '@DIR@/missing.sqlite', 'price', '数値', 'table', 'items', NULL, NULL, 1, '四捨五入', 0, NULL),
  ('&&orders',   1, 'code', '@DB@', NULL, NULL, 'table', 'orders', NULL, '注文', NULL, NULL, NULL, 1),
  ('&&gap2',     1, 'code', '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, 2),
  ('&&gap0',     1, 'code', '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, 0),
  ('&&slots013', 1, 'code', '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, 1),
  ('&&dup',      1, 'code', '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, 1),
  ('&&none',     1, 'code', '@DB@', NULL, '空', 'table', 'no_orders', NULL, '空', NULL, NULL, NULL, 1),
  ('&&query',    1, 'code', '@DB@', NULL, NULL, 'query', NULL, 'q_orders', NULL, NULL, NULL, NULL, 1),
  ('&&late',     0, 'code', '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, 1),
  ('&&never',    NULL, 'code', '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, 1),
  ('&&noitems',  1, 'code', '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, 1),
  ('&&noslot0',  1, 'code', '@DB@', NULL, 'd', 'table', 'orders', NULL, 'd', NULL, NULL, NULL, 1),
  ('&&slot100',  1, 'code', '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, 1),
  ('&&badfield', 1, 'code', '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, 1),
  ('&&o''q',     1, 'code', '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, 1);
INSERT INTO 明細項目ﾃｰﾌﾞﾙ VALUES
  ('&&orders', 0, 'item'), ('&&orders', 1, 'qty'), ('&&orders', 2, 'amount'),
  ('&&gap2', 0, 'item'), ('&&gap2', 1, 'qty'),
  ('&&gap0', 0, 'item'), ('&&gap0', 1, 'qty'),
  ('&&slots013', 0, 'item'), ('&&slots013', 1, 'qty'), ('&&slots013', 3, 'extra'),
  ('&&dup', 0, 'item'), ('&&dup', 1, 'qty'), ('&&dup', 1, 'amount'),
  ('&&none', 0, 'item'),
  ('&&query', 0, 'item'), ('&&query', 1, 'qty'),
  ('&&late', 0, 'item'), ('&&never', 0, 'item'),
  ('&&noslot0', 1, 'qty'),
  ('&&badfield', 0, 'item'), ('&&badfield', 1, 'nope'),
  ('&&o''q', 0, 'item');
)sql";
  std::string dir = path.substr(0, path.rfind('/'));
  for (size_t p; (p = sql.find("@DB@")) != std::string::npos;) sql.replace(p, 4, path);
  for (size_t p; (p = sql.find("@DIR@")) != std::string::npos;) sql.replace(p, 5, dir);
  for (int slot = 0; slot <= 100; ++slot) {
    sql += "INSERT INTO 明細項目ﾃｰﾌﾞﾙ VALUES ('&&slot100', " + std::to_string(slot) + ", 'qty');\n";
  }
  buildDatabase(path, sql);
}

// An in-process application with one workbook and one worksheet, registered
// as the running application for the object's lifetime.
class RunningSheet {
 public:
  RunningSheet()
      : app_(std::make_shared<sheet::MemoryApplication>()),
        sheet_(app_->addWorkbook()->addWorksheet()) {
    sheet::registerRunning(app_);
  }
  ~RunningSheet() { sheet::registerRunning(nullptr); }
  RunningSheet(const RunningSheet&) = delete;
  RunningSheet& operator=(const RunningSheet&) = delete;

  sheet::MemoryApplication& app() { return *app_; }
  sheet::MemoryWorksheet& ws() { return *sheet_; }

 private:
  std::shared_ptr<sheet::MemoryApplication> app_;
  std::shared_ptr<sheet::MemoryWorksheet> sheet_;
};

}  // namespace dorvane::testing
