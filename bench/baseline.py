#!/usr/bin/env python3
"""A typical streaming CSV-to-XML script, the yardstick for quillon's speed.

Writes the layout-1 document: one element per record, one element per cell named after its
column, values escaped; empty cells as empty elements.

  baseline.py SOURCE TARGET [--sep ';'] [--utf8]

The source is read as Windows-1252; the target is written in ISO-8859-1 (the source's own
bytes), or in UTF-8 with --utf8.
"""

import argparse
import csv
import os
import re
import time
from xml.sax.saxutils import escape

ENTITIES = {'"': "&quot;", "'": "&apos;"}


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
    source_encoding = "latin-1" if not args.utf8 else "cp1252"
    target_encoding = "utf-8" if args.utf8 else "iso-8859-1"
    stamp = time.strftime("%Y-%m-%dT%H:%M:%S", time.localtime(os.stat(args.source).st_mtime))

    with open(args.source, newline="", encoding=source_encoding) as src, \
            open(args.target, "w", encoding=target_encoding, newline="") as out:
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
                    out.write("          <%s>%s</%s>\n" % (name, escape(value, ENTITIES), name))
                else:
                    out.write("          <%s/>\n" % name)
            out.write("     </record>\n")
        out.write("</csv_data_records>\n<!-- %d records written -->\n" % count)


if __name__ == "__main__":
    main()
