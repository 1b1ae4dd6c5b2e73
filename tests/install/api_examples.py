#!/usr/bin/env python3
"""Writes the example programs of docs/api.md into a folder, one file per example: each is the
```cpp block that follows a line "<!-- example: NAME.cpp -->".

    python3 tests/install/api_examples.py docs/api.md OUTDIR
"""
import os
import re
import sys

EXAMPLE = re.compile(r"<!-- example: ([\w.]+) -->\s*```cpp\n(.*?)```", re.S)


def main():
    source, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    with open(source, encoding="utf-8") as f:
        found = EXAMPLE.findall(f.read())
    for name, code in found:
        with open(os.path.join(out, name), "w", encoding="utf-8") as f:
            f.write(code)
    print(" ".join(name for name, _ in found))
    return 0 if found else 1


if __name__ == "__main__":
    sys.exit(main())
