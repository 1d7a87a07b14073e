#!/usr/bin/env python3
"""A typical streaming CSV-to-XML script, the yardstick for quillon's speed.

Writes the layout-1 document: one element per record, one element per cell named after its
column, values escaped; empty cells as empty elements.

  baseline.py SOURCE TARGET [--sep ';'] [--utf8]

The source is read as Windows-1252; the target is written in ISO-8859-1 (what it cannot hold
as a character reference, "&#x20AC;"), or in UTF-8 with --utf8.
"""

import argparse
import codecs
import csv
import os
import re
import time
from xml.sax.saxutils import escape

ENTITIES = {'"': "&quot;", "'": "&apos;"}

# Windows-1252 beyond ISO-8859-1, read from latin-1 text; the five bytes Windows-1252 leaves
# open stay the controls of the same number.
CP1252 = {b: (bytes([b]).decode("cp1252", errors="ignore") or chr(b)) for b in range(0x80, 0xA0)}
# An ISO-8859-1 document takes those controls, and everything beyond U+00FF, as references.
C1_REFERENCES = {c: "&#x%X;" % c for c in range(0x80, 0xA0)}
codecs.register_error("hexref", lambda e: ("".join(
    "&#x%X;" % ord(c) for c in e.object[e.start:e.end]), e.end))


def element_name(text):
    name = re.sub(r"[^A-Za-z0-9_.:\-\u00c0-\u00ff]", "_", text)
    if not re.match(r"[A-Za-z_\u00c0-\u00ff]", name) or name.lower().startswith("xml"):
        name = "_" + name
    return name


def main():
    p = argparse.ArgumentParser()
    p.add_argument("source")
    p.add_argument("target")
    p.add_argument("--sep", default=";")
    p.add_argument("--utf8", action="store_true")
    args = p.parse_args()
    target_encoding = "utf-8" if args.utf8 else "iso-8859-1"
    stamp = time.strftime("%Y-%m-%dT%H:%M:%S", time.localtime(os.stat(args.source).st_mtime))

    def text(value):
        # a parser would read a raw carriage return as a line feed
        value = escape(value.translate(CP1252), ENTITIES).replace("\r", "&#13;")
        return value if args.utf8 else value.translate(C1_REFERENCES)

    with open(args.source, newline="", encoding="latin-1") as src, \
            open(args.target, "w", encoding=target_encoding, errors="hexref", newline="") as out:
        rows = csv.reader(src, delimiter=args.sep)
        names = [element_name(cell) for cell in next(rows)]
        out.write('<?xml version="1.0" encoding="%s" standalone="yes"?>\n'
                  % target_encoding.upper())
        out.write('<csv_data_records source="%s" datetime="%s" >\n'
                  % (escape(os.path.basename(args.source), ENTITIES), stamp))
        count = 0
        for row in rows:
            if not row:
                continue
            count += 1
            out.write("     <record>\n")
            for i, name in enumerate(names):
                value = row[i] if i < len(row) else ""
                if value:
                    out.write("          <%s>%s</%s>\n" % (name, text(value), name))
                else:
                    out.write("          <%s/>\n" % name)
            out.write("     </record>\n")
        out.write("</csv_data_records>\n<!-- %d records written -->\n" % count)


if __name__ == "__main__":
    main()
