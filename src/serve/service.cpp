#include "serve/service.h"

#include <unistd.h>

#include <ctime>
#include <nlohmann/json.hpp>

#include "platform/db/access/access_table_cache.h"
#include "platform/text/code_page.h"
#include "platform/text/utf.h"
#include "serve/problem.h"
#include "serve/routes.h"
#include "serve/token_check.h"

namespace dorvane::serve {

namespace {

using json = nlohmann::ordered_json;

// Server threads beyond one per merge worker: probes, metrics and refusals
// are answered while every worker merges.
constexpr int kSpareThreads = 1;

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

std::string routeOf(std::string_view path) {
  for (const auto& r : kRoutes) {
    if (path == r.path) return r.path;
  }
  return "other";
}

// The route (method, path) names; HEAD is served as GET. nullptr for none.
const Route* routeFor(const HttpRequest& req) {
  const std::string_view method = req.method == "HEAD" ? std::string_view("GET") : req.method;
  for (const auto& r : kRoutes) {
    if (req.path == r.path && method == r.method) return &r;
  }
  return nullptr;
}

MergeKind mergeKindOf(std::string_view path) {
  return path == "/v1/workbook"  ? MergeKind::Workbook
         : path == "/v1/resolve" ? MergeKind::Resolve
                                 : MergeKind::Page;
}

bool isMerge(const Route* r) { return r && std::string_view(r->method) == "POST"; }

std::string utcNow() {
  char text[32];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

// One line on stderr in a single write, so lines of threads never mix.
void logLine(const json& j) {
  std::string line = dump(j) + "\n";
  (void)!::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace

// A merge request read and checked, waiting for a slot or merging.
struct Service::PendingMerge {
  MergeKind kind = MergeKind::Page;
  MergeRequest request;
  MergeSlots::Waiter waiter;
  std::chrono::milliseconds deadline{0};
};

Service::Service(Config config, std::string configPath, std::string listen)
    : config_(std::make_shared<const Config>(std::move(config))),
      configPath_(std::move(configPath)),
      listen_(std::move(listen)),
      slots_(config_->workers, config_->queue),
      http_(*this, [this] {
        auto c = this->config();
        return HttpLimits{c->bodyLimit, c->readTimeout};
      }) {}

Service::~Service() = default;

std::shared_ptr<const Config> Service::config() const {
  std::lock_guard<std::mutex> lock(configLock_);
  return config_;
}

int Service::bind(std::string& why) {
  auto c = config();
  return http_.bind(c->host, c->port, why);
}

bool Service::run() {
  http_.run(config()->workers + kSpareThreads);
  return draining_.load();
}

void Service::drain() {
  if (draining_.exchange(true)) return;
  logLine(json{{"time", utcNow()}, {"event", "draining"}});
  http_.drain();
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

bool Service::authorized(const HttpRequest& req, HttpResponse& res, const Config& c) {
  if (c.tokenHashes.empty()) return true;
  const std::string_view header = req.header("Authorization");
  constexpr std::string_view kBearer = "Bearer ";
  if (header.substr(0, kBearer.size()) != kBearer || header.size() == kBearer.size()) {
    setProblem(res, 401, "this service needs \"Authorization: Bearer TOKEN\"");
    return false;
  }
  if (!tokenMatches(std::string(header.substr(kBearer.size())), c.tokenHashes)) {
    setProblem(res, 403, "the token is not one this service knows");
    return false;
  }
  return true;
}

// A merge is refused before its body is read when the client may not ask
// for it, or when the body declared is one it may not send; the connection
// then closes, so the unread body is never taken for the next request.
bool Service::answerBeforeBody(HttpExchange& ex) {
  const HttpRequest& req = ex.request;
  HttpResponse& res = ex.response;
  if (!isMerge(routeFor(req))) return false;
  auto c = config();
  if (!authorized(req, res, *c)) return true;
  if (draining_ && req.onConnection > 1) {
    // A new request on a kept-alive connection after the drain began.
    setProblem(res, 503, "the service is draining; try another instance");
    return true;
  }
  const std::string_view declared = req.header("Content-Length");
  const bool declaredTooLarge =
      !declared.empty() &&
      (declared.size() > 15 || declared.find_first_not_of("0123456789") != std::string::npos ||
       std::stoull(std::string(declared)) > c->bodyLimit);
  const bool form = req.header("Content-Type").substr(0, 19) == "multipart/form-data";
  if (form) {
    setProblem(res, 400, "send the template itself as the body, not a form");
    return true;
  }
  if (declaredTooLarge) {
    setProblem(res, 413, "the body is larger than " + std::to_string(c->bodyLimit) + " bytes");
    return true;
  }
  return false;
}

void Service::refuse(HttpExchange& ex, int status) {
  if (status == 413) {
    setProblem(ex.response, 413,
               "the body is larger than " + std::to_string(config()->bodyLimit) + " bytes");
  } else if (status == 500) {
    setProblem(ex.response, 500, "the request failed inside the service");
  } else {
    setProblem(ex.response, status, "the request could not be read");
  }
}

void Service::handle(std::shared_ptr<HttpExchange> ex) {
  const HttpRequest& req = ex->request;
  HttpResponse& res = ex->response;
  const Route* route = routeFor(req);
  if (!route) {
    setProblem(res, 404, "no such route; see /openapi.json");
    return ex->finish();
  }
  if (isMerge(route)) return merge(mergeKindOf(req.path), ex);
  const std::string_view path = req.path;
  if (path == "/") {
    res.setHeader("Content-Security-Policy",
                  "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; "
                  "connect-src 'self' blob:; form-action 'none'; frame-ancestors 'none'");
    res.setContent(kIndexHtml, "text/html; charset=utf-8");
  } else if (path == "/openapi.json") {
    res.setContent(kOpenApiJson, "application/json");
  } else if (path == "/healthz") {
    res.setContent("{\"status\":\"alive\"}", "application/json");
  } else if (path == "/readyz") {
    readiness(res);
  } else if (path == "/metrics") {
    if (authorized(req, res, *config())) {
      metrics_.setLoad(static_cast<double>(slots_.running()),
                       static_cast<double>(slots_.waiting()));
      const auto reads = db::accessStreamCounts();
      metrics_.setAccessReads(reads.hits, reads.misses);
      res.setContent(metrics_.text(), "text/plain; version=0.0.4");
    }
  } else if (path == "/v1/sources") {
    auto c = config();
    if (authorized(req, res, *c)) {
      json names = json::array();
      for (const auto& [name, path] : c->dataSources) names.push_back(name);
      res.setContent(dump(json{{"data_sources", names}}), "application/json");
    }
  }
  ex->finish();
}

void Service::readiness(HttpResponse& res) {
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
  res.setContent("{\"status\":\"ready\"}", "application/json");
}

// The query parameters and the body of a merge into m; false with a problem
// in res when they do not make one.
bool Service::readMergeRequest(MergeKind kind, const HttpRequest& req, HttpResponse& res,
                               const Config& c, MergeRequest& m) {
  m.kind = kind;
  m.policy = &c.policy;
  // A configured data source by name: 404 when unknown, 400 when required and absent.
  auto source = [&](const char* param, bool required, std::string& out) {
    if (!req.hasParam(param)) {
      if (required)
        setProblem(res, 400, std::string("the query parameter '") + param + "' is required");
      return !required;
    }
    const std::string name = req.param(param);
    auto it = c.dataSources.find(name);
    if (it == c.dataSources.end()) {
      setProblem(res, 404, "no data source named '" + name + "'", json{{"parameter", param}});
      return false;
    }
    out = it->second;
    return true;
  };
  if (kind == MergeKind::Resolve) {
    if (!source("db", true, m.db)) return false;
    const std::string pass = req.hasParam("pass") ? req.param("pass") : "1";
    const std::string form = req.param("kind");
    if ((pass != "1" && pass != "2") || (!form.empty() && form != "page" && form != "worksheet")) {
      setProblem(res, 400, "pass must be 1 or 2, kind page or worksheet");
      return false;
    }
    m.pass = pass[0] - '0';
    m.pageKind = form == "page";
  } else {
    if (!source("primary", true, m.db) || !source("secondary", false, m.db2)) return false;
    const std::string report = req.param("report");
    if (!report.empty() && report != "html") {
      setProblem(res, 400, "report can only be 'html'");
      return false;
    }
    m.report = report == "html";
  }
  if (kind == MergeKind::Page && req.hasParam("codepage")) {
    const std::string text = req.param("codepage");
    int cp = 0;
    for (char ch : text) cp = (ch >= '0' && ch <= '9' && cp < 100000) ? cp * 10 + (ch - '0') : -1;
    if (text.empty() || cp <= 0 || !text::codePageAvailable(cp)) {
      setProblem(res, 400, "codepage '" + text + "' is not an available code page");
      return false;
    }
    m.codePage = cp;
  }
  if (kind == MergeKind::Workbook) {
    m.macros = req.header("Content-Type") == kXlsm || req.param("type") == "xlsm";
  }
  if (req.body.empty()) {
    setProblem(res, 400,
               kind == MergeKind::Resolve ? "the body must hold the placeholder text"
                                          : "the body must hold the template");
    return false;
  }
  return true;
}

// Merges at once on this thread when a slot is free; else the request waits
// in the queue, without a thread, until a slot is handed to it (merged then
// on a server thread) or its deadline passes (504).
void Service::merge(MergeKind kind, const std::shared_ptr<HttpExchange>& ex) {
  auto c = config();
  auto pending = std::make_shared<PendingMerge>();
  pending->kind = kind;
  pending->deadline = c->deadline;
  MergeRequest& m = pending->request;
  if (!readMergeRequest(kind, ex->request, ex->response, *c, m)) return ex->finish();
  m.body = std::move(ex->request.body);
  m.deadline = ex->request.start + c->deadline;

  std::weak_ptr<PendingMerge> weak = pending;
  pending->waiter.handOver = [this, ex, weak](platform::WorkerState* slot) {
    // The deadline's handler holds the request until it has withdrawn it,
    // which it cannot while the slot is handed over.
    auto held = weak.lock();
    ex->resume([this, ex, held, slot] {
      mergeHeld(*held, *ex, slot);
      ex->finish();
    });
  };
  platform::WorkerState* slot = nullptr;
  switch (slots_.admit(slot, pending->waiter)) {
    case MergeSlots::Admission::Full:
      setProblem(ex->response, 503, "every worker is busy and the queue is full");
      return ex->finish();
    case MergeSlots::Admission::Held:
      mergeHeld(*pending, *ex, slot);
      return ex->finish();
    case MergeSlots::Admission::Queued:
      ex->expireAt(m.deadline, [this, ex, pending] {
        if (!slots_.withdraw(pending->waiter)) return;  // it merges
        setProblem(
            ex->response, 504,
            "the merge did not end within " + std::to_string(pending->deadline.count()) + " ms");
        ex->finish();
      });
      return;
  }
}

void Service::mergeHeld(PendingMerge& p, HttpExchange& ex, platform::WorkerState* slot) {
  MergeAnswer merged;
  {
    // The merge stops at the next placeholder past the deadline.
    MergeSlot held(slots_, slot);
    merged = runMerge(p.request);
  }
  answer(p.kind, p.request, std::move(merged), ex.request, ex.response);
}

void Service::answer(MergeKind kind, const MergeRequest& m, MergeAnswer&& a, const HttpRequest& req,
                     HttpResponse& res) {
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
  if (kind != MergeKind::Resolve) res.setHeader("Dorvane-Runs", dump(runs, true));
  if (kind == MergeKind::Page && !m.report &&
      req.header("Accept").find("application/json") != std::string_view::npos) {
    json j{{"runs", runs}, {"page", text::toUtf8(text::decodeCodePage(a.body, m.codePage))}};
    res.setContent(dump(j), "application/json");
    return;
  }
  res.setContent(std::move(a.body), type);
}

void Service::answered(const HttpExchange& ex) {
  const HttpRequest& req = ex.request;
  const HttpResponse& res = ex.response;
  const double seconds = std::chrono::duration<double>(Clock::now() - req.start).count();
  metrics_.request(routeOf(req.path), res.status, seconds);
  logLine(json{{"time", utcNow()},
               {"remote", req.remoteAddr},
               {"method", req.method},
               {"path", req.path},
               {"status", res.status},
               {"bytes", res.body.size()},
               {"seconds", seconds}});
}

}  // namespace dorvane::serve
