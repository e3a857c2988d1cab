// The service's HTTP/1.1 server: event-driven (Boost.Asio and Boost.Beast),
// a few threads for every connection, none held by an open connection.
//
// Threads: run() serves on the threads it is given, all taking whatever is
// ready (accepts, reads, writes, answers handed back). A handler may work on
// the thread that read its request (the service merges there); the other
// threads go on serving meanwhile. A connection's steps run one at a time.
// Time limits: a request must arrive whole within the read time-out from its
// first byte (the first request of a connection: from the accept), an answer
// be written within it; a kept-alive connection is closed after 2 s without
// a new request, or after 1,000 requests.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "serve/http_exchange.h"

namespace dorvane::serve {

struct HttpLimits {
  std::size_t bodyLimit = 10 * 1024 * 1024;
  std::chrono::milliseconds readTimeout{10000};
};

class HttpServer {
 public:
  // limits() is asked again for each request, so a reload applies to the next.
  HttpServer(HttpHandler& handler, std::function<HttpLimits()> limits);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on host:port (0: a free port). Returns the port, or -1 with why set.
  int bind(const std::string& host, int port, std::string& why);
  // Serves on `threads` threads, the calling one among them, until drain()
  // has run and every connection has ended.
  void run(int threads);
  // Stops accepting (the listening socket is closed), closes connections
  // waiting between requests, and lets every other one end its request and
  // close once answered. Any thread; idempotent.
  void drain();

  struct Impl;  // the server's state, in http_server.cpp

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace dorvane::serve
