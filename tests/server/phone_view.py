#!/usr/bin/env python3
"""A page in headless Chromium at 390 x 844, measured through the DevTools protocol: prints
"WIDTH SCROLLWIDTH SMALLEST-CHART-LABEL" (0: none), a line "ROLE: LABEL" per landmark, and,
with AXE_CORE_JS naming axe.min.js, "axe RULE IMPACT" per violation.
usage: phone_view.py PROFILE_DIR URL [SCREENSHOT.png]
"""

import base64
import json
import os
import subprocess
import sys

WIDTH, HEIGHT = 390, 844
# The picture stops here: a page of 500 readings is some 18,000 pixels tall.
SHOT_HEIGHT_MAX = 2600

MEASURE = r"""
(() => {
  const shown = e => e.getClientRects().length > 0;
  let smallest = null;
  for (const t of document.querySelectorAll('svg.grafico text')) {
    if (!shown(t)) continue;
    const m = t.getScreenCTM();
    const px = parseFloat(getComputedStyle(t).fontSize) * Math.hypot(m.a, m.b);
    smallest = smallest === null ? px : Math.min(smallest, px);
  }
  const roles = {header: 'banner', nav: 'navigation', main: 'main', footer: 'contentinfo',
                 aside: 'complementary'};
  const landmarks = [];
  for (const e of document.querySelectorAll('header, nav, main, footer, aside, [role]')) {
    const role = e.getAttribute('role') || roles[e.localName];
    if (!['banner', 'navigation', 'main', 'contentinfo', 'complementary', 'region']
            .includes(role)) continue;
    let label = e.getAttribute('aria-label') || '';
    const by = e.getAttribute('aria-labelledby');
    if (by) label = document.getElementById(by)?.textContent || '';
    landmarks.push([role, label]);
  }
  return JSON.stringify({scrollWidth: document.documentElement.scrollWidth,
                         width: innerWidth, height: document.documentElement.scrollHeight,
                         smallestChartLabel: smallest, landmarks});
})()
"""


class DevTools:
    """Chromium over --remote-debugging-pipe (fds 3 and 4): JSON messages ended by a NUL."""

    def __init__(self, profile):
        to_chrome_r, self.to_chrome = os.pipe()
        self.from_chrome, from_chrome_w = os.pipe()
        os.set_inheritable(to_chrome_r, True)
        os.set_inheritable(from_chrome_w, True)
        self.chrome = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
             "--remote-debugging-pipe", "--user-data-dir=" + profile,
             f"--window-size={WIDTH},{HEIGHT}", "about:blank"],
            preexec_fn=lambda: (os.dup2(to_chrome_r, 3), os.dup2(from_chrome_w, 4)),
            pass_fds=(3, 4), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self.next_id = 0
        self.pending = b""
        self.events = []

    def receive(self, wanted):
        """The first message that `wanted` takes; the others are kept for later."""
        for message in self.events:
            if wanted(message):
                return message
        while True:
            while b"\0" not in self.pending:
                chunk = os.read(self.from_chrome, 1 << 20)
                if not chunk:
                    raise RuntimeError("chromium closed the pipe")
                self.pending += chunk
            text, self.pending = self.pending.split(b"\0", 1)
            message = json.loads(text)
            if wanted(message):
                return message
            self.events.append(message)

    def call(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_chrome, json.dumps(message).encode() + b"\0")
        answer = self.receive(lambda m: m.get("id") == self.next_id)
        if "error" in answer:
            raise RuntimeError(f"{method}: {answer['error']}")
        return answer["result"]

    def close(self):
        try:
            self.call("Browser.close")
        except RuntimeError:
            pass
        self.chrome.wait(timeout=20)


def main():
    profile, url = sys.argv[1], sys.argv[2]
    screenshot = sys.argv[3] if len(sys.argv) > 3 else None
    tools = DevTools(profile)
    try:
        target = tools.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = tools.call("Target.attachToTarget",
                             {"targetId": target, "flatten": True})["sessionId"]
        tools.call("Emulation.setDeviceMetricsOverride",
                   {"width": WIDTH, "height": HEIGHT, "deviceScaleFactor": 1, "mobile": True},
                   session)
        tools.call("Page.enable", session=session)
        tools.call("Page.navigate", {"url": url}, session)
        tools.receive(lambda m: m.get("method") == "Page.loadEventFired"
                      and m.get("sessionId") == session)
        measured = json.loads(tools.call("Runtime.evaluate", {"expression": MEASURE},
                                         session)["result"]["value"])
        lines = ["%d %d %s" % (measured["width"], measured["scrollWidth"],
                               measured["smallestChartLabel"] or 0)]
        lines += ["%s: %s" % (role, label) for role, label in measured["landmarks"]]
        axe = os.environ.get("AXE_CORE_JS")
        if axe:
            with open(axe, encoding="utf-8") as source:
                tools.call("Runtime.evaluate", {"expression": source.read()}, session)
            found = tools.call("Runtime.evaluate", {
                "expression": "axe.run().then(r => JSON.stringify(r.violations.map("
                              "v => [v.id, v.impact, v.nodes.length])))",
                "awaitPromise": True}, session)
            lines += ["axe %s %s" % (rule, impact)
                      for rule, impact, _ in json.loads(found["result"]["value"])]
        if screenshot:
            shot = tools.call("Page.captureScreenshot",
                              {"format": "png", "captureBeyondViewport": True,
                               "clip": {"x": 0, "y": 0, "width": WIDTH,
                                        "height": min(measured["height"], SHOT_HEIGHT_MAX),
                                        "scale": 1}}, session)
            with open(screenshot, "wb") as out:
                out.write(base64.b64decode(shot["data"]))
        print("\n".join(lines))
    finally:
        tools.close()


if __name__ == "__main__":
    main()
