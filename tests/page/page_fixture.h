// A reference database for the page merge: value rows of both passes, values
// that hold markers ("gethere", "!!", "&&", a Null), failing rows, and detail
// rows. Everything lives in one SQLite file whose "DB名" values name itself.
#pragma once

#include <string>

#include "../support/temp_db.h"

namespace dorvane::testing {

inline void buildPageDatabase(const std::string& path) {
  std::string sql = referenceTableSchema();
  sql += R"sql(
CREATE TABLE items (code TEXT, name TEXT, price DOUBLE, v TEXT);
CREATE INDEX items_code ON items (code);
INSERT INTO items VALUES
  ('A01', 'pen', 120, NULL), ('A01', 'pencil', 80, NULL), ('A02', 'note', 245.5, NULL),
  ('G1', NULL, 1, 'gethere'), ('G2', NULL, 1, 'x!!a,A01;y'), ('G3', NULL, 1, '&&d,A01;gethere'),
  ('G4', NULL, 1, ''), ('G5', NULL, 1, NULL), ('G6', NULL, 1, '<b>&amp;</b>'),
  ('G7', NULL, 1, 'geth'), ('G8', NULL, 1, 'ere'), ('G9', NULL, 1, '!'),
  ('GA', NULL, 1, 'gethere gethere'), ('GB', NULL, 1, '漢字¥'), ('GC', NULL, 1, 'O''Brien'),
  ('GD', NULL, 1, ';'), ('GE', NULL, 1, '&'), ('GF', NULL, 1, '!!g,G1;gethere');
CREATE TABLE orders (code TEXT, item TEXT, qty INTEGER, note TEXT);
INSERT INTO orders VALUES
  ('A01', 'pen', 2, '<i>'), ('A01', 'note', 5, NULL), ('A02', 'eraser', 7, 'a&b'),
  ('O''1', 'quoted', 1, NULL), ('D1', '&&d,A01;gethere', 1, NULL);
CREATE VIEW q_items AS SELECT code, price * 2 AS price FROM items;
INSERT INTO 参照ﾃｰﾌﾞﾙ
  (ｷｰ, 転送優先, ｷｰﾌｨｰﾙﾄﾞ, ALTｷｰﾌｨｰﾙﾄﾞ, DB名, ﾌｨｰﾙﾄﾞ名, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ, "ﾃｰﾌﾞﾙ／ｸｴﾘｰF",
   ﾃｰﾌﾞﾙ名, ｸｴﾘｰ名, コメント項目名, 内容説明, 単位, ﾗｳﾝﾄﾞ, 小数位) VALUES
  ('!!a',    1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 0),
  ('!!b',    0, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 0),
  ('!!k',    1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1000, '切り上げ', 1),
  ('!!t',    1, 'code', NULL, '@DB@', 'name',  'テキスト', 'table', 'items', NULL, NULL, NULL, 1, '連結', 0),
  ('!!g',    1, 'code', NULL, '@DB@', 'v',     'テキスト', 'table', 'items', NULL, NULL, NULL, 1, NULL, 0),
  ('!!h',    0, 'code', NULL, '@DB@', 'v',     'テキスト', 'table', 'items', NULL, NULL, NULL, 1, NULL, 0),
  ('!!q',    1, 'code', NULL, '@DB@', 'price', '数値', 'query', NULL, 'q_items', NULL, NULL, 1, '四捨五入', 0),
  ('!!x',    1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '適当', 0),
  ('!!u',    1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 0, '四捨五入', 0),
  ('!!m',    1, 'code', NULL, '@DIR@/missing.sqlite', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 0),
  ('!!nul',  NULL, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 0),
  ('&&d',    1, 'code', NULL, '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, NULL),
  ('&&e',    0, 'code', NULL, '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, NULL),
  ('&&z',    1, 'code', NULL, '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, NULL),
  ('&&bad',  1, 'code', NULL, '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, NULL),
  ('&&nodb', 1, 'code', NULL, '@DIR@/missing.sqlite', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, NULL),
  ('&&nul',  NULL, 'code', NULL, '@DB@', NULL, NULL, 'table', 'orders', NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO 明細項目ﾃｰﾌﾞﾙ VALUES
  ('&&d', 0, 'item'), ('&&d', 1, 'qty'), ('&&d', 2, 'note'),
  ('&&e', 0, 'qty'),
  ('&&bad', 0, 'item'), ('&&bad', 1, 'nope');
)sql";
  std::string dir = path.substr(0, path.rfind('/'));
  for (size_t p; (p = sql.find("@DB@")) != std::string::npos;) sql.replace(p, 4, path);
  for (size_t p; (p = sql.find("@DIR@")) != std::string::npos;) sql.replace(p, 5, dir);
  buildDatabase(path, sql);
}

}  // namespace dorvane::testing
