-- An empty reference table and detail item table, for the benchmarks' databases
-- and the stand-in spreadsheet application's secondary database.
CREATE TABLE 参照ﾃｰﾌﾞﾙ (ｷｰ TEXT, 転送優先 BOOLEAN, ｷｰﾌｨｰﾙﾄﾞ TEXT, ALTｷｰﾌｨｰﾙﾄﾞ TEXT,
  DB名 TEXT, ﾌｨｰﾙﾄﾞ名 TEXT, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ TEXT, "ﾃｰﾌﾞﾙ／ｸｴﾘｰF" TEXT, ﾃｰﾌﾞﾙ名 TEXT,
  ｸｴﾘｰ名 TEXT, コメント項目名 TEXT, 内容説明 TEXT, 単位 DOUBLE, ﾗｳﾝﾄﾞ TEXT, 小数位 SMALLINT,
  行間 SMALLINT);
CREATE INDEX ｷｰ ON 参照ﾃｰﾌﾞﾙ (ｷｰ);
CREATE TABLE 明細項目ﾃｰﾌﾞﾙ (ｷｰ TEXT, 明細順序 SMALLINT, ﾌｨｰﾙﾄﾞ名 TEXT);
