// One HTTP request and its answer, as the service's routes see them, and
// what the HTTP server asks of the service. Nothing here names the HTTP
// library: it stays inside http_server.cpp.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dorvane::serve {

// text percent-decoded ("%2F" → "/"); "+" stands for a space when
// plusIsSpace (a query). A "%" not followed by two hex digits stays.
std::string percentDecoded(std::string_view text, bool plusIsSpace);

struct HttpRequest {
  std::string_view method;  // "GET", "POST", …
  std::string_view path;    // the target up to "?", percent-decoded
  std::string_view query;   // after "?", "" for none
  // Header fields as sent; the views stay valid until the answer is written.
  std::vector<std::pair<std::string_view, std::string_view>> headers;
  std::string body;
  std::string remoteAddr;
  int onConnection = 0;  // requests read on this connection, this one included
  std::chrono::steady_clock::time_point start;  // when its head was read

  // The first field named name (case-insensitive), "" when there is none.
  std::string_view header(std::string_view name) const;
  // The first query parameter named name, percent-decoded ("+" a space).
  bool hasParam(std::string_view name) const;
  std::string param(std::string_view name) const;  // "" when absent
};

struct HttpResponse {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string contentType;
  bool close = false;  // end the connection once this is written

  void setHeader(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
  }
  void setContent(std::string bytes, std::string type) {
    body = std::move(bytes);
    contentType = std::move(type);
  }
};

// A request being answered. The server owns it; a handler that answers later
// keeps the shared pointer and calls finish() once, from any thread.
class HttpExchange {
 public:
  virtual ~HttpExchange() = default;
  HttpRequest request;
  HttpResponse response;
  // Sends response; nothing in request or response may be touched after it.
  virtual void finish() = 0;
  // Runs fn soon on the thread pool, in turn with this exchange's other steps.
  virtual void resume(std::function<void()> fn) = 0;
  // Runs fn at `when` as resume() would, unless finish() comes first.
  virtual void expireAt(std::chrono::steady_clock::time_point when, std::function<void()> fn) = 0;
};

// What the server asks of the service. Called on the server's threads, each
// exchange from one thread at a time.
class HttpHandler {
 public:
  virtual ~HttpHandler() = default;
  // The head is read, the body not yet: returns true with ex.response filled
  // to answer now, without reading the body (the connection then closes).
  virtual bool answerBeforeBody(HttpExchange& ex) = 0;
  // The whole request is read: fill ex->response and call ex->finish(), now
  // or later.
  virtual void handle(std::shared_ptr<HttpExchange> ex) = 0;
  // A request the server could not read (400, 413, 431) or that failed
  // inside the service (500): fill ex.response.
  virtual void refuse(HttpExchange& ex, int status) = 0;
  // The answer has been written (or the client left while it was).
  virtual void answered(const HttpExchange& ex) = 0;
};

}  // namespace dorvane::serve
