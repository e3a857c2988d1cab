// The service's routes: what it answers and what openapi.json describes (a
// test holds the two together).
#pragma once

namespace dorvane::serve {

struct Route {
  const char* method;
  const char* path;
  bool secured;  // needs a token when tokens are configured
};

inline constexpr Route kRoutes[] = {
    {"GET", "/", false},        {"GET", "/openapi.json", false}, {"GET", "/healthz", false},
    {"GET", "/readyz", false},  {"GET", "/metrics", true},       {"GET", "/v1/sources", true},
    {"POST", "/v1/page", true}, {"POST", "/v1/workbook", true},  {"POST", "/v1/resolve", true},
};

// The OpenAPI 3 document and the page at "/", built into the program.
extern const char kOpenApiJson[];
extern const char kIndexHtml[];

}  // namespace dorvane::serve
