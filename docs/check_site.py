"""The built site in a headless browser: `python docs/check_site.py SITE_DIR SCREENSHOT_DIR`.

Serves SITE_DIR on localhost and opens, in Debian's Chromium without a window, the index, an API
page (api/vector2.html, else the first page under api/) and the search page asking for Vector2.
Fails (exit status 1, one line per fault) when one of them has a JavaScript error -- an uncaught
exception, a console.error, a resource that failed to load -- or when the search finds nothing.
Writes screenshots of the index and the API page into SCREENSHOT_DIR (index.png, api.png).

Chromium is driven through the DevTools protocol over a pipe (--remote-debugging-pipe: JSON
messages ended by a NUL byte, commands on its descriptor 3, replies and events on 4), which reports
each console message with its level and each exception as it happens; nothing but the standard
library is needed, and nothing leaves the machine.
"""

from __future__ import annotations

import argparse
import base64
import functools
import http.server
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

SEARCH_TERM = "Vector2"
TIMEOUT_S = 30.0
# Time left to a loaded page for late errors (timers, the search's fetches) before it is judged.
SETTLE_S = 0.5
# Once the search has finished: how many results it lists.
SEARCH_RESULTS = "the search to finish", """(() => {
  const summary = document.querySelector("#search-results .search-summary");
  return summary && summary.textContent ? document.querySelectorAll("#search-results ul.search li").length : null;
})()"""


class BrowserError(Exception):
    pass


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        # The browser asks for /favicon.ico of its own accord; a site without one is not at fault.
        if self.path == "/favicon.ico" and not Path(self.directory, "favicon.ico").exists():
            self.send_response(204)
            self.end_headers()
            return
        super().do_GET()

    def log_message(self, format, *args):
        pass


def serve(site: Path) -> http.server.ThreadingHTTPServer:
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(QuietHandler, directory=str(site)))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class Chromium:
    """A headless Chromium and its DevTools pipe; events are kept until a page reads them."""

    def __init__(self, exe: str, profile: Path):
        flags = ["--headless", "--remote-debugging-pipe", f"--user-data-dir={profile}", "--disable-gpu",
                 "--no-first-run", "--no-default-browser-check", "--disable-extensions", "--hide-scrollbars",
                 "--disable-background-networking", "--disable-component-update", "--mute-audio"]
        if os.geteuid() == 0:
            flags.append("--no-sandbox")  # Chromium refuses to run as root with its sandbox
        self.log = open(profile.parent / "chromium.log", "wb")
        # The shell gives Chromium our pipe's ends as its descriptors 3 and 4.
        redirect = 'exec "$0" "$@" 3<&0 4>&1 0</dev/null 1>&2'
        self.proc = subprocess.Popen(["sh", "-c", redirect, exe, *flags, "about:blank"],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.log)
        self.buffer = b""
        self.events: list[dict] = []
        self.last_id = 0

    def _receive(self, deadline: float) -> dict:
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError
            if select.select([self.proc.stdout], [], [], left)[0]:
                chunk = os.read(self.proc.stdout.fileno(), 1 << 20)
                if not chunk:
                    raise BrowserError(f"chromium exited (status {self.proc.wait()}); its log: {self.log.name}")
                self.buffer += chunk
        message, _, self.buffer = self.buffer.partition(b"\0")
        return json.loads(message)

    def call(self, method: str, session: str | None = None, **params) -> dict:
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        try:
            self.proc.stdin.write(json.dumps(message).encode() + b"\0")
            self.proc.stdin.flush()
        except OSError as e:
            raise BrowserError(f"chromium is gone ({e}); its log: {self.log.name}") from None
        deadline = time.monotonic() + TIMEOUT_S
        while True:
            try:
                reply = self._receive(deadline)
            except TimeoutError:
                raise BrowserError(f"no reply to {method} within {TIMEOUT_S:.0f} s") from None
            if reply.get("id") == self.last_id:
                if "error" in reply:
                    raise BrowserError(f"{method}: {reply['error'].get('message')}")
                return reply.get("result", {})
            self.events.append(reply)

    def wait(self, session: str, method: str | None, seconds: float) -> bool:
        """Whether the page sent the event `method` within `seconds` (with None: only collects the
        events of those seconds); every event is kept."""
        deadline = time.monotonic() + seconds
        while not (method and any(e.get("sessionId") == session and e.get("method") == method for e in self.events)):
            try:
                self.events.append(self._receive(deadline))
            except TimeoutError:
                return False
        return True

    def close(self) -> None:
        try:
            self.proc.stdin.close()
            self.proc.terminate()
            self.proc.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait()
        self.log.close()


def describe(event: dict) -> str | None:
    """What an event says went wrong in the page, or None."""
    method, params = event.get("method"), event.get("params", {})
    if method == "Runtime.exceptionThrown":
        details = params["exceptionDetails"]
        text = details.get("exception", {}).get("description") or details.get("text", "")
        where = f"{details.get('url', '')}:{details.get('lineNumber', 0) + 1}"
        return f"uncaught exception: {text.splitlines()[0] if text else '?'} ({where})"
    if method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
        args = " ".join(str(a.get("value", a.get("description", ""))) for a in params.get("args", []))
        return f"console.{params['type']}: {args}"
    if method == "Log.entryAdded" and params["entry"].get("level") == "error":
        entry = params["entry"]
        return f"{entry.get('text', '')} ({entry.get('url', '')})"
    return None


def visit(browser: Chromium, url: str, screenshot: Path | None = None,
          ready: tuple[str, str] | None = None) -> tuple[list[str], object]:
    """Opens `url` in a fresh tab; with `ready` (what is awaited, a JavaScript expression), waits
    until the expression is not null and returns its value. The JavaScript errors of the page, and
    that value."""
    target = browser.call("Target.createTarget", url="about:blank")["targetId"]
    session = browser.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
    for domain in ("Page", "Runtime", "Log"):
        browser.call(f"{domain}.enable", session)
    browser.call("Emulation.setDeviceMetricsOverride", session, width=1280, height=900, deviceScaleFactor=1,
                 mobile=False)
    problems = []
    navigated = browser.call("Page.navigate", session, url=url)
    if navigated.get("errorText"):
        problems.append(f"could not load: {navigated['errorText']}")
    elif not browser.wait(session, "Page.loadEventFired", TIMEOUT_S):
        problems.append(f"did not finish loading within {TIMEOUT_S:.0f} s")
    value = None
    if ready and not problems:
        what, expression = ready
        deadline = time.monotonic() + TIMEOUT_S
        while (value := browser.call("Runtime.evaluate", session, expression=expression,
                                     returnByValue=True)["result"].get("value")) is None:
            if time.monotonic() > deadline:
                problems.append(f"waited {TIMEOUT_S:.0f} s for {what} in vain")
                break
            browser.wait(session, None, 0.1)
    browser.wait(session, None, SETTLE_S)
    if screenshot and not problems:
        screenshot.write_bytes(base64.b64decode(browser.call("Page.captureScreenshot", session, format="png")["data"]))
    problems += [d for e in browser.events if e.get("sessionId") == session and (d := describe(e))]
    browser.events = [e for e in browser.events if e.get("sessionId") != session]
    browser.call("Target.closeTarget", targetId=target)
    return problems, value


def check(site: Path, shots: Path, exe: str) -> list[str]:
    """Every fault found, as `page: what`."""
    api = site / "api" / "vector2.html"
    if not api.exists():
        api = next(iter(sorted((site / "api").glob("**/*.html"))), None)
    faults = [f"{name}: not in {site}" for name, page in (("index.html", site / "index.html"),
                                                           ("api/*.html", api), ("search.html", site / "search.html"))
              if page is None or not page.exists()]
    if faults:
        return faults
    shots.mkdir(parents=True, exist_ok=True)
    server = serve(site)
    base = f"http://127.0.0.1:{server.server_port}/"
    with tempfile.TemporaryDirectory(prefix="check-site-") as tmp:
        (Path(tmp) / "profile").mkdir()
        browser = Chromium(exe, Path(tmp) / "profile")
        try:
            pages = [("index.html", shots / "index.png", None),
                     (api.relative_to(site).as_posix(), shots / "api.png", None),
                     (f"search.html?q={SEARCH_TERM}", None, SEARCH_RESULTS)]
            for page, screenshot, ready in pages:
                if screenshot:
                    screenshot.unlink(missing_ok=True)
                problems, value = visit(browser, base + page, screenshot, ready)
                faults += [f"{page}: {p}" for p in problems]
                if ready and not problems and not value:
                    faults.append(f"{page}: the search lists no result for {SEARCH_TERM}")
                if screenshot and screenshot.exists():
                    print(screenshot)
        except BrowserError as e:
            faults.append(f"chromium: {e}")
        finally:
            browser.close()
            server.shutdown()
    return faults


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="docs/check_site.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("site", type=Path, help="the built HTML site")
    parser.add_argument("screenshots", type=Path, help="where index.png and api.png are written")
    args = parser.parse_args(argv)
    exe = shutil.which("chromium") or shutil.which("chromium-browser")
    if not exe:
        print("check_site: no chromium on PATH (Debian: apt-get install chromium)", file=sys.stderr)
        return 1
    faults = check(args.site.resolve(), args.screenshots, exe)
    for fault in faults:
        print(f"check_site: {fault}", file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
