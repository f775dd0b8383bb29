#!/usr/bin/python3
"""Writes the two files every Debian package carries in /usr/share/doc/PKG,
from the project's own: changelog.gz (CHANGELOG.md in Debian's changelog
format, compressed) and copyright (machine-readable, with LICENSE's text).

    debian_docs.py CHANGELOG.md LICENSE VERSION MAINTAINER OUTDIR

CHANGELOG.md holds one section per released version, newest first:
"## VERSION - YYYY-MM-DD", then "- " items (indented lines continue an
item); other sections ("## Unreleased") are left out. Its newest version must
be VERSION: a version that is built but not recorded fails here."""
import datetime
import gzip
import os
import re
import sys
import textwrap


def releases(markdown):
    """[(version, date, [item, ...]), ...] in the order of the file."""
    found, items = [], None
    for line in markdown.splitlines():
        if line.startswith("## "):
            # Another heading ("## Unreleased") ends the version before it.
            heading = re.match(r"## (\S+) - (\d{4}-\d{2}-\d{2})\s*$", line)
            items = [] if heading else None
            if heading:
                found.append((heading[1], datetime.date.fromisoformat(heading[2]), items))
        elif items is not None and line.startswith("- "):
            items.append(line[2:].strip())
        elif items and line.startswith("  ") and line.strip():
            items[-1] += " " + line.strip()
    return found


def debian_changelog(found, maintainer):
    entries = []
    for version, date, items in found:
        lines = [f"vordex ({version}) unstable; urgency=medium", ""]
        for item in items:
            lines += textwrap.wrap(item, 76, initial_indent="  * ", subsequent_indent="    ")
        stamp = datetime.datetime.combine(date, datetime.time(), datetime.timezone.utc)
        lines += ["", f" -- {maintainer}  {stamp.strftime('%a, %d %b %Y %H:%M:%S +0000')}"]
        entries.append("\n".join(lines) + "\n")
    return "\n".join(entries)


def copyright_file(license_text, maintainer):
    lines = license_text.strip().splitlines()
    holders = [i for i, line in enumerate(lines) if line.startswith("Copyright (c) ")]
    if not holders:
        raise SystemExit("debian_docs.py: LICENSE names no copyright holder")
    holder = lines[holders[0]][len("Copyright (c) "):]
    # The licence's text after the holder, indented; an empty line is " .".
    text = "\n".join(" " + line if line.strip() else " ." for line in lines[holders[0] + 1:]).strip(" .\n")
    return (
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
        "Upstream-Name: VORDEX\n"
        f"Upstream-Contact: {maintainer}\n\n"
        "Files: *\n"
        f"Copyright: {holder}\n"
        "License: Expat\n"
        f" {text}\n"
    )


def main():
    changelog_md, license_path, version, maintainer, outdir = sys.argv[1:6]
    with open(changelog_md, encoding="utf-8") as f:
        found = releases(f.read())
    if not found or found[0][0] != version:
        newest = found[0][0] if found else "none"
        raise SystemExit(f"debian_docs.py: CHANGELOG.md's newest version is {newest}, the build's is {version}:"
                         " record the version in CHANGELOG.md")
    with open(license_path, encoding="utf-8") as f:
        license_text = f.read()
    os.makedirs(outdir, exist_ok=True)
    with open(os.path.join(outdir, "changelog.gz"), "wb") as f:
        f.write(gzip.compress(debian_changelog(found, maintainer).encode("utf-8"), compresslevel=9, mtime=0))
    with open(os.path.join(outdir, "copyright"), "w", encoding="utf-8") as f:
        f.write(copyright_file(license_text, maintainer))


if __name__ == "__main__":
    main()
