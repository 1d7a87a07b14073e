#!/usr/bin/env python3
"""Writes a deterministic, seeded CSV file for the benchmark.

The same arguments always give the same bytes. Records are drawn from a pool of rows built
once from the seed; the first column is a running record number, so every record differs.
The shares below are shares of cells (or of records, for line breaks), realised in the pool
and therefore, on average, in the output.

  gen_csv.py OUT --size-mb 200 [--columns 12] [--seed 7] [--quoted 0.15] [--doubled 0.03]
             [--linebreaks 0.01] [--specials 0.05] [--accents cp1252|ascii] [--accented 0.3]
             [--misplaced 0] [--sep ';'] [--crlf] [--pool 20000]
"""

import argparse
import random
import sys

COLUMN_NAMES = ["id", "name", "street", "city", "zip", "date", "amount", "qty", "email",
                "description", "category", "comment"]
KINDS = ["id", "name", "street", "city", "zip", "date", "amount", "qty", "email", "text",
         "category", "text"]

ASCII_FIRST = ["Anna", "Peter", "Maria", "John", "Linda", "Karl", "Eva", "Tom", "Sara", "Paul",
               "Nina", "Oscar", "Ruth", "Hugo", "Ida", "Leon"]
ACCENT_FIRST = ["José", "François", "Zoë", "Søren", "Ångström", "Anaïs", "Jürgen", "Žofia",
                "Šimon", "Œdipe", "Íñigo", "Björk"]
ASCII_LAST = ["Smith", "Meyer", "Rossi", "Dubois", "Novak", "Jensen", "Garcia", "Berg",
              "Kowalski", "Brown", "Weber", "Silva"]
ACCENT_LAST = ["Müller", "Gonçalves", "Ølstad", "Dvorák", "Côté", "Straße", "Lefèvre",
               "Nuñez", "Þórsson", "Ÿvelin", "Håkansson", "Fëdorov"]
ASCII_CITY = ["Rome", "Berlin", "Madrid", "Oslo", "Vienna", "Porto", "Lyon", "Gent",
              "Leeds", "Bergen", "Turin", "Graz"]
ACCENT_CITY = ["Zürich", "Malmö", "Besançon", "Córdoba", "Kraków", "Düsseldorf", "Reykjavík",
               "Šibenik", "Žilina", "Ærøskøbing", "Tromsø", "Genève"]
WORDS = ["order", "delivery", "late", "box", "blue", "red", "paper", "steel", "spare", "part",
         "customer", "called", "again", "please", "check", "invoice", "the", "a", "of", "and",
         "with", "for", "new", "old", "small", "large", "sample", "return", "stock", "price"]
ACCENT_WORDS = ["café", "crème", "brûlée", "naïve", "façade", "über", "señal", "€ 12",
                "smörgåsbord", "déjà", "vu", "„Zitat“", "œuvre", "—", "Ž", "Š", "…", "™"]
SPECIALS = ["Smith & Sons", "a < b", "x > y", "R&D", "<none>", "Q&A", "1 < 2 & 3 > 2",
            "Tom & Jerry's"]
CATEGORIES = ["A", "B", "C", "retail", "wholesale", "online", "store", "misc"]
DOMAINS = ["example.com", "mail.test", "post.invalid"]


class Pool:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        self.sep = args.sep

    def accented(self):
        return self.args.accents != "ascii" and self.rng.random() < self.args.accented

    def pick(self, ascii_list, accent_list):
        return self.rng.choice(accent_list if self.accented() else ascii_list)

    def words(self, low, high):
        r = self.rng
        out = []
        for _ in range(r.randint(low, high)):
            if self.accented() and r.random() < 0.3:
                out.append(r.choice(ACCENT_WORDS))
            else:
                out.append(r.choice(WORDS))
        return " ".join(out)

    def raw_cell(self, kind):
        r = self.rng
        if kind == "name":
            return self.pick(ASCII_FIRST, ACCENT_FIRST) + " " + self.pick(ASCII_LAST, ACCENT_LAST)
        if kind == "street":
            return "%d %s Street" % (r.randint(1, 999), self.pick(ASCII_LAST, ACCENT_LAST))
        if kind == "city":
            return self.pick(ASCII_CITY, ACCENT_CITY)
        if kind == "zip":
            return "%05d" % r.randint(0, 99999)
        if kind == "date":
            return "20%02d-%02d-%02d" % (r.randint(0, 25), r.randint(1, 12), r.randint(1, 28))
        if kind == "amount":
            return "%d.%02d" % (r.randint(0, 99999), r.randint(0, 99))
        if kind == "qty":
            return "" if r.random() < 0.05 else str(r.randint(0, 500))
        if kind == "email":
            return "%s.%s@%s" % (r.choice(ASCII_FIRST).lower(), r.choice(ASCII_LAST).lower(),
                                 r.choice(DOMAINS))
        if kind == "category":
            return "" if r.random() < 0.1 else r.choice(CATEGORIES)
        return self.words(3, 14)

    def cell(self, kind, line_break):
        """One cell as it stands in the file, quoted where needed or chosen."""
        a, r = self.args, self.rng
        value = self.raw_cell(kind)
        quoted = False
        if kind in ("text", "name", "street"):
            if r.random() < a.specials:
                value = value + " " + r.choice(SPECIALS)
            if r.random() < a.doubled:
                words = value.split(" ")
                words.insert(r.randint(0, len(words)), '"%s"' % r.choice(WORDS))
                value = " ".join(words)
            if r.random() < a.quoted:
                value = value + self.sep + " " + r.choice(WORDS)
                quoted = True
        if line_break:
            value = value + "\n" + self.words(1, 5)
        if quoted or line_break or '"' in value or self.sep in value:
            value = '"' + value.replace('"', '""') + '"'
        return value

    def row(self, kinds):
        """All cells but the first (the running number) joined, with the leading separator."""
        text_columns = [i for i, k in enumerate(kinds) if k == "text"]
        broken = -1
        if text_columns and self.rng.random() < self.args.linebreaks:
            broken = self.rng.choice(text_columns)
        cells = [self.cell(k, i == broken) for i, k in enumerate(kinds) if i > 0]
        if cells and self.args.misplaced and self.rng.random() < self.args.misplaced:
            # a quotation mark inside an unquoted cell: such a record goes line by line
            cells[-1] += ' "x"y'
        return self.sep + self.sep.join(cells)


def column_layout(count):
    names, kinds = [], []
    for i in range(count):
        if i < len(COLUMN_NAMES):
            names.append(COLUMN_NAMES[i])
            kinds.append(KINDS[i])
        else:
            names.append("col%d" % (i + 1))
            kinds.append(KINDS[1 + (i - 1) % (len(KINDS) - 1)])
    return names, kinds


def main():
    p = argparse.ArgumentParser(description="deterministic CSV generator")
    p.add_argument("out", help="file to write ('-' for standard output)")
    p.add_argument("--size-mb", type=float, required=True, help="size in MB (10^6 bytes)")
    p.add_argument("--columns", type=int, default=12)
    p.add_argument("--seed", type=int, default=7)
    p.add_argument("--quoted", type=float, default=0.15,
                   help="share of text cells quoted around a separator")
    p.add_argument("--doubled", type=float, default=0.03,
                   help="share of text cells holding a doubled quotation mark")
    p.add_argument("--linebreaks", type=float, default=0.01,
                   help="share of records with a line break inside a quoted cell")
    p.add_argument("--specials", type=float, default=0.05,
                   help="share of text cells holding &, < or >")
    p.add_argument("--accents", choices=["cp1252", "ascii"], default="cp1252",
                   help="Windows-1252 accented letters, or plain ASCII only")
    p.add_argument("--accented", type=float, default=0.3,
                   help="share of name, city and text cells with accented letters")
    p.add_argument("--misplaced", type=float, default=0.0,
                   help="share of records with a quotation mark inside an unquoted cell (the "
                   "worst case: quillon converts such records line by line)")
    p.add_argument("--sep", default=";")
    p.add_argument("--crlf", action="store_true", help="end records with CR LF")
    p.add_argument("--pool", type=int, default=20000, help="distinct rows to draw from")
    args = p.parse_args()
    if args.columns < 1 or len(args.sep) != 1 or args.sep in "\"\r\n":
        p.error("need at least one column and a one-byte separator other than a quote")

    encoding = "cp1252" if args.accents == "cp1252" else "ascii"
    eol = "\r\n" if args.crlf else "\n"
    names, kinds = column_layout(args.columns)
    pool = Pool(args)
    rows = [pool.row(kinds).replace("\n", eol).encode(encoding) + eol.encode()
            for _ in range(args.pool)]
    picker = random.Random(args.seed + 1)
    limit = int(args.size_mb * 1e6)

    out = sys.stdout.buffer if args.out == "-" else open(args.out, "wb")
    header = (args.sep.join(names) + eol).encode(encoding)
    written = len(header)
    chunk = [header]
    number = 0
    count = len(rows)
    while written < limit:
        number += 1
        record = b"%d%b" % (number, rows[picker.randrange(count)])
        chunk.append(record)
        written += len(record)
        if len(chunk) >= 4096:
            out.write(b"".join(chunk))
            chunk = []
    out.write(b"".join(chunk))
    if out is not sys.stdout.buffer:
        out.close()


if __name__ == "__main__":
    main()
