#!/usr/bin/env python3
"""Measures quillon against the I/O floor and a typical Python script; prints one table.

Called by bench/run.sh, which builds the Release binary first. Inputs come from gen_csv.py
and are kept in the data directory (regenerated when the generator or its arguments change).
Wall and CPU time are each the median of --repeat runs (--best: the best), taken apart: the CPU
time shown is the median of the runs' CPU times, not that of the run whose wall time is the
median. CPU time is user plus system time of all threads of the measured process and of the
children it waited for, as os.wait4 reports it for that one child (with GNU time in between, its
own fraction of a millisecond counts too). Peak RSS is GNU time's "Maximum resident set size"
(package "time"; without it the column stays empty).
"""

import argparse
import collections
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

Run = collections.namedtuple("Run", "wall cpu rss status")


def typical(values):
    """The median of the values (the lower middle one of an even count), or the best."""
    values = sorted(values)
    return values[0] if STATISTIC == "best" else values[(len(values) - 1) // 2]


def measure(argv, repeat, stdout_path=None, remove=None):
    """A Run: the median (or best) wall time and, taken on its own, the median (or best) CPU
    time of repeat runs, the highest peak RSS, and the last exit status."""
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
    return Run(typical(walls), typical(cpus), rss, status)


def measure_turn_about(first, second, repeat):
    """Two Runs, as measure() gives them, of two commands run turn about, so that a change in
    the machine's load between them weighs on both alike."""
    runs = ([], []), ([], [])
    peaks, statuses = [0, 0], [0, 0]
    for _ in range(repeat):
        for k, argv in enumerate((first, second)):
            wall, cpu, peak, status = spawn(argv)
            runs[k][0].append(wall)
            runs[k][1].append(cpu)
            peaks[k] = max(peaks[k], peak)
            statuses[k] = status or statuses[k]
        if any(statuses):
            break
    return tuple(Run(typical(runs[k][0]), typical(runs[k][1]), peaks[k], statuses[k])
                 for k in (0, 1))


def generator_args(size_mb, args, worst=False, accents="cp1252"):
    extra = ["--misplaced", "1"] if worst else []
    return ["--size-mb", repr(size_mb), "--columns", str(args.columns), "--seed", str(args.seed),
            "--accents", accents] + extra


def ensure_input(size_mb, args, worst=False, accents="cp1252"):
    """The seeded input of this size; generated once and reused while nothing changed. The
    worst case puts a quotation mark inside an unquoted cell of every record; accents "ascii"
    gives the same mix of quoted cells, doubled quotes and &, < or > in plain ASCII."""
    label = ("%g" % size_mb).replace(".", "_")
    path = os.path.join(args.data_dir, "input_%sMB%s%s_c%d_s%d.csv" % (
        label, "_worst" if worst else "", "_ascii" if accents == "ascii" else "", args.columns,
        args.seed))
    gen = os.path.join(HERE, "gen_csv.py")
    with open(gen, "rb") as f:
        stamp = hashlib.sha256(f.read()).hexdigest()[:16] + " " + " ".join(
            generator_args(size_mb, args, worst, accents))
    stamp_path = path + ".stamp"
    if os.path.exists(path) and os.path.exists(stamp_path):
        with open(stamp_path) as f:
            if f.read() == stamp:
                return path
    print("generating %s ..." % path, file=sys.stderr, flush=True)
    subprocess.run([sys.executable, gen, path] + generator_args(size_mb, args, worst, accents),
                   check=True)
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
            "floor s", "x floor", "x script", "x scr cpu")
    WIDTHS = (8, 30, 9, 7, 7, 8, 7, 12, 7, 7, 8, 9)

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


def ratio_text(value, ref, fraction=False):
    """ref / value (how many times ref) as "57.1", or "1/57.1" for value as a fraction of ref;
    empty when either is missing or zero."""
    if not value or not ref:
        return ""
    return ("1/%.1f" if fraction else "%.1f") % (ref / value)


class Targets:
    """The target lines: a figure and "met" or "not met" each, or why there is no figure."""

    def __init__(self):
        self.lines = []

    def judge(self, what, figure, ok, runs=()):
        failed = [run.status for run in runs if run.status != 0]
        verdict = ("not met (exit %d)" % failed[0] if failed else "met" if ok else "not met")
        self.lines.append("target: %s: %s, %s" % (what, figure, verdict))

    def missing(self, what, why):
        self.lines.append("target: %s: not measured (%s)" % (what, why))


def judge_targets(runs, scripts, all_runs):
    """The targets on one input size. runs: (input, layout, utf8, sink) -> (Run, floor,
    in_bytes) of quillon; scripts: (input, utf8, sink) -> Run of the script, same sitting."""
    t = Targets()
    # CPU time against the script's on the ASCII input, layout 1 to /dev/null
    for utf8, most in ((False, 35), (True, 33)):
        what = "ASCII input, layout 1%s to /dev/null, CPU <= 1/%d of the script's" % (
            " -e:UTF-8" if utf8 else "", most)
        mine = runs.get(("ascii", 1, utf8, "/dev/null"))
        script = scripts.get(("ascii", utf8, "/dev/null"))
        if not mine:
            t.missing(what, "layout 1 left out")
        elif not script or script.status != 0:
            t.missing(what, "no script" if not script else "the script ended with exit %d"
                      % script.status)
        else:
            run = mine[0]
            t.judge(what, "%.3f s against %.3f s = %s" % (
                run.cpu, script.cpu, ratio_text(run.cpu, script.cpu, fraction=True)),
                run.cpu * most <= script.cpu, [run])
    # the Windows-1252 input to UTF-8 against the ASCII input to ISO-8859-1, by CPU time
    what = "Windows-1252 input, layout 1 -e:UTF-8 to /dev/null, CPU <= 1.25x the ASCII input's " \
        "without -e"
    accented, plain = runs.get(("cp1252", 1, True, "/dev/null")), runs.get(
        ("ascii", 1, False, "/dev/null"))
    if accented and plain and plain[0].cpu:
        t.judge(what, "%.3f s against %.3f s = %.2fx" % (
            accented[0].cpu, plain[0].cpu, accented[0].cpu / plain[0].cpu),
            accented[0].cpu <= 1.25 * plain[0].cpu, [accented[0], plain[0]])
    else:
        t.missing(what, "layout 1 left out")
    # -xsdgen: against the same run without it, measured turn about
    what = "ASCII input, layout 1 -xsdgen: to /dev/null, wall and CPU <= 1.15x the run without it"
    plain, learnt = runs.get(("ascii-plain", 1, False, "/dev/null")), runs.get(
        ("ascii-xsdgen", 1, False, "/dev/null"))
    if plain and learnt and plain[0].wall and plain[0].cpu:
        p, l = plain[0], learnt[0]
        t.judge(what, "wall %.3f s against %.3f s = %.2fx, CPU %.3f s against %.3f s = %.2fx" % (
            l.wall, p.wall, l.wall / p.wall, l.cpu, p.cpu, l.cpu / p.cpu),
            l.wall <= 1.15 * p.wall and l.cpu <= 1.15 * p.cpu, [p, l])
    else:
        t.missing(what, "layout 1 left out")
    # layout 1 to a file against the I/O floor, by wall time
    what = "layout 1 to a file, wall <= 1.6x the floor"
    mine = runs.get(("cp1252", 1, False, "file"))
    if mine and mine[1]:
        run, floor, _ = mine
        t.judge(what, "%.3f s against %.3f s = %.2fx" % (run.wall, floor, run.wall / floor),
                run.wall <= 1.6 * floor, [run])
    else:
        t.missing(what, "layout 1 left out" if not mine else "no floor")
    what = "layout 1 to a file >= 30x the script, by wall time"
    script = scripts.get(("cp1252", False, "file"))
    if mine and script and script.status == 0:
        run = mine[0]
        t.judge(what, "%sx" % ratio_text(run.wall, script.wall), script.wall >= 30 * run.wall,
                [run])
    else:
        t.missing(what, "layout 1 left out" if not mine else "no script")
    # every layout to /dev/null: its own rate, and the rate against layout 1's
    for (kind, layout, utf8, sink), (run, _, in_bytes) in sorted(runs.items()):
        if kind != "cp1252" or sink != "/dev/null":
            continue
        coding = " -e:UTF-8" if utf8 else ""
        speed = in_bytes / MB / run.wall
        want = 1200 if layout == 1 and not utf8 else 900
        t.judge("layout %d%s to /dev/null >= %d MB/s" % (layout, coding, want),
                "%.0f MB/s (by CPU time %s MB/s)" % (
                    speed, "%.0f" % (in_bytes / MB / run.cpu) if run.cpu else "n/a"),
                speed >= want, [run])
        if layout == 1:
            continue
        what = "layout %d%s to /dev/null >= 90%% of layout 1's rate" % (layout, coding)
        first = runs.get((kind, 1, utf8, sink))
        if first:
            t.judge(what, "%.0f against %.0f MB/s = %.0f%%" % (
                speed, in_bytes / MB / first[0].wall, 100 * first[0].wall / run.wall),
                run.wall <= first[0].wall / 0.9, [run, first[0]])
        else:
            t.missing(what, "layout 1 left out")
    peaks = [run.rss for per_size in all_runs.values() for run, _, _ in per_size.values()]
    if peaks and min(peaks) > 0:
        t.judge("peak RSS <= 8 MiB on every input", "highest %.1f MiB" % (max(peaks) / 1024),
                max(peaks) <= 8 * 1024)
    return t.lines


def main():
    p = argparse.ArgumentParser(
        description="Wall and CPU time are each the median of the runs, taken apart (--best: "
        "the best of each); CPU time is user + system of all threads of the process and its "
        "waited-for children.")
    p.add_argument("--quillon", required=True)
    p.add_argument("--data-dir", default=os.path.join(HERE, "data"))
    p.add_argument("--sizes", default="20,200", help="input sizes in MB, comma-separated")
    p.add_argument("--layouts", default="1,3,5")
    p.add_argument("--columns", type=int, default=12)
    p.add_argument("--seed", type=int, default=7)
    p.add_argument("--repeat", type=int, default=3,
                   help="runs per case; wall and CPU time: the median of each on its own")
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
    print("wall, cpu = %s of %d runs each (%s); MB = 10^6 bytes; input: seeded %d-column CSV "
          "with Windows-1252 accents, and its ASCII variant" % (
              STATISTIC, args.repeat, "no script" if args.no_script else "the script: of %d"
              % args.script_repeat, args.columns), flush=True)
    table = Table()
    notes = []
    summary = {}  # size -> {(input, layout, utf8, sink): (Run, floor, in_bytes)}
    scripts = {}  # size -> {(input, utf8, sink): Run}
    for size in sizes:
        source = ensure_input(size, args)
        in_bytes = os.path.getsize(source)
        label = size_label(in_bytes)
        script = scripts.setdefault(size, {})
        runs = summary.setdefault(size, {})
        bodies = {}

        def row(name, sink, run, out_bytes=0, floor=None, ref=None):
            ok = run.status == 0
            ref_ok = ok and ref is not None and ref.status == 0
            table.add(label, name, sink, "%.3f" % run.wall if ok else "exit %d" % run.status,
                      "%.3f" % run.cpu if ok else "",
                      "%.1f" % (in_bytes / MB / run.wall) if ok else "",
                      rss_text(run.rss), str(out_bytes) if out_bytes else "",
                      "%.3f" % floor if floor else "",
                      "%.2f" % (run.wall / floor) if ok and floor else "",
                      ratio_text(run.wall, ref.wall) if ref_ok else "",
                      ratio_text(run.cpu, ref.cpu) if ref_ok else "")

        def run_script(kind, source, sinks, prefix):
            for utf8 in (False, True):
                for sink in sinks:
                    argv = [python, baseline, source, out_file if sink == "file" else os.devnull]
                    if utf8:
                        argv.append("--utf8")
                    result = measure(argv, args.script_repeat,
                                     remove=out_file if sink == "file" else None)
                    ok = result.status == 0
                    out_bytes = os.path.getsize(out_file) if sink == "file" and ok else 0
                    script[(kind, utf8, sink)] = result
                    row(prefix + "baseline.py -m:1" + (" UTF-8" if utf8 else ""), sink, result,
                        out_bytes)
                    if sink == "file" and ok and size == sizes[0]:
                        bodies[utf8] = record_body(out_file)

        read = measure(["cat", source], args.repeat)
        read_wall = read.wall
        row("floor: cat input > /dev/null", "/dev/null", read)

        with_script = not args.no_script and size <= args.script_max_mb
        if with_script:
            run_script("cp1252", source, ("/dev/null", "file"), "script: ")

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
                out_bytes = os.path.getsize(out_file) if results["file"].status == 0 else 0
                if layout == 1 and out_bytes and utf8 in bodies:
                    same = record_body(out_file) == bodies[utf8]
                    notes.append("check: %s records %s the script's (%s)" % (
                        name, "identical to" if same else "DIFFER from", label))
                write_wall = None
                if out_bytes:
                    write_wall = measure(
                        # synced, as quillon syncs a file target before it takes the name
                        ["dd", "if=/dev/zero", "of=" + out_file, "bs=1M", "count=%d" % out_bytes,
                         "iflag=count_bytes", "conv=fdatasync", "status=none"], args.repeat,
                        remove=out_file).wall
                    os.unlink(out_file)
                for sink in ("/dev/null", "file"):
                    floor = read_wall
                    if sink == "file":
                        floor = read_wall + write_wall if write_wall is not None else None
                    ref = script.get(("cp1252", utf8, sink)) if layout == 1 else None
                    row(name, sink, results[sink], out_bytes, floor, ref)
                    runs[("cp1252", layout, utf8, sink)] = (results[sink], floor, in_bytes)

        # a gzip source: decompressed on the way, against gzip -dc of it alone
        packed = ensure_gzip(source)
        if packed:
            unpack = measure(["gzip", "-dc", packed], args.repeat)
            row("gzip source: gzip -dc", "/dev/null", unpack)
            convert = measure([quillon, "-s:" + packed, "-t:" + os.devnull, "-m:1"], args.repeat)
            row("gzip source: quillon -m:1", "/dev/null", convert, floor=unpack.wall)
            if convert.status == 0:
                notes.append("gzip: %s source (%d bytes packed): quillon -m:1 %.3f s, gzip -dc "
                             "%.3f s: %.2fx, target <= 1.20x %s" % (
                                 label, os.path.getsize(packed), convert.wall, unpack.wall,
                                 convert.wall / unpack.wall,
                                 "met" if convert.wall <= 1.2 * unpack.wall else "not met"))

        # the ASCII variant, layout 1 to /dev/null, beside the script on it
        if 1 in layouts:
            source = ensure_input(size, args, accents="ascii")
            in_bytes = os.path.getsize(source)
            if with_script:
                run_script("ascii", source, ("/dev/null",), "ASCII: ")
            for utf8 in (False, True):
                options = ["-m:1"] + (["-e:UTF-8"] if utf8 else [])
                result = measure([quillon, "-s:" + source, "-t:" + os.devnull] + options,
                                 args.repeat)
                row("ASCII: quillon " + " ".join(options), "/dev/null", result,
                    ref=script.get(("ascii", utf8, "/dev/null")))
                runs[("ascii", 1, utf8, "/dev/null")] = (result, None, in_bytes)
            # the schema learnt on the way, against the same run without it, turn about
            schema = os.path.join(args.data_dir, "bench-schema.xsd")
            plain = [quillon, "-s:" + source, "-t:" + os.devnull, "-m:1"]
            without, learnt = measure_turn_about(plain, plain + ["-xsdgen:" + schema],
                                                 args.repeat)
            row("ASCII: quillon -m:1 (turn about)", "/dev/null", without)
            row("ASCII: quillon -m:1 -xsdgen:", "/dev/null", learnt)
            runs[("ascii-plain", 1, False, "/dev/null")] = (without, None, in_bytes)
            runs[("ascii-xsdgen", 1, False, "/dev/null")] = (learnt, None, in_bytes)
            if os.path.exists(schema):
                os.unlink(schema)

    if args.worst and sizes:
        size = max(sizes)
        source = ensure_input(size, args, worst=True)
        in_bytes = os.path.getsize(source)
        label = size_label(in_bytes)
        read = measure(["cat", source], args.repeat)
        for sink in ("/dev/null", "file"):
            target = out_file if sink == "file" else os.devnull
            run = measure([quillon, "-s:" + source, "-t:" + target, "-m:1"], args.repeat,
                          remove=out_file if sink == "file" else None)
            ok = run.status == 0
            out_bytes = os.path.getsize(out_file) if sink == "file" and ok else 0
            table.add(label, "worst case: quillon -m:1", sink,
                      "%.3f" % run.wall if ok else "exit %d" % run.status,
                      "%.3f" % run.cpu if ok else "",
                      "%.1f" % (in_bytes / MB / run.wall) if ok else "", rss_text(run.rss),
                      str(out_bytes) if out_bytes else "", "%.3f" % read.wall, "", "", "")

    print(table.render())
    print("cpu s = user + system time of all threads of the process and its children; floor s = "
          "cat of the input to\n/dev/null, plus for a file sink dd of as many bytes as the "
          "output has, in 1 MiB blocks, to a new file,\nsynced; x floor = quillon wall / floor; "
          "x script = script wall / quillon wall, x scr cpu = script cpu /\nquillon cpu (layout "
          "1, the same input, sink and encoding, measured in this sitting)")
    for note in notes:
        print(note)

    # the targets, judged on the largest input measured
    largest = max(summary) if summary else None
    if largest is not None:
        print("targets on the %g MB input%s:" % (largest, "" if largest >= 200 else
                                                 " (they are set for 200 MB; this only hints)"))
        for line in judge_targets(summary[largest], scripts[largest], summary):
            print(line)
    failed = [run for per_size in summary.values() for run, _, _ in per_size.values()
              if run.status != 0]
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
