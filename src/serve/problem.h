// Error answers as RFC 9457 problem details (application/problem+json).
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "serve/http_exchange.h"

namespace dorvane::serve {

inline constexpr char kProblemType[] = "application/problem+json";

// Sets res to a problem: status, its title, detail and any extension members
// of extra (an object). A 503 gets "Retry-After: 1", a 401 a Bearer challenge.
void setProblem(HttpResponse& res, int status, const std::string& detail,
                const nlohmann::json& extra = nlohmann::json::object());

}  // namespace dorvane::serve
