-- The secondary database of the stand-in's cases: its own reference rows,
-- detail items and source tables ("DB名" names this file, relative to the
-- current directory). Read after bench/reference_tables.sql, which makes the
-- empty reference and detail item tables.
CREATE TABLE parts (code TEXT, name TEXT, weight DOUBLE, extra TEXT);
INSERT INTO parts VALUES ('S1', 'bolt', 2.675, 'x1'), ('S1', 'nut', 1.5, 'x2'), ('S2', 'washer', 0.25, 'x3');
CREATE TABLE no_parts (code TEXT, name TEXT, weight DOUBLE, extra TEXT);
CREATE VIEW q_parts AS SELECT code, name, weight * 10 AS weight FROM parts;

INSERT INTO 参照ﾃｰﾌﾞﾙ VALUES
  ('!!weight', 1, 'code', NULL, 'second.sqlite', 'weight', '数値', 'table', 'parts', NULL, NULL, '重量', 1, '四捨五入', 2, 0),
  ('!!wup',    1, 'code', NULL, 'second.sqlite', 'weight', '数値', 'table', 'parts', NULL, NULL, NULL, 1, '切り上げ', 1, 0),
  ('!!wdown',  0, 'code', NULL, 'second.sqlite', 'weight', '数値', 'table', 'parts', NULL, NULL, '', 1, '切り捨て', 1, 0),
  ('!!pname',  0, 'code', NULL, 'second.sqlite', 'name', 'テキスト', 'table', 'parts', NULL, NULL, '部品名', 1, NULL, 0, 0),
  ('!!odd',    1, 'code', NULL, 'second.sqlite', 'weight', '数値', 'table', 'parts', NULL, NULL, '丸め不明', 1, '適当', 0, 0),
  ('&&gap2',   1, 'code', NULL, 'second.sqlite', NULL, NULL, 'table', 'parts', NULL, NULL, '部品', NULL, NULL, NULL, 2),
  ('&&gap0',   1, 'code', NULL, 'second.sqlite', NULL, NULL, 'table', 'parts', NULL, NULL, NULL, NULL, NULL, NULL, 0),
  ('&&slots',  0, 'code', NULL, 'second.sqlite', NULL, NULL, 'table', 'parts', NULL, NULL, NULL, NULL, NULL, NULL, 1),
  ('&&none',   1, 'code', NULL, 'second.sqlite', NULL, NULL, 'table', 'no_parts', NULL, NULL, '空', NULL, NULL, NULL, 1),
  ('&&query',  0, 'code', NULL, 'second.sqlite', NULL, NULL, 'query', NULL, 'q_parts', NULL, 'クエリ', NULL, NULL, NULL, 1),
  ('&&never',  NULL, 'code', NULL, 'second.sqlite', NULL, NULL, 'table', 'parts', NULL, NULL, NULL, NULL, NULL, NULL, 1);
INSERT INTO 明細項目ﾃｰﾌﾞﾙ VALUES
  ('&&gap2', 0, 'name'), ('&&gap2', 1, 'weight'),
  ('&&gap0', 0, 'name'), ('&&gap0', 1, 'weight'),
  ('&&slots', 0, 'name'), ('&&slots', 1, 'weight'), ('&&slots', 3, 'extra'),
  ('&&none', 0, 'name'),
  ('&&query', 0, 'name'), ('&&query', 1, 'weight'),
  ('&&never', 0, 'name');
