#!/usr/bin/env python3
"""The options and exit statuses each installed man page lists agree with its program's --help.

  man_options.py PREFIX PROGRAM...

For every program: the options named in the OPTIONS section of its man page, rendered by man,
and the options named anywhere in what `PROGRAM --help` prints (run in an empty folder). A
program whose --help is not a usage text (xdemo and vgademo take no options and start the
show) has none, and its page must list none. The statuses under EXIT STATUS are those after
"Exit status:" in --help, and a show file not found has the same status in both. Prints each
disagreement; exits 1 on any.
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


def help_text(program, empty):
    try:
        run = subprocess.run([program, "--help"], cwd=empty, capture_output=True, text=True,
                             timeout=20, env=dict(os.environ, DISPLAY=""))
    except subprocess.TimeoutExpired:
        return ""
    if run.returncode != 0 or "Usage: " not in run.stdout:
        return ""
    return run.stdout


def help_statuses(text):
    """{status: its words} from "Exit status: 0 ..., 1 ..., 2 ..." in a help text."""
    found = re.search(r"Exit status: (.*?)(?:\n\n|\Z)", text, re.S)
    if not found:
        return {}
    words = " ".join(found.group(1).split())
    parts = re.split(r"(?:^|, )(\d) ", words)
    return {int(parts[i]): parts[i + 1] for i in range(1, len(parts) - 1, 2)}


def page_sections(page):
    text = subprocess.run(["man", "-l", page], capture_output=True, text=True,
                          env=dict(os.environ, MANWIDTH="200")).stdout
    sections = {}
    for m in re.finditer(r"^([A-Z][A-Z ]+)\n(.*?)(?=^\S|\Z)", text, re.M | re.S):
        sections[m.group(1)] = m.group(2)
    return sections


def page_statuses(section):
    found = re.findall(r"^\s+(\d)\s*\n(.*?)(?=^\s+\d\s*\n|\Z)", section, re.M | re.S)
    return {int(n): " ".join(words.split()) for n, words in found}


def not_found_status(statuses):
    return sorted(n for n, words in statuses.items() if "not found" in words)


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
            sections = page_sections(pages[0])
            help = help_text(os.path.join(prefix, "bin", name), empty)
            in_page = options_in(sections["OPTIONS"]) if "OPTIONS" in sections else None
            in_help = options_in(help)
            if help and "Exit status:" in help:
                by_help = help_statuses(help)
                by_page = page_statuses(sections.get("EXIT STATUS", ""))
                if sorted(by_help) != sorted(by_page) or \
                        not_found_status(by_help) != not_found_status(by_page):
                    print(f"{name}: exit statuses in --help {by_help}; in the man page {by_page}")
                    failed = True
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
