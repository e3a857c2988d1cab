#!/usr/bin/env python3
"""The page at / in headless Chromium: a template chosen in the form is merged,
the result downloaded equals the service's own answer, the report opens, and
nothing is logged to the console. Chromium is driven over its DevTools
protocol (a minimal WebSocket client below, standard library only).

Usage: page_in_browser.py DORVANE SAMPLE_DIR   (from the repository root)
"""
import base64
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import serve_test  # noqa: E402  (the Server harness)


class DevTools:
    """One WebSocket to a page target: send commands, collect events."""

    def __init__(self, ws_url):
        host_port, path = ws_url[len("ws://"):].split("/", 1)
        host, port = host_port.split(":")
        self.sock = socket.create_connection((host, int(port)), timeout=30)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET /{path} HTTP/1.1\r\nHost: {host_port}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        reply = b""
        while b"\r\n\r\n" not in reply:
            reply += self.sock.recv(1)
        if b" 101 " not in reply.split(b"\r\n")[0]:
            raise RuntimeError("no WebSocket: " + reply.decode(errors="replace"))
        self.next_id, self.events = 0, []

    def _send(self, text):
        data = text.encode()
        head = bytes([0x81])
        n = len(data)
        head += bytes([0x80 | n]) if n < 126 else (bytes([0x80 | 126]) + struct.pack(">H", n)
                                                    if n < 65536 else bytes([0x80 | 127]) +
                                                    struct.pack(">Q", n))
        mask = os.urandom(4)
        self.sock.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def _exact(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise RuntimeError("DevTools closed the connection")
            data += chunk
        return data

    def _receive(self):
        message = b""
        while True:
            b0, b1 = self._exact(2)
            n = b1 & 0x7F
            if n == 126:
                n = struct.unpack(">H", self._exact(2))[0]
            elif n == 127:
                n = struct.unpack(">Q", self._exact(8))[0]
            message += self._exact(n)
            if b0 & 0x80:
                return json.loads(message)

    def call(self, method, **params):
        self.next_id += 1
        self._send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = self._receive()
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message["result"]
            self.events.append(message)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, awaitPromise=True,
                           returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError("script failed: " + json.dumps(result["exceptionDetails"]))
        return result["result"].get("value")


MERGE_FROM_FORM = """
(async () => {
  const bytes = Uint8Array.from(atob(%s), (c) => c.charCodeAt(0));
  const wait = async (test) => {
    for (let i = 0; i < 200 && !test(); ++i) await new Promise((r) => setTimeout(r, 50));
    return test();
  };
  if (!await wait(() => document.getElementById("primary").options.length > 0))
    return {error: "no data sources in the form"};
  const transfer = new DataTransfer();
  transfer.items.add(new File([bytes], "sampleweb.htm", {type: "text/html"}));
  document.getElementById("template").files = transfer.files;
  document.getElementById("go").click();
  if (!await wait(() => document.getElementById("report")))
    return {error: document.getElementById("status").textContent};
  const page = await (await fetch(document.getElementById("download").href)).arrayBuffer();
  const report = await (await fetch(document.getElementById("report").href)).text();
  let text = "";
  for (const b of new Uint8Array(page)) text += String.fromCharCode(b);
  return {page: btoa(text), report: report.includes("Merge report"),
          status: document.getElementById("status").className};
})()
"""


def main():
    dorvane, sample = sys.argv[1], sys.argv[2]
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    if not browser:
        print("chromium is not installed (scripts/setup installs it)", file=sys.stderr)
        return 1
    tmp = tempfile.mkdtemp(prefix="dorvane-page-test-")
    chromium = None
    try:
        shutil.copy(os.path.join(sample, "samplekiv.sqlite"), tmp)
        config = {"data_sources": {"sample": "samplekiv.sqlite"}, "folders": ["."],
                  "workers": 1, "queue": 4}
        with serve_test.Server(tmp, config, "page") as server:
            template = serve_test.PAGE
            want = urllib.request.urlopen(urllib.request.Request(
                server.url + "/v1/page?primary=sample", data=template)).read()
            chromium = subprocess.Popen(
                [browser, "--headless", "--disable-gpu", "--no-sandbox", "--no-first-run",
                 "--user-data-dir=" + os.path.join(tmp, "profile"), "--remote-debugging-port=0",
                 "about:blank"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            port = None
            deadline = time.time() + 60
            while port is None and time.time() < deadline:
                line = chromium.stderr.readline()
                if "DevTools listening on ws://" in line:
                    port = int(line.split("ws://")[1].split("/")[0].split(":")[1])
            if port is None:
                raise RuntimeError("Chromium did not start")
            targets = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list"))
            page = next(t for t in targets if t["type"] == "page")
            tools = DevTools(page["webSocketDebuggerUrl"])
            tools.call("Runtime.enable")
            tools.call("Log.enable")
            tools.call("Page.enable")
            tools.call("Page.navigate", url=server.url + "/")
            time.sleep(1)
            got = tools.evaluate(MERGE_FROM_FORM % json.dumps(base64.b64encode(template).decode()))
            tools.call("Runtime.evaluate", expression="1")  # collect late events
            noisy = [e for e in tools.events if e.get("method") in
                     ("Runtime.consoleAPICalled", "Runtime.exceptionThrown", "Log.entryAdded")]
            problems = []
            if not got or "error" in got:
                problems.append("the form did not merge: %s" % got)
            elif base64.b64decode(got["page"]) != want:
                problems.append("the downloaded page differs from the service's answer")
            elif not got["report"] or got["status"] != "ok":
                problems.append("no report link, or the status is not ok: %s" % got)
            if noisy:
                problems.append("console messages: %s" % json.dumps(noisy)[:2000])
            for p in problems:
                print("FAIL:", p, file=sys.stderr)
            print("%d failures" % len(problems))
            return 1 if problems else 0
    finally:
        if chromium:
            chromium.kill()
            chromium.wait()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
