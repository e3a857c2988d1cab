// The OpenAPI document built into the service describes exactly its routes.
#include "serve/routes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>

namespace dorvane::serve {
namespace {

TEST(ServeRoutes, OpenApiDocumentListsEveryRouteAndNoOther) {
  const auto doc = nlohmann::json::parse(kOpenApiJson);
  ASSERT_EQ(doc["openapi"].get<std::string>().substr(0, 2), "3.");
  std::set<std::pair<std::string, std::string>> documented, served;
  for (const auto& [path, item] : doc["paths"].items()) {
    for (const auto& [method, operation] : item.items()) {
      std::string upper = method;
      std::transform(upper.begin(), upper.end(), upper.begin(),
                     [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
      documented.insert({upper, path});
      // A route that needs a token says so.
      const bool secured = operation.contains("security");
      for (const auto& r : kRoutes) {
        if (r.path == path && r.method == upper) {
          EXPECT_EQ(secured, r.secured) << path;
        }
      }
    }
  }
  for (const auto& r : kRoutes) served.insert({r.method, r.path});
  EXPECT_EQ(documented, served);
}

}  // namespace
}  // namespace dorvane::serve
