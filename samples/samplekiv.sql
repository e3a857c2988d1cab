-- The bundled sample: a reference database that is also its own source
-- database ("DB名" names this file, relative to the current directory).
PRAGMA encoding = 'UTF-16le';

CREATE TABLE 参照ﾃｰﾌﾞﾙ (
  ｷｰ TEXT,
  転送優先 BOOLEAN,
  ｷｰﾌｨｰﾙﾄﾞ TEXT,
  ALTｷｰﾌｨｰﾙﾄﾞ TEXT,
  DB名 TEXT,
  ﾌｨｰﾙﾄﾞ名 TEXT,
  ﾌｨｰﾙﾄﾞﾀｲﾌﾟ TEXT,
  "ﾃｰﾌﾞﾙ／ｸｴﾘｰF" TEXT,
  ﾃｰﾌﾞﾙ名 TEXT,
  ｸｴﾘｰ名 TEXT,
  コメント項目名 TEXT,
  内容説明 TEXT,
  単位 DOUBLE,
  ﾗｳﾝﾄﾞ TEXT,
  小数位 SMALLINT,
  行間 SMALLINT
);
CREATE INDEX ｷｰ ON 参照ﾃｰﾌﾞﾙ (ｷｰ);

CREATE TABLE 明細項目ﾃｰﾌﾞﾙ (ｷｰ TEXT, 明細順序 SMALLINT, ﾌｨｰﾙﾄﾞ名 TEXT);

CREATE TABLE items (code TEXT, name TEXT, price DOUBLE, note TEXT);
CREATE INDEX items_code ON items (code);
INSERT INTO items VALUES
  ('A01', 'ボールペン', 120, '黒'),
  ('A01', 'ボールペン', 80, '赤'),
  ('A02', 'ノート', 245.5, 'A4'),
  ('B01', '消しゴム', 2.675, NULL);

CREATE TABLE stock (code TEXT, lot TEXT, qty INTEGER);
INSERT INTO stock VALUES ('A01', '1', 10), ('A01', '2', 25), ('A02', '1', 7);

CREATE TABLE orders (code TEXT, line INTEGER, item TEXT, qty INTEGER, amount CURRENCY);
INSERT INTO orders VALUES
  ('A01', 1, 'ボールペン', 2, '240'),
  ('A01', 2, 'ノート', 1, '245.5'),
  ('A02', 1, '消しゴム', 10, '1000');

CREATE VIEW q_items AS SELECT code, name, price * 1.1 AS price FROM items;

INSERT INTO 参照ﾃｰﾌﾞﾙ VALUES
  ('!!price',  1, 'code', NULL,  'samplekiv.sqlite', 'price', '数値',   'table', 'items', NULL,      NULL,   '単価',     1,    '四捨五入', 0, 0),
  ('!!price_k',1, 'code', NULL,  'samplekiv.sqlite', 'price', '数値',   'table', 'items', NULL,      NULL,   '単価（千円）', 1000, '切り上げ', 1, 0),
  ('!!price2', 1, 'code', NULL,  'samplekiv.sqlite', 'price', '数値',   'table', 'items', NULL,      NULL,   NULL,       1,    '四捨五入', 2, 0),
  ('!!name',   0, 'code', NULL,  'samplekiv.sqlite', 'name',  'テキスト', 'table', 'items', NULL,      'note', '品名',     1,    NULL,       0, 0),
  ('!!names',  1, 'code', NULL,  'samplekiv.sqlite', 'name',  'テキスト', 'table', 'items', NULL,      NULL,   '品名一覧', 1,    '連結',     0, 0),
  ('!!qprice', 1, 'code', NULL,  'samplekiv.sqlite', 'price', '数値',   'query', NULL,    'q_items', NULL,   NULL,       1,    '四捨五入', 1, 0),
  ('!!lot',    0, 'code', 'lot', 'samplekiv.sqlite', 'qty',   '数値',   'table', 'stock', NULL,      NULL,   '在庫',     1,    '四捨五入', 0, 0),
  ('&&orders', 1, 'code', NULL,  'samplekiv.sqlite', NULL,    NULL,     'table', 'orders', NULL,     NULL,   '注文明細', 1,    NULL,       0, 1);

INSERT INTO 明細項目ﾃｰﾌﾞﾙ VALUES
  ('&&orders', 0, 'item'),
  ('&&orders', 1, 'qty'),
  ('&&orders', 2, 'amount');
