// The names this system shares with its databases and templates. Each appears
// here once; they are compared exactly, half-width katakana included.
#pragma once

namespace dorvane::names {

// Tables and the index of the reference database.
inline constexpr char16_t kReferenceTable[] = u"参照ﾃｰﾌﾞﾙ";
inline constexpr char16_t kDetailItemTable[] = u"明細項目ﾃｰﾌﾞﾙ";
inline constexpr char16_t kKeyIndex[] = u"ｷｰ";

// Columns of the reference table.
inline constexpr char16_t kTransferPriority[] = u"転送優先";
inline constexpr char16_t kKeyField[] = u"ｷｰﾌｨｰﾙﾄﾞ";
inline constexpr char16_t kAltKeyField[] = u"ALTｷｰﾌｨｰﾙﾄﾞ";
inline constexpr char16_t kDbName[] = u"DB名";
inline constexpr char16_t kFieldName[] = u"ﾌｨｰﾙﾄﾞ名";
inline constexpr char16_t kFieldType[] = u"ﾌｨｰﾙﾄﾞﾀｲﾌﾟ";
inline constexpr char16_t kTableOrQuery[] = u"ﾃｰﾌﾞﾙ／ｸｴﾘｰF";
inline constexpr char16_t kTableName[] = u"ﾃｰﾌﾞﾙ名";
inline constexpr char16_t kQueryName[] = u"ｸｴﾘｰ名";
inline constexpr char16_t kCommentField[] = u"コメント項目名";
inline constexpr char16_t kDescription[] = u"内容説明";
inline constexpr char16_t kUnit[] = u"単位";
inline constexpr char16_t kRounding[] = u"ﾗｳﾝﾄﾞ";
inline constexpr char16_t kDecimalPlaces[] = u"小数位";
inline constexpr char16_t kRowSpacing[] = u"行間";

// Columns of the detail item table ("ｷｰ" and "ﾌｨｰﾙﾄﾞ名" as above).
inline constexpr char16_t kDetailKey[] = u"ｷｰ";
inline constexpr char16_t kDetailOrder[] = u"明細順序";

// Values compared with fixed words.
inline constexpr char16_t kNumericType[] = u"数値";
inline constexpr char16_t kTableMode[] = u"table";
inline constexpr char16_t kRoundNearest[] = u"四捨五入";
inline constexpr char16_t kRoundUp[] = u"切り上げ";
inline constexpr char16_t kRoundDown[] = u"切り捨て";
inline constexpr char16_t kConcatenate[] = u"連結";

// Template markers.
inline constexpr char16_t kValueMarker[] = u"!!";
inline constexpr char16_t kDetailMarker[] = u"&&";
inline constexpr char16_t kPageValueMarker[] = u"gethere";

}  // namespace dorvane::names
