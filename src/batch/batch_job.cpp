// Job lines and job results of a batch.
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>

#include "batch/batch.h"
#include "platform/text/code_page.h"

namespace dorvane::batch {

namespace {

using Json = nlohmann::json;

// The text field name of object o into out; false with why set when it is
// there but no text, or required and missing.
bool textField(const Json& o, const char* name, bool required, std::string& out, std::string& why) {
  auto it = o.find(name);
  if (it == o.end() || (!required && it->is_null())) {
    if (required) why = std::string("the field \"") + name + "\" is missing";
    return !required;
  }
  if (!it->is_string() || it->get_ref<const std::string&>().empty()) {
    why = std::string("the field \"") + name + "\" must be a non-empty text";
    return false;
  }
  out = it->get<std::string>();
  return true;
}

}  // namespace

Job parseJob(const std::string& line, long number) {
  Job job;
  job.number = number;
  Json o = Json::parse(line, nullptr, false);
  if (o.is_discarded() || !o.is_object()) {
    job.invalid = "line " + std::to_string(number) + " is not a JSON object";
    return job;
  }
  const std::string kind = o.value("kind", std::string());
  const bool page = kind == "web";
  if (!page && kind != "sheet") {
    job.invalid = "the field \"kind\" must be \"web\" or \"sheet\"";
    return job;
  }
  job.kind = page ? JobKind::Page : JobKind::Workbook;
  static const std::set<std::string> pageFields{"kind", "read", "save", "db",
                                                "db2", "codepage", "report"};
  static const std::set<std::string> bookFields{"kind", "in", "out", "db", "db2", "report"};
  for (const auto& item : o.items()) {
    if (!(page ? pageFields : bookFields).count(item.key())) {
      job.invalid = "unknown field \"" + item.key() + "\" in a " + kind + " job";
      return job;
    }
  }
  std::string why;
  if (!textField(o, page ? "read" : "in", true, job.read, why) ||
      !textField(o, page ? "save" : "out", true, job.save, why) ||
      !textField(o, "db", true, job.db, why) || !textField(o, "db2", false, job.db2, why) ||
      !textField(o, "report", false, job.report, why)) {
    job.invalid = why;
    return job;
  }
  if (auto cp = o.find("codepage"); page && cp != o.end()) {
    if (!cp->is_number_integer() || cp->get<long long>() <= 0 || cp->get<long long>() > 1'000'000) {
      job.invalid = "the field \"codepage\" must be a positive whole number";
      return job;
    }
    job.codePage = cp->get<int>();
    if (!text::codePageAvailable(job.codePage)) {
      job.invalid = "code page " + std::to_string(job.codePage) + " is not available";
      return job;
    }
  }
  return job;
}

const char* statusName(JobStatus status) {
  switch (status) {
    case JobStatus::Ok:
      return "ok";
    case JobStatus::Error:
      return "error";
    case JobStatus::Failed:
      break;
  }
  return "failed";
}

std::string resultJson(const JobResult& result) {
  nlohmann::ordered_json j;
  j["job"] = result.number;
  j["status"] = statusName(result.status);
  j["errors"] = result.errors;
  if (!result.retried.empty()) j["retried"] = result.retried;
  j["seconds"] = std::round(result.seconds * 1e6) / 1e6;
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

JobStatus pageStatus(const std::vector<ctlMessage::Failure>& failures) {
  JobStatus status = JobStatus::Ok;
  for (const auto& f : failures) {
    if (f.step.rfind("load", 0) == 0 || f.step.rfind("save", 0) == 0) return JobStatus::Failed;
    status = JobStatus::Error;
  }
  return status;
}

}  // namespace dorvane::batch
