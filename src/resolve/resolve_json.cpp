#include "resolve/resolve_json.h"

#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>

#include <nlohmann/json.hpp>

#include "platform/convert.h"
#include "platform/text/utf.h"
#include "resolve/reference_table.h"
#include "resolve/resolve_placeholder.h"

namespace dorvane {

std::string placeholderResultJson(const PlaceholderResult& r) {
  nlohmann::ordered_json j;
  j["outcome"] = outcomeName(r.outcome);
  if (r.value) {
    j["value"] = {{"type", typeName(r.value->type())},
                  {"text", r.value->isNull() ? std::string() : text::toUtf8(toText(*r.value))}};
  }
  if (r.comment) j["comment"] = text::toUtf8(*r.comment);
  return j.dump();
}

std::string runtimeErrorJson(int number, const std::string& description) {
  nlohmann::ordered_json j;
  j["error"] = {{"number", number}, {"description", description}};
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

ResolveAnswer resolveAsJson(const std::u16string& text, std::int16_t wkcycle, PlaceholderKind kind,
                            const std::u16string& path, MergeObserver* observer) {
  ResolveAnswer answer;
  try {
    auto kivdb = Engine::instance().OpenDatabase(path);
    auto kivrs = reference::open(*kivdb);
    std::shared_ptr<Database> DB;
    std::shared_ptr<Recordset> rs;
    answer.json =
        placeholderResultJson(resolvePlaceholder(text, wkcycle, *kivrs, kind, DB, rs, observer));
  } catch (const RuntimeError& e) {
    answer.errorNumber = e.number();
    answer.errorDescription = e.description();
    answer.json = runtimeErrorJson(e.number(), e.description());
  }
  return answer;
}

}  // namespace dorvane
