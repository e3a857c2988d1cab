#include "serve/service.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ctime>
#include <nlohmann/json.hpp>

#include "platform/db/access/access_table_cache.h"
#include "platform/text/code_page.h"
#include "platform/text/utf.h"
#include "serve/connection_pool.h"
#include "serve/problem.h"
#include "serve/routes.h"
#include "serve/token_check.h"

namespace dorvane::serve {

namespace {

using json = nlohmann::ordered_json;

// When the request the calling connection thread serves was read.
thread_local Clock::time_point requestStart;

// Extra connection threads beyond one per merge worker and queue slot: for
// health checks, metrics and answering 503 while every merge slot is taken.
constexpr int kSpareConnections = 8;

std::string base64(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kAlphabet[(v >> s) & 63];
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string dump(const json& j, bool ascii = false) {
  return j.dump(-1, ' ', ascii, json::error_handler_t::replace);
}

json errorJson(const RunError& e) {
  return json{{"step", e.step},
              {"number", e.number},
              {"description", e.description},
              {"placeholder", e.placeholder}};
}

// The summary of the runs, for a header (ASCII) or a JSON answer.
json runsJson(const MergeAnswer& a) {
  json errors = json::array();
  for (const auto& e : a.errors) errors.push_back(errorJson(e));
  return json{{"status", a.errors.empty() ? "ok" : "error"}, {"errors", errors}};
}

const char* charsetOf(int codePage) {
  switch (codePage) {
    case 932:
      return "; charset=Shift_JIS";
    case 65001:
      return "; charset=UTF-8";
    case 1252:
      return "; charset=windows-1252";
    case 20127:
      return "; charset=us-ascii";
    default:
      return "";
  }
}

const char kXlsx[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
const char kXlsm[] = "application/vnd.ms-excel.sheet.macroEnabled.12";

std::string routeOf(const std::string& path) {
  for (const auto& r : kRoutes) {
    if (path == r.path) return r.path;
  }
  return "other";
}

std::string utcNow() {
  char text[32];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

void setCork(const httplib::Request& req, int on) {
  const int sock = socketOfThisConnection(req);
  if (sock >= 0) ::setsockopt(sock, IPPROTO_TCP, TCP_CORK, &on, sizeof on);
}

// One line on stderr in a single write, so lines of threads never mix.
void logLine(const json& j) {
  std::string line = dump(j) + "\n";
  (void)!::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace

Service::Service(Config config, std::string configPath, std::string listen)
    : config_(std::make_shared<const Config>(std::move(config))),
      configPath_(std::move(configPath)),
      listen_(std::move(listen)),
      slots_(config_->workers, config_->queue) {
  const int connections = config_->workers + config_->queue + kSpareConnections;
  http_.new_task_queue = [connections] { return new ConnectionPool(connections); };
  http_.set_payload_max_length(config_->bodyLimit);
  http_.set_read_timeout(
      std::chrono::duration_cast<std::chrono::microseconds>(config_->readTimeout));
  http_.set_write_timeout(
      std::chrono::duration_cast<std::chrono::microseconds>(config_->readTimeout));
  http_.set_keep_alive_timeout(2);
  // A client keeps its connection for up to 1,000 requests (as nginx lets
  // it), not cpp-httplib's 5: a new connection every fifth request cost a
  // handshake, an accept and a hand-over to a connection thread each time.
  http_.set_keep_alive_max_count(1000);
  // Headers and body go out in separate writes: without this, Nagle's
  // algorithm and the client's delayed ACK hold every answer some 40 ms.
  http_.set_tcp_nodelay(true);
  http_.set_socket_options([this](socket_t sock) {
    httplib::default_socket_options(sock);
    int none = -1;
    listenFd_.compare_exchange_strong(none, sock);
  });
  routes();
}

Service::~Service() = default;

std::shared_ptr<const Config> Service::config() const {
  std::lock_guard<std::mutex> lock(configLock_);
  return config_;
}

int Service::bind(std::string& why) {
  auto c = config();
  int port = c->port == 0 ? http_.bind_to_any_port(c->host)
                          : (http_.bind_to_port(c->host, c->port) ? c->port : -1);
  if (port < 0) why = "cannot listen on " + c->host + ":" + std::to_string(c->port);
  return port;
}

bool Service::run() {
  http_.listen_after_bind();
  return draining_.load();
}

void Service::drain() {
  if (draining_.exchange(true)) return;
  logLine(json{{"time", utcNow()}, {"event", "draining"}});
  // Shut, not closed: cpp-httplib's accept loop ends, but keeps serving the
  // connections it has already accepted (stop() would drop the queued ones).
  const int fd = listenFd_.exchange(-2);
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

bool Service::reload(std::string& why) {
  auto fresh = loadConfig(configPath_, listen_, why);
  if (!fresh) return false;
  std::lock_guard<std::mutex> lock(configLock_);
  fresh->workers = config_->workers;
  fresh->queue = config_->queue;
  fresh->host = config_->host;
  fresh->port = config_->port;
  config_ = std::make_shared<const Config>(std::move(*fresh));
  return true;
}

bool Service::authorized(const httplib::Request& req, httplib::Response& res, const Config& c) {
  if (c.tokenHashes.empty()) return true;
  const std::string header = req.get_header_value("Authorization");
  constexpr char kBearer[] = "Bearer ";
  if (header.rfind(kBearer, 0) != 0 || header.size() == sizeof kBearer - 1) {
    setProblem(res, 401, "this service needs \"Authorization: Bearer TOKEN\"");
    return false;
  }
  if (!tokenMatches(header.substr(sizeof kBearer - 1), c.tokenHashes)) {
    setProblem(res, 403, "the token is not one this service knows");
    return false;
  }
  return true;
}

void Service::routes() {
  http_.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    requestStart = Clock::now();
    countRequestOnThisConnection();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // cpp-httplib writes the head and the body of an answer separately: corked
  // from here (the head is written next) until the logger (called once the
  // body is written), they leave in one segment. The client wakes once, and
  // never sees a head without its body, even when this process dies.
  http_.set_post_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    if (draining_) res.set_header("Connection", "close");
    setCork(req, 1);
  });
  http_.set_error_handler([this](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return;
    if (res.status == 413) {
      setProblem(res, 413,
                 "the body is larger than " + std::to_string(config()->bodyLimit) + " bytes");
    } else if (res.status == 404) {
      setProblem(res, 404, "no such route; see /openapi.json");
    } else {
      setProblem(res, res.status, "the request could not be read");
    }
  });
  http_.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        setProblem(res, 500, "the request failed inside the service");
      });
  http_.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    setCork(req, 0);
    logRequest(req, res);
  });

  http_.Get("/", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; "
                   "connect-src 'self' blob:; form-action 'none'; frame-ancestors 'none'");
    res.set_content(kIndexHtml, "text/html; charset=utf-8");
  });
  http_.Get("/openapi.json", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kOpenApiJson, "application/json");
  });
  http_.Get("/healthz", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("{\"status\":\"alive\"}", "application/json");
  });
  http_.Get("/readyz", [this](const httplib::Request&, httplib::Response& res) { readiness(res); });
  http_.Get("/metrics", [this](const httplib::Request& req, httplib::Response& res) {
    if (!authorized(req, res, *config())) return;
    metrics_.setLoad(static_cast<double>(slots_.running()), static_cast<double>(slots_.waiting()));
    const auto reads = db::accessStreamCounts();
    metrics_.setAccessReads(reads.hits, reads.misses);
    res.set_content(metrics_.text(), "text/plain; version=0.0.4");
  });
  http_.Get("/v1/sources", [this](const httplib::Request& req, httplib::Response& res) {
    auto c = config();
    if (!authorized(req, res, *c)) return;
    json names = json::array();
    for (const auto& [name, path] : c->dataSources) names.push_back(name);
    res.set_content(dump(json{{"data_sources", names}}), "application/json");
  });
  http_.Post("/v1/page", [this](const httplib::Request& req, httplib::Response& res,
                                const httplib::ContentReader& body) {
    merge(MergeKind::Page, req, res, body);
  });
  http_.Post("/v1/workbook", [this](const httplib::Request& req, httplib::Response& res,
                                    const httplib::ContentReader& body) {
    merge(MergeKind::Workbook, req, res, body);
  });
  http_.Post("/v1/resolve", [this](const httplib::Request& req, httplib::Response& res,
                                   const httplib::ContentReader& body) {
    merge(MergeKind::Resolve, req, res, body);
  });
}

void Service::readiness(httplib::Response& res) {
  if (draining_) {
    setProblem(res, 503, "the service is draining");
    return;
  }
  auto c = config();
  json missing = json::array();
  for (const auto& [name, target] : c->dataSources) {
    // A connect string is reached by the first merge that needs it.
    if (target.rfind("ODBC;", 0) == 0 || target.rfind("odbc;", 0) == 0) continue;
    if (::access(target.c_str(), R_OK) != 0) missing.push_back(name);
  }
  if (!missing.empty()) {
    setProblem(res, 503, "data sources cannot be read", json{{"data_sources", missing}});
    return;
  }
  res.set_content("{\"status\":\"ready\"}", "application/json");
}

// The body is read here, not by cpp-httplib: it would parse a form-encoded
// body into query parameters (and refuse one over 8 KiB).
void Service::merge(MergeKind kind, const httplib::Request& req, httplib::Response& res,
                    const httplib::ContentReader& body) {
  auto c = config();
  // An answer given before the body is read ends the connection: the
  // unread body must not be taken for the next request.
  if (!authorized(req, res, *c)) {
    res.set_header("Connection", "close");
    return;
  }
  if (draining_ && requestsOnThisConnection() > 1) {
    // A new request on a kept-alive connection after the drain began.
    setProblem(res, 503, "the service is draining; try another instance");
    res.set_header("Connection", "close");
    return;
  }
  // The declared length is checked before anything is read, the bytes as they come.
  const std::string declared = req.get_header_value("Content-Length");
  const bool declaredTooLarge =
      !declared.empty() &&
      (declared.size() > 15 || declared.find_first_not_of("0123456789") != std::string::npos ||
       std::stoull(declared) > c->bodyLimit);
  if (req.is_multipart_form_data() || declaredTooLarge) {
    setProblem(res, req.is_multipart_form_data() ? 400 : 413,
               req.is_multipart_form_data()
                   ? "send the template itself as the body, not a form"
                   : "the body is larger than " + std::to_string(c->bodyLimit) + " bytes");
    res.set_header("Connection", "close");
    return;
  }
  std::string bytes;
  bool tooLarge = false;
  body([&](const char* data, size_t length) {
    tooLarge = bytes.size() + length > c->bodyLimit;
    if (!tooLarge) bytes.append(data, length);
    return !tooLarge;
  });
  if (tooLarge) {
    setProblem(res, 413, "the body is larger than " + std::to_string(c->bodyLimit) + " bytes");
    res.set_header("Connection", "close");
    return;
  }
  MergeRequest m;
  m.kind = kind;
  m.policy = &c->policy;
  // A configured data source by name: 404 when unknown, 400 when required and absent.
  auto source = [&](const char* param, bool required, std::string& out) {
    if (!req.has_param(param)) {
      if (required)
        setProblem(res, 400, std::string("the query parameter '") + param + "' is required");
      return !required;
    }
    auto it = c->dataSources.find(req.get_param_value(param));
    if (it == c->dataSources.end()) {
      setProblem(res, 404, "no data source named '" + req.get_param_value(param) + "'",
                 json{{"parameter", param}});
      return false;
    }
    out = it->second;
    return true;
  };
  if (kind == MergeKind::Resolve) {
    if (!source("db", true, m.db)) return;
    const std::string pass = req.has_param("pass") ? req.get_param_value("pass") : "1";
    const std::string form = req.get_param_value("kind");
    if ((pass != "1" && pass != "2") || (!form.empty() && form != "page" && form != "worksheet")) {
      setProblem(res, 400, "pass must be 1 or 2, kind page or worksheet");
      return;
    }
    m.pass = pass[0] - '0';
    m.pageKind = form == "page";
  } else {
    if (!source("primary", true, m.db) || !source("secondary", false, m.db2)) return;
    const std::string report = req.get_param_value("report");
    if (!report.empty() && report != "html") {
      setProblem(res, 400, "report can only be 'html'");
      return;
    }
    m.report = report == "html";
  }
  if (kind == MergeKind::Page && req.has_param("codepage")) {
    const std::string text = req.get_param_value("codepage");
    int cp = 0;
    for (char ch : text) cp = (ch >= '0' && ch <= '9' && cp < 100000) ? cp * 10 + (ch - '0') : -1;
    if (text.empty() || cp <= 0 || !text::codePageAvailable(cp)) {
      setProblem(res, 400, "codepage '" + text + "' is not an available code page");
      return;
    }
    m.codePage = cp;
  }
  if (kind == MergeKind::Workbook) {
    m.macros =
        req.get_header_value("Content-Type") == kXlsm || req.get_param_value("type") == "xlsm";
  }
  if (bytes.empty()) {
    setProblem(res, 400,
               kind == MergeKind::Resolve ? "the body must hold the placeholder text"
                                          : "the body must hold the template");
    return;
  }
  m.body = std::move(bytes);
  m.deadline = requestStart + c->deadline;

  MergeAnswer merged;
  {
    // The merge stops at the next placeholder past the deadline.
    MergeSlot slot(slots_, m.deadline);
    if (slot.status() == MergeSlot::Status::Full) {
      setProblem(res, 503, "every worker is busy and the queue is full");
      return;
    }
    if (slot.status() == MergeSlot::Status::TimedOut) {
      setProblem(res, 504,
                 "the merge did not end within " + std::to_string(c->deadline.count()) + " ms");
      return;
    }
    merged = runMerge(m);
  }
  answer(kind, m, std::move(merged), req, res);
}

void Service::answer(MergeKind kind, const MergeRequest& m, MergeAnswer&& a,
                     const httplib::Request& req, httplib::Response& res) {
  using S = MergeAnswer::Status;
  for (const auto& e : a.errors) metrics_.runtimeError(e.number);
  switch (a.status) {
    case S::PastDeadline:
      setProblem(res, 504, "the merge passed its deadline; it was stopped and nothing is sent");
      return;
    case S::BadTemplate:
      setProblem(res, 400, "the template could not be loaded: " + a.loadError);
      return;
    case S::Failed:
      setProblem(res, 500, "the merge failed: " + a.loadError);
      return;
    case S::Done:
    case S::RunFailed:
      break;
  }
  const json runs = runsJson(a);
  const std::string type = kind == MergeKind::Resolve ? "application/json"
                           : m.report                 ? "text/html; charset=utf-8"
                           : kind == MergeKind::Page
                               ? std::string("text/html") + charsetOf(m.codePage)
                           : m.macros ? kXlsm
                                      : kXlsx;
  if (a.status == S::RunFailed && !m.report) {
    const RunError& first = a.errors.front();
    json extra{{"number", first.number},
               {"description", first.description},
               {"placeholder", first.placeholder},
               {"errors", runs["errors"]}};
    if (kind == MergeKind::Resolve) {
      extra["error"] = json{{"number", first.number}, {"description", first.description}};
    } else {
      extra["result_type"] = type;
      extra["result_base64"] = base64(a.body);
    }
    setProblem(res, 422,
               first.step + ", placeholder " + first.placeholder + ": error " +
                   std::to_string(first.number) + ": " + first.description,
               extra);
    return;
  }
  if (kind != MergeKind::Resolve) res.set_header("Dorvane-Runs", dump(runs, true));
  if (kind == MergeKind::Page && !m.report &&
      req.get_header_value("Accept").find("application/json") != std::string::npos) {
    json j{{"runs", runs}, {"page", text::toUtf8(text::decodeCodePage(a.body, m.codePage))}};
    res.set_content(dump(j), "application/json");
    return;
  }
  res.set_content(std::move(a.body), type);
}

void Service::logRequest(const httplib::Request& req, const httplib::Response& res) {
  const double seconds = std::chrono::duration<double>(Clock::now() - requestStart).count();
  metrics_.request(routeOf(req.path), res.status, seconds);
  logLine(json{{"time", utcNow()},
               {"remote", req.remote_addr},
               {"method", req.method},
               {"path", req.path},
               {"status", res.status},
               {"bytes", res.body.size()},
               {"seconds", seconds}});
}

}  // namespace dorvane::serve
