#!/usr/bin/env python3
"""Reads a memcheck log. --errors prints each error and definitely lost block in short;
--held F... prints the blocks still in use at exit whose allocation went through one of the
functions F (=F: F called the allocator itself), and exits 1 when there is any."""
import re
import sys


def records(path):
    text = open(path, encoding="utf-8", errors="replace").read()
    blocks, current = [], []
    for line in text.splitlines():
        m = re.match(r"==\d+== ?(.*)$", line)
        if not m:
            continue
        body = m.group(1)
        if body.strip() == "":
            if current:
                blocks.append(current)
            current = []
        else:
            current.append(body)
    if current:
        blocks.append(current)
    return blocks


def frames(block):
    return [l.strip() for l in block[1:] if re.match(r"\s+(at|by) 0x", l)]


def main():
    path, mode, names = sys.argv[1], sys.argv[2], sys.argv[3:]
    found = 0
    for block in records(path):
        head = block[0]
        is_loss = "in loss record" in head
        if mode == "--errors":
            if is_loss and "definitely lost" not in head:
                continue
            if not frames(block) or head.startswith(("HEAP SUMMARY", "LEAK SUMMARY")):
                continue
            print(head)
            for f in frames(block)[:12]:
                print("    " + f)
            found += 1
        elif mode == "--held" and is_loss:
            stack = frames(block)

            def calls(frame, name):
                return re.search(r": " + re.escape(name) + r"[ (]", frame) is not None

            through = any(calls(f, n) for f in stack for n in names if not n.startswith("="))
            direct = len(stack) > 1 and any(calls(stack[1], n[1:]) for n in names
                                            if n.startswith("="))
            if through or direct:
                print(head)
                for f in stack[:12]:
                    print("    " + f)
                found += 1
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
