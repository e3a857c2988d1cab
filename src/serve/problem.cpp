#include "serve/problem.h"

namespace dorvane::serve {

namespace {

const char* title(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Content Too Large";
    case 422:
      return "A merge run ended with \"error\"";
    case 503:
      return "Service Unavailable";
    case 504:
      return "Past the deadline";
    default:
      return status >= 500 ? "Internal Server Error" : "Error";
  }
}

}  // namespace

void setProblem(HttpResponse& res, int status, const std::string& detail,
                const nlohmann::json& extra) {
  nlohmann::ordered_json j;
  j["type"] = status == 422 ? "urn:dorvane:problem:run-error" : "about:blank";
  j["title"] = title(status);
  j["status"] = status;
  j["detail"] = detail;
  for (const auto& [key, value] : extra.items()) j[key] = value;
  res.status = status;
  if (status == 503) res.setHeader("Retry-After", "1");
  if (status == 401) res.setHeader("WWW-Authenticate", "Bearer");
  res.setContent(j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace),
                 kProblemType);
}

}  // namespace dorvane::serve
