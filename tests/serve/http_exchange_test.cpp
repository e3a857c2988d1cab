// What routes read of a request: query parameters decoded as sent by
// browsers and HTTP clients, header fields by any case of their name.
#include "serve/http_exchange.h"

#include <gtest/gtest.h>

namespace dorvane::serve {
namespace {

TEST(ServeHttpRequest, QueryParametersAndHeaders) {
  const struct {
    const char* query;
    const char* name;
    bool present;
    const char* value;
  } cases[] = {
      {"a=1&b=2", "b", true, "2"},
      {"primary=%2Fetc%2Fpasswd", "primary", true, "/etc/passwd"},
      {"q=x+y%20z", "q", true, "x y z"},
      {"q=%zz&r=%4", "q", true, "%zz"},
      {"q=%zz&r=%4", "r", true, "%4"},
      {"flag&x=1", "flag", true, ""},
      {"a=1&a=2", "a", true, "1"},
      {"%61=3", "a", true, "3"},
      {"&&a=1&", "a", true, "1"},
      {"ab=1", "a", false, ""},
      {"", "a", false, ""},
  };
  for (const auto& tc : cases) {
    HttpRequest r;
    r.query = tc.query;
    EXPECT_EQ(r.hasParam(tc.name), tc.present) << tc.query << " " << tc.name;
    EXPECT_EQ(r.param(tc.name), tc.value) << tc.query << " " << tc.name;
  }
  EXPECT_EQ(percentDecoded("/v1%2Fpage+x", false), "/v1/page+x");
  HttpRequest r;
  r.headers = {{"content-type", "text/html"}, {"Accept", "a"}, {"ACCEPT", "b"}};
  EXPECT_EQ(r.header("Content-Type"), "text/html");
  EXPECT_EQ(r.header("accept"), "a");
  EXPECT_EQ(r.header("Authorization"), "");
}

}  // namespace
}  // namespace dorvane::serve
