#!/usr/bin/env python3
"""Checks that every include in the library and the launcher follows the layer order

    base -> log -> codecs, crypto -> pipeline -> zip -> extract -> archive -> launcher

(a file may include its own layer and the layers before it) or is one of the exceptions listed
below, which CONTRIBUTING.md explains. A header that lower layers may include must itself
include nothing above base/ but other such headers. tnzip (tools/) includes only the public
headers under tarnel/ and its own.

    python3 tools/check_layers.py        prints each offending include; exit status 1 if any
"""
import os
import re
import sys

LAYERS = {"base": 0, "log": 1, "codecs": 2, "crypto": 2, "pipeline": 3, "zip": 4,
          "extract": 5, "archive": 6, "launcher": 7}

# Headers that layers below their own may include, and who may include them ("*": any layer).
DOWNWARD = {
    "log/LogBase.h": {"base"},
    "log/LogReject.h": {"base"},
    "codecs/TarnelBzip2.h": {"base/CodePageTables.cpp"},
    "codecs/ZipCRC.h": {"base/HashMap.cpp", "crypto/PwdProtect.cpp"},
    "archive/ProgressEvent.h": {"*"},
    "archive/AsyncProgressEvent.h": {"*"},
    "archive/ProgressMonitor.h": {"*"},
    "archive/ZipCallback.h": {"*"},
    "archive/ZipSystem.h": {"zip"},
    "pipeline/DataSource.h": {"crypto/WinZipAes.cpp", "crypto/WinZipAes.h"},
    "pipeline/Output.h": {"crypto/WinZipAes.cpp", "crypto/WinZipAes.h"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)

# Programs built on the library's public interface alone, and the headers they may include
# besides tarnel/.
PUBLIC_API_PROGRAMS = {
    "tools/tnzip.cpp": {"TnzipArchive.h", "TnzipProgressLine.h", "TnzipSpool.h"},
    "tools/TnzipArchive.cpp": {"TnzipArchive.h", "TnzipPrompt.h"},
    "tools/TnzipArchive.h": set(),
    "tools/TnzipPrompt.cpp": {"TnzipPrompt.h"},
    "tools/TnzipPrompt.h": set(),
    "tools/TnzipSpool.cpp": {"TnzipSpool.h"},
    "tools/TnzipSpool.h": set(),
    "tools/TnzipProgressLine.cpp": {"TnzipProgressLine.h"},
    "tools/TnzipProgressLine.h": set(),
}


def allowed(source, target):
    src_layer, dst_layer = source.split("/")[0], target.split("/")[0]
    if dst_layer not in LAYERS or LAYERS[dst_layer] < LAYERS[src_layer] or dst_layer == src_layer:
        return True
    # Anything else goes up a layer, or sideways between codecs/ and crypto/.
    who = DOWNWARD.get(target, set())
    return "*" in who or src_layer in who or source in who


def includes(root, path):
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
        return INCLUDE.findall(f.read())


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    faults = []
    for layer in LAYERS:
        for name in sorted(os.listdir(os.path.join(root, layer))):
            if not name.endswith((".h", ".cpp")):
                continue
            source = layer + "/" + name
            for target in includes(root, source):
                if not allowed(source, target):
                    faults.append("%s includes %s" % (source, target))
    for header in DOWNWARD:
        for target in includes(root, header):
            if target.split("/")[0] in LAYERS and not target.startswith("base/") and target not in DOWNWARD:
                faults.append("%s (included from below) includes %s" % (header, target))
    for program, own in PUBLIC_API_PROGRAMS.items():
        for target in includes(root, program):
            if not target.startswith("tarnel/") and target not in own:
                faults.append("%s (public API only) includes %s" % (program, target))
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
