# A small client of Chromium's DevTools protocol for the page tests: starts Debian's chromium
# headless on a page, evaluates script in it, sends real mouse and key input, and keeps every
# console error and uncaught exception the page reports.
import asyncio
import json
import os
import shutil
import subprocess
import tempfile
import time
import urllib.request

import websockets

CHROMIUM = "/usr/bin/chromium"
FLAGS = ["--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run",
         "--no-default-browser-check", "--remote-debugging-port=0", "--window-size=800,600"]

# Key names as the protocol wants them: key, code, Windows key code.
KEYS = {" ": ("Space", 32), "ArrowLeft": ("ArrowLeft", 37), "ArrowRight": ("ArrowRight", 39),
        "f": ("KeyF", 70), "Home": ("Home", 36), "End": ("End", 35)}


class Page:
    def __init__(self, url, extra_flags=(), headless=True):
        self.profile = tempfile.mkdtemp(prefix="quab-chromium-")
        self.process = subprocess.Popen(
            [CHROMIUM, *(["--headless"] if headless else []), *FLAGS, *extra_flags, "--user-data-dir=" + self.profile, url],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.errors = []
        self.next_id = 0
        self.pending = {}
        self.socket = None
        self.reader = None

    async def open(self):
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.monotonic() + 30
        while not os.path.exists(port_file) or os.path.getsize(port_file) == 0:
            if time.monotonic() > deadline or self.process.poll() is not None:
                raise RuntimeError("chromium did not start")
            await asyncio.sleep(0.1)
        port = open(port_file).read().split()[0]
        while True:
            targets = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list"))
            pages = [t for t in targets if t["type"] == "page"]
            if pages:
                break
            await asyncio.sleep(0.1)
        self.socket = await websockets.connect(pages[0]["webSocketDebuggerUrl"], max_size=None)
        self.reader = asyncio.ensure_future(self._read())
        for domain in ("Runtime", "Log", "Page"):
            await self.call(domain + ".enable")

    async def _read(self):
        async for text in self.socket:
            message = json.loads(text)
            if "id" in message:
                self.pending.pop(message["id"]).set_result(message)
            elif message.get("method") == "Runtime.consoleAPICalled":
                p = message["params"]
                if p["type"] in ("error", "assert"):
                    self.errors.append(" ".join(str(a.get("value", a.get("description")))
                                                for a in p["args"]))
            elif message.get("method") == "Runtime.exceptionThrown":
                self.errors.append(message["params"]["exceptionDetails"].get("text", "exception"))
            elif message.get("method") == "Log.entryAdded":
                entry = message["params"]["entry"]
                if entry["level"] == "error":
                    self.errors.append(entry["text"])

    async def call(self, method, **params):
        self.next_id += 1
        future = asyncio.get_running_loop().create_future()
        self.pending[self.next_id] = future
        await self.socket.send(json.dumps({"id": self.next_id, "method": method,
                                           "params": params}))
        message = await future
        if "error" in message:
            raise RuntimeError(f"{method}: {message['error']}")
        return message["result"]

    async def eval(self, expression):
        result = await self.call("Runtime.evaluate", expression=expression, awaitPromise=True,
                                 returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    async def wait_for(self, expression, timeout_s=30):
        deadline = time.monotonic() + timeout_s
        while not await self.eval(expression):
            if time.monotonic() > deadline:
                raise RuntimeError("timed out waiting for " + expression)
            await asyncio.sleep(0.05)

    async def click(self, x, y, count=1):
        for kind in ("mousePressed", "mouseReleased"):
            await self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left",
                            clickCount=count)

    async def move(self, x, y):
        await self.call("Input.dispatchMouseEvent", type="mouseMoved", x=x, y=y)

    async def click_element(self, selector):
        box = await self.eval(f"(() => {{ const r = document.querySelector('{selector}')"
                              ".getBoundingClientRect(); return [r.x + r.width / 2,"
                              " r.y + r.height / 2]; })()")
        await self.click(*box)

    async def key(self, key):
        code, vk = KEYS[key]
        await self.call("Input.dispatchKeyEvent", type="keyDown", key=key, code=code,
                        windowsVirtualKeyCode=vk, text=key if len(key) == 1 else "")
        await self.call("Input.dispatchKeyEvent", type="keyUp", key=key, code=code,
                        windowsVirtualKeyCode=vk)

    async def close(self):
        await stop_browser(self)


async def stop_browser(page):
    """Ends a browser a driver started: its reader task, its socket, the process (killed after
    10 s) and its profile folder. Both drivers (this one and bidi.py) end theirs so."""
    if page.reader:
        page.reader.cancel()
    if page.socket:
        await page.socket.close()
    page.process.terminate()
    try:
        page.process.wait(10)
    except subprocess.TimeoutExpired:
        page.process.kill()
        page.process.wait()
    shutil.rmtree(page.profile, ignore_errors=True)
