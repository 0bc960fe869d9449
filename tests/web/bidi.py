# A small client of WebDriver BiDi for the page tests in Debian's firefox-esr: starts it headless
# with a fresh profile and its own remote port, evaluates script in the page, sends real pointer
# and key input, and keeps every console error the page reports. The same calls as cdp.Page.
import asyncio
import json
import os
import socket
import subprocess
import tempfile
import time

import websockets

import cdp

FIREFOX = "/usr/bin/firefox-esr"
# A profile that opens no first-run pages, asks nothing and lets the page play sound.
PREFS = {
    "media.autoplay.default": 0,
    "browser.shell.checkDefaultBrowser": False,
    "browser.aboutwelcome.enabled": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "app.update.disabledForTesting": True,
    "network.captive-portal-service.enabled": False,
}
# WebDriver's key values for the keys the tests press.
KEYS = {" ": " ", "ArrowLeft": "\ue012", "ArrowRight": "\ue014", "Home": "\ue011",
        "End": "\ue010", "f": "f"}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Page:
    def __init__(self, url, extra_flags=(), headless=True, env=None):
        self.url = url
        self.profile = tempfile.mkdtemp(prefix="quab-firefox-")
        with open(os.path.join(self.profile, "user.js"), "w") as f:
            f.writelines(f'user_pref("{k}", {json.dumps(v)});\n' for k, v in PREFS.items())
        self.port = free_port()
        self.process = subprocess.Popen(
            [FIREFOX, *(["--headless"] if headless else []), "--no-remote", "--profile",
             self.profile, "--remote-debugging-port", str(self.port), *extra_flags,
             "about:blank"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True, env=env)
        self.errors = []
        self.next_id = 0
        self.pending = {}
        self.socket = None
        self.reader = None
        self.context = None

    async def open(self):
        deadline = time.monotonic() + 60
        while True:
            try:
                self.socket = await websockets.connect(
                    f"ws://127.0.0.1:{self.port}/session", max_size=None)
                break
            except OSError:
                if time.monotonic() > deadline or self.process.poll() is not None:
                    raise RuntimeError("firefox-esr did not start")
                await asyncio.sleep(0.2)
        self.reader = asyncio.ensure_future(self._read())
        await self.call("session.new", capabilities={})
        await self.call("session.subscribe", events=["log.entryAdded"])
        tree = await self.call("browsingContext.getTree")
        self.context = tree["contexts"][0]["context"]
        await self.call("browsingContext.navigate", context=self.context, url=self.url,
                        wait="complete")

    async def _read(self):
        async for text in self.socket:
            message = json.loads(text)
            if "id" in message and message["id"] in self.pending:
                self.pending.pop(message["id"]).set_result(message)
            elif message.get("method") == "log.entryAdded":
                entry = message["params"]
                if entry.get("level") == "error":
                    self.errors.append(entry.get("text") or "error")

    async def call(self, method, **params):
        self.next_id += 1
        future = asyncio.get_running_loop().create_future()
        self.pending[self.next_id] = future
        await self.socket.send(json.dumps({"id": self.next_id, "method": method,
                                           "params": params}))
        try:
            message = await asyncio.wait_for(future, 60)
        except asyncio.TimeoutError:
            raise RuntimeError(f"{method}: no answer from firefox-esr in 60 s") from None
        if message.get("type") == "error" or "error" in message:
            raise RuntimeError(f"{method}: {message.get('error')}: {message.get('message')}")
        return message["result"]

    # The value of a script expression (awaited when a promise), carried as JSON text.
    async def eval(self, expression):
        wrapped = f"(async () => JSON.stringify(await ({expression})))()"
        result = await self.call("script.evaluate", expression=wrapped, awaitPromise=True,
                                 target={"context": self.context}, userActivation=False)
        if result.get("type") == "exception":
            raise RuntimeError(f"{expression}: {result['exceptionDetails'].get('text')}")
        value = result["result"].get("value")
        return None if value is None else json.loads(value)

    async def wait_for(self, expression, timeout_s=30):
        deadline = time.monotonic() + timeout_s
        while not await self.eval(expression):
            if time.monotonic() > deadline:
                raise RuntimeError("timed out waiting for " + expression)
            await asyncio.sleep(0.05)

    async def pointer(self, steps):
        await self.call("input.performActions", context=self.context, actions=[
            {"type": "pointer", "id": "mouse", "parameters": {"pointerType": "mouse"},
             "actions": steps}])

    async def move(self, x, y):
        await self.pointer([{"type": "pointerMove", "x": int(x), "y": int(y)}])

    async def click(self, x, y, count=1):
        steps = [{"type": "pointerMove", "x": int(x), "y": int(y)}]
        for _ in range(count):
            steps += [{"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0}]
        await self.pointer(steps)

    async def click_element(self, selector):
        box = await self.eval(f"(() => {{ const r = document.querySelector('{selector}')"
                              ".getBoundingClientRect(); return [r.x + r.width / 2,"
                              " r.y + r.height / 2]; })()")
        await self.click(*box)

    async def key(self, key):
        value = KEYS[key]
        await self.call("input.performActions", context=self.context, actions=[
            {"type": "key", "id": "keyboard",
             "actions": [{"type": "keyDown", "value": value}, {"type": "keyUp", "value": value}]}])

    async def close(self):
        if self.socket:
            try:
                await asyncio.wait_for(self.call("session.end"), 5)
            except (RuntimeError, asyncio.TimeoutError, websockets.ConnectionClosed):
                pass
        await cdp.stop_browser(self)
