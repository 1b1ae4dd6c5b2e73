#!/usr/bin/env python3
"""Differential extraction: every archive of a folder through `tnzip` and the peer tools.

    python3 tools/zip_differential.py FOLDER [--tnzip PATH] [--tz ZONE] [--time-limit S]
                                      [--only-times] [--show N] [--csv OUT]

Each archive is extracted by tnzip, Info-ZIP unzip, 7-Zip (7z) and bsdtar into fresh folders,
and the trees are compared by name, type, size, content, permission bits, modification time and
link target. A password in the folder's MANIFEST.tsv (column "password") is given to every tool.

Classes printed per archive (one line each, then a summary):
  same            tnzip's tree equals what the peers agree on (all of them, or two of three),
                  and tnzip's exit status is not the opposite of every peer's
  status-differs  the trees agree, but tnzip succeeds where every peer reports an error, or
                  fails where every peer succeeds
  same-content    same names and bytes, but modes, times or link targets differ (listed)
  cleaned-names   the only differences are names tnzip cleans on purpose: the characters *<>?|,
                  the C0 controls and DEL removed, '\\' taken as a separator, ".." and "." components and roots dropped
  decoded-names   the only differences are names without the UTF-8 flag that tnzip decodes from
                  the OEM or ANSI code page (437, 1252) where the peers write the raw bytes
  refused-links   tnzip leaves out only links whose target leaves the folder or climbs after a
                  name (so that no chain of links can lead outside), and writes what the
                  archive puts below such a link into a real folder; the peers create them
  damaged         two peers report an error too, and tnzip leaves out only entries that fail
                  (bad CRC, bad data, wrong password) where a peer writes what it decoded
  reads-more      a peer reports an error, and tnzip extracts, with matching CRCs, entries
                  that peer gives up on (its walk reads the local headers in order)
  differs         the peers agree and tnzip's tree is different in names, types or content
  unsupported     like differs, and tnzip reported a compression method it does not decode
  peers-split     no two peers agree; tnzip matches one of them (its name) or none
Modes and times are compared with unzip's when unzip agrees (tnzip follows unzip's rules for
both), else with the agreeing peers; times to the second with DOS 2-second rounding tolerated (--tz sets TZ for every
tool; --only-times reports only time differences against unzip, then 7z). --cache FILE keeps the peers'
trees between runs (keyed by archive content, tool and TZ), so a rerun extracts with tnzip only.
"""
import argparse
import concurrent.futures
import csv
import hashlib
import json
import os
import resource
import shutil
import stat
import subprocess
import sys
import tempfile
import time

PEERS = ("unzip", "7z", "bsdtar")
RUN_TIMEOUT = 30               # seconds per tool and archive
FILE_SIZE_LIMIT = 512 << 20    # bytes any one tool may write to one file (bombs)
STARTED = time.time()          # folders tnzip made at or after this, the archive gave no time
CLEANED = "*<>?|" + "".join(map(chr, range(1, 32))) + "\x7f"  # and the C0 controls and DEL


def is_archive(path):
    try:
        with open(path, "rb") as f:
            data = f.read(1 << 20)
            if b"PK\x03\x04" in data or b"PK\x05\x06" in data:
                return True
            if os.path.getsize(path) > len(data):
                f.seek(max(0, os.path.getsize(path) - 70000))
                return b"PK\x05\x06" in f.read()
    except OSError:
        pass
    return False


def load_passwords(folder):
    manifest = os.path.join(folder, "MANIFEST.tsv")
    out = {}
    if not os.path.exists(manifest):
        return out
    with open(manifest, newline="", encoding="utf-8", errors="replace") as f:
        for row in csv.DictReader(f, delimiter="\t"):
            if row.get("password"):
                out[row["relpath"]] = row["password"]
    return out


def commands(tool, tnzip, archive, out, password):
    if tool == "tnzip":
        cmd = [tnzip, "x", archive, "-d", out]
        return cmd + (["-P", password] if password else [])
    if tool == "unzip":
        return ["unzip", "-qq", "-o", "-P", password or "", archive, "-d", out]
    if tool == "7z":
        return ["7z", "x", "-y", "-bd", "-bb0", "-p" + (password or ""), "-o" + out, archive]
    cmd = ["bsdtar", "-xf", archive, "-C", out]
    return cmd + (["--passphrase", password] if password else [])


def limit_output():
    resource.setrlimit(resource.RLIMIT_FSIZE, (FILE_SIZE_LIMIT, FILE_SIZE_LIMIT))


def run_tool(tool, tnzip, archive, out, password, env):
    os.makedirs(out)
    try:
        p = subprocess.run(commands(tool, tnzip, archive, out, password), stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=RUN_TIMEOUT,
                           env=env, preexec_fn=limit_output)
        return p.returncode, (p.stdout + p.stderr).decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return "timeout", ""


def digest_fd(fd):
    h = hashlib.sha256()
    with os.fdopen(fd, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()[:16]


def digest(path):
    return digest_fd(os.open(path, os.O_RDONLY))


def tree(root):
    """relpath (bytes) -> (type, size, content digest, mode bits, mtime, link target).
    The walk goes through directory handles, so a tree deeper than PATH_MAX is read whole; only
    regular files are opened (a FIFO or device node a peer made would block or read forever)."""
    out = {}
    if not os.path.isdir(root):
        return out
    flags = os.O_RDONLY | getattr(os, "O_NOFOLLOW", 0) | getattr(os, "O_NONBLOCK", 0)
    pending = [(os.open(root, os.O_RDONLY | getattr(os, "O_DIRECTORY", 0)), b"")]
    while pending:
        dfd, prefix = pending.pop()
        try:
            with os.scandir(dfd) as it:
                names = [os.fsencode(e.name) for e in it]
            for name in names:
                rel = prefix + name
                st = os.lstat(name, dir_fd=dfd)
                mode = stat.S_IMODE(st.st_mode)
                if stat.S_ISLNK(st.st_mode):
                    out[rel] = ("link", 0, "", mode, None, os.fsdecode(os.readlink(name, dir_fd=dfd)))
                elif stat.S_ISDIR(st.st_mode):
                    out[rel] = ("dir", 0, "", mode, int(st.st_mtime), None)
                    child = os.open(name, os.O_RDONLY | getattr(os, "O_DIRECTORY", 0) | getattr(os, "O_NOFOLLOW", 0),
                                    dir_fd=dfd)
                    pending.append((child, rel + b"/"))
                elif stat.S_ISREG(st.st_mode):
                    out[rel] = ("file", st.st_size, digest_fd(os.open(name, flags, dir_fd=dfd)), mode,
                                int(st.st_mtime), None)
                else:
                    out[rel] = ("special", 0, "", mode, int(st.st_mtime), None)
        finally:
            os.close(dfd)
    return out


def content(t):
    """What must agree for two trees to be the same extraction: names, types, bytes, links.
    Directory entries are implied by the files inside them, so only empty ones count."""
    parents = {os.path.dirname(k) for k in t}
    return {k: (v[0], v[1], v[2], v[5]) for k, v in t.items() if v[0] != "dir" or k not in parents}


def meta_differences(ours, trees, agreeing):
    """Modes against unzip's (tnzip restores them as unzip does; 7z and bsdtar apply the umask),
    times against unzip's and, where those differ, 7z's (unzip ignores the NTFS field on Unix)."""
    kinds = set()
    time_judges = [p for p in ("unzip", "7z") if p in agreeing] or agreeing
    for k, v in ours.items():
        seen = {p: trees[p].get(k) for p in agreeing}
        if any(w is None for w in seen.values()):
            continue
        if "unzip" in seen and v[3] != seen["unzip"][3] and v[0] != "link":
            kinds.add("mode")
        made_now = v[0] == "dir" and v[4] >= STARTED - 2  # cached peers made theirs earlier
        if v[4] is not None and not made_now and all(seen[p][4] is not None and abs(v[4] - seen[p][4]) > 2 - (v[0] == "dir")
                                    for p in time_judges):
            kinds.add("mtime")
        if v[5] != seen[agreeing[0]][5]:
            kinds.add("link")
    return kinds


def clean_name(rel):
    text = rel.replace(b"\\", b"/")
    for c in CLEANED.encode():
        text = text.replace(bytes([c]), b"")
    return b"/".join(p for p in text.split(b"/") if p not in (b"", b".", b".."))


def decodings(name):
    """The names tnzip may give a peer's raw name: as it is, or decoded from 437 or 1252."""
    out = {name}
    out.add(name.decode("cp437").encode())
    # 1252 leaves five bytes undefined; they keep their code points, as tnzip's table does.
    out.add("".join(bytes([b]).decode("cp1252", "ignore") or chr(b) for b in name).encode())
    return out


def decoded_match(ours, theirs):
    """Whether every peer entry has one of ours with the same content under a decoding of its name."""
    if len(ours) != len(theirs):
        return False
    left = dict(ours)
    for name, value in theirs.items():
        hit = next((n for n in decodings(name) if left.get(n) == value), None)
        if hit is None:
            return False
        del left[hit]
    return True


def link_allowed(rel, target):
    """tnzip's rule: relative, ".." only in front, and no more of them than the link's depth."""
    if not target or target.startswith("/") or "\\" in target:
        return False
    ups, downs = 0, 0
    for part in target.split("/"):
        if part == "..":
            if downs:
                return False
            ups += 1
        elif part not in ("", "."):
            downs += 1
    return ups <= os.fsdecode(rel).count("/")


def cleaned(c):
    return {clean_name(k): v for k, v in c.items()}


class PeerCache:
    """Peer trees by (archive digest, tool, TZ); tnzip is never cached."""

    def __init__(self, path):
        self.path, self.entries = path, {}
        if path and os.path.exists(path):
            with open(path) as f:
                self.entries = json.load(f)

    @staticmethod
    def key(archive, tool, env):
        return f"{digest(archive)}:{tool}:{env.get('TZ', '')}"

    def get(self, key):
        hit = self.entries.get(key)
        if hit is None:
            return None
        t = {os.fsencode(k): tuple(v) for k, v in hit["tree"].items()}
        return t, tuple(hit["status"])

    def put(self, key, t, status):
        self.entries[key] = {"tree": {os.fsdecode(k): v for k, v in t.items()}, "status": list(status)}

    def save(self):
        if self.path:
            with open(self.path, "w") as f:
                json.dump(self.entries, f)


def extract_with(tool, archive, args, password, env, scratch):
    key = PeerCache.key(archive, tool, env) if tool != "tnzip" and args.cache_store else None
    hit = args.cache_store.get(key) if key else None
    if hit:
        return hit[1], hit[0]
    out = os.path.join(scratch, tool)
    status = run_tool(tool, args.tnzip, archive, out, password, env)
    t = tree(out)
    if key:
        args.cache_store.put(key, t, status)
    return status, t


def compare(archive, args, password, env, scratch):
    trees, status = {}, {}
    for tool in ("tnzip",) + PEERS:
        status[tool], trees[tool] = extract_with(tool, archive, args, password, env, scratch)
    contents = {t: content(trees[t]) for t in trees}
    agreeing = [p for p in PEERS if sum(contents[p] == contents[q] for q in PEERS) >= 2]
    if not agreeing:
        match = [p for p in PEERS if contents[p] == contents["tnzip"]]
        return ("peers-split", "matches " + (",".join(match) if match else "none"), status)
    ref = agreeing[0]
    ours, theirs = contents["tnzip"], contents[ref]
    if ours == theirs:
        # Equal trees are not the same outcome when tnzip reports success where every peer
        # reports an error (or the reverse): a damaged archive must not pass as a good one.
        peers_failed = all(status[p][0] != 0 for p in PEERS)
        peers_succeeded = all(status[p][0] == 0 for p in PEERS)
        if (status["tnzip"][0] == 0 and peers_failed) or (status["tnzip"][0] != 0 and peers_succeeded):
            return ("status-differs", f"tnzip exit {status['tnzip'][0]}", status)
        kinds = meta_differences(trees["tnzip"], trees, agreeing)
        return ("same-content", ",".join(sorted(kinds)), status) if kinds else ("same", "", status)
    if cleaned(ours) == cleaned(theirs):
        return ("cleaned-names", "", status)
    if decoded_match(ours, theirs) or decoded_match(cleaned(ours), cleaned(theirs)):
        return ("decoded-names", "", status)
    detail = describe(ours, theirs, ref)
    if "Unsupported compression method" in status["tnzip"][1]:
        return ("unsupported", detail, status)
    missing = set(theirs) - set(ours)
    extra = set(ours) - set(theirs)
    changed = {k for k in set(ours) & set(theirs) if ours[k] != theirs[k]}
    # One peer failing may only lack a method; damage is what two of them report.
    peer_error = sum(status[p][0] != 0 for p in PEERS) >= 2
    refused = {k for k in missing if theirs[k][0] == "link" and not link_allowed(k, theirs[k][3])}
    # What tnzip writes below a refused link, and the folder a refused link leaves empty.
    under_refused = all(any(k.startswith(r + b"/") or (ours[k][0] == "dir" and r.startswith(k + b"/"))
                            for r in refused) for k in extra)
    if refused == missing and not changed and under_refused:
        return ("refused-links", detail, status)
    if not extra and not changed and peer_error and status["tnzip"][0] != 0:
        return ("damaged", detail, status)
    if not missing and not changed and status[ref][0] != 0 and status["tnzip"][0] == 0:
        return ("reads-more", detail, status)
    return ("differs", detail, status)


def describe(ours, theirs, ref):
    missing = sorted(set(theirs) - set(ours))
    extra = sorted(set(ours) - set(theirs))
    changed = sorted(k for k in set(ours) & set(theirs) if ours[k] != theirs[k])
    parts = []
    for label, items in (("missing", missing), ("extra", extra), ("changed", changed)):
        if items:
            shown = ", ".join(os.fsdecode(i) for i in items[:3]) + (" ..." if len(items) > 3 else "")
            parts.append(f"{label} {len(items)} vs {ref}: {shown}")
    return "; ".join(parts)


def time_only(archive, args, password, env, scratch):
    """Times against unzip's; a file whose time differs from unzip's is checked against 7z's,
    which also reads the NTFS field that unzip ignores on Unix."""
    trees = {}
    for tool in ("tnzip", "unzip", "7z"):
        trees[tool] = extract_with(tool, archive, args, password, env, scratch)[1]

    def differs(peer, k, v):
        w = trees[peer].get(k)
        return w is not None and v[0] == w[0] == "file" and abs(v[4] - w[4]) > 2

    vs_unzip, vs_both = [], []
    for k, v in trees["tnzip"].items():
        if differs("unzip", k, v):
            shown = f"{os.fsdecode(k)}: {v[4] - trees['unzip'][k][4]:+d}s"
            vs_unzip.append(shown)
            if k not in trees["7z"] or differs("7z", k, v):
                vs_both.append(shown)
    if vs_both:
        return ("time-differs", "; ".join(vs_both[:3]), {})
    if vs_unzip:
        return ("same-time-as-7z", "; ".join(vs_unzip[:3]), {})
    return ("same-time", "", {})


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("folder")
    ap.add_argument("--tnzip", default=os.path.join(root, "build", "tools", "tnzip"))
    ap.add_argument("--tz", help="TZ for every tool (default: inherited)")
    ap.add_argument("--time-limit", type=float, default=0, help="stop after this many seconds")
    ap.add_argument("--only-times", action="store_true", help="compare modification times with unzip, then 7z")
    ap.add_argument("--show", type=int, default=10**9, help="print at most N lines per class")
    ap.add_argument("--csv", help="write one row per archive to this file")
    ap.add_argument("--jobs", type=int, default=2, help="archives compared at once")
    ap.add_argument("--cache", help="keep the peers' trees in this file between runs")
    args = ap.parse_args()
    missing = [t for t in ((args.tnzip,) + (("unzip", "7z") if args.only_times else PEERS)) if not shutil.which(t)]
    if missing:
        sys.exit("missing tools: " + ", ".join(missing))
    env = dict(os.environ, LC_ALL="C.UTF-8")
    if args.tz:
        env["TZ"] = args.tz
    passwords = load_passwords(args.folder)
    args.cache_store = PeerCache(args.cache)
    archives = sorted(os.path.join(d, f) for d, _, fs in os.walk(args.folder) for f in fs)
    archives = [a for a in archives if is_archive(a)]
    started, results, shown = time.monotonic(), [], {}
    check = time_only if args.only_times else compare

    def one(archive):
        if args.time_limit and time.monotonic() - started > args.time_limit:
            return None
        rel = os.path.relpath(archive, args.folder)
        with tempfile.TemporaryDirectory(prefix="zipdiff.") as scratch:
            return (rel,) + check(archive, args, passwords.get(rel), env, scratch)

    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        for result in pool.map(one, archives):
            if result is None:
                continue
            rel, cls, detail, status = result
            results.append(result)
            shown[cls] = shown.get(cls, 0) + 1
            if shown[cls] <= args.show:
                rcs = " ".join(f"{t}={s[0]}" for t, s in status.items())
                print(f"{cls:14} {rel}  [{rcs}] {detail}".rstrip(), flush=True)
    args.cache_store.save()
    if len(results) < len(archives):
        print(f"time limit reached after {len(results)} of {len(archives)} archives")
    print("\nsummary:", ", ".join(f"{c} {n}" for c, n in sorted(shown.items())), f"(of {len(results)})")
    if args.csv:
        with open(args.csv, "w", newline="", errors="backslashreplace") as f:
            w = csv.writer(f)
            w.writerow(["archive", "class", "detail"] + [f"rc_{t}" for t in ("tnzip",) + PEERS])
            for rel, cls, detail, status in results:
                w.writerow([rel, cls, detail] + [status.get(t, ("",))[0] for t in ("tnzip",) + PEERS])


if __name__ == "__main__":
    main()
