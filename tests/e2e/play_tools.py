#!/usr/bin/env python3
"""Helpers of the quab-play end-to-end test.

  play_tools.py same-picture XWD RAW SCALE
      The window dump, taken N = SCALE pixels per frame pixel, equals the 320x240 frame (raw
      little-endian words as quab-render writes them; the key byte ignored). Prints the first
      differing pixel and exits 1 otherwise.
  play_tools.py same-dump XWD XWD
      The two window dumps hold the same pixels.
  play_tools.py level SECONDS
      Records the sink's monitor for SECONDS and prints the largest absolute sample.
  play_tools.py titles SECONDS COMMAND...
      Starts COMMAND and watches its window's title for SECONDS, then ends it; prints "k MS" for
      every song position k the title changes to, in ms from the first change.
  play_tools.py follow SECONDS COMMAND...
      Records the sink's monitor, starts COMMAND (quab-play on a quab-testmod --click module) and
      watches its window's title for SECONDS, then ends it. For every song position k whose
      title change and click (the k-th from the start) are both seen, prints "k OFFSET_MS": the
      time the title showed position k less the time its click was heard.
  play_tools.py solid-png WIDTH HEIGHT RRGGBB OUT
      Writes an opaque PNG of one colour.
  play_tools.py png-is-frame PNG RAW
      The PNG (8-bit RGB or RGBA, as quab-play's F12 writes it) holds exactly the 320x240 frame's
      colours (raw little-endian words as quab-render writes them; the key byte ignored).
  play_tools.py window-colour XWD X Y
      Prints the window dump's colour at X, Y as RRGGBB.
"""
import os
import zlib
import re
import struct
import subprocess
import sys
import threading
import time

RATE = 44100
FRAME_W, FRAME_H = 320, 240


def read_xwd(path):
    data = open(path, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    ncolors = fields[19]
    if bits_per_pixel != 32:
        sys.exit(f"{path}: {bits_per_pixel} bits per pixel; expected 32")
    start = header_size + 12 * ncolors
    order = "<" if byte_order == 0 else ">"

    def pixel(x, y):
        at = start + y * bytes_per_line + 4 * x
        return struct.unpack(order + "I", data[at:at + 4])[0] & 0xFFFFFF

    return width, height, pixel


def same_picture(xwd, raw, scale):
    width, height, pixel = read_xwd(xwd)
    if (width, height) != (FRAME_W * scale, FRAME_H * scale):
        print(f"window is {width}x{height}, not {FRAME_W * scale}x{FRAME_H * scale}")
        return 1
    frame = open(raw, "rb").read()
    for y in range(FRAME_H):
        for x in range(FRAME_W):
            want = struct.unpack_from("<I", frame, 4 * (y * FRAME_W + x))[0] & 0xFFFFFF
            # Every window pixel of the frame pixel's square, so that a shift or a blur shows.
            for dy in range(scale):
                for dx in range(scale):
                    got = pixel(x * scale + dx, y * scale + dy)
                    if got != want:
                        print(f"frame pixel {x},{y}: window has {got:06x} at "
                              f"{x * scale + dx},{y * scale + dy}, the frame {want:06x}")
                        return 1
    return 0


def same_dump(a, b):
    wa, ha, pa = read_xwd(a)
    wb, hb, pb = read_xwd(b)
    if (wa, ha) != (wb, hb):
        return 1
    for y in range(0, ha):
        for x in range(0, wa):
            if pa(x, y) != pb(x, y):
                return 1
    return 0


def record(seconds):
    """Raw 16-bit stereo from the monitor, with the arrival time of every chunk."""
    proc = subprocess.Popen(["parec", "-d", "quab_sink.monitor", "--raw", "--format=s16le",
                             "--rate=44100", "--channels=2", "--latency-msec=10"],
                            stdout=subprocess.PIPE)
    chunks = []
    end = time.monotonic() + seconds
    fd = proc.stdout.fileno()
    while time.monotonic() < end:
        chunk = os.read(fd, 4 * 441)
        if not chunk:
            break
        chunks.append((time.monotonic(), chunk))
    proc.kill()
    proc.wait()
    return chunks


def level(seconds):
    peak = 0
    for _, chunk in record(seconds):
        n = len(chunk) // 2
        for v in struct.unpack("<%dh" % n, chunk[:2 * n]):
            peak = max(peak, abs(v))
    print(peak)
    return 0


def watch_titles(titles, holder):
    """Appends (time, song position) for every title the quab-play window gets."""
    window = subprocess.run(["xdotool", "search", "--sync", "--name", "^QUAB"],
                            capture_output=True, text=True, timeout=20).stdout.split()[0]
    proc = subprocess.Popen(["xprop", "-spy", "-id", window, "_NET_WM_NAME"],
                            stdout=subprocess.PIPE, text=True)
    holder["xprop"] = proc
    for line in proc.stdout:
        m = re.search(r"\(position (\d+)\)", line)
        if m:
            titles.append((time.monotonic(), int(m.group(1))))


def titles(seconds, command):
    """Starts COMMAND and prints "k MS" for the first title of every song position k, in ms from
    the first title change."""
    seen = []
    holder = {}
    program = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    threading.Thread(target=watch_titles, args=(seen, holder), daemon=True).start()
    time.sleep(seconds)
    program.terminate()
    program.wait()
    if "xprop" in holder:
        holder["xprop"].kill()
    first = {}
    for t, position in seen:
        first.setdefault(position, t)
    changes = sorted(first.items(), key=lambda item: item[1])[1:]
    for position, t in changes:
        print(position, round((t - changes[0][1]) * 1000))
    return 0


def follow(seconds, command):
    """Starts recording, then the command; pairs the k-th click with the title's change to song
    position k (the song starts at position 0, whose click is the first)."""
    titles = []
    recorder = {}
    chunks = []
    parec = subprocess.Popen(["parec", "-d", "quab_sink.monitor", "--raw", "--format=s16le",
                              "--rate=44100", "--channels=2", "--latency-msec=10"],
                             stdout=subprocess.PIPE)
    fd = parec.stdout.fileno()
    chunks.append((time.monotonic(), os.read(fd, 4 * 441)))
    program = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    watcher = threading.Thread(target=watch_titles, args=(titles, recorder), daemon=True)
    watcher.start()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        chunk = os.read(fd, 4 * 441)
        if not chunk:
            break
        chunks.append((time.monotonic(), chunk))
    parec.kill()
    parec.wait()
    program.terminate()
    program.wait()
    if "xprop" in recorder:
        recorder["xprop"].kill()

    # A click is the first loud sample after a quiet stretch. Each sample's time is its chunk's
    # arrival less the samples after it in the chunk.
    clicks = []
    quiet = RATE
    for arrived, chunk in chunks:
        n = len(chunk) // 4
        values = struct.unpack("<%dh" % (2 * n), chunk[:4 * n])
        for i in range(n):
            loud = abs(values[2 * i]) > 4000 or abs(values[2 * i + 1]) > 4000
            if loud and quiet > RATE // 10:
                clicks.append(arrived - (n - i) / RATE)
            quiet = 0 if loud else quiet + 1
    shown = {}
    for t, position in titles:
        shown.setdefault(position, t)
    for k in range(1, len(clicks)):
        if k in shown:
            print(k, round((shown[k] - clicks[k]) * 1000))
    return 0


def write_png(path, width, height, rgb_rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + row for row in rgb_rows)
    data = (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
    open(path, "wb").write(data)


def solid_png(width, height, colour, out):
    rgb = bytes.fromhex(colour)
    write_png(out, width, height, [rgb * width] * height)
    return 0


def read_png(path):
    """Decodes an 8-bit, non-interlaced RGB or RGBA PNG into rows of (r, g, b)."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    if depth != 8 or colour not in (2, 6) or interlace:
        sys.exit(f"{path}: depth {depth}, colour type {colour}; expected 8-bit RGB(A)")
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else b if pb <= pc else c
                line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def png_is_frame(png, raw):
    width, height, rows = read_png(png)
    if (width, height) != (FRAME_W, FRAME_H):
        print(f"{png} is {width}x{height}, not {FRAME_W}x{FRAME_H}")
        return 1
    frame = open(raw, "rb").read()
    for y in range(FRAME_H):
        for x in range(FRAME_W):
            word = struct.unpack_from("<I", frame, 4 * (y * FRAME_W + x))[0]
            want = ((word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF)
            if rows[y][x] != want:
                print(f"{png}: pixel {x},{y} is {rows[y][x]}, the frame's {want}")
                return 1
    return 0


def window_colour(xwd, x, y):
    _, _, pixel = read_xwd(xwd)
    print(f"{pixel(x, y):06x}")
    return 0


def main(argv):
    if len(argv) >= 2 and argv[1] == "same-picture" and len(argv) == 5:
        return same_picture(argv[2], argv[3], int(argv[4]))
    if len(argv) >= 2 and argv[1] == "same-dump" and len(argv) == 4:
        return same_dump(argv[2], argv[3])
    if len(argv) >= 2 and argv[1] == "level" and len(argv) == 3:
        return level(float(argv[2]))
    if len(argv) >= 4 and argv[1] == "titles":
        return titles(float(argv[2]), argv[3:])
    if len(argv) >= 4 and argv[1] == "follow":
        return follow(float(argv[2]), argv[3:])
    if len(argv) == 6 and argv[1] == "solid-png":
        return solid_png(int(argv[2]), int(argv[3]), argv[4], argv[5])
    if len(argv) == 4 and argv[1] == "png-is-frame":
        return png_is_frame(argv[2], argv[3])
    if len(argv) == 5 and argv[1] == "window-colour":
        return window_colour(argv[2], int(argv[3]), int(argv[4]))
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
