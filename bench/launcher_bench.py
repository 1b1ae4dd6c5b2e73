#!/usr/bin/env python3
"""Time from start to viewer start for a large publication, against its floor.

launcher_bench.py BUILD_DIR [--mb 200] [--runs 3] [--against OTHER_BUILD_DIR]

Packs a publication of about MB megabytes (half incompressible, half text) whose offline.exe is
the tests' recording viewer, then in one run measures:
  launcher: starting the packed file until the viewer starts (it records CLOCK_MONOTONIC);
            this includes the launcher's fixed 500 ms start timer, reported separately;
  floor:    copying the payload out of the file and extracting it with `unzip -q`.
Prints the best of RUNS for each and the ratio launcher / floor (with and without the timer).
With --against, the same folder is also packed by the other build, the two launchers run in
turn, and the medians of their start-to-viewer times and CPU times are compared (for example a
build of the previous commit, to see what a change costs).
"""
import argparse, os, random, resource, shutil, statistics, subprocess, sys, tempfile, time

START_TIMER_S = 0.5


def make_publication(build, root, mb, keep_stage=False):
    # A second build packs the stage the first one left.
    stage = os.path.join(root, "stage")
    if os.path.isdir(stage):
        return pack(build, stage, os.path.join(root, "publication-" + os.path.basename(build)))
    os.makedirs(os.path.join(stage, "media"))
    shutil.copy(os.path.join(build, "tests", "tn-test-viewer"), os.path.join(stage, "offline.exe"))
    rng = random.Random(1)
    words = [("".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))) for _ in range(5000)]
    for i in range(mb // 4):
        with open(os.path.join(stage, "media", f"chunk{i:03}.bin"), "wb") as f:
            if i % 2:
                f.write(os.urandom(4 << 20))
            else:
                text = " ".join(rng.choice(words) for _ in range(800000)).encode()
                f.write(text[: 4 << 20])
    out = pack(build, stage, os.path.join(root, "publication"))
    if not keep_stage:
        shutil.rmtree(stage)
    return out


def pack(build, stage, out):
    subprocess.run([os.path.join(build, "bin", "quillet-pack"), stage, "-o", out], check=True,
                   stdout=subprocess.DEVNULL)
    return out


def time_launcher(exe, root, expected_files):
    tmp, records = os.path.join(root, "tmp"), os.path.join(root, "records")
    for d in (tmp, records):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
    env = {"PATH": "/usr/bin:/bin", "TMPDIR": tmp, "HOME": root, "QUILLET_TEST_RECORD_DIR": records}
    start = time.monotonic()
    out = subprocess.run([exe], env=env, capture_output=True, text=True).stdout
    names = os.listdir(records)
    if out != "Success!\n" or len(names) != 1:
        sys.exit(f"launcher run failed (output {out!r}): does the library extract?")
    with open(os.path.join(records, names[0])) as f:
        lines = f.read().splitlines()
    viewer_ms = next(int(line[9:]) for line in lines if line.startswith("start_ms="))
    files = sum(line.startswith("file=") for line in lines)
    if files != expected_files:
        sys.exit(f"the viewer saw {files} files, not {expected_files}")
    return viewer_ms / 1000.0 - start


def time_floor(exe, stub_size, root):
    work = os.path.join(root, "floor")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    start = time.monotonic()
    with open(exe, "rb") as src, open(os.path.join(work, "p.zip"), "wb") as dst:
        src.seek(stub_size)
        shutil.copyfileobj(src, dst, 1 << 20)
    subprocess.run(["unzip", "-q", os.path.join(work, "p.zip"), "-d", os.path.join(work, "out")], check=True)
    return time.monotonic() - start


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def compare(build, other, mb, runs):
    with tempfile.TemporaryDirectory(prefix="quillet-bench-") as root:
        exes = {"this": make_publication(build, root, mb, keep_stage=True)}
        exes["other"] = make_publication(other, root, mb)
        wall, cpu = {k: [] for k in exes}, {k: [] for k in exes}
        for _ in range(runs):
            for name, exe in exes.items():
                before = children_cpu()
                wall[name].append(time_launcher(exe, root, mb // 4 + 1))
                cpu[name].append(children_cpu() - before)
        for name, path in (("this", build), ("other", other)):
            print(f"{name:5} {path}: start -> viewer median {statistics.median(wall[name]):7.3f} s, "
                  f"launcher CPU median {statistics.median(cpu[name]):7.3f} s (runs: "
                  + " ".join(f"{t:.3f}" for t in wall[name]) + ")")
        ratio = statistics.median(wall["this"]) / statistics.median(wall["other"])
        print(f"start -> viewer, this / other: {ratio:.3f}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--mb", type=int, default=200)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--against", help="another build directory to compare with")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    if args.against:
        return compare(build, os.path.abspath(args.against), args.mb, args.runs)
    stub_size = os.path.getsize(os.path.join(build, "bin", "quillet-offline"))
    with tempfile.TemporaryDirectory(prefix="quillet-bench-") as root:
        exe = make_publication(build, root, args.mb)
        size_mb = os.path.getsize(exe) / 1e6
        launcher, floor = [], []
        for _ in range(args.runs):
            launcher.append(time_launcher(exe, root, args.mb // 4 + 1))
            floor.append(time_floor(exe, stub_size, root))
        best_l, best_f = min(launcher), min(floor)
        print(f"publication {size_mb:.0f} MB packed, {args.mb} MB of files, best of {args.runs}")
        print(f"launcher start -> viewer start  {best_l:7.3f} s  (without the 500 ms start timer {best_l - START_TIMER_S:7.3f} s)")
        print(f"copy payload + unzip -q         {best_f:7.3f} s")
        print(f"ratio {best_l / best_f:.2f} (without the start timer {(best_l - START_TIMER_S) / best_f:.2f}; target 1.2)")


if __name__ == "__main__":
    main()
