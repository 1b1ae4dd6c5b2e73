#!/usr/bin/env python3
# exact_payload.py VIEWER OUT SIZE: writes a ZIP of exactly SIZE bytes holding VIEWER as
# offline.exe (deflated) and, when room is needed, a stored data.bin; the archive comment
# pads the rest.
import io, os, sys, zipfile

viewer, out, size = sys.argv[1], sys.argv[2], int(sys.argv[3])

def build(data_size, comment=b""):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        z.write(viewer, "offline.exe", compress_type=zipfile.ZIP_DEFLATED)
        if data_size:
            z.writestr("data.bin", bytes((i * 7 + 3) & 0xFF for i in range(data_size)),
                       compress_type=zipfile.ZIP_STORED)
        z.comment = comment
    return buf.getvalue()

base = len(build(0))
data = 0 if size - base <= 65535 else size - base - 4000
without = len(build(data))
pad = size - without
assert 0 <= pad <= 65535, (size, without)
blob = build(data, b"p" * pad)
assert len(blob) == size
open(out, "wb").write(blob)
