#include "resolve/resolve_placeholder.h"

#include <dorvane/runtime_error.h>

#include <cmath>
#include <limits>

#include "platform/convert.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"
#include "resolve/names.h"
#include "resolve/reference_row.h"
#include "resolve/reference_table.h"
#include "resolve/rounding.h"
#include "resolve/sql_text.h"

namespace dorvane {

namespace {

using reference::Column;
using text::CompareMode;

MergeObserver& quiet() {
  static MergeObserver none;
  return none;
}

// Separator positions are 16-bit: a position (or a position plus one) beyond
// 32767 overflows.
std::int16_t position16(std::int64_t pos, const char* what) {
  if (pos > std::numeric_limits<std::int16_t>::max()) {
    throw RuntimeError(err::kOverflow, std::string("Overflow: the ") + what +
                                           " of the placeholder lies beyond character 32767");
  }
  return static_cast<std::int16_t>(pos);
}

double checkedSum(double a, double b) {
  double s = a + b;
  if (!std::isfinite(s)) throw RuntimeError(err::kOverflow, "Overflow in the running total");
  return s;
}

// The reference row that the loop and its ends use: its columns come from
// the row's memo, read once per row as read.
struct Row {
  const Recordset& kivrs;
  reference::RowMemo& memo;
  std::u16string key;
  const Variant* keyField = nullptr;
  const Variant* altKeyField = nullptr;
  const std::u16string* fieldName = nullptr;
  bool numeric = false;
  bool tableMode = false;
  const Variant* commentField = nullptr;  // null for the page kind

  const Variant& column(Column c) const { return memo.value(kivrs, c); }
};

// Adds every numeric value of the value field from the current record to EOF;
// the observer hears how many records that was.
void accumulate(Recordset& rs, const Row& row, double& total, MergeObserver& obs) {
  long records = 0;
  do {
    Variant v = rs.Fields(*row.fieldName);
    if (!v.isNull() && isNumeric(v)) total = checkedSum(total, toDouble(v));
    rs.MoveNext();
    ++records;
  } while (!rs.Eof());
  obs.recordsRead(records);
}

// Joins the non-Null values of the value field, each followed by one space.
std::u16string concatenate(Recordset& rs, const Row& row, MergeObserver& obs) {
  std::u16string out;
  long records = 0;
  while (!rs.Eof()) {
    Variant v = rs.Fields(*row.fieldName);
    if (!v.isNull()) out += toText(v) + u" ";
    rs.MoveNext();
    ++records;
  }
  obs.recordsRead(records);
  return out;
}

// "column 'X' of '!!key'": names a reference column in an error description.
std::string describeColumn(const char16_t* column, const Row& row) {
  return "column '" + text::toUtf8(column) + "' of '" + text::toUtf8(row.key) + "'";
}

// A reference column's value as a number; the description is only built
// when the conversion fails.
double columnNumber(const Variant& v, const char16_t* column, const Row& row) {
  if (v.isNumber()) return toDouble(v);
  return toDouble(v, describeColumn(column, row));
}

// total / "単位": Null when the unit is Null; 11 when it is 0.
Variant divideByUnit(double total, const Row& row) {
  const Variant& unit = row.column(Column::Unit);
  if (unit.isNull()) return Variant::null();
  double u = columnNumber(unit, names::kUnit, row);
  if (u == 0) {
    throw RuntimeError(err::kDivisionByZero,
                       "Division by zero: " + describeColumn(names::kUnit, row) + " is 0");
  }
  double q = total / u;
  if (!std::isfinite(q)) {
    throw RuntimeError(err::kOverflow, "Overflow dividing by " + describeColumn(names::kUnit, row));
  }
  return Variant::dbl(q);
}

bool isWord(const Variant& v, const char16_t* word) { return v.isString() && v.asString() == word; }

// The text item's value: the concatenation (worksheet, "連結") or the first
// record's value.
Variant textValue(Recordset& rs, const Row& row, PlaceholderKind kind, MergeObserver& obs) {
  if (kind == PlaceholderKind::Worksheet &&
      isWord(row.column(Column::Rounding), names::kConcatenate))
    return Variant::string(concatenate(rs, row, obs));
  obs.recordsRead(1);
  return rs.Fields(*row.fieldName);
}

PlaceholderResult emptyFinal(double total, const Row& row) {
  PlaceholderResult r{Outcome::Resolved, {}, {}};
  if (!row.numeric) {
    r.value = Variant::string(u"");
  } else if (total == 0.0) {
    r.value = Variant::dbl(0);
  } else {
    r.value = divideByUnit(total, row);
  }
  return r;
}

PlaceholderResult finalWithRecords(double total, Recordset& rs, const Row& row,
                                   PlaceholderKind kind, MergeObserver& obs) {
  PlaceholderResult r{Outcome::Resolved, {}, {}};
  const bool worksheet = kind == PlaceholderKind::Worksheet;

  std::u16string commentText;
  if (worksheet && !row.commentField->isNull()) {
    const std::u16string field = toText(*row.commentField);
    Variant v = rs.Fields(field);
    commentText = v.isNull() ? toText(v, "the comment field '" + text::toUtf8(field) + "' for '" +
                                             text::toUtf8(row.key) + "'")
                             : toText(v);
  }

  if (row.numeric) {
    accumulate(rs, row, total, obs);
    double quotient = columnNumber(divideByUnit(total, row), names::kUnit, row);
    const Variant& word = row.column(Column::Rounding);
    double places = columnNumber(row.column(Column::DecimalPlaces), names::kDecimalPlaces, row);
    if (isWord(word, names::kRoundNearest)) {
      r.value = Variant::dbl(roundDecimal(quotient, places, RoundingMode::Nearest));
    } else if (isWord(word, names::kRoundUp)) {
      r.value = Variant::dbl(roundDecimal(quotient, places, RoundingMode::Up));
    } else if (isWord(word, names::kRoundDown)) {
      r.value = Variant::dbl(roundDecimal(quotient, places, RoundingMode::Down));
    }
  } else {
    r.value = textValue(rs, row, kind, obs);
  }

  if (worksheet) {
    if (!row.commentField->isNull()) {
      r.comment = commentText;
    } else if (const Variant& d = row.column(Column::Description); !d.isNull()) {
      r.comment = toText(d);
    }
  }
  return r;
}

PlaceholderResult finish(PlaceholderResult r, LoopEnd end, MergeObserver& obs) {
  obs.loopEnded(end);
  obs.resolved(r);
  return r;
}

PlaceholderResult outcomeOnly(Outcome o, MergeObserver& obs, std::string_view reason) {
  PlaceholderResult r{o, {}, {}};
  obs.skipped(reason);
  obs.resolved(r);
  return r;
}

}  // namespace

PlaceholderResult resolvePlaceholder(const std::u16string& text, std::int16_t wkcycle,
                                     Recordset& kivrs, PlaceholderKind kind,
                                     std::shared_ptr<Database>& DB, std::shared_ptr<Recordset>& rs,
                                     MergeObserver* observer) {
  MergeObserver& obs = observer ? *observer : quiet();
  ReadSnapshot snapshot;  // one consistent view of each file for this placeholder
  const auto L = static_cast<std::int64_t>(text.size());

  // The key ends at the first ",".
  const std::int16_t C = position16(text::InStr(1, text, u",", CompareMode::Text), "','");
  if (C == 0) return outcomeOnly(Outcome::StopPass, obs, "malformed: no ',' after the key");
  if (C == L) return outcomeOnly(Outcome::StopPass, obs, "malformed: nothing after the ','");

  std::u16string key = text.substr(0, static_cast<size_t>(C - 1));
  bool found = reference::seek(kivrs, key);
  obs.keyLookedUp(key, found);
  if (!found) return outcomeOnly(Outcome::Skip, obs, "no row for the key in the reference table");
  if (observer && observer->hearsRows()) observer->referenceRowRead(reference::observedRow(kivrs));

  reference::RowMemo& memo = reference::RowMemo::of(kivrs);
  Row row{kivrs, memo, std::move(key)};
  const Variant& priority = row.column(Column::TransferPriority);
  if (!reference::selectsPass(priority, wkcycle)) {
    return outcomeOnly(
        Outcome::Skip, obs,
        priority.isNull() ? "the row's transfer priority is Null (no pass)" : kOtherPassReason);
  }

  row.keyField = &row.column(Column::KeyField);
  row.altKeyField = &row.column(Column::AltKeyField);
  const std::u16string& dbName = memo.requireText(kivrs, Column::DbName, row.key);
  row.fieldName = &memo.requireText(kivrs, Column::FieldName, row.key);
  row.numeric = memo.requireText(kivrs, Column::FieldType, row.key) == names::kNumericType;
  row.tableMode = memo.requireText(kivrs, Column::TableOrQuery, row.key) == names::kTableMode;
  static const Variant kNull = Variant::null();
  row.commentField =
      kind == PlaceholderKind::Worksheet ? &row.column(Column::CommentField) : &kNull;
  double total = 0;

  DB = Engine::instance().OpenDatabase(dbName);

  std::int16_t P = C;
  for (;;) {
    if (P == std::numeric_limits<std::int16_t>::max())
      position16(std::int64_t{P} + 1, "';'");  // raises: P + 1 overflows
    const std::int16_t S = position16(text::InStr(P + 1, text, u";", CompareMode::Text), "';'");
    if (S == 0) {
      return outcomeOnly(Outcome::StopPass, obs,
                         "malformed: a key segment without its ';' (or text after the last ';')");
    }
    const std::u16string_view segment =
        std::u16string_view(text).substr(static_cast<size_t>(P), static_cast<size_t>(S - P));
    const auto A = text::InStr(1, segment, u"'", CompareMode::Text);
    const auto E = text::InStr(1, segment, u";", CompareMode::Text);

    const std::u16string& target = row.tableMode
                                       ? memo.requireText(kivrs, Column::TableName, row.key)
                                       : memo.joinText(kivrs, Column::QueryName);
    const std::u16string& keyField = memo.joinText(kivrs, Column::KeyField);
    // The SQL text, and its shape with the key values apart (the same for
    // every placeholder of the row, so kept with it).
    const bool two = A != 0;
    std::u16string_view values[2];
    const std::u16string* secondField = nullptr;
    if (two) {
      secondField = &memo.joinText(kivrs, Column::AltKeyField);
      values[0] = segment.substr(0, static_cast<size_t>(A - 1));
      values[1] = segment.substr(static_cast<size_t>(A), static_cast<size_t>(E - A - 1));
    } else {
      values[0] = segment.substr(0, static_cast<size_t>(E - 1));
    }
    std::optional<std::u16string>& shape = memo.shape(two);
    if (!shape) shape = sql::valueTargetShape(row.tableMode, target, keyField, secondField);
    std::u16string sqlText = sql::valueTarget(
        row.tableMode, target, keyField, values[0],
        two ? std::optional<sql::SecondCondition>(sql::SecondCondition{*secondField, values[1]})
            : std::nullopt);
    obs.sqlRun(sqlText);
    rs = DB->OpenLookup(std::move(sqlText), Database::LiteralShape{&*shape, values, two ? 2u : 1u});

    const bool final = S == L;
    if (rs->RecordCount() == 0) {
      obs.recordsRead(0);
      if (final) return finish(emptyFinal(total, row), LoopEnd::EmptyFinal, obs);
      P = S;
      continue;
    }
    if (final) {
      return finish(finalWithRecords(total, *rs, row, kind, obs), LoopEnd::FinalWithRecords, obs);
    }
    if (row.numeric) {
      accumulate(*rs, row, total, obs);
      P = S;
      continue;
    }
    PlaceholderResult r{Outcome::Resolved, textValue(*rs, row, kind, obs), {}};
    return finish(r, LoopEnd::EarlyText, obs);
  }
}

const char* outcomeName(Outcome o) {
  switch (o) {
    case Outcome::StopPass:
      return "StopPass";
    case Outcome::Skip:
      return "Skip";
    case Outcome::Resolved:
      return "Resolved";
  }
  return "?";
}

const char* loopEndName(LoopEnd e) {
  switch (e) {
    case LoopEnd::EmptyFinal:
      return "EmptyFinal";
    case LoopEnd::FinalWithRecords:
      return "FinalWithRecords";
    case LoopEnd::EarlyText:
      return "EarlyText";
  }
  return "?";
}

}  // namespace dorvane
