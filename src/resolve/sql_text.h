// The SQL texts the merges open, built piece by piece exactly as the
// reference database expects them (the spacing differs between the modes and
// is kept). Names from the reference table are inserted as they stand; key
// values from templates go into the quoted literals with every "'" doubled,
// so a template can never change the SQL.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dorvane::sql {

// A key value as the inside of a '...' literal: every "'" doubled.
std::u16string literal(const std::u16string& value);

// The target of a value placeholder's key segment. Table mode (target T):
//   select all T.* from T where T.K = 'V1'[ and T.K2 = 'V2']
// query mode (target Q):
//   select all Q.* from Q where Q.K= 'V1'[ and Q.K2 ='V2']
struct SecondCondition {
  std::u16string_view field;  // K2
  std::u16string_view value;  // V2
};
std::u16string valueTarget(bool tableMode, const std::u16string& target,
                           const std::u16string& keyField, std::u16string_view value,
                           const std::optional<SecondCondition>& second);

// valueTarget's text with "?" in place of each quoted key value ('V1',
// 'V2'): its shape, the same for every key value. secondField: K2 when there
// is a second condition.
std::u16string valueTargetShape(bool tableMode, const std::u16string& target,
                                const std::u16string& keyField, const std::u16string* secondField);

// The detail item rows of a detail key:
//   select all 明細項目ﾃｰﾌﾞﾙ.* from 明細項目ﾃｰﾌﾞﾙ where 明細項目ﾃｰﾌﾞﾙ.ｷｰ = 'key'
std::u16string detailItems(const std::u16string& key);

// The target of a detail placeholder with a key value:
//   select all S.* from S where S.K ='V'
std::u16string detailTarget(const std::u16string& target, const std::u16string& keyField,
                            const std::u16string& value);

}  // namespace dorvane::sql
