# The exported web page in Debian's chromium (headless, driven over its DevTools protocol): the
# default show's page opens from file://, starts on a click, plays and reports no console error;
# the frames it showed equal quab-render's for the passes it ran, in every scene; Space pauses
# picture and sound; Right and Left move a song position on and back; F goes full screen and
# back; after jumps by key and seeks to any tick every frame on the canvas is the frame of the show
# played straight through from its start (a second instance of the module, one pass a tick); at
# the end the last frame stays with the playtime line. A maker's own show (test
# pictures with an extra odd-length record, and module) plays too, on the page's clock where
# the browser refuses the sound.
# usage: page_test.py BUILD_DIR
import asyncio
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cdp import Page  # noqa: E402

BUILD = os.path.abspath(sys.argv[1])
WORK = tempfile.mkdtemp(prefix="quab-page-")
FRAME_BYTES = 320 * 240 * 4
SCENE_END = 8
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return condition


def run(*argv, cwd=WORK):
    result = subprocess.run(argv, cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{argv}: {result.stderr}")
    return result.stdout


# The canvas's RGBA bytes against one of quab-render's frames (little-endian Pixel words: blue,
# green, red, key): the same colours, every pixel opaque.
def same_picture(rgba, raw):
    return (len(rgba) == len(raw) == FRAME_BYTES and rgba[0::4] == raw[2::4] and
            rgba[1::4] == raw[1::4] and rgba[2::4] == raw[0::4] and
            rgba[3::4] == b"\xff" * (FRAME_BYTES // 4))


# quab-render's frames for a run of passes the page recorded (tick, position, row).
def render(assets, passes, name):
    timeline = os.path.join(WORK, name + ".timeline")
    with open(timeline, "w") as f:
        f.writelines(f"{t} {p} {r}\n" for t, p, r, *_ in passes)
    out = os.path.join(WORK, name)
    shutil.rmtree(out, ignore_errors=True)
    run(os.path.join(BUILD, "quab-render"), assets, timeline, out)
    frames = sorted(n for n in os.listdir(out) if n.endswith(".raw"))
    return [os.path.join(out, n) for n in frames]


def which_frame(rgba, frames):
    return [i for i, f in enumerate(frames) if same_picture(rgba, frame(f))]


def frame(path):
    with open(path, "rb") as f:
        return f.read()


def is_seek(entry):
    return entry != "restart" and entry[0] == "seek"


# The passes since the last restart or seek.
def last_run(record):
    cut = max((i for i, e in enumerate(record) if e == "restart" or is_seek(e)), default=-1)
    return record[cut + 1:]


# The entries from the last seek on, and whether the canvas is the straight run's last frame.
async def canvas_is_straight_run(page, record):
    cut = max(i for i, e in enumerate(record) if is_seek(e))
    hashes = await page.eval(f"quabTest.straightRun({json.dumps(record[cut:])})")
    return record[cut], hashes[-1] == await page.eval("quabTest.canvasHash()")


CANVAS = ("(() => { const d = document.getElementById('screen').getContext('2d')"
          ".getImageData(0, 0, 320, 240).data; let s = '';"
          " for (let i = 0; i < d.length; i += 8192)"
          " s += String.fromCharCode.apply(null, d.subarray(i, i + 8192)); return btoa(s); })()")


async def canvas(page):
    return base64.b64decode(await page.eval(CANVAS))


async def default_show(html, assets, total_ticks):
    page = Page("file://" + html + "#test")
    try:
        await page.open()
        await page.wait_for("window.quabTest && quabTest.ready", 60)
        check(await page.eval("getComputedStyle(document.getElementById('start')).display")
              != "none", "the start screen shows")
        check(await page.eval("quabTest.record.length") == 0, "nothing plays before the click")

        # Plays after a click.
        await page.click_element("#play")
        await page.wait_for("quabTest.record.length > 20", 20)
        await asyncio.sleep(1)
        record = await page.eval("quabTest.record")
        ticks = [e[0] for e in record]
        check(ticks == sorted(ticks) and ticks[-1] > ticks[0], "the ticks shown move forward")
        check(await page.eval("document.getElementById('note').textContent") == "",
              "after a click the show plays with sound")
        title = await page.eval("document.title")
        check(title.startswith("QUAB: Scene 1, masked twin scroll (position 0"),
              "the title names the scene: " + title)

        # Space pauses: the canvas, the sound's time and the passes stop.
        await page.key(" ")
        await asyncio.sleep(0.3)
        paused = await canvas(page)
        heard = await page.eval("quabTest.heardSeconds()")
        audio_time = await page.eval("quabTest.audioTime()")
        passes = await page.eval("quabTest.record.length")
        check(heard >= record[-1][0] * 0.02, "paused where it was heard")
        await asyncio.sleep(0.7)
        check(await canvas(page) == paused, "the canvas stays while paused")
        check(await page.eval("quabTest.heardSeconds()") == heard, "the show's time stays")
        check(await page.eval("quabTest.audioTime()") == audio_time, "the sound's time stays")
        check(await page.eval("quabTest.record.length") == passes, "no pass runs while paused")
        check((await page.eval("document.title")).endswith(" - paused"), "the title says paused")
        record = await page.eval("quabTest.record")
        frames = render(assets, last_run(record), "played")
        check(same_picture(paused, frame(frames[-1])), "the canvas is quab-render's frame "
              f"(of {len(frames)} the same: {which_frame(paused, frames)}; {record[-4:]})")

        # Right: the next song position, the show there as played straight through.
        position = record[-1][1]
        await page.key(" ")
        await page.wait_for(f"quabTest.record.length > {len(record)}", 5)
        resumed = (await page.eval("quabTest.record"))[len(record)]
        check(record[-1][0] <= resumed[0] <= record[-1][0] + 10,
              f"Space again goes on where it paused: tick {record[-1][0]}, then {resumed[0]}")
        await page.key("ArrowRight")
        await asyncio.sleep(1)
        await page.key(" ")
        await asyncio.sleep(0.3)
        record = await page.eval("quabTest.record")
        seek, same = await canvas_is_straight_run(page, record)
        check(seek[2] == position + 1, f"Right moves from position {position} to the next")
        check(same, "after the jump the canvas is the straight run's frame")

        # Left: back to the position before; F full screen and back.
        await page.key(" ")
        await page.key("ArrowLeft")
        await asyncio.sleep(0.5)
        # Paused, so that the canvas is the last pass recorded.
        await page.key(" ")
        await asyncio.sleep(0.3)
        record = await page.eval("quabTest.record")
        seek, same = await canvas_is_straight_run(page, record)
        check(seek[2] == position, f"Left moves back to position {position}")
        check(same, "after going back the canvas is the straight run's frame")
        await page.key("f")
        await page.wait_for("document.fullscreenElement !== null", 5)
        await page.key("f")
        await page.wait_for("document.fullscreenElement === null", 5)

        # Jumps by key as a viewer makes them, then seeks to any tick (a seek bar's), each
        # followed by passes one a tick, on a clock the test drives: every frame on the canvas
        # is the straight run's at its tick.
        await page.eval("quabTest.drive = true; quabTest.hashFrames = true;"
                        " quabTest.record.length = 0; quabTest.seekTo(0); quabTest.play(30)")
        for key in ["ArrowRight"] * 9 + [" ", " ", "ArrowLeft"] + ["ArrowRight"] * 4:
            await page.key(key)
            await page.eval("quabTest.play(25)")
        for fraction in (0.3, 0.55, 0.02, 0.9, 0.4, 0.25):
            await page.eval(f"quabTest.seekTo({int(total_ticks * fraction)}); quabTest.play(10)")
        record = await page.eval("quabTest.record")
        await page.eval("quabTest.hashFrames = false")
        expected = await page.eval(f"quabTest.straightRun({json.dumps(record)})")
        shown = [e[-1] for e in record if e != "restart"]
        wrong = [i for i, (a, b) in enumerate(zip(shown, expected)) if a != b]
        check(len(shown) == len(expected) and len(shown) > 500 and not wrong,
              f"every frame after jumps and seeks is the straight run's: {len(wrong)} of "
              f"{len(shown)} differ (first {[record[i] for i in wrong[:3]]})")
        check(await page.eval("quabTest.seekBuilt()"), "the seek index is built")
        built_ms = await page.eval("quabTest.seekBuiltMs - quabTest.seekBuildStartMs")
        print(f"seek index built in the page over {built_ms:.0f} ms", flush=True)

        # Every scene, on a clock the test drives: passes every 40 ticks from the start, the
        # canvas kept at the pass 120 ticks into each scene.
        shots = await page.eval("""(() => {
            quabTest.drive = true;
            quabTest.restart();
            const shots = [];
            let scene = -1, since = 0;
            for (let tick = 0; tick < %d; tick += 40) {
                const now = quabTest.passAt(tick);
                if (now !== scene) { scene = now; since = tick; }
                if (shots.length === scene && tick - since >= 120 && scene < 8) {
                    const n = quabTest.record.length - 1 - quabTest.record.lastIndexOf("restart") - 1;
                    shots.push([n, %s]);
                }
            }
            return shots;
        })()""" % (total_ticks, CANVAS))
        record = await page.eval("quabTest.record")
        frames = render(assets, last_run(record), "driven")
        check(len(shots) == SCENE_END, f"all eight scenes were shown ({len(shots)})")
        for scene, (n, data) in enumerate(shots):
            check(same_picture(base64.b64decode(data), frame(frames[n])),
                  f"Scene {scene + 1}: the canvas is quab-render's frame")

        # The end: the last song position, then the last frame stays with the playtime line.
        await page.eval("quabTest.drive = false")
        await page.key(" ")  # plays again
        for _ in range(32):
            await page.key("ArrowRight")
        await page.wait_for("document.getElementById('note').textContent.startsWith('Total')", 10)
        seconds = total_ticks * 882 // 44100
        expected = f"Total playtime: {seconds // 60 % 60}:{seconds % 60}"
        note = await page.eval("document.getElementById('note').textContent")
        check(note == expected, f"the end shows '{expected}': '{note}'")
        last = await canvas(page)
        await asyncio.sleep(0.5)
        check(await canvas(page) == last, "the last frame stays")
        check(not page.errors, "no console errors: " + "; ".join(page.errors))
    finally:
        await page.close()


async def custom_show(html, assets):
    # Sound only after a gesture, and the show started without one: the browser refuses the
    # sound and the page plays on its own clock, saying so.
    page = Page("file://" + html + "#test", ["--autoplay-policy=document-user-activation-required"])
    try:
        await page.open()
        await page.wait_for("window.quabTest && quabTest.ready", 60)
        await page.eval("quabTest.start()")
        await page.wait_for("quabTest.record.length > 20", 20)
        await page.wait_for("document.getElementById('note').textContent !== ''", 5)
        note = await page.eval("document.getElementById('note').textContent")
        check(note == "No sound here: the show plays on the page's clock.",
              "without sound the page says so: " + note)
        first = await page.eval("quabTest.heardSeconds()")
        await asyncio.sleep(1)
        check(await page.eval("quabTest.heardSeconds()") > first + 0.5, "the page's clock runs")
        await page.key(" ")
        await asyncio.sleep(0.3)
        frames = render(assets, last_run(await page.eval("quabTest.record")), "custom")
        check(same_picture(await canvas(page), frame(frames[-1])),
              "the custom show's canvas is quab-render's frame")
        check(not page.errors, "no console errors: " + "; ".join(page.errors))
    finally:
        await page.close()


def export(assets, music, html):
    out = run(os.path.join(BUILD, "quab-export"), "--assets", assets, "--music", music, html)
    # "PATH: web page, N ticks (S s), X MB"
    return int(out.strip().splitlines()[-1].split("web page, ")[1].split()[0])


def main():
    run(os.path.join(BUILD, "quab-assets"), "build", "quab.dat")
    run(os.path.join(BUILD, "quab-music"), "music.xm")
    total = export("quab.dat", "music.xm", os.path.join(WORK, "show.html"))
    run(os.path.join(BUILD, "quab-testassets"), "test.dat")
    # One extra record of one byte after the show's 30: every program takes the file, and so
    # must the page quab-export writes from it.
    with open(os.path.join(WORK, "test.dat"), "ab") as f:
        f.write(b"\x01\x00\x00\x00\x2a")
    run(os.path.join(BUILD, "quab-testmod"), "test.xm", "--positions", "32", "--rows", "16",
        "--speed", "3", "--bpm", "125", "--click")
    export("test.dat", "test.xm", os.path.join(WORK, "custom.html"))
    asyncio.run(default_show(os.path.join(WORK, "show.html"), os.path.join(WORK, "quab.dat"),
                             total))
    asyncio.run(custom_show(os.path.join(WORK, "custom.html"), os.path.join(WORK, "test.dat")))
    if failures:
        sys.exit(f"{len(failures)} failures; the work is kept in {WORK}")
    shutil.rmtree(WORK)
    print("page tests passed")


main()
