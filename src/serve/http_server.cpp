#include "serve/http_server.h"

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/defer.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>
#include <vector>

namespace dorvane::serve {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr auto kKeepAliveIdle = std::chrono::seconds(2);
constexpr int kRequestsPerConnection = 1000;
constexpr std::uint32_t kHeaderLimit = 32 * 1024;
constexpr std::size_t kReadSize = 64 * 1024;
constexpr auto kLinger = std::chrono::seconds(2);

std::string_view view(boost::beast::string_view text) { return {text.data(), text.size()}; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

class Session;

struct HttpServer::Impl {
  Impl(HttpHandler& h, std::function<HttpLimits()> l) : handler(h), limits(std::move(l)) {}
  void accept();
  void forget(Session* s) {
    std::lock_guard<std::mutex> lock(sessionsLock);
    sessions.erase(s);
  }

  HttpHandler& handler;
  std::function<HttpLimits()> limits;
  asio::io_context io;
  tcp::acceptor acceptor{asio::make_strand(io)};
  std::atomic<bool> draining{false};
  std::mutex sessionsLock;
  std::unordered_set<Session*> sessions;
};

// One connection: reads a request, hands it to the handler, writes the
// answer, and again while the connection is kept. Every step runs on the
// connection's strand.
class Session : public HttpExchange, public std::enable_shared_from_this<Session> {
 public:
  Session(HttpServer::Impl& server, tcp::socket socket)
      : server_(server), stream_(std::move(socket)), waitTimer_(stream_.get_executor()) {
    beast::error_code ec;
    const auto remote = stream_.socket().remote_endpoint(ec);
    if (!ec) remoteAddr_ = remote.address().to_string();
    stream_.socket().set_option(tcp::no_delay(true), ec);
  }
  ~Session() override { server_.forget(this); }

  void start() { nextRequest(); }

  // Closes the connection when it waits between two requests (the drain).
  void closeIfIdle() {
    if (auto self = weak_from_this().lock()) {
      asio::post(stream_.get_executor(), [self] {
        if (self->idle_) self->stream_.cancel();
      });
    }
  }

  void finish() override {
    asio::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->write(); });
  }

  // Deferred, not posted: called from a server thread (one ending a merge
  // hands its slot on), the step runs on that same thread once it is free,
  // rather than waking another one.
  void resume(std::function<void()> fn) override {
    asio::defer(stream_.get_executor(),
                [self = shared_from_this(), fn = std::move(fn)] { self->guarded(fn); });
  }

  void expireAt(std::chrono::steady_clock::time_point when, std::function<void()> fn) override {
    waitTimer_.expires_at(when);
    waitTimer_.async_wait([self = shared_from_this(), fn = std::move(fn)](beast::error_code ec) {
      if (!ec && !self->written_) self->guarded(fn);
    });
  }

 private:
  void nextRequest() {
    parser_.emplace();
    parser_->eager(true);
    parser_->header_limit(kHeaderLimit);
    limits_ = server_.limits();
    parser_->body_limit(limits_.bodyLimit);
    headRead_ = false;
    written_ = false;
    request = HttpRequest{};
    response = HttpResponse{};
    // Waiting between requests: the drain may close it.
    idle_ = count_ > 0 && buffer_.size() == 0;
    if (idle_ && server_.draining) return close();
    if (buffer_.size() > 0) return parse();
    readSome();
  }

  void readSome() {
    stream_.expires_after(idle_ ? std::chrono::milliseconds(kKeepAliveIdle) : limits_.readTimeout);
    stream_.async_read_some(buffer_.prepare(kReadSize),
                            [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                              self->idle_ = false;
                              if (ec) return self->close();
                              self->buffer_.commit(n);
                              self->parse();
                            });
  }

  void parse() {
    beast::error_code ec;
    while (buffer_.size() > 0 && !parser_->is_done()) {
      buffer_.consume(parser_->put(buffer_.data(), ec));
      if (ec == http::error::need_more) {
        ec = {};
        break;
      }
      if (ec) break;
      if (!headRead_ && parser_->is_header_done() && headDone()) return;
    }
    if (ec) {
      const int status = ec == http::error::body_limit     ? 413
                         : ec == http::error::header_limit ? 431
                                                           : 400;
      if (!headRead_) request.start = std::chrono::steady_clock::now();
      server_.handler.refuse(*this, status);
      response.close = true;
      return write();
    }
    if (!parser_->is_done()) return readSome();
    request.body = std::move(parser_->get().body());
    guarded([this] {
      server_.handler.handle(std::shared_ptr<HttpExchange>(shared_from_this(), this));
    });
  }

  // Runs a step of the handler; one that throws is answered with a 500.
  void guarded(const std::function<void()>& step) {
    try {
      step();
    } catch (...) {
      if (written_) return;
      response = HttpResponse{};
      server_.handler.refuse(*this, 500);
      write();
    }
  }

  // The head is read: fills request's head and lets the handler answer before
  // the body. Returns true when the answer is on its way.
  bool headDone() {
    headRead_ = true;
    ++count_;
    const auto& head = parser_->get();
    request.method = view(head.method_string());
    const std::string_view target = view(head.target());
    const size_t mark = target.find('?');
    request.path = target.substr(0, mark);
    if (request.path.find('%') != std::string_view::npos) {
      path_ = percentDecoded(request.path, false);
      request.path = path_;
    }
    request.query = mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
    for (const auto& field : head)
      request.headers.emplace_back(view(field.name_string()), view(field.value()));
    request.remoteAddr = remoteAddr_;
    request.onConnection = count_;
    request.start = std::chrono::steady_clock::now();
    if (server_.handler.answerBeforeBody(*this)) {
      response.close = true;
      write();
      return true;
    }
    if (!parser_->is_done() && equalsNoCase(request.header("Expect"), "100-continue")) {
      static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
      beast::error_code ignored;
      asio::write(stream_.socket(), asio::buffer(kContinue.data(), kContinue.size()), ignored);
    }
    return false;
  }

  void write() {
    written_ = true;
    waitTimer_.cancel();
    const bool keep = !response.close && !server_.draining && count_ < kRequestsPerConnection &&
                      parser_->is_done() && parser_->get().keep_alive();
    answer_ = {};
    answer_.version(11);
    answer_.result(static_cast<unsigned>(response.status));
    for (auto& [name, value] : response.headers) answer_.insert(name, value);
    if (!response.contentType.empty()) answer_.set(http::field::content_type, response.contentType);
    answer_.content_length(response.body.size());
    if (request.method != "HEAD") answer_.body() = std::move(response.body);
    answer_.keep_alive(keep);
    stream_.expires_after(limits_.readTimeout);
    http::async_write(stream_, answer_,
                      [self = shared_from_this(), keep](beast::error_code ec, std::size_t) {
                        if (!self->answer_.body().empty())
                          self->response.body = std::move(self->answer_.body());
                        self->server_.handler.answered(*self);
                        if (ec) return self->close();
                        if (!keep)
                          return self->parser_->is_done() ? self->close() : self->linger(true);
                        self->nextRequest();
                      });
  }

  // Answered before the whole body was read: what the client still sends is
  // read and dropped for up to kLinger, so that closing does not reset the
  // connection (and lose the answer) while the client is still sending.
  void linger(bool first) {
    if (first) {
      beast::error_code ignored;
      stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
      stream_.expires_after(kLinger);
    }
    buffer_.clear();
    stream_.async_read_some(buffer_.prepare(kReadSize),
                            [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              if (ec) return self->close();
                              self->linger(false);
                            });
  }

  void close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

  HttpServer::Impl& server_;
  beast::tcp_stream stream_;
  asio::steady_timer waitTimer_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> answer_;
  HttpLimits limits_;
  std::string remoteAddr_;
  std::string path_;  // the request's path when it had to be decoded
  int count_ = 0;
  bool headRead_ = false;
  bool idle_ = false;
  bool written_ = false;  // the answer to the current request is on its way
};

void HttpServer::Impl::accept() {
  acceptor.async_accept(asio::make_strand(io), [this](beast::error_code ec, tcp::socket socket) {
    if (!acceptor.is_open()) return;
    if (!ec) {
      auto session = std::make_shared<Session>(*this, std::move(socket));
      {
        std::lock_guard<std::mutex> lock(sessionsLock);
        sessions.insert(session.get());
      }
      session->start();
    }
    accept();
  });
}

HttpServer::HttpServer(HttpHandler& handler, std::function<HttpLimits()> limits)
    : impl_(std::make_unique<Impl>(handler, std::move(limits))) {}

HttpServer::~HttpServer() = default;

int HttpServer::bind(const std::string& host, int port, std::string& why) {
  beast::error_code ec;
  tcp::resolver resolver(impl_->io);
  const auto found = resolver.resolve(host, std::to_string(port), tcp::resolver::passive, ec);
  if (!ec && found.empty()) ec = asio::error::host_not_found;
  auto& acceptor = impl_->acceptor;
  if (!ec) acceptor.open(found.begin()->endpoint().protocol(), ec);
  if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(found.begin()->endpoint(), ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    why = "cannot listen on " + host + ":" + std::to_string(port) + ": " + ec.message();
    return -1;
  }
  return acceptor.local_endpoint().port();
}

void HttpServer::run(int threads) {
  impl_->accept();
  // A step that throws outside the handler's own guard ends its connection
  // (its last reference goes with the step), not the thread or the server.
  auto serve = [this] {
    for (;;) {
      try {
        impl_->io.run();
        return;
      } catch (...) {
      }
    }
  };
  std::vector<std::thread> others;
  for (int i = 1; i < threads; ++i) others.emplace_back(serve);
  serve();
  for (auto& t : others) t.join();
}

void HttpServer::drain() {
  if (impl_->draining.exchange(true)) return;
  asio::post(impl_->acceptor.get_executor(), [this] {
    beast::error_code ignored;
    impl_->acceptor.close(ignored);
  });
  std::lock_guard<std::mutex> lock(impl_->sessionsLock);
  for (Session* s : impl_->sessions) s->closeIfIdle();  // skips one being destroyed
}

}  // namespace dorvane::serve
