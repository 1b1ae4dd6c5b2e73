#!/usr/bin/env python3
"""Integrity testing, entry by entry: `tnzip t` against `unzip -t` over every archive of a folder.

    python3 tools/zip_test_compare.py FOLDER [--tnzip PATH] [--show N]

unzip -t names each entry it tests with a verdict ("OK", "bad CRC ...", an error); an entry
whose verdict is not OK (and that unzip did not skip for a method it cannot read) is damaged.
Every such entry must be among those `tnzip t` reports FAILED, and an archive unzip cannot open
at all must make `tnzip t` fail. Names are matched as the differential script matches them:
raw, decoded from 437 or 1252, or cleaned. Classes printed per archive:
  agree          both find the same damaged entries (or none)
  refused        tnzip t refuses the archive as a whole (so nothing damaged passes)
  tnzip-stricter tnzip also fails entries unzip passes or skips (listed)
  structure-only unzip refuses the archive's directory records and tests no entry; tnzip reads the
                 local headers in order and every entry passes its CRC
  missed         unzip finds a damaged entry that tnzip passes (listed): a fault of ours
"""
import argparse
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from zip_differential import clean_name, decodings, is_archive, load_passwords  # noqa: E402

TESTING = re.compile(rb"^\s+testing: (.*?)\s{2,}(\S.*)$|^\s+testing: (.*?) (OK|FAILED)$")
SKIPPING = re.compile(rb"^\s+skipping: (.*?)\s{2,}")


def verdicts(cmd):
    """entry name -> True when OK, plus the exit code."""
    try:
        p = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=60)
    except subprocess.TimeoutExpired:
        return {}, set(), "timeout"
    out, skipped = {}, set()
    for line in p.stdout.splitlines():
        m = TESTING.match(line)
        if m:
            name = m.group(1) if m.group(1) is not None else m.group(3)
            verdict = m.group(2) if m.group(2) is not None else m.group(4)
            out[name] = verdict.strip() == b"OK"
            continue
        m = SKIPPING.match(line)
        if m:
            skipped.add(m.group(1))
    return out, skipped, p.returncode


def forms(name):
    return decodings(name) | {clean_name(n) for n in decodings(name)}


def compare(archive, tnzip, password):
    pw = ["-P", password] if password else []
    theirs, skipped, unzip_rc = verdicts(["unzip", "-t"] + pw + [archive])
    ours, _, tn_rc = verdicts([tnzip, "t", archive] + (["-P", password] if password else []))
    if not ours and tn_rc != 0:
        return "refused", []  # tnzip t refuses the whole archive: every entry counts as found
    ours_failed = {n for n, ok in ours.items() if not ok}
    ours_forms = set().union(*(forms(n) for n in ours_failed)) if ours_failed else set()
    missed = [n for n, ok in theirs.items() if not ok and not (forms(n) & ours_forms)]
    if not theirs and unzip_rc not in (0, 1) and tn_rc == 0 and not skipped:
        return "structure-only", []
    if missed:
        return "missed", missed
    passed = {n for n, ok in theirs.items() if ok} | skipped
    passed_forms = set().union(*(forms(n) for n in passed)) if passed else set()
    stricter = [n for n in ours_failed if n in passed_forms or forms(n) & passed_forms]
    return ("tnzip-stricter", stricter) if stricter else ("agree", [])


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("folder")
    ap.add_argument("--tnzip", default=os.path.join(root, "build", "tools", "tnzip"))
    ap.add_argument("--show", type=int, default=10**9, help="print at most N lines per class")
    args = ap.parse_args()
    passwords = load_passwords(args.folder)
    archives = sorted(os.path.join(d, f) for d, _, fs in os.walk(args.folder) for f in fs)
    counts = {}
    for archive in (a for a in archives if is_archive(a)):
        rel = os.path.relpath(archive, args.folder)
        cls, names = compare(archive, args.tnzip, passwords.get(rel))
        counts[cls] = counts.get(cls, 0) + 1
        if counts[cls] <= args.show:
            shown = ", ".join(os.fsdecode(n) for n in names[:3]) + (" ..." if len(names) > 3 else "")
            print(f"{cls:15} {rel}  {shown}".rstrip(), flush=True)
    print("\nsummary:", ", ".join(f"{c} {n}" for c, n in sorted(counts.items())))


if __name__ == "__main__":
    main()
