#!/usr/bin/env python3
"""Extraction bounds with many entries: time, peak memory and log size, side by side.

Three archives, written straight from struct records (stored entries, empty or one byte, so a
million of them take seconds to write and little space):
  folders   N entries below N folders that cannot be made (a component too long for the
            file system), each reported once
  million   N tiny entries below N/1000 folders; tnzip against unzip and 7z
  crc       N one-byte entries whose stored CRC is wrong; the size of tnzip's log

Each run extracts into a fresh folder and is measured by /usr/bin/time -v (peak resident
memory, wall and CPU time); the median of --runs runs is shown. The machine may be shared: read the
figures side by side, not against another day's.

  python3 bench/fs_bounds.py --tnzip build/tools/tnzip [--tnzip OTHER ...] [--case folders]
      [--entries N] [--runs 3] [--work DIR]
"""
import argparse
import os
import re
import shutil
import statistics
import struct
import subprocess
import tempfile
import zlib

DOS_TIME, DOS_DATE = 0x6000, 0x5A21


def write_archive(path, members):
    """members: iterable of (name bytes, data bytes, crc or None for the true one)."""
    central = []
    with open(path, "wb") as out:
        offset = 0
        for name, data, crc in members:
            crc = zlib.crc32(data) if crc is None else crc
            header = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, DOS_TIME, DOS_DATE, crc, len(data),
                                 len(data), len(name), 0)
            out.write(header + name + data)
            central.append(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 20, 0, 0, DOS_TIME, DOS_DATE, crc,
                                       len(data), len(data), len(name), 0, 0, 0, 0, 0o100644 << 16, offset) + name)
            offset += len(header) + len(name) + len(data)
        cd_start = offset
        out.write(b"".join(central))
        cd_size = sum(len(c) for c in central)
        count = len(central)
        if count > 0xFFFF:
            end64 = cd_start + cd_size
            out.write(struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, cd_size, cd_start))
            out.write(struct.pack("<IIQI", 0x07064B50, 0, end64, 1))
            out.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0))
        else:
            out.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, cd_size, cd_start, 0))


def folders_members(n):
    # 256 bytes: one more than a Linux file name may have, so no folder can be made.
    return ((b"%06d" % i + b"x" * 250 + b"/f", b"", None) for i in range(n))


def million_members(n):
    return ((b"d%04d/f%07d" % (i // 1000, i), b"" if i % 2 else b"z", None) for i in range(n))


def crc_members(n):
    return ((b"c%07d" % i, b"z", 0x12345678) for i in range(n))


CASES = {"folders": (folders_members, 200000), "million": (million_members, 1000000), "crc": (crc_members, 400000)}


def measure(command, cwd):
    """(wall seconds, peak KiB, stderr bytes, CPU seconds) of one run."""
    timed = ["/usr/bin/time", "-v", "-o", os.path.join(cwd, ".time")] + command
    with open(os.path.join(cwd, ".stderr"), "wb") as err:
        subprocess.run(timed, cwd=cwd, stdout=subprocess.DEVNULL, stderr=err, check=False)
    report = open(os.path.join(cwd, ".time")).read()
    wall = report.split("Elapsed (wall clock) time (h:mm:ss or m:ss): ")[1].split("\n")[0]
    seconds = sum(float(part) * 60**i for i, part in enumerate(reversed(wall.split(":"))))
    peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", report).group(1))
    cpu = sum(float(re.search(rf"{kind} time \(seconds\): ([\d.]+)", report).group(1)) for kind in ("User", "System"))
    return seconds, peak, os.path.getsize(os.path.join(cwd, ".stderr")), cpu


def tools_for(case, archive, tnzips):
    tools = [(t, [t, "x", "-q", archive, "-d", "out"]) for t in tnzips]
    if case == "million":
        if shutil.which("unzip"):
            tools.append(("unzip", ["unzip", "-q", archive, "-d", "out"]))
        if shutil.which("7z"):
            tools.append(("7z", ["7z", "x", "-y", "-bd", "-bso0", "-oout", archive]))
    return tools


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tnzip", action="append", required=True, help="a tnzip binary (repeat to compare)")
    parser.add_argument("--case", action="append", choices=sorted(CASES), help="default: all")
    parser.add_argument("--entries", type=int, help="entries per archive (default: per case)")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", default=None, help="scratch folder (default: a new one in /tmp)")
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="fs_bounds-")
    os.makedirs(work, exist_ok=True)
    tnzips = [os.path.abspath(t) for t in args.tnzip]
    print(f"{'case':8} {'entries':>8} {'tool':40} {'seconds':>8} {'CPU s':>8} {'peak MB':>8} {'log MB':>8}")
    for case in args.case or sorted(CASES):
        make, default = CASES[case]
        n = args.entries or default
        archive = os.path.join(work, f"{case}-{n}.zip")
        if not os.path.exists(archive):
            write_archive(archive, make(n))
        for name, command in tools_for(case, archive, tnzips):
            results = []
            for _ in range(args.runs):
                shutil.rmtree(os.path.join(work, "out"), ignore_errors=True)
                results.append(measure(command, work))
            seconds = statistics.median(r[0] for r in results)
            peak = statistics.median(r[1] for r in results) / 1024
            log = statistics.median(r[2] for r in results) / 1e6
            cpu = statistics.median(r[3] for r in results)
            print(f"{case:8} {n:8} {name[-40:]:40} {seconds:8.2f} {cpu:8.2f} {peak:8.1f} {log:8.2f}", flush=True)
        shutil.rmtree(os.path.join(work, "out"), ignore_errors=True)
    if not args.work:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
