#!/usr/bin/env python3
"""Measures quillon against the I/O floor and a typical Python script; prints one table.

Called by bench/run.sh, which builds the Release binary first. Inputs come from gen_csv.py
and are kept in the data directory (regenerated when the generator or its arguments change).
Wall and CPU time are the median of --repeat runs (--best: the best); peak RSS is GNU time's
"Maximum resident set size" (package "time"; without it the column stays empty).
"""

import argparse
import hashlib
import os
import platform
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MB = 1e6
MIB = 1 << 20


TIME = "/usr/bin/time"


def spawn(argv, stdout_path=None):
    """Runs argv once; returns (wall s, CPU s, peak RSS in KiB or 0 if unknown, exit status).

    The peak RSS comes from GNU time, which forks the command from its own small process: a
    child spawned straight from this script would inherit the script's high-water mark.
    """
    actions = [(os.POSIX_SPAWN_OPEN, 1, stdout_path or os.devnull,
                os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)]
    report = None
    if os.access(TIME, os.X_OK):
        report = os.path.join(os.environ.get("TMPDIR", "/tmp"), "quillon-bench-%d.rss" % os.getpid())
        argv = [TIME, "-f", "%M", "-o", report] + argv
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)  # counts the command GNU time waited for
    wall = time.perf_counter() - start
    peak = 0
    if report:
        with open(report) as f:
            lines = f.read().split()
        os.unlink(report)
        peak = int(lines[-1]) if lines and lines[-1].isdigit() else 0
    cpu = usage.ru_utime + usage.ru_stime
    return wall, cpu, peak, os.waitstatus_to_exitcode(status)


STATISTIC = "median"


def typical(values):
    """The median of the values (the lower middle one of an even count), or the best."""
    values = sorted(values)
    return values[0] if STATISTIC == "best" else values[(len(values) - 1) // 2]


def measure(argv, repeat, stdout_path=None, remove=None):
    """Median (or best) wall and CPU time of repeat runs, the highest peak RSS, and the last
    exit status."""
    walls, cpus, rss, status = [], [], 0, 0
    for _ in range(repeat):
        if remove and os.path.exists(remove):
            os.unlink(remove)  # a fresh file each run, as a first conversion would see
        wall, cpu, peak, status = spawn(argv, stdout_path)
        rss = max(rss, peak)
        walls.append(wall)
        cpus.append(cpu)
        if status != 0:
            break
    return typical(walls), typical(cpus), rss, status


def generator_args(size_mb, args, worst=False):
    extra = ["--misplaced", "1"] if worst else []
    return ["--size-mb", repr(size_mb), "--columns", str(args.columns), "--seed", str(args.seed),
            "--accents", "cp1252"] + extra


def ensure_input(size_mb, args, worst=False):
    """The seeded input of this size; generated once and reused while nothing changed. The
    worst case puts a quotation mark inside an unquoted cell of every record."""
    label = ("%g" % size_mb).replace(".", "_")
    path = os.path.join(args.data_dir, "input_%sMB%s_c%d_s%d.csv" % (
        label, "_worst" if worst else "", args.columns, args.seed))
    gen = os.path.join(HERE, "gen_csv.py")
    with open(gen, "rb") as f:
        stamp = hashlib.sha256(f.read()).hexdigest()[:16] + " " + " ".join(
            generator_args(size_mb, args, worst))
    stamp_path = path + ".stamp"
    if os.path.exists(path) and os.path.exists(stamp_path):
        with open(stamp_path) as f:
            if f.read() == stamp:
                return path
    print("generating %s ..." % path, file=sys.stderr, flush=True)
    subprocess.run([sys.executable, gen, path] + generator_args(size_mb, args, worst), check=True)
    with open(stamp_path, "w") as f:
        f.write(stamp)
    return path


def ensure_gzip(source):
    """The input packed by gzip (level 6) beside it, made again when the input is newer; None
    without the gzip command."""
    if not shutil.which("gzip"):
        return None
    packed = source + ".gz"
    if not os.path.exists(packed) or os.path.getmtime(packed) < os.path.getmtime(source):
        with open(packed + ".tmp", "wb") as out:
            subprocess.run(["gzip", "-6", "-n", "-c", source], stdout=out, check=True)
        os.replace(packed + ".tmp", packed)
    return packed


def record_body(path):
    """The record elements of a document: what lies between the root's start and end tags."""
    with open(path, "rb") as f:
        data = f.read()
    start = data.find(b"\n     <record")
    end = data.rfind(b"\n</")
    return data[start:end] if 0 <= start < end else b""


def machine_facts(quillon):
    model = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    mem = "?"
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal"):
                mem = "%.1f GiB" % (int(line.split()[1]) / MIB)
                break
    return ("machine: nproc %d, %s, memory %s, Linux %s, python %s\nquillon: %s"
            % (os.cpu_count(), model, mem, platform.release(), platform.python_version(),
               quillon))


class Table:
    HEAD = ("input", "case", "sink", "wall s", "cpu s", "in MB/s", "RSS MiB", "output bytes",
            "floor s", "x floor", "x script")
    WIDTHS = (8, 30, 9, 7, 7, 8, 7, 12, 7, 7, 8)

    def __init__(self):
        self.rows = []

    def add(self, *cells):
        self.rows.append(cells)

    def line(self, cells):
        out = []
        for i, (cell, width) in enumerate(zip(cells, self.WIDTHS)):
            out.append(cell.ljust(width) if i < 3 else cell.rjust(width))
        return "  ".join(out).rstrip()

    def render(self):
        text = [self.line(self.HEAD), self.line(["-" * w for w in self.WIDTHS])]
        last = None
        for row in self.rows:
            if last is not None and row[0] != last:
                text.append("")
            last = row[0]
            text.append(self.line(row))
        return "\n".join(text)


def size_label(in_bytes):
    return "%g MB" % (in_bytes / MB) if in_bytes >= MB else "%g kB" % round(in_bytes / 1e3)


def rss_text(kib):
    return "%.1f" % (kib / 1024) if kib else "n/a"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--quillon", required=True)
    p.add_argument("--data-dir", default=os.path.join(HERE, "data"))
    p.add_argument("--sizes", default="20,200", help="input sizes in MB, comma-separated")
    p.add_argument("--layouts", default="1,3,5")
    p.add_argument("--columns", type=int, default=12)
    p.add_argument("--seed", type=int, default=7)
    p.add_argument("--repeat", type=int, default=3)
    p.add_argument("--script-repeat", type=int, default=1)
    p.add_argument("--no-script", action="store_true", help="leave out the Python script")
    p.add_argument("--script-max-mb", type=float, default=1000,
                   help="leave out the script on larger inputs (it takes minutes there)")
    p.add_argument("--best", action="store_true", help="the best run counts, not the median")
    p.add_argument("--worst", action="store_true",
                   help="also layout 1 on the worst case of the largest size: every record "
                   "holds a quotation mark inside an unquoted cell")
    args = p.parse_args()
    global STATISTIC
    STATISTIC = "best" if args.best else "median"

    quillon = os.path.abspath(args.quillon)
    os.makedirs(args.data_dir, exist_ok=True)
    sizes = [float(s) for s in args.sizes.split(",") if s]
    layouts = [int(m) for m in args.layouts.split(",") if m]
    out_file = os.path.join(args.data_dir, "out.xml")
    python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
    baseline = os.path.join(HERE, "baseline.py")

    print(machine_facts(quillon), flush=True)
    print("wall, cpu = %s of %d runs (the script: of %d); MB = 10^6 bytes; input: seeded "
          "%d-column CSV with Windows-1252 accents" % (STATISTIC, args.repeat, args.script_repeat,
                                                      args.columns), flush=True)
    table = Table()
    notes = []
    summary = {}  # size -> {(layout, utf8, sink): facts}
    for size in sizes:
        source = ensure_input(size, args)
        in_bytes = os.path.getsize(source)
        label = size_label(in_bytes)

        def row(name, sink, result, out_bytes=0, floor=None, ref=None):
            wall, cpu, rss, status = result
            ok = status == 0
            table.add(label, name, sink, "%.3f" % wall if ok else "exit %d" % status,
                      "%.3f" % cpu if ok else "", "%.1f" % (in_bytes / MB / wall) if ok else "",
                      rss_text(rss), str(out_bytes) if out_bytes else "",
                      "%.3f" % floor if floor else "",
                      "%.2f" % (wall / floor) if ok and floor else "",
                      "%.1f" % (ref / wall) if ok and ref else "")

        read = measure(["cat", source], args.repeat)
        read_wall = read[0]
        row("floor: cat input > /dev/null", "/dev/null", read)

        script = {}
        if not args.no_script and size <= args.script_max_mb:
            for utf8 in (False, True):
                for sink in ("/dev/null", "file"):
                    argv = [python, baseline, source, out_file if sink == "file" else os.devnull]
                    if utf8:
                        argv.append("--utf8")
                    result = measure(argv, args.script_repeat,
                                     remove=out_file if sink == "file" else None)
                    ok = result[3] == 0
                    out_bytes = os.path.getsize(out_file) if sink == "file" and ok else 0
                    script[(utf8, sink)] = result[0] if ok else None
                    row("script: baseline.py -m:1" + (" UTF-8" if utf8 else ""), sink, result,
                        out_bytes)
                    if sink == "file" and ok and size == sizes[0]:
                        script[(utf8, "body")] = record_body(out_file)

        for layout in layouts:
            for utf8 in (False, True):
                options = ["-m:%d" % layout] + (["-e:UTF-8"] if utf8 else [])
                name = "quillon " + " ".join(options)
                results = {}
                for sink in ("file", "/dev/null"):
                    target = out_file if sink == "file" else os.devnull
                    argv = [quillon, "-s:" + source, "-t:" + target] + options
                    results[sink] = measure(argv, args.repeat,
                                            remove=out_file if sink == "file" else None)
                out_bytes = os.path.getsize(out_file) if results["file"][3] == 0 else 0
                if layout == 1 and out_bytes and (utf8, "body") in script:
                    same = record_body(out_file) == script[(utf8, "body")]
                    notes.append("check: %s records %s the script's (%s)" % (
                        name, "identical to" if same else "DIFFER from", label))
                write_wall = None
                if out_bytes:
                    write_wall = measure(
                        # synced, as quillon syncs a file target before it takes the name
                        ["dd", "if=/dev/zero", "of=" + out_file, "bs=1M", "count=%d" % out_bytes,
                         "iflag=count_bytes", "conv=fdatasync", "status=none"], args.repeat,
                        remove=out_file)[0]
                    os.unlink(out_file)
                for sink in ("/dev/null", "file"):
                    floor = read_wall
                    if sink == "file":
                        floor = read_wall + write_wall if write_wall is not None else None
                    ref = script.get((utf8, sink)) if layout == 1 else None
                    row(name, sink, results[sink], out_bytes, floor, ref)
                    summary.setdefault(size, {})[(layout, utf8, sink)] = results[sink] + (
                        floor, ref, in_bytes)

        # a gzip source: decompressed on the way, against gzip -dc of it alone
        packed = ensure_gzip(source)
        if packed:
            unpack = measure(["gzip", "-dc", packed], args.repeat)
            row("gzip source: gzip -dc", "/dev/null", unpack)
            convert = measure([quillon, "-s:" + packed, "-t:" + os.devnull, "-m:1"], args.repeat)
            row("gzip source: quillon -m:1", "/dev/null", convert, floor=unpack[0])
            if convert[3] == 0:
                notes.append("gzip: %s source (%d bytes packed): quillon -m:1 %.3f s, gzip -dc "
                             "%.3f s: %.2fx, target <= 1.20x %s" % (
                                 label, os.path.getsize(packed), convert[0], unpack[0],
                                 convert[0] / unpack[0],
                                 "met" if convert[0] <= 1.2 * unpack[0] else "MISSED"))

    if args.worst and sizes:
        size = max(sizes)
        source = ensure_input(size, args, worst=True)
        in_bytes = os.path.getsize(source)
        label = size_label(in_bytes)
        read = measure(["cat", source], args.repeat)
        for sink in ("/dev/null", "file"):
            target = out_file if sink == "file" else os.devnull
            result = measure([quillon, "-s:" + source, "-t:" + target, "-m:1"], args.repeat,
                             remove=out_file if sink == "file" else None)
            wall, cpu, rss, status = result
            ok = status == 0
            out_bytes = os.path.getsize(out_file) if sink == "file" and ok else 0
            table.add(label, "worst case: quillon -m:1", sink,
                      "%.3f" % wall if ok else "exit %d" % status, "%.3f" % cpu if ok else "",
                      "%.1f" % (in_bytes / MB / wall) if ok else "", rss_text(rss),
                      str(out_bytes) if out_bytes else "", "%.3f" % read[0], "", "")

    print(table.render())
    print("cpu s = user + system time; floor s = cat of the input to /dev/null, plus for a file "
          "sink dd of as many\nbytes as the output has, in 1 MiB blocks, to a new file, synced; "
          "x floor = quillon wall / floor;\nx script = script wall / quillon wall (layout 1, same "
          "sink and encoding)")
    for note in notes:
        print(note)

    # the targets, judged on the largest input measured
    largest = max(summary) if summary else None
    if largest is not None and largest < 200:
        print("targets: judged on an input of 200 MB or more (this run's largest: %g MB)"
              % largest)
    elif largest is not None:
        facts = summary[largest]

        def verdict(ok):
            return "met" if ok else "MISSED"
        for (layout, utf8, sink), (wall, cpu, _, status, floor, ref, in_bytes) in sorted(
                facts.items()):
            if sink != "/dev/null":
                continue
            speed = in_bytes / MB / wall
            want = 1200 if layout == 1 and not utf8 else 900
            print("target: layout %d%s to /dev/null >= %d MB/s: %.0f MB/s (by CPU time %.0f "
                  "MB/s), %s" % (layout, " -e:UTF-8" if utf8 else "", want, speed,
                                 in_bytes / MB / cpu, verdict(status == 0 and speed >= want)))
        if (1, False, "file") in facts:
            wall, _, _, status, floor, ref, in_bytes = facts[(1, False, "file")]
            if floor:
                print("target: layout 1 to a file <= 2x the floor: %.2fx, %s"
                      % (wall / floor, verdict(status == 0 and wall / floor <= 2)))
            if ref:
                print("target: layout 1 >= 30x the script (file): %.1fx, %s"
                      % (ref / wall, verdict(status == 0 and ref / wall >= 30)))
        peaks = [facts[2] for per_size in summary.values() for facts in per_size.values()]
        if peaks and min(peaks) > 0:
            print("target: peak RSS <= 8 MiB on every input: highest %.1f MiB, %s"
                  % (max(peaks) / 1024, verdict(max(peaks) <= 8 * 1024)))
    failed = [facts for per_size in summary.values() for facts in per_size.values()
              if facts[3] != 0]
    if failed:
        print("note: %d quillon runs did not end with status 0 (see 'exit N' above)"
              % len(failed))
    if not os.access(TIME, os.X_OK):
        print("note: %s is missing (apt-get install time): no peak RSS" % TIME)
    if os.path.exists(out_file):
        os.unlink(out_file)
    return 0


if __name__ == "__main__":
    sys.exit(main())
