# The page made by an installed quab-export (cmake --install to a temporary prefix) in both
# browsers Debian ships, headless: Chromium over its DevTools protocol, firefox-esr over WebDriver
# BiDi, with the suite's private PulseAudio (null sink) for the sound. In each: Play comes (the median of
# three loads is printed), the show plays with sound and one pass per new tick, the seek bar marks
# and names the eight scenes, a click in the middle of the bar lands in the middle of the show on
# the straight run's frame, the sound decoded in parts meets sample for sample where one hands
# over, Home and End go to the start and the end, and a sound output that starts 2.5 s late still
# gives sound. Then pages with one damaged part each say which part.
# usage: browsers_test.py BUILD_DIR SERVICES_DIR (scripts/services.sh's, running)
import asyncio
import base64
import gzip
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import bidi  # noqa: E402
import cdp  # noqa: E402

BUILD = os.path.abspath(sys.argv[1])
SERVICES = os.path.abspath(sys.argv[2])
WORK = tempfile.mkdtemp(prefix="quab-browsers-")
failures = []
SCENES = ["masked twin scroll", "polar flash", "twin-light bump map", "cycling-overlay scroll",
          "wobble tunnel", "orbiting panels", "picture sequence", "closing scroller"]


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return condition


def run(*argv):
    result = subprocess.run(argv, cwd=WORK, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{argv}: {result.stdout}{result.stderr}")
    return result


async def load(browser, html, hook=""):
    page = browser("file://" + html + "#test")
    await page.open()
    await page.wait_for("window.quabTest && (quabTest.ready ||"
                        " document.getElementById('play').textContent === 'Cannot play')", 60)
    if hook:
        await page.eval(hook)
    return page


async def plays(name, browser, html):
    # Load to an enabled Play, three times.
    loads = []
    for _ in range(3):
        page = await load(browser, html)
        loads.append(await page.eval("quabTest.readyMs"))
        await page.close()
    print(f"{name}: load to Play {statistics.median(loads):.0f} ms (median of "
          f"{', '.join(f'{x:.0f}' for x in loads)})", flush=True)

    page = await load(browser, html)
    try:
        await page.click_element("#play")
        await asyncio.sleep(3)
        check(await page.eval("!quabTest.silent()"), f"{name}: the show plays with sound")
        record = await page.eval("quabTest.record")
        shown = [e[0] for e in record]
        check(len(shown) > 50 and all(b > a for a, b in zip(shown, shown[1:])),
              f"{name}: every pass shows a new tick ({len(shown)} passes: {shown[:12]}...)")
        check(await page.eval("document.getElementById('note').textContent") == "",
              f"{name}: no note while the sound plays")

        # The seek bar comes with the pointer; its middle is the middle of the show.
        await page.move(50, 50)
        await page.wait_for("!document.getElementById('bar').hidden", 5)
        box = await page.eval("(() => { const r = document.getElementById('track')"
                              ".getBoundingClientRect(); return [r.x, r.y, r.width, r.height];"
                              " })()")
        marks = await page.eval("[...document.querySelectorAll('#marks .mark')].map((m) =>"
                                " [m.textContent, parseFloat(m.style.left)])")
        check([m[0] for m in marks] == [f"{k + 1} {n}" for k, n in enumerate(SCENES)] and
              marks[0][1] == 0 and all(b[1] > a[1] for a, b in zip(marks, marks[1:])),
              f"{name}: the eight scenes marked in order and named: {marks}")
        await page.key(" ")
        await page.eval("quabTest.hashFrames = true")
        await page.click(box[0] + box[2] / 2, box[1] + box[3] / 2)
        await asyncio.sleep(0.3)
        fraction = await page.eval("quabTest.shownTick() / quabTest.tickCount()")
        check(0.45 <= fraction <= 0.55, f"{name}: the bar's middle lands at {fraction:.3f}")
        record = await page.eval("quabTest.record")
        expected = await page.eval(f"quabTest.straightRun({json.dumps(record[-1:])})")
        check(record[-1][0] == "seek" and expected[-1] == record[-1][-1],
              f"{name}: after the seek the canvas is the straight run's frame")
        await page.eval("quabTest.hashFrames = false")

        # The sound's parts: a first one, a longer one, the whole, each the same samples as
        # the next where it hands over.
        await page.wait_for("quabTest.wholeMs !== undefined", 30)
        differ = await page.eval("quabTest.partsDiffer()")
        check(len(differ) == 2 and max(differ) == 0,
              f"{name}: the sound's parts meet sample for sample: {differ}")
        for key, tick in (("Home", "0"), ("End", "quabTest.tickCount() - 1")):
            await page.key(key)
            check(await page.eval(f"quabTest.shownTick() === {tick}"), f"{name}: {key} seeks")
        await page.key(" ")
        await page.wait_for("document.getElementById('note').textContent.startsWith('Total')",
                            10)
        check(not page.errors, f"{name}: no console errors: " + "; ".join(page.errors))
    finally:
        await page.close()

    # A sound output that starts 2.5 s after Play: the show runs on, then the sound joins.
    page = await load(browser, html, "quabTest.outputDelayMs = 2500")
    try:
        await page.click_element("#play")
        await asyncio.sleep(1.5)
        check(await page.eval("quabTest.silent()"), f"{name}: silent while the output starts")
        await asyncio.sleep(2)
        check(await page.eval("!quabTest.silent()"), f"{name}: the sound joins after 2.5 s")
        joined = await page.eval("quabTest.joinedMs - quabTest.startMs")
        shown = [e[0] for e in await page.eval("quabTest.record")]
        check(all(b > a for a, b in zip(shown, shown[1:])) and shown[-1] > 150,
              f"{name}: the picture goes on across the join (joined after {joined:.0f} ms)")
    finally:
        await page.close()


# Each block of the page damaged in one way, and the part the page names.
def damage(page, block, how):
    m = re.search(f'id="{block}">([^<]*)<', page)
    data = m.group(1)
    if how == "flip":
        raw = bytearray(base64.b64decode(data))
        raw[len(raw) // 2] ^= 0xFF
        data = base64.b64encode(raw).decode()
    elif how == "cut":
        data = data[: len(data) // 2 // 4 * 4]
    elif how == "json":
        data = data[:-2]
    elif how == "position":
        table = bytearray(gzip.decompress(base64.b64decode(data)))
        table[400:402] = b"\xff\xff"
        data = base64.b64encode(gzip.compress(bytes(table))).decode()
    return page[: m.start(1)] + data + page[m.end(1):]


DAMAGED = [
    ("assets", "flip", "The show cannot start: the page is damaged: its asset block"),
    ("ticks", "flip", "The show cannot start: the page is damaged: its tick block"),
    ("ticks", "position", "The show cannot start: the page is damaged: its tick table has song "
                          "position 65535, row "),
    ("show", "json", "The show cannot start: the page is damaged: its show description"),
    ("wasm", "cut", "The show cannot start: the page is damaged: its WebAssembly block"),
    ("sound", "cut", "The sound cannot play: the sound block is cut short"),
]


async def damaged_pages(html):
    text = open(html).read()
    for block, how, said in DAMAGED:
        path = os.path.join(WORK, f"damaged-{block}-{how}.html")
        with open(path, "w") as f:
            f.write(damage(text, block, how))
        page = await load(cdp.Page, path)
        try:
            if block == "sound":
                await page.click_element("#play")
            # The sound's damage is known once it is decoded whole; until then the note may say
            # that the output has not started.
            await page.wait_for("document.getElementById('note').textContent.startsWith("
                                f"{json.dumps(said[:20])})", 30)
            note = await page.eval("document.getElementById('note').textContent")
            check(note.startswith(said), f"damaged {block} ({how}) says '{note}'")
        finally:
            await page.close()


def main():
    prefix = os.path.join(WORK, "prefix")
    run("cmake", "--install", BUILD, "--prefix", prefix)
    os.environ["XDG_RUNTIME_DIR"] = SERVICES
    os.environ.pop("PULSE_SERVER", None)
    share = os.path.join(prefix, "share/quab")
    html = os.path.join(WORK, "show.html")
    run(os.path.join(prefix, "bin/quab-export"), "--assets", os.path.join(share, "quab.dat"),
        "--music", os.path.join(share, "music.xm"), html)
    asyncio.run(plays("chromium", cdp.Page, html))
    asyncio.run(plays("firefox-esr", bidi.Page, html))
    asyncio.run(damaged_pages(html))
    if failures:
        sys.exit(f"{len(failures)} failures; the work is kept in {WORK}")
    shutil.rmtree(WORK)
    print("browser tests passed")


main()
