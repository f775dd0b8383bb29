#!/usr/bin/python3
"""The library's own messages, read from db/library_messages.def, as the
README's gloss (a Markdown table between two marker lines) and as the
manual's list (the definition list that stands for "@LIBRARY_MESSAGES@" in
doc/manuals.md, see make_manuals.py).

    message_table.py --check README.md    exit 1 when the README's table differs
    message_table.py --write README.md    write the table into the README
"""
import os
import re
import sys

DEFINITIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "db", "library_messages.def")
BEGIN = "<!-- The library's messages: made by doc/message_table.py from db/library_messages.def. -->"
END = "<!-- End of the library's messages. -->"
LITERAL = r'"((?:[^"\\]|\\.)*)"'
ENTRY = re.compile(rf"^VORDEX_MESSAGE\(([^,]+), {LITERAL}, {LITERAL}, {LITERAL}\)$")


def messages():
    """(id, Japanese, English, when) for each line of the table, in its order;
    the lines of a text (it may hold blank ones) joined by one line feed."""
    entries = []
    with open(DEFINITIONS, encoding="utf-8") as f:
        for line in f:
            match = ENTRY.match(line.strip())
            if match:
                texts = [re.sub(r"(\\r|\\n)+", "\n", text).replace('\\"', '"') for text in match.groups()[1:]]
                # A text that begins or ends with a blank shows in quotes.
                texts = [f'"{t}"' if t != t.strip() else t for t in texts[:2]] + texts[2:]
                entries.append((match.group(1), *texts))
    return entries


def readme_table():
    rows = ["| Japanese (a `ja` locale, code page 932) | English (any other host) | shown when |", "|---|---|---|"]
    rows += [f"| {japanese} | {english} | {when} |".replace("\n", " ") for _, japanese, english, when in messages()]
    return "\n".join([BEGIN] + rows + [END])


def manual_list():
    """The first line of each Japanese text as the term; its other lines, the
    English text and when it is shown as the description."""
    entries = []
    for _, japanese, english, when in messages():
        first, _, rest = japanese.partition("\n")
        entries.append(f": {first}\n" + (rest.replace("\n", " ") + " " if rest else "") +
                       f"{english.replace(chr(10), ' ')} ({when})")
    return "\n".join(entries)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("--check", "--write"):
        sys.exit(__doc__)
    with open(sys.argv[2], encoding="utf-8") as f:
        readme = f.read()
    pattern = re.compile(re.escape(BEGIN) + ".*?" + re.escape(END), re.S)
    if not pattern.search(readme):
        sys.exit(f"{sys.argv[2]} has no table of the library's messages between its marker lines")
    updated = pattern.sub(lambda _: readme_table(), readme)
    if sys.argv[1] == "--write":
        with open(sys.argv[2], "w", encoding="utf-8") as f:
            f.write(updated)
    elif updated != readme:
        sys.exit(f"{sys.argv[2]}: the table of the library's messages differs from {DEFINITIONS}; "
                 "run doc/message_table.py --write README.md")


if __name__ == "__main__":
    main()
