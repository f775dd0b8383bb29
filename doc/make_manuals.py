#!/usr/bin/python3
"""Turns doc/manuals.md, the one source of the manual pages, into man(7)
pages: a line "# NAME SECTION Title" starts a page, written to
OUTDIR/NAME.SECTION and, compressed as Debian installs manual pages, to
OUTDIR/NAME.SECTION.gz. "@VERSION_NUMBER@" stands for the value
VORDEX_GetVersion returns for VERSION, "@LIBRARY_MESSAGES@" for the list of
the library's own messages (doc/message_table.py).

    make_manuals.py doc/manuals.md OUTDIR VERSION

The source uses a small part of Markdown: "## HEADING" and "### Subheading",
paragraphs separated by blank lines, "- " list items, definition lists (a line
": term" followed by its indented description), fenced code blocks, and
`code` and *emphasis* inside lines."""
import gzip
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import message_table  # noqa: E402 (next to this script)


def inline(text):
    text = text.replace("\\", "\\e")
    text = re.sub(r"`([^`]+)`", r"\\fB\1\\fR", text)
    text = re.sub(r"\*([^*]+)\*", r"\\fI\1\\fR", text)
    text = text.replace("-", "\\-")
    return "\\&" + text if text[:1] in (".", "'") else text


def convert(lines, version):
    pages, out, in_code, in_list = {}, None, False, False
    for line in lines:
        if line.startswith("# "):
            name, section, title = line[2:].split(" ", 2)
            out = pages.setdefault(f"{name}.{section}", [])
            out.append(f'.TH {name.upper()} {section} "" "VORDEX {version}" "{title}"\n.nh')
            continue
        if line.startswith("```"):
            out.append(".fi\n.RE" if in_code else ".RS 4\n.nf")
            in_code = not in_code
            continue
        if in_code:
            out.append(("\\&" if line[:1] in (".", "'") else "") + line.replace("\\", "\\e"))
        elif line.startswith("## "):
            out.append(".SH " + line[3:])
        elif line.startswith("### "):
            out.append(".SS " + inline(line[4:]))
        elif not line.strip():
            in_list = False
            out.append(".PP")
        elif line.startswith("- "):
            out.append(".IP \\(bu 2\n" + inline(line[2:]))
            in_list = True
        elif line.startswith(": "):
            out.append(".TP\n" + inline(line[2:]))
        else:
            out.append(inline(line.strip()) if in_list or line.startswith(" ") else inline(line))
    # A paragraph mark right after a heading or before another is redundant.
    for name, body in pages.items():
        text = "\n".join(body) + "\n"
        text = re.sub(r"(\.S[HS] [^\n]*\n)\.PP\n", r"\1", text)
        text = re.sub(r"(\.PP\n)+(\.(?:SH|SS|TP|IP|PP))", r"\2", text)
        pages[name] = text
    return pages


def version_number(version):
    major, minor, patch = (int(part) for part in version.split(".")[:3])
    return f"0x{major << 16 | minor << 8 | patch:X}"


def main():
    source, outdir, version = sys.argv[1:4]
    with open(source, encoding="utf-8") as f:
        markdown = f.read().replace("@VERSION_NUMBER@", version_number(version))
    markdown = markdown.replace("@LIBRARY_MESSAGES@", message_table.manual_list())
    pages = convert(markdown.splitlines(), version)
    os.makedirs(outdir, exist_ok=True)
    for name, text in pages.items():
        data = text.encode("utf-8")
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
        # No time stamp, so that the same source makes the same file.
        with open(os.path.join(outdir, name + ".gz"), "wb") as f:
            f.write(gzip.compress(data, compresslevel=9, mtime=0))


if __name__ == "__main__":
    main()
