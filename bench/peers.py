#!/usr/bin/env python3
"""Both programs against the usual preprocessors on the same work, measured
side by side in one run (the best of several runs each, whole process):

  cppkv -Iinc big.c      against  gcc -M -Iinc big.c (or cpp -M)
  zrmackv flat.arq       against  nasm -E flat.asm
  zrmackv big.arq        against  nasm -E big.asm
  start-up on a one-line file
  peak memory: an input ten times longer without new symbols, and the bytes
  each symbol kept costs

The inputs come from the shared generators in ../shared/bench-inputs beside
the repository. A peer that is not installed is skipped with a note; a run
that fails is reported with its exit code and first message line.

Usage: peers.py BUILD-FOLDER [--runs N] [--inputs DIR]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ARQ_SYMBOLS = 200000  # symbols defined by the bytes-per-symbol input


def find_inputs(explicit):
    """The generator folder: given, beside the repository, or beside the
    repository's main work tree when this is a linked one."""
    if explicit:
        return explicit if os.path.isdir(explicit) else None
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    candidates = [os.path.join(repo, "..", "shared", "bench-inputs")]
    try:
        common = subprocess.run(["git", "-C", repo, "rev-parse", "--git-common-dir"],
                                capture_output=True, text=True, check=True).stdout.strip()
        main_tree = os.path.dirname(os.path.abspath(os.path.join(repo, common)))
        candidates.append(os.path.join(main_tree, "..", "shared", "bench-inputs"))
    except (OSError, subprocess.CalledProcessError):
        pass
    for c in candidates:
        if os.path.isdir(c):
            return os.path.normpath(c)
    return None


class Sample:
    def __init__(self, wall, cpu, peak_kb, code, message):
        self.wall, self.cpu, self.peak_kb, self.code, self.message = wall, cpu, peak_kb, code, message


def run_once(cmd, cwd):
    """Wall time and CPU time of one whole process."""
    with tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, cwd=cwd, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=err)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        first = err.read().decode("latin-1").strip().splitlines()
    return Sample(wall, usage.ru_utime + usage.ru_stime, 0, proc.returncode,
                  first[0] if first else "")


TIME_TOOL = shutil.which("time") or ("/usr/bin/time" if os.path.exists("/usr/bin/time") else None)


def peak_kb(cmd, cwd):
    """Peak resident size in KB, 0 when it cannot be measured. A child of
    this script would report the script's own size as its floor (a forked
    process starts from its parent's pages), so GNU time, a small process,
    starts the command and reports its peak."""
    if TIME_TOOL is None:
        return 0
    with tempfile.NamedTemporaryFile(mode="r") as out:
        subprocess.run([TIME_TOOL, "-f", "%M", "-o", out.name] + cmd, cwd=cwd,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        lines = out.read().strip().splitlines()
    try:
        return int(lines[-1])
    except (IndexError, ValueError):
        return 0


def best_of(cmds, cwd, runs):
    """Runs the commands in turn, runs times over, so that they share the
    machine's load; keeps each one's best wall and CPU time and its peak."""
    best = [None] * len(cmds)
    peaks = [peak_kb(cmd, cwd) for cmd in cmds]
    for _ in range(runs):
        for i, cmd in enumerate(cmds):
            s = run_once(cmd, cwd)
            b = best[i]
            if b is None:
                best[i] = s
            else:
                b.wall, b.cpu = min(b.wall, s.wall), min(b.cpu, s.cpu)
                if s.code != 0 and b.code == 0:
                    b.code, b.message = s.code, s.message
    for b, peak in zip(best, peaks):
        b.peak_kb = peak
    return best


def describe_failure(name, s):
    return f"  {name}: exit {s.code}" + (f" ({s.message})" if s.message else "")


def compare(title, ours, peer, cwd, runs, target=None):
    """Prints one comparison: both times, the ratio and the peaks."""
    print(f"-- {title}")
    if peer is None:
        results = best_of([ours[1]], cwd, runs)
        mine = results[0]
        print(f"  {ours[0]:32s} {mine.wall * 1000:9.1f} ms wall {mine.cpu * 1000:9.1f} ms cpu"
              f" {mine.peak_kb / 1024:7.1f} MB peak")
        if mine.code != 0:
            print(describe_failure(ours[0], mine))
        return
    mine, theirs = best_of([ours[1], peer[1]], cwd, runs)
    for (name, _), s in ((ours, mine), (peer, theirs)):
        print(f"  {name:32s} {s.wall * 1000:9.1f} ms wall {s.cpu * 1000:9.1f} ms cpu"
              f" {s.peak_kb / 1024:7.1f} MB peak")
    for (name, _), s in ((ours, mine), (peer, theirs)):
        if s.code != 0:
            print(describe_failure(name, s))
    wall_ratio = theirs.wall / mine.wall if mine.wall > 0 else 0.0
    cpu_ratio = theirs.cpu / mine.cpu if mine.cpu > 0 else 0.0
    verdict = ""
    if mine.code != 0 or theirs.code != 0:
        verdict = "  (a run failed: the ratio says nothing)"
    elif target is not None:
        verdict = "  (target %.1fx: %s)" % (target, "met" if wall_ratio >= target else "NOT met")
    print(f"  ratio {peer[0].split()[0]}/ours: {wall_ratio:.2f}x wall, {cpu_ratio:.2f}x cpu{verdict}")


def peer_or_note(tool, what):
    if shutil.which(tool):
        return True
    print(f"-- {what}: {tool} is not installed, comparison skipped")
    return False


def repeat_file(src, dst, times):
    with open(src, "rb") as f:
        data = f.read()
    with open(dst, "wb") as f:
        for _ in range(times):
            f.write(data)


def rename_macro(src, dst, old, new):
    """A copy of src with every whole word old replaced by new."""
    with open(src) as f:
        text = f.read()
    with open(dst, "w") as f:
        f.write(re.sub(rf"\b{old}\b", new, text))


def write_symbol_inputs(folder):
    """Two inputs of the same length: one defines ARQ_SYMBOLS new names, the
    other keeps redefining one name."""
    with open(os.path.join(folder, "syms.arq"), "w") as f:
        f.writelines(f"sym{i:06d} .EQU {i}\n" for i in range(ARQ_SYMBOLS))
    with open(os.path.join(folder, "nosyms.arq"), "w") as f:
        f.writelines(f"sym000000 .EQU {i}\n" for i in range(ARQ_SYMBOLS))


def peak_memory(zrmackv, work, runs):
    print("-- peak memory")
    repeat_file(os.path.join(work, "flat.arq"), os.path.join(work, "flat10.arq"), 10)
    short, long = best_of([[zrmackv, "flat.arq"], [zrmackv, "flat10.arq"]], work, runs)
    print(f"  zrmackv flat.arq        {short.peak_kb / 1024:7.1f} MB")
    print(f"  zrmackv flat.arq x 10   {long.peak_kb / 1024:7.1f} MB"
          f"  ({(long.peak_kb - short.peak_kb) / 1024:+.1f} MB for ten times the lines,"
          " no new symbols)")
    write_symbol_inputs(work)
    with_symbols, without = best_of([[zrmackv, "syms.arq"], [zrmackv, "nosyms.arq"]], work, runs)
    per_symbol = (with_symbols.peak_kb - without.peak_kb) * 1024 / ARQ_SYMBOLS
    verdict = "met" if per_symbol <= 100 else "NOT met"
    print(f"  zrmackv {ARQ_SYMBOLS} symbols kept: {with_symbols.peak_kb / 1024:.1f} MB against"
          f" {without.peak_kb / 1024:.1f} MB without: {per_symbol:.0f} bytes per symbol"
          f" (target 100: {verdict})")
    for name, s in (("syms.arq", with_symbols), ("nosyms.arq", without)):
        if s.code != 0:
            print(describe_failure("zrmackv " + name, s))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--runs", type=int, default=int(os.environ.get("BENCH_RUNS", "7")))
    ap.add_argument("--inputs", default=os.environ.get("BENCH_INPUTS"))
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    zrmackv, cppkv = os.path.join(build, "zrmackv"), os.path.join(build, "cppkv")
    inputs = find_inputs(args.inputs)
    if inputs is None:
        print("peers: the input generators (../shared/bench-inputs) are missing; skipped")
        return 0
    work = tempfile.mkdtemp(prefix="kvbench-")
    try:
        for gen in ("gen_c.py", "gen_zr.py", "gen_asm.py"):
            subprocess.run([sys.executable, os.path.join(inputs, gen), work], check=True)
        with open(os.path.join(work, "one.arq"), "w") as f:
            f.write("\tNOP\n")
        with open(os.path.join(work, "one.asm"), "w") as f:
            f.write("\tnop\n")
        with open(os.path.join(work, "one.c"), "w") as f:
            f.write("int x;\n")
        print(f"best of {args.runs} runs each; ratio = peer time / our time")

        c_peer = None
        for tool in ("gcc", "cpp"):
            if shutil.which(tool):
                c_peer = (f"{tool} -M -Iinc big.c", [tool, "-M", "-Iinc", "big.c"])
                break
        if c_peer is None:
            print("-- cppkv: neither gcc nor cpp is installed, comparison skipped")
        compare("C sources (15 MB, 40 headers)", ("cppkv -Iinc big.c", [cppkv, "-Iinc", "big.c"]),
                c_peer, work, args.runs, target=3.0)

        have_nasm = peer_or_note("nasm", "assembler sources")
        nasm = lambda name: (f"nasm -E {name}", ["nasm", "-E", name]) if have_nasm else None
        compare("assembler, flat (180,000 lines)", ("zrmackv flat.arq", [zrmackv, "flat.arq"]),
                nasm("flat.asm"), work, args.runs, target=2.0)
        compare("assembler, macros and repeats", ("zrmackv big.arq", [zrmackv, "big.arq"]),
                nasm("big.asm"), work, args.runs, target=2.0)
        # The generator names its macro ADDX, which is a mnemonic of this
        # assembler, so zrmackv rightly refuses big.arq ("Reserved word is
        # used as label or symbol", exit 3). The same workload with the macro
        # renamed is the comparison that means something.
        rename_macro(os.path.join(work, "big.arq"), os.path.join(work, "bigm.arq"), "ADDX", "ADDXM")
        compare("assembler, macros and repeats, macro renamed ADDXM",
                ("zrmackv bigm.arq", [zrmackv, "bigm.arq"]), nasm("big.asm"), work, args.runs,
                target=2.0)

        startup_runs = max(args.runs, 20)
        compare("start-up, one-line file", ("zrmackv one.arq", [zrmackv, "one.arq"]),
                nasm("one.asm"), work, startup_runs)
        compare("start-up, one-line file", ("cppkv one.c", [cppkv, "one.c"]),
                (f"{c_peer[1][0]} -M one.c", [c_peer[1][0], "-M", "one.c"]) if c_peer else None,
                work, startup_runs)

        peak_memory(zrmackv, work, max(3, args.runs // 2))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
