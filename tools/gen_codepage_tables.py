#!/usr/bin/env python3
"""Generates base/CodePageTableText.cpp: the compiled-in code page tables and the ISO-2022-JP
tables, from the references of codepage_reference.py.

    python3 tools/gen_codepage_tables.py [OUTPUT]

Table text: 'c' + base64 of (magic E1 A7 94 B3, 4-byte LE length, bzip2 stream) of the table:
  byte 0: 'a' when bytes 0x01-0x7F are ASCII (then not stored), 'f' otherwise
  byte 1: 'd' for a patch table, 'f' for a full table
  full:  single-byte records (byte delta, LE unit delta), ended by a zero byte;
         double-byte records (LE code delta, LE unit delta), ended by a zero code delta.
  patch: removed units (LE), ended by unit 0; 1-byte replacements (byte, LE unit), ended by a
         zero byte; 2-byte replacements (2 bytes in output order, LE unit), ended by a zero byte.
Deltas wrap at their width. Records are ordered so that, for a unit with several byte strings,
the one the reference encodes to comes first: a lookup returns the first entry inserted.
"""
import base64
import bz2
import os
import struct
import sys
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import codepage_reference as ref  # noqa: E402

MAGIC = b"\xE1\xA7\x94\xB3"
# Pages built from another page's table rather than their own.
SHARED = {28591: 1252}
PATCHED = {10001: 932}


def is_ascii(decode, encode):
    return all(decode.get(bytes([b])) == b and encode.get(b) == bytes([b]) for b in range(1, 128))


def preferred(decode, encode):
    """Keys that are the reference's encoding of their own unit."""
    return {key for key, unit in decode.items() if encode.get(unit) == key}


def full_table(decode, encode):
    ascii_ok = is_ascii(decode, encode)
    first = preferred(decode, encode)
    singles = [(k[0], u) for k, u in decode.items() if len(k) == 1 and not (ascii_ok and k[0] < 0x80)]
    doubles = [((k[0] << 8) | k[1], u) for k, u in decode.items() if len(k) == 2]
    order = lambda rec, width: (bytes([rec[0]]) if width == 1 else struct.pack(">H", rec[0])) not in first
    singles.sort(key=lambda r: (order(r, 1), r[0]))
    doubles.sort(key=lambda r: (order(r, 2), r[0]))
    out = bytearray(b"a" if ascii_ok else b"f") + b"f"
    prev_b = prev_u = 0
    for b, u in singles:
        out += struct.pack("<BH", (b - prev_b) & 0xFF, (u - prev_u) & 0xFFFF)
        prev_b, prev_u = b, u
    out += b"\0"
    prev_c = prev_u = 0
    for c, u in doubles:
        out += struct.pack("<HH", (c - prev_c) & 0xFFFF, (u - prev_u) & 0xFFFF)
        prev_c, prev_u = c, u
    out += b"\0\0"
    return bytes(out), ascii_ok


def table_encoder(decode, encode):
    """What a full table built by full_table encodes each unit to (first record inserted wins)."""
    ascii_ok = is_ascii(decode, encode)
    first = preferred(decode, encode)
    result = {}
    for key in sorted(decode, key=lambda k: (len(k), k not in first, k)):
        result.setdefault(decode[key], key)
    if ascii_ok:
        result.update({u: bytes([u]) for u in range(1, 128)})
    return result


def patch_table(base, target, ascii_ok):
    """Turns the base page's Unicode-to-bytes map into the target's, outside the ASCII range."""
    removed, ones, twos = [], [], []
    for unit in ref.units():
        if ascii_ok and unit < 0x80:
            continue
        want = target.get(unit)
        want = want if want is not None and len(want) <= 2 and want[0] != 0 else None
        if want == base.get(unit):
            continue
        if want is None:
            removed.append(unit)
        elif len(want) == 1:
            ones.append((want, unit))
        else:
            twos.append((want, unit))
    out = bytearray(b"a" if ascii_ok else b"f") + b"d"
    out += b"".join(struct.pack("<H", u) for u in removed) + b"\0\0"
    out += b"".join(k + struct.pack("<H", u) for k, u in ones) + b"\0"
    out += b"".join(k + struct.pack("<H", u) for k, u in twos) + b"\0"
    return bytes(out)


def table_text(raw):
    block = MAGIC + struct.pack("<I", len(raw)) + bz2.compress(raw, 9)
    return "c" + base64.b64encode(block).decode()


def sjis_from_jis(row, cell):
    lead = ((row + 1) >> 1) + (0x70 if row < 0x5F else 0xB0)
    if row & 1:
        trail = cell + (0x1F if cell < 0x60 else 0x20)
    else:
        trail = cell + 0x7E
    return bytes([lead, trail])


def jis_ibm_rows():
    """JIS rows 0x79-0x7C (NEC-selected IBM extensions) -> Shift-JIS IBM extension codes."""
    decode, encode = ref.reference(932)
    ibm = {u: k for k, u in sorted(decode.items()) if len(k) == 2 and 0xFA40 <= (k[0] << 8 | k[1]) <= 0xFC4B}
    codes, standard = [], 0
    for row in range(0x79, 0x7D):
        for cell in range(0x21, 0x7F):
            unit = decode.get(sjis_from_jis(row, cell))
            key = ibm.get(unit) if unit is not None else None
            if key is None and unit is not None:
                key, standard = encode[unit], standard + 1
            codes.append(0 if key is None else (key[0] << 8 | key[1]))
    return codes, standard


def half_width_katakana():
    """Shift-JIS 0xA1-0xDF -> the full-width Shift-JIS code of the same katakana or sign."""
    out = []
    for b in range(0xA1, 0xE0):
        char = unicodedata.normalize("NFKC", bytes([b]).decode("cp932"))
        if unicodedata.combining(char):
            # The voiced marks: their full-width forms are the spacing marks U+309B and U+309C.
            char = next(chr(u) for u in range(0x3000, 0x3100)
                        if unicodedata.normalize("NFKC", chr(u)) == " " + char)
        full = char.encode("cp932")
        out.append(full[0] << 8 | full[1])
    return out


def c_string(name, text):
    lines = ['    "%s"' % text[i:i + 96] for i in range(0, len(text), 96)]
    return "const char %s[] =\n%s;\n" % (name, "\n".join(lines))


def generate():
    tables, notes, total = {}, [], 0
    encoders = {}
    for cp in sorted(ref.REFERENCES):
        if cp in PATCHED:
            continue
        decode, encode = ref.reference(cp)
        raw, ascii_ok = full_table(decode, encode)
        encoders[cp] = (table_encoder(decode, encode), ascii_ok)
        tables[cp] = table_text(raw)
    for cp, base in PATCHED.items():
        _, target = ref.reference(cp)
        base_enc, ascii_ok = encoders[base]
        tables[cp] = table_text(patch_table(base_enc, target, ascii_ok))
    total = sum(len(t) + 1 for t in tables.values())
    codes, standard = jis_ibm_rows()
    kana = half_width_katakana()
    notes.append("%d tables, %d bytes of table text; JIS rows 0x79-0x7C: %d standard codes"
                 % (len(tables), total, standard))
    return tables, codes, kana, notes


def render(tables, codes, kana):
    out = ["// Generated by tools/gen_codepage_tables.py from Python codecs, glibc iconv, Perl Encode, ICU,"
           " glibc charmaps and tools/mappings."
           " Do not edit.",
           '#include "base/CodePageTableText.h"', "", "namespace {", ""]
    for cp, text in sorted(tables.items()):
        out.append(c_string("kPage%d" % cp, text))
    jis = base64.b64encode(b"".join(struct.pack("<H", c) for c in codes)).decode()
    out.append(c_string("kJisIbmRows", jis))
    out += ["const CodePageTableText::Entry kEntries[] = {"]
    out += ["    {%d, kPage%d}," % (cp, cp) for cp in sorted(tables)]
    out += ["};", "", "}  // namespace", ""]
    out += ["const CodePageTableText::Entry* CodePageTableText::entries(int& count) {",
            "    count = static_cast<int>(sizeof(kEntries) / sizeof(kEntries[0]));",
            "    return kEntries;", "}", "",
            "const char* CodePageTableText::jisIbmRows() { return kJisIbmRows; }", "",
            "const std::uint16_t CodePageTableText::kHalfWidthKana[63] = {"]
    for i in range(0, len(kana), 8):
        out.append("    " + " ".join("0x%04X," % c for c in kana[i:i + 8]))
    out += ["};", ""]
    return "\n".join(out)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "base", "CodePageTableText.cpp")
    tables, codes, kana, notes = generate()
    with open(path, "w", encoding="ascii") as f:
        f.write(render(tables, codes, kana))
    for note in notes:
        print(note)


if __name__ == "__main__":
    main()
