#include "resolve/reference_row.h"

#include <unordered_map>

#include "platform/convert.h"
#include "platform/worker_state.h"
#include "resolve/names.h"
#include "resolve/reference_table.h"

namespace dorvane::reference {

namespace {
constexpr const char16_t* kNames[] = {
    names::kTransferPriority, names::kKeyField,     names::kAltKeyField,  names::kDbName,
    names::kFieldName,        names::kFieldType,    names::kTableOrQuery, names::kTableName,
    names::kQueryName,        names::kCommentField, names::kDescription,  names::kUnit,
    names::kRounding,         names::kDecimalPlaces};
static_assert(std::size(kNames) == static_cast<std::size_t>(Column::Count));

const std::u16string kEmpty;
}  // namespace

const char16_t* columnName(Column c) { return kNames[static_cast<std::size_t>(c)]; }

// The memos of this worker by row identity, and one for rows without one.
struct MemoStore {
  // Past so many, the memos of rows the engine no longer holds are dropped;
  // past twice that, all of them.
  static constexpr std::size_t kSweepAt = 256;
  std::unordered_map<const void*, RowMemo> rows;
  RowMemo anonymous;
};

namespace {
platform::WorkerLocal<MemoStore> store;
}  // namespace

void RowMemo::clear() {
  identity_.reset();
  for (auto& v : values_) v.reset();
  for (auto& t : texts_) t.reset();
  for (auto& t : shapes_) t.reset();
}

RowMemo& RowMemo::of(const Recordset& kivrs) {
  MemoStore& s = *store;
  std::shared_ptr<const void> identity = kivrs.rowIdentity();
  if (!identity) {
    s.anonymous.clear();
    return s.anonymous;
  }
  auto found = s.rows.find(identity.get());
  // The same address with the memo's row gone is another row.
  if (found != s.rows.end() && !found->second.identity_.expired()) return found->second;
  if (found == s.rows.end() && s.rows.size() >= MemoStore::kSweepAt) {
    std::erase_if(s.rows, [](const auto& entry) { return entry.second.identity_.expired(); });
    if (s.rows.size() >= 2 * MemoStore::kSweepAt) s.rows.clear();
  }
  RowMemo& memo = s.rows[identity.get()];
  memo.clear();
  memo.identity_ = identity;
  return memo;
}

const Variant& RowMemo::value(const Recordset& kivrs, Column c) {
  auto& v = values_[static_cast<std::size_t>(c)];
  if (!v) v = kivrs.Fields(columnName(c));
  return *v;
}

const std::u16string& RowMemo::requireText(const Recordset& kivrs, Column c,
                                           const std::u16string& key) {
  auto& t = texts_[static_cast<std::size_t>(c)];
  if (t) return *t;
  const Variant& v = value(kivrs, c);
  if (v.isNull()) reference::requireText(kivrs, columnName(c), key);  // raises 94
  t = toText(v);
  return *t;
}

const std::u16string& RowMemo::joinText(const Recordset& kivrs, Column c) {
  auto& t = texts_[static_cast<std::size_t>(c)];
  if (t) return *t;
  const Variant& v = value(kivrs, c);
  if (v.isNull()) return kEmpty;
  t = toText(v);
  return *t;
}

}  // namespace dorvane::reference
