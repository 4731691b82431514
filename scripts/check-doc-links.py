#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks that every relative link and #anchor in the given Markdown files
resolves: the file or folder exists, and the anchor names a heading of the
file it points into, by GitHub's rules (lower case, blanks to '-',
punctuation dropped, a repeated heading numbered -1, -2, ...). Links to
web addresses are not followed. Prints each broken link and fails.

    check-doc-links.py README.md docs/*.md
"""
import os
import re
import sys
import unicodedata

LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*<?([^)\s>]*)>?(?:\s+\"[^\"]*\")?\s*\)")
HEADING = re.compile(r"^ {0,3}(#{1,6})\s+(.*?)\s*#*\s*$")
FENCE = re.compile(r"^ {0,3}(`{3,}|~{3,})")


def prose_lines(path):
    """(line number, text) of every line outside fenced code, code spans removed."""
    fence = None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            m = FENCE.match(line)
            if fence:
                if m and m.group(1)[0] == fence[0] and len(m.group(1)) >= len(fence):
                    fence = None
                continue
            if m:
                fence = m.group(1)
                continue
            yield number, re.sub(r"(`+)(?:(?!\1).)+?\1", "", line.rstrip("\n"))


def slug(heading):
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)  # a link's text only
    text = re.sub(r"<[^>]+>", "", text).lower()
    kept = "".join(c for c in text
                   if c in " -_" or unicodedata.category(c)[0] in "LNM")
    return kept.replace(" ", "-")


anchor_cache = {}


def anchors(path):
    if path not in anchor_cache:
        seen = {}
        names = set()
        fence = None
        with open(path, encoding="utf-8") as f:
            for line in f:
                m = FENCE.match(line)
                if fence or m:
                    if not fence:
                        fence = m.group(1)
                    elif m and m.group(1)[0] == fence[0]:
                        fence = None
                    continue
                h = HEADING.match(line)
                if not h:
                    continue
                base = slug(h.group(2))
                n = seen.get(base, 0)
                seen[base] = n + 1
                names.add(base if n == 0 else f"{base}-{n}")
        anchor_cache[path] = names
    return anchor_cache[path]


def main(files):
    broken = 0
    for path in files:
        here = os.path.dirname(path)
        for number, line in prose_lines(path):
            for target in LINK.findall(line):
                if not target or re.match(r"^[a-z][a-z0-9+.-]*:", target, re.I):
                    continue
                file_part, _, anchor = target.partition("#")
                dest = os.path.normpath(os.path.join(here, file_part)) if file_part else path
                problem = None
                if not os.path.exists(dest):
                    problem = "no such file"
                elif anchor and not dest.endswith(".md"):
                    problem = "an anchor into a file that is not Markdown"
                elif anchor and anchor not in anchors(dest):
                    problem = f"no heading #{anchor} in {dest}"
                if problem:
                    print(f"{path}:{number}: ({target}): {problem}")
                    broken += 1
    return 1 if broken else 0


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1:]))
