# The page in chromium for bench/web/web.sh: "first-frame PAGE" prints the time from loading to
# Play and from the click to the first frame (headless); "cpu PAGE SECONDS" plays the page in a
# window on $DISPLAY and prints the CPU seconds of all chromium's processes over SECONDS after
# two of start-up.
import asyncio
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tests/web"))
from cdp import Page  # noqa: E402

HZ = os.sysconf("SC_CLK_TCK")


def session_cpu_s(sid):
    total = 0
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[3]) == sid:  # field 6, the session
            total += int(fields[11]) + int(fields[12])  # utime, stime
    return total / HZ


async def first_frame(page_path):
    page = Page("file://" + page_path + "#test")
    try:
        await page.open()
        await page.wait_for("window.quabTest && quabTest.ready", 60)
        ready_ms = await page.eval("quabTest.readyMs")
        await page.click_element("#play")
        await page.wait_for("quabTest.firstFrameMs !== undefined", 20)
        click_ms = await page.eval("quabTest.firstFrameMs - quabTest.startMs")
        stages = await page.eval("quabTest.stages")
        print(f"load to Play {ready_ms:.0f} ms (" +
              ", ".join(f"{name} {ms}" for name, ms in stages) +
              f"), click to first frame {click_ms:.1f} ms")
    finally:
        await page.close()


async def cpu(page_path, seconds):
    page = Page("file://" + page_path + "#test", ["--start-fullscreen"], headless=False)
    try:
        await page.open()
        await page.wait_for("window.quabTest && quabTest.ready", 60)
        await page.click_element("#play")
        await asyncio.sleep(2)
        before = session_cpu_s(page.process.pid)
        await asyncio.sleep(seconds)
        used = session_cpu_s(page.process.pid) - before
        passes = await page.eval("quabTest.record.length")
        print(f"{used:.2f} {passes}")
    finally:
        await page.close()


if sys.argv[1] == "first-frame":
    asyncio.run(first_frame(sys.argv[2]))
else:
    asyncio.run(cpu(sys.argv[2], float(sys.argv[3])))
