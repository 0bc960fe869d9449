#!/usr/bin/env python3
"""The options each installed man page lists agree with its program's --help.

  man_options.py PREFIX PROGRAM...

For every program: the options named in the OPTIONS section of its man page, rendered by man,
and the options named anywhere in what `PROGRAM --help` prints (run in an empty folder). A
program whose --help is not a usage text (xdemo and vgademo take no options and start the
show) has none, and its page must list none. Prints each disagreement; exits 1 on any.
"""
import os
import re
import subprocess
import sys
import tempfile

# An option: one or two dashes and a letter, not inside a word ("32-bit", "two-thirds").
OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][\w-]*)")


def options_in(text):
    return set(OPTION.findall(text))


def help_options(program, empty):
    try:
        run = subprocess.run([program, "--help"], cwd=empty, capture_output=True, text=True,
                             timeout=20, env=dict(os.environ, DISPLAY=""))
    except subprocess.TimeoutExpired:
        return set()
    if run.returncode != 0 or "Usage: " not in run.stdout:
        return set()
    return options_in(run.stdout)


def page_options(page):
    text = subprocess.run(["man", "-l", page], capture_output=True, text=True,
                          env=dict(os.environ, MANWIDTH="200")).stdout
    section = re.search(r"^OPTIONS\n(.*?)(?=^\S)", text, re.M | re.S)
    if not section:
        return None
    return options_in(section.group(1))


def main():
    prefix, programs = sys.argv[1], sys.argv[2:]
    failed = False
    with tempfile.TemporaryDirectory() as empty:
        for name in programs:
            pages = [os.path.join(prefix, "share/man", d, f"{name}.{s}.gz")
                     for d, s in (("man1", 1), ("man6", 6))]
            pages = [p for p in pages if os.path.exists(p)]
            if len(pages) != 1:
                print(f"{name}: {len(pages)} man pages")
                failed = True
                continue
            in_page = page_options(pages[0])
            in_help = help_options(os.path.join(prefix, "bin", name), empty)
            if in_page is None:
                print(f"{name}: no OPTIONS section in its man page")
                failed = True
            elif in_page != in_help:
                print(f"{name}: only in the man page: {sorted(in_page - in_help)}; "
                      f"only in --help: {sorted(in_help - in_page)}")
                failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
