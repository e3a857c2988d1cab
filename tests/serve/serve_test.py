#!/usr/bin/env python3
"""dorvane serve end to end: real clients (curl, requests) against servers on
ephemeral loopback ports, each started here with a temporary configuration and
always ended here, also when a check fails.

Usage: serve_test.py DORVANE SAMPLE_DIR   (from the repository root)
"""
import base64
import concurrent.futures
import hashlib
import io
import json
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import zipfile

import requests

DORVANE, SAMPLE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
ROOT = os.getcwd()
PAGE = open(os.path.join(ROOT, "samples", "sampleweb.htm"), "rb").read()
PROBLEM = "application/problem+json"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


class Server:
    """A dorvane serve process on 127.0.0.1:0, ended (SIGKILL at the latest) on exit."""

    def __init__(self, folder, config, name="server"):
        self.config_path = os.path.join(folder, name + ".json")
        self.write(config)
        self.log_path = os.path.join(folder, name + ".log")
        self.log = open(self.log_path, "w+")
        self.proc = subprocess.Popen(
            [DORVANE, "serve", "--config", self.config_path, "--listen", "127.0.0.1:0"],
            cwd=folder, stderr=self.log, stdout=subprocess.DEVNULL)
        deadline = time.time() + 20
        self.port = None
        while self.port is None and time.time() < deadline and self.proc.poll() is None:
            for line in open(self.log_path):
                if '"listening"' in line:
                    self.port = json.loads(line)["port"]
            time.sleep(0.05)
        if self.port is None:
            self.close()
            raise RuntimeError("the server did not start: " + open(self.log_path).read())
        self.url = "http://127.0.0.1:%d" % self.port

    def write(self, config):
        with open(self.config_path, "w") as f:
            json.dump(config, f)

    def lines(self):
        return [json.loads(l) for l in open(self.log_path) if l.startswith("{")]

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.log.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def cli(*args, cwd):
    return subprocess.run([DORVANE, *args], cwd=cwd, capture_output=True)


def slow_page(pairs):
    body = "".join("<p>!!price,A01;gethere !!name,A02;gethere</p>\n" for _ in range(pairs))
    return ("<html><body>\n" + body + "</body></html>\n").encode()


def make_folders(tmp):
    """data/: the sample database plus one whose reference rows lead elsewhere;
    outside/: a database the configuration does not allow."""
    data, outside = os.path.join(tmp, "data"), os.path.join(tmp, "outside")
    os.makedirs(data)
    os.makedirs(outside)
    shutil.copy(os.path.join(SAMPLE, "samplekiv.sqlite"), data)
    shutil.copy(os.path.join(SAMPLE, "samplekiv.sqlite"), outside)
    os.symlink(os.path.join(outside, "samplekiv.sqlite"), os.path.join(data, "link.sqlite"))
    os.symlink(os.path.join(data, "samplekiv.sqlite"), os.path.join(data, "inner.sqlite"))
    refs = os.path.join(data, "refs.sqlite")
    shutil.copy(os.path.join(SAMPLE, "samplekiv.sqlite"), refs)
    db = sqlite3.connect(refs)
    for key, target in [("!!etc", "/etc/passwd"), ("!!up", "../outside/samplekiv.sqlite"),
                        ("!!link", "link.sqlite"), ("!!inner", "inner.sqlite"),
                        ("!!odbc", "ODBC;DSN=NotAllowed;UID=x;PWD=secret")]:
        db.execute("INSERT INTO 参照ﾃｰﾌﾞﾙ SELECT ?, 転送優先, ｷｰﾌｨｰﾙﾄﾞ, ALTｷｰﾌｨｰﾙﾄﾞ, ?, ﾌｨｰﾙﾄﾞ名, "
                   "ﾌｨｰﾙﾄﾞﾀｲﾌﾟ, \"ﾃｰﾌﾞﾙ／ｸｴﾘｰF\", ﾃｰﾌﾞﾙ名, ｸｴﾘｰ名, コメント項目名, 内容説明, 単位, "
                   "ﾗｳﾝﾄﾞ, 小数位, 行間 FROM 参照ﾃｰﾌﾞﾙ WHERE ｷｰ = '!!price'", (key, target))
    db.commit()
    db.close()
    return data


def workbook_template(path):
    import openpyxl
    book = openpyxl.Workbook()
    sheet = book.active
    sheet["A1"] = "!!price,A01;"
    sheet["B2"] = "!!name,A02;"
    book.save(path)


def entries(data):
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        return {n: z.read(n) for n in z.namelist()}


def test_merges(s, tmp, data):
    # The page, as `dorvane web` writes it, from curl and from requests.
    out = os.path.join(tmp, "cli.htm")
    page_in = os.path.join(tmp, "page.htm")
    open(page_in, "wb").write(PAGE)
    check(cli("web", page_in, out, "samplekiv.sqlite", cwd=data).returncode == 0, "dorvane web")
    expected = open(out, "rb").read()
    by_curl = subprocess.run(["curl", "-sS", "--fail", "--data-binary", "@" + page_in,
                              s.url + "/v1/page?primary=sample"], capture_output=True).stdout
    check(by_curl == expected, "curl: /v1/page answers the bytes of dorvane web")
    r = requests.post(s.url + "/v1/page", params={"primary": "sample", "secondary": "refs"},
                      data=PAGE)
    check(r.status_code == 200 and r.headers["Content-Type"] == "text/html; charset=Shift_JIS",
          "page with a secondary database: 200 Shift_JIS")
    check(cli("web", page_in, out, "samplekiv.sqlite", "refs.sqlite", cwd=data).returncode == 0
          and r.content == open(out, "rb").read(), "page with a secondary: bytes of dorvane web")
    check(json.loads(r.headers["Dorvane-Runs"])["status"] == "ok", "Dorvane-Runs summary")
    r = requests.post(s.url + "/v1/page?primary=sample", data=PAGE,
                      headers={"Accept": "application/json"})
    check(r.json()["page"].encode("cp932").replace(b"\n", b"\r\n") == expected
          or "gethere" not in r.json()["page"], "Accept: application/json gives the page")
    r = requests.post(s.url + "/v1/page?primary=sample&report=html", data=PAGE)
    check(r.status_code == 200 and b"Merge report" in r.content, "report=html")

    # The workbook, as `dorvane sheet IN OUT` writes it.
    book_in, book_out = os.path.join(tmp, "t.xlsx"), os.path.join(tmp, "cli.xlsx")
    workbook_template(book_in)
    check(cli("sheet", book_in, book_out, "--db", "samplekiv.sqlite", cwd=data).returncode == 0,
          "dorvane sheet")
    r = requests.post(s.url + "/v1/workbook?primary=sample", data=open(book_in, "rb").read())
    check(r.status_code == 200 and entries(r.content) == entries(open(book_out, "rb").read()),
          "/v1/workbook answers the workbook of dorvane sheet")

    # One placeholder, as `dorvane resolve --json` prints it.
    for text, pass_ in [("!!price,A01;", "1"), ("!!name,A02;", "2"), ("!!nokey,A01;", "1")]:
        want = cli("resolve", text, "--db", "samplekiv.sqlite", "--pass", pass_, "--json",
                   cwd=data).stdout
        r = requests.post(s.url + "/v1/resolve", params={"db": "sample", "pass": pass_},
                          data=text.encode())
        check(r.status_code == 200 and r.content + b"\n" == want, "resolve " + text)

    # 16 clients at once, each with its own connection, several requests each.
    def client(_):
        with requests.Session() as session:
            return [session.post(s.url + "/v1/page?primary=sample", data=PAGE).content
                    for _ in range(4)]
    with concurrent.futures.ThreadPoolExecutor(16) as pool:
        answers = [a for batch in pool.map(client, range(16)) for a in batch]
    check(len(answers) == 64 and all(a == expected for a in answers), "16 clients at once")


def test_errors(s, data):
    def post(route, params, body=PAGE, headers=None):
        return requests.post(s.url + route, params=params, data=body, headers=headers or {})

    cases = [  # (what, response, status)
        ("no primary", post("/v1/page", {}), 400),
        ("bad code page", post("/v1/page", {"primary": "sample", "codepage": "x"}), 400),
        ("empty body", post("/v1/page", {"primary": "sample"}, b""), 400),
        ("pass 3", post("/v1/resolve", {"db": "sample", "pass": "3"}, b"!!price,A01;"), 400),
        ("not a workbook", post("/v1/workbook", {"primary": "sample"}, b"not a zip"), 400),
        ("unknown data source", post("/v1/page", {"primary": "nope"}), 404),
        ("unknown route", requests.get(s.url + "/v2/page"), 404),
        ("body over the limit", post("/v1/page", {"primary": "sample"}, b"x" * 3_000_001), 413),
        ("chunked body over the limit",
         post("/v1/page", {"primary": "sample"}, (b"x" * 100_000 for _ in range(40))), 413),
        ("client path in a parameter", post("/v1/page", {"primary": "/etc/passwd"}), 404),
    ]
    for what, r, status in cases:
        check(r.status_code == status and r.headers.get("Content-Type") == PROBLEM
              and r.json()["status"] == status, "%s: %d problem (got %d)" % (what, status,
                                                                            r.status_code))
    # DB名 rows leading out of the folders: run-time error 3051 naming the placeholder.
    for key in ["!!etc", "!!up", "!!link", "!!odbc"]:
        text = key + ",A01;"
        r = post("/v1/resolve", {"db": "refs", "pass": "1"}, text.encode())
        j = r.json() if r.headers.get("Content-Type") == PROBLEM else {}
        check(r.status_code == 422 and j.get("number") == 3051 and j.get("placeholder") == text
              and "secret" not in r.text, "DB名 of %s is refused with 3051" % key)
    r = post("/v1/resolve", {"db": "refs", "pass": "1"}, b"!!inner,A01;")
    check(r.status_code == 200 and r.json()["value"]["text"] == "200",
          "a link that stays inside the folders is followed")
    page = b"<p>!!price,A01;gethere !!etc,A01;gethere</p>"
    r = post("/v1/page", {"primary": "refs"}, page)
    j = r.json()
    check(r.status_code == 422 and j["number"] == 3051 and j["placeholder"] == "!!etc,A01;"
          and b"200" in base64.b64decode(j["result_base64"]), "422 carries the error and result")
    check(not any(l.get("path", "").startswith("/etc") for l in s.lines()), "no client path")


def test_health_and_docs(s):
    check(requests.get(s.url + "/healthz").status_code == 200, "healthz")
    check(requests.get(s.url + "/readyz").status_code == 200, "readyz")
    doc = requests.get(s.url + "/openapi.json").json()
    check(doc["openapi"].startswith("3."), "OpenAPI 3")
    for path, methods in doc["paths"].items():
        for method in methods:
            r = requests.request(method.upper(), s.url + path)
            check(r.status_code != 404 or "no such route" not in r.text,
                  "%s %s of openapi.json is served" % (method, path))
    page = requests.get(s.url + "/")
    check(page.status_code == 200 and "default-src 'none'" in
          page.headers.get("Content-Security-Policy", ""), "the page at / with its policy")
    metrics = requests.get(s.url + "/metrics").text
    for name in ["dorvane_http_requests_total{route=\"/v1/page\",status=\"200\"}",
                 "dorvane_http_request_duration_seconds_bucket", "dorvane_merges_in_flight",
                 "dorvane_queue_length", "dorvane_runtime_errors_total{number=\"3051\"}",
                 "dorvane_access_import_cache_total{result=\"hit\"}"]:
        check(name in metrics, "metric " + name)
    log = s.lines()
    check(any(l.get("path") == "/v1/page" and l.get("status") == 200 and "seconds" in l
              for l in log), "a JSON access-log line per request")


def test_reload_and_auth(s, config):
    token = "s3cret-token"
    config = dict(config, tokens_sha256=[hashlib.sha256(token.encode()).hexdigest()])
    s.write(config)
    s.proc.send_signal(signal.SIGHUP)
    deadline = time.time() + 10
    while time.time() < deadline and not any(l.get("event") == "reloaded" for l in s.lines()):
        time.sleep(0.05)
    url = s.url + "/v1/page?primary=sample"
    for what, headers, status in [("no token", {}, 401),
                                  ("wrong token", {"Authorization": "Bearer nope"}, 403),
                                  ("not bearer", {"Authorization": "Basic eDp5"}, 401),
                                  ("token", {"Authorization": "Bearer " + token}, 200)]:
        check(requests.post(url, data=PAGE, headers=headers).status_code == status,
              "after SIGHUP, " + what + ": %d" % status)
    check(requests.get(s.url + "/healthz").status_code == 200, "probes need no token")
    s.write(dict(config, workers="many"))
    s.proc.send_signal(signal.SIGHUP)
    time.sleep(0.5)
    check(requests.post(url, data=PAGE, headers={"Authorization": "Bearer " + token})
          .status_code == 200, "a bad configuration on SIGHUP keeps the old one")


def sockets(pid):
    """How many sockets the process pid holds."""
    n = 0
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            n += os.readlink("/proc/%d/fd/%s" % (pid, fd)).startswith("socket:")
        except OSError:
            pass  # closed meanwhile
    return n


def test_drain(s):
    """SIGTERM while merges run and while requests wait for a merge slot:
    every request sent before it is answered."""
    page = slow_page(4000)

    def one(_):
        try:
            r = requests.post(s.url + "/v1/page?primary=sample", data=page, timeout=60)
            return r.status_code, r.content
        except requests.RequestException as e:
            return None, str(e)
    held = sockets(s.proc.pid)  # the listening socket
    with concurrent.futures.ThreadPoolExecutor(12) as pool:
        futures = [pool.submit(one, i) for i in range(12)]
        # The signal comes once the service has accepted every connection (a
        # connection still in the kernel's backlog is refused by the drain), on
        # a busy machine too.
        deadline = time.time() + 30
        while (time.time() < deadline and
               sockets(s.proc.pid) - held + sum(f.done() for f in futures) < len(futures)):
            time.sleep(0.02)
        time.sleep(0.1)
        s.proc.send_signal(signal.SIGTERM)
        results = [f.result() for f in futures]
    oks = [body for status, body in results if status == 200]
    expected = oks[0] if oks else None
    check(all(status == 200 for status, _ in results),
          "drain: every request answered: %s" % sorted(str(st) if st else body for st, body in results))
    check(oks and all(b == expected for b in oks), "drain: every merge whole")
    check(s.proc.wait(timeout=30) == 0 and any(l.get("event") == "drained" for l in s.lines()),
          "drain: exit status 0")
    try:
        requests.get(s.url + "/healthz", timeout=2)
        check(False, "drain: nothing accepted afterwards")
    except requests.ConnectionError:
        pass


def test_busy(data):
    """One worker, one queue slot, a short deadline: 503 + Retry-After, 504;
    a client that stops sending is dropped after the read time-out."""
    config = {"data_sources": {"sample": "samplekiv.sqlite"}, "folders": ["."], "workers": 1,
              "queue": 1, "deadline_ms": 300, "read_timeout_ms": 500}
    with Server(data, config, "busy") as s:
        import socket
        with socket.create_connection(("127.0.0.1", s.port), timeout=10) as slow:
            slow.sendall(b"POST /v1/page?primary=sample HTTP/1.1\r\nHost: x\r\nContent-Len")
            start = time.time()
            try:
                ended = slow.recv(1000) is not None
            except OSError:
                ended = True
            check(ended and time.time() - start < 5, "a slow client is dropped")
        # Far longer than the deadline on any machine: one merge runs past it (504).
        page = slow_page(100000)
        with concurrent.futures.ThreadPoolExecutor(6) as pool:
            rs = list(pool.map(lambda _: requests.post(s.url + "/v1/page?primary=sample",
                                                       data=page), range(6)))
        statuses = sorted(r.status_code for r in rs)
        check(504 in statuses and 503 in statuses,
              "busy: 503 and 504, got %s" % [(r.status_code, r.text[:300]) for r in rs])
        for r in rs:
            check(r.headers.get("Content-Type") == PROBLEM,
                  "busy: problem details, got %d %s" % (r.status_code, r.headers.get("Content-Type")))
            if r.status_code == 503:
                check(r.headers.get("Retry-After") == "1", "503 with Retry-After")
            if r.status_code == 504:
                check("result_base64" not in r.json(), "504 sends nothing half-written")


def free_port():
    import socket
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


def test_behind_nginx(tmp, data, config):
    """Two instances behind nginx; one is killed (SIGKILL) during a run of
    requests, and every request is still answered with the whole page."""
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    if not os.path.exists(nginx):
        check(False, "nginx is needed (scripts/setup installs nginx-light)")
        return
    page = slow_page(300)
    with Server(data, config, "one") as one, Server(data, config, "two") as two:
        expected = requests.post(one.url + "/v1/page?primary=sample", data=page).content
        port, prefix = free_port(), os.path.join(tmp, "nginx")
        os.makedirs(prefix)
        conf = os.path.join(prefix, "nginx.conf")
        # The deploy/ configuration's proxy settings, on loopback ports.
        shipped = open(os.path.join(ROOT, "deploy", "nginx-dorvane.conf")).read()
        location = shipped[shipped.index("location / {"):shipped.index("}", shipped.index(
            "location / {")) + 1]
        open(conf, "w").write(f"""
daemon off; master_process off; worker_processes 1; pid {prefix}/nginx.pid;
error_log {prefix}/error.log;
events {{ worker_connections 256; }}
http {{
  access_log off; client_body_temp_path {prefix}/body; proxy_temp_path {prefix}/proxy;
  upstream dorvane {{ server 127.0.0.1:{one.port} max_fails=1 fail_timeout=5s;
                      server 127.0.0.1:{two.port} max_fails=1 fail_timeout=5s; keepalive 8; }}
  server {{ listen 127.0.0.1:{port}; client_max_body_size 64m; {location} }}
}}""")
        proc = subprocess.Popen([nginx, "-p", prefix, "-c", conf], stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 10
            while time.time() < deadline:
                try:
                    requests.get("http://127.0.0.1:%d/healthz" % port, timeout=1)
                    break
                except requests.ConnectionError:
                    time.sleep(0.05)
            url = "http://127.0.0.1:%d/v1/page?primary=sample" % port
            answered = []

            def one_request(i):
                if i == 20:
                    one.proc.kill()
                r = requests.post(url, data=page, timeout=30)
                return r.status_code, r.content
            with concurrent.futures.ThreadPoolExecutor(8) as pool:
                answered = list(pool.map(one_request, range(80)))
            bad = [st for st, body in answered if st != 200 or body != expected]
            check(len(answered) == 80 and not bad,
                  "behind nginx with one instance killed: every request answered (%s)" % bad)
            check(one.proc.poll() is not None, "the first instance was killed")
        finally:
            proc.terminate()
            proc.wait()


def test_config(tmp):
    bad = [({"data_sources": {}}, "data_sources"),
           ({"data_sources": {"a": "x.sqlite"}, "wokers": 2}, "unknown setting"),
           ({"data_sources": {"a": "x.sqlite"}, "folders": ["/no/such/folder"]}, "folder"),
           ({"data_sources": {"a": "x.sqlite"}, "tokens_sha256": ["abc"]}, "64"),
           ({"data_sources": {"a": "x.sqlite"}, "listen": "0.0.0.0:8080"}, "loopback")]
    path = os.path.join(tmp, "check.json")
    for config, why in bad:
        json.dump(config, open(path, "w"))
        r = cli("serve", "--config", path, "--check-config", cwd=tmp)
        check(r.returncode == 1 and why in r.stderr.decode(), "--check-config refuses: " + why)
    json.dump({"data_sources": {"a": "x.sqlite"}, "listen": "0.0.0.0:8080",
               "tokens_sha256": ["a" * 64]}, open(path, "w"))
    check(cli("serve", "--config", path, "--check-config", cwd=tmp).returncode == 0,
          "--check-config accepts a good file")


def warm_database(path, factor, named):
    """The sample as the file path, its reference rows naming the file named,
    its prices and quantities times factor."""
    shutil.copy(os.path.join(SAMPLE, "samplekiv.sqlite"), path)
    db = sqlite3.connect(path)
    db.execute("UPDATE 参照ﾃｰﾌﾞﾙ SET DB名 = ?", (named,))
    db.execute("UPDATE items SET price = price * ?", (factor,))
    db.execute("UPDATE orders SET qty = qty * ?", (factor,))
    db.commit()
    db.close()


def test_warm_worker(tmp):
    """One worker keeps its converters and connections from one request to the
    next: what it answers must still be each file as it is now."""
    folder = os.path.join(tmp, "warm")
    os.makedirs(folder)
    page = os.path.join(folder, "page.htm")
    open(page, "wb").write(PAGE + "<p>!!fromb,A01;gethere</p>\n".encode())
    for name, factor in [("a", 2), ("b", 3)]:
        warm_database(os.path.join(folder, name + ".sqlite"), factor, name + ".sqlite")
    db = sqlite3.connect(os.path.join(folder, "a.sqlite"))
    db.execute("INSERT INTO 参照ﾃｰﾌﾞﾙ SELECT '!!fromb', 転送優先, ｷｰﾌｨｰﾙﾄﾞ, ALTｷｰﾌｨｰﾙﾄﾞ, 'b.sqlite', "
               "ﾌｨｰﾙﾄﾞ名, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ, \"ﾃｰﾌﾞﾙ／ｸｴﾘｰF\", ﾃｰﾌﾞﾙ名, ｸｴﾘｰ名, コメント項目名, 内容説明, "
               "単位, ﾗｳﾝﾄﾞ, 小数位, 行間 FROM 参照ﾃｰﾌﾞﾙ WHERE ｷｰ = '!!price'")
    db.commit()
    db.close()
    body = open(page, "rb").read()

    def expected(name):
        return cli("web", "page.htm", "-", name + ".sqlite", cwd=folder).stdout

    # No folders: the data sources are the only files a reference row may name.
    config = {"data_sources": {"a": "a.sqlite", "b": "b.sqlite"}, "workers": 1}
    with Server(folder, config, "warm") as s:
        def merged(name):
            return requests.post(s.url + "/v1/page?primary=" + name, data=body)

        want = {name: expected(name) for name in "ab"}
        check(want["a"] != want["b"] and all(want.values()), "the two sources merge differently")
        answers = [(name, merged(name).content) for name in "ababba"]
        check(all(got == want[name] for name, got in answers),
              "two sources alternating on one worker: each answer is its own source's")

        for how, factor in [("replaced by another file", 5), ("written over in place", 7)]:
            fresh = os.path.join(folder, "fresh.sqlite")
            warm_database(fresh, factor, "b.sqlite")
            target = os.path.join(folder, "b.sqlite")
            if how.startswith("replaced"):
                os.replace(fresh, target)
            else:
                with open(target, "r+b") as f:
                    f.write(open(fresh, "rb").read())
                    f.truncate()
                os.remove(fresh)
            want_b = expected("b")
            check(want_b != want["b"] and merged("b").content == want_b,
                  "a warm service after the database file was " + how + ": the new file's bytes")
            want["b"] = want_b

        check(merged("a").status_code == 200, "a reference row may lead to a configured source")
        s.write({"data_sources": {"a": "a.sqlite"}, "workers": 1})
        s.proc.send_signal(signal.SIGHUP)
        deadline = time.time() + 10
        while time.time() < deadline and not any(l.get("event") == "reloaded" for l in s.lines()):
            time.sleep(0.05)
        check(merged("b").status_code == 404, "a source removed by a reload cannot be named")
        r = merged("a")
        check(r.status_code == 422 and r.json().get("number") == 3051,
              "a source removed by a reload is no longer opened for a reference row: %d %s"
              % (r.status_code, r.text[:200]))


def main():
    tmp = tempfile.mkdtemp(prefix="dorvane-serve-test-")
    try:
        data = make_folders(tmp)
        config = {"data_sources": {"sample": "data/samplekiv.sqlite", "refs": "data/refs.sqlite"},
                  "folders": ["data"], "workers": 2, "queue": 16, "body_limit": 3_000_000}
        test_config(tmp)
        with Server(data, dict(config, data_sources={"sample": "samplekiv.sqlite",
                                                     "refs": "refs.sqlite"},
                               folders=["."]), "main") as s:
            test_merges(s, tmp, data)
            test_errors(s, data)
            test_health_and_docs(s)
            test_reload_and_auth(s, dict(config, data_sources={"sample": "samplekiv.sqlite",
                                                               "refs": "refs.sqlite"},
                                         folders=["."]))
        # One worker: when the drain begins one merge runs and the others wait.
        with Server(data, dict(config, data_sources={"sample": "samplekiv.sqlite"},
                               folders=["."], workers=1), "drain") as s:
            test_drain(s)
        test_busy(data)
        test_warm_worker(tmp)
        test_behind_nginx(tmp, data, {"data_sources": {"sample": "samplekiv.sqlite"},
                                      "folders": ["."], "workers": 2, "queue": 32})
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
