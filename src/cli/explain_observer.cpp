#include "cli/explain_observer.h"

#include "platform/convert.h"
#include "platform/db/odbc_connect_string.h"
#include "platform/text/utf.h"

namespace dorvane::cli {

namespace {
std::string u8(const std::u16string& s) { return text::toUtf8(s); }
}  // namespace

void ExplainObserver::passStarted(const std::u16string& path, int wkcycle) {
  std::fprintf(out_, "pass %d on %s\n", wkcycle, u8(db::maskPasswords(path)).c_str());
}

void ExplainObserver::placeholderFound(const std::u16string& text, const std::u16string& where) {
  std::fprintf(out_, "  placeholder %s at %s\n", u8(text).c_str(), u8(where).c_str());
}

void ExplainObserver::keyLookedUp(const std::u16string& key, bool found) {
  std::fprintf(out_, "    key %s: %s\n", u8(key).c_str(),
               found ? "row found" : "no row in the reference table");
}

void ExplainObserver::skipped(std::string_view reason) {
  std::fprintf(out_, "    left alone: %.*s\n", static_cast<int>(reason.size()), reason.data());
}

void ExplainObserver::sqlRun(const std::u16string& sql) {
  std::fprintf(out_, "    sql: %s\n", u8(sql).c_str());
}

void ExplainObserver::loopEnded(LoopEnd end) {
  std::fprintf(out_, "    loop end: %s\n", loopEndName(end));
}

void ExplainObserver::resolved(const PlaceholderResult& r) {
  std::fprintf(out_, "    outcome: %s", outcomeName(r.outcome));
  if (r.value) {
    std::string shown = r.value->isNull() ? "Null" : u8(toText(*r.value));
    std::fprintf(out_, ", value %s (%s)", shown.c_str(), typeName(r.value->type()));
  } else if (r.outcome == Outcome::Resolved) {
    std::fprintf(out_, ", no value (rounding word not recognised)");
  }
  if (r.comment) std::fprintf(out_, ", comment \"%s\"", u8(*r.comment).c_str());
  std::fputc('\n', out_);
}

void ExplainObserver::valueWritten(const std::u16string& text, const std::u16string& where) {
  std::fprintf(out_, "    wrote \"%s\" at %s\n", u8(text).c_str(), u8(where).c_str());
}

void ExplainObserver::failed(std::string_view step, int number, std::string_view description) {
  std::string shown = db::maskPasswords(description);
  std::fprintf(out_, "    failed in %.*s: error %d: %s\n", static_cast<int>(step.size()),
               step.data(), number, shown.c_str());
}

}  // namespace dorvane::cli
