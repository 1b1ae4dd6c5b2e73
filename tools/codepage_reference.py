#!/usr/bin/env python3
"""Published mappings of the table-driven code pages, read from references on this machine.

Each code page is taken from Python's codecs, from glibc iconv (through ctypes), from Perl's
Encode, from ICU (through its uconv tool), from a glibc charmap file or, for a page that none of
those knows, from a mapping file kept in tools/mappings. Only one-character
mappings are kept: a byte string that decodes to exactly one UTF-16
code unit, and a code unit that encodes to a byte string.

    codepage_reference.py dump CP     prints "D <bytes-hex> <unit-hex>" and "E <unit-hex> <bytes-hex>"
    codepage_reference.py dump KIND NAME single|multi
                                      the same for one reference (KIND py, iconv, perl, icu,
                                      charmap or mapping)
    codepage_reference.py list        prints the code pages that have a reference

Used by gen_codepage_tables.py and, as the independent reference, by the tests.
"""
import ctypes
import ctypes.util
import gzip
import os
import re
import struct
import subprocess
import sys

CHARMAPS = "/usr/share/i18n/charmaps"
MAPPINGS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "mappings")

# Windows code page -> (reference kind, name).
REFERENCES = {
    # ISO and Windows
    28592: ("py", "iso8859_2"), 28593: ("py", "iso8859_3"), 28594: ("py", "iso8859_4"),
    28595: ("py", "iso8859_5"), 28596: ("py", "iso8859_6"), 28597: ("py", "iso8859_7"),
    28598: ("py", "iso8859_8"), 28599: ("py", "iso8859_9"), 28603: ("py", "iso8859_13"),
    28605: ("py", "iso8859_15"), 38598: ("py", "iso8859_8"),
    1250: ("py", "cp1250"), 1251: ("py", "cp1251"), 1252: ("py", "cp1252"),
    1253: ("py", "cp1253"), 1254: ("py", "cp1254"), 1255: ("py", "cp1255"),
    1256: ("py", "cp1256"), 1257: ("py", "cp1257"), 1258: ("py", "cp1258"),
    874: ("py", "cp874"), 20127: ("py", "ascii"), 20866: ("py", "koi8_r"), 21866: ("py", "koi8_u"),
    # DOS
    437: ("py", "cp437"), 708: ("iconv", "ASMO-708"), 720: ("py", "cp720"), 737: ("py", "cp737"),
    775: ("py", "cp775"), 850: ("py", "cp850"), 852: ("py", "cp852"), 855: ("py", "cp855"),
    857: ("py", "cp857"), 858: ("py", "cp858"), 860: ("py", "cp860"), 861: ("py", "cp861"),
    862: ("py", "cp862"), 863: ("py", "cp863"), 864: ("py", "cp864"), 865: ("py", "cp865"),
    866: ("py", "cp866"), 869: ("py", "cp869"),
    # EBCDIC
    37: ("py", "cp037"), 500: ("py", "cp500"), 870: ("iconv", "IBM870"), 875: ("py", "cp875"),
    1026: ("py", "cp1026"), 1047: ("iconv", "IBM1047"), 1140: ("py", "cp1140"),
    1141: ("iconv", "IBM1141"), 1142: ("iconv", "IBM1142"), 1143: ("iconv", "IBM1143"),
    1144: ("iconv", "IBM1144"), 1145: ("iconv", "IBM1145"), 1146: ("iconv", "IBM1146"),
    1147: ("iconv", "IBM1147"), 1148: ("iconv", "IBM1148"), 1149: ("iconv", "IBM1149"),
    20273: ("py", "cp273"), 20277: ("iconv", "IBM277"), 20278: ("iconv", "IBM278"),
    20280: ("iconv", "IBM280"), 20284: ("iconv", "IBM284"), 20285: ("iconv", "IBM285"),
    20290: ("iconv", "IBM290"), 20297: ("iconv", "IBM297"), 20420: ("iconv", "IBM420"),
    20423: ("iconv", "IBM423"), 20424: ("py", "cp424"), 20871: ("iconv", "IBM871"),
    20880: ("iconv", "IBM880"), 20905: ("iconv", "IBM905"), 21025: ("iconv", "IBM1025"),
    # Mac and others
    10000: ("py", "mac_roman"), 10004: ("py", "mac_arabic"), 10005: ("perl", "MacHebrew"),
    10006: ("py", "mac_greek"), 10007: ("py", "mac_cyrillic"), 10010: ("py", "mac_romanian"),
    10017: ("iconv", "MAC-UK"), 10021: ("perl", "MacThai"), 10029: ("py", "mac_latin2"),
    10079: ("py", "mac_iceland"), 10081: ("py", "mac_turkish"), 10082: ("py", "mac_croatian"),
    20106: ("iconv", "DIN_66003"), 20107: ("iconv", "SEN_850200_B"),
    20108: ("iconv", "NS_4551-1"), 20261: ("iconv", "T.61-8BIT"), 20269: ("iconv", "ISO_6937"),
    20105: ("charmap", "ISO_646.IRV"), 20838: ("icu", "ibm-838"), 20924: ("mapping", "ibm924"),
    # Multi-byte
    932: ("py", "cp932"), 936: ("iconv", "CP936"), 949: ("py", "cp949"), 950: ("py", "cp950"),
    1361: ("py", "johab"), 51932: ("py", "euc_jp"), 51936: ("py", "gb2312"),
    51949: ("py", "euc_kr"),
    # Mac Japanese: only its Unicode-to-bytes direction is used (as a patch on 932).
    10001: ("perl", "MacJapanese"),
}

MULTI_BYTE = {932, 936, 949, 950, 1361, 51932, 51936, 51949, 10001}


def units():
    """Every UTF-16 code unit that stands for a character on its own."""
    return [u for u in range(1, 0x10000) if not 0xD800 <= u <= 0xDFFF]


def candidate_keys(decode_one, multi):
    keys = [bytes([b]) for b in range(1, 256)]
    if multi:
        leads = [b for b in range(0x80, 0x100) if decode_one(bytes([b])) is None]
        keys += [bytes([lead, t]) for lead in leads for t in range(1, 256)]
    return keys


def one_unit(text):
    if text is None or len(text) != 1 or ord(text) > 0xFFFF or ord(text) == 0:
        return None
    return ord(text)


class PythonCodec:
    def __init__(self, name):
        self.name = name

    def decode(self, data):
        try:
            return data.decode(self.name)
        except UnicodeError:
            return None

    def encode(self, unit):
        try:
            return chr(unit).encode(self.name)
        except UnicodeError:
            return None


class IconvCodec:
    """glibc iconv through ctypes: one call per character, the state reset between calls."""

    def __init__(self, name):
        libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        libc.iconv_open.restype = ctypes.c_void_p
        libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        libc.iconv.restype = ctypes.c_size_t
        libc.iconv.argtypes = [ctypes.c_void_p] + [ctypes.c_void_p] * 4
        self.libc = libc
        self.dec = libc.iconv_open(b"UTF-16LE", name.encode())
        self.enc = libc.iconv_open(name.encode(), b"UTF-16LE")
        if self.dec in (None, ctypes.c_void_p(-1).value):
            raise RuntimeError("iconv has no " + name)

    def run(self, cd, data):
        self.libc.iconv(cd, None, None, None, None)
        inbuf = ctypes.create_string_buffer(data, len(data))
        out = ctypes.create_string_buffer(64)
        inp = ctypes.c_char_p(ctypes.addressof(inbuf))
        outp = ctypes.c_char_p(ctypes.addressof(out))
        inleft = ctypes.c_size_t(len(data))
        outleft = ctypes.c_size_t(64)
        r = self.libc.iconv(cd, ctypes.byref(inp), ctypes.byref(inleft),
                            ctypes.byref(outp), ctypes.byref(outleft))
        if r == ctypes.c_size_t(-1).value or inleft.value != 0:
            return None
        # Flush a pending shift state, if any.
        r = self.libc.iconv(cd, None, None, ctypes.byref(outp), ctypes.byref(outleft))
        if r == ctypes.c_size_t(-1).value:
            return None
        return out.raw[:64 - outleft.value]

    def decode(self, data):
        out = self.run(self.dec, data)
        return None if out is None else out.decode("utf-16-le", "surrogatepass")

    def encode(self, unit):
        return self.run(self.enc, unit.to_bytes(2, "little"))


PERL_DUMP = r'''
use Encode;
my ($name, $multi) = @ARGV;
my $enc = find_encoding($name) or die "no $name";
binmode STDOUT;
my @keys = map { chr } 1..255;
if ($multi) {
    for my $lead (0x80..0xFF) {
        my $s = eval { $enc->decode(chr($lead), Encode::FB_CROAK) };
        next if defined $s && length $s;
        push @keys, map { chr($lead) . chr } 1..255;
    }
}
for my $k (@keys) {
    my $copy = $k;
    my $s = eval { $enc->decode($copy, Encode::FB_CROAK) };
    next unless defined $s && length($s) == 1 && ord($s) < 0x10000 && ord($s) > 0;
    printf "D %s %04X\n", unpack("H*", $k), ord($s);
}
for my $u (1..0xFFFF) {
    next if $u >= 0xD800 && $u <= 0xDFFF;
    my $c = chr($u);
    my $b = eval { $enc->encode($c, Encode::FB_CROAK) };
    next unless defined $b && length $b;
    printf "E %04X %s\n", $u, unpack("H*", $b);
}
'''


def perl_reference(name, multi):
    out = subprocess.run(["perl", "-e", PERL_DUMP, name, "1" if multi else "0"],
                         check=True, capture_output=True, text=True).stdout
    return parse_dump(out)


def bracketed(seq, left, right, count):
    """Splits left item... right, repeated count times, into the items between the markers.

    An item may itself equal a marker: a group ends at the first right marker that is followed
    by a left marker or by the end.
    """
    groups, p, n = [], 0, len(seq)
    while p < n:
        if seq[p] != left:
            raise RuntimeError("unexpected converter output")
        q = p + 1
        while q < n and not (seq[q] == right and (q + 1 == n or seq[q + 1] == left)):
            q += 1
        groups.append(seq[p + 1:q])
        p = q + 1
    if len(groups) != count:
        raise RuntimeError("converter output has %d groups, not %d" % (len(groups), count))
    return groups


def uconv(name, data, to_unicode):
    """One uconv run; unconvertible input is skipped and only round-trip mappings are used."""
    direction = ["-f", name, "-t", "UTF-16LE"] if to_unicode else ["-f", "UTF-16LE", "-t", name]
    return subprocess.run(["uconv", "--no-fallback", "--callback", "skip"] + direction,
                          input=data, check=True, capture_output=True).stdout


def icu_reference(name, multi):
    """A single-byte ICU converter, read in two runs: every key and every unit is converted
    between two marker characters, so that one that converts to nothing leaves an empty group."""
    if multi:
        raise RuntimeError("the ICU reference reads single-byte code pages only")
    left, right = ord("A"), ord("Z")
    marks = uconv(name, "AZ".encode("utf-16-le"), False)
    if len(marks) != 2:
        raise RuntimeError("ICU " + name + " has no single-byte A and Z")
    keys = [bytes([b]) for b in range(1, 256)]
    text = uconv(name, b"".join(marks[:1] + k + marks[1:] for k in keys), True)
    found = [int.from_bytes(text[i:i + 2], "little") for i in range(0, len(text), 2)]
    decode = {k: g[0] for k, g in zip(keys, bracketed(found, left, right, len(keys)))
              if len(g) == 1 and not 0xD800 <= g[0] <= 0xDFFF}
    all_units = units()
    data = b"".join(struct.pack("<HHH", left, u, right) for u in all_units)
    groups = bracketed(uconv(name, data, False), marks[0], marks[1], len(all_units))
    encode = {u: bytes(g) for u, g in zip(all_units, groups) if g}
    return decode, encode


def charmap_reference(name):
    """A glibc charmap file: lines "<Uxxxx> /xNN..." give round-trip mappings."""
    decode, encode = {}, {}
    with gzip.open(os.path.join(CHARMAPS, name + ".gz"), "rt", encoding="ascii", errors="replace") as f:
        inside = False
        for line in f:
            if line.startswith(("CHARMAP", "END CHARMAP")):
                inside = line.startswith("CHARMAP")
                continue
            m = re.match(r"<U([0-9A-Fa-f]{4})>\s+((?:/x[0-9A-Fa-f]{2})+)", line) if inside else None
            if m is None or int(m.group(1), 16) == 0:
                continue
            unit, data = int(m.group(1), 16), bytes.fromhex(m.group(2).replace("/x", ""))
            decode.setdefault(data, unit)
            encode.setdefault(unit, data)
    return decode, encode


def mapping_reference(name):
    """A file of tools/mappings: "0xBB 0xUUUU" lines, each a round-trip mapping of one byte."""
    decode, encode = {}, {}
    with open(os.path.join(MAPPINGS, name + ".txt"), encoding="ascii") as f:
        for line in f:
            fields = line.split("#", 1)[0].split()
            if not fields:
                continue
            data, unit = bytes([int(fields[0], 16)]), int(fields[1], 16)
            if unit != 0:
                decode[data] = unit
                encode[unit] = data
    return decode, encode


def parse_dump(text):
    decode, encode = {}, {}
    for line in text.splitlines():
        kind, a, b = line.split()
        if kind == "D":
            decode[bytes.fromhex(a)] = int(b, 16)
        else:
            encode[int(a, 16)] = bytes.fromhex(b)
    return decode, encode


def reference(cp):
    """(decode, encode): byte string -> unit, and unit -> byte string."""
    kind, name = REFERENCES[cp]
    return reference_of(kind, name, cp in MULTI_BYTE)


def reference_of(kind, name, multi):
    if kind == "perl":
        return perl_reference(name, multi)
    if kind == "icu":
        return icu_reference(name, multi)
    if kind == "charmap":
        return charmap_reference(name)
    if kind == "mapping":
        return mapping_reference(name)
    codec = PythonCodec(name) if kind == "py" else IconvCodec(name)
    decode = {}
    for key in candidate_keys(lambda k: one_unit(codec.decode(k)), multi):
        unit = one_unit(codec.decode(key))
        if unit is not None:
            decode[key] = unit
    encode = {}
    for unit in units():
        data = codec.encode(unit)
        if data:
            encode[unit] = data
    return decode, encode


def dump(decode, encode):
    lines = ["D %s %04X" % (k.hex(), u) for k, u in sorted(decode.items())]
    lines += ["E %04X %s" % (u, b.hex()) for u, b in sorted(encode.items())]
    sys.stdout.write("\n".join(lines) + "\n")


def main(argv):
    if len(argv) == 3 and argv[1] == "dump":
        dump(*reference(int(argv[2])))
    elif len(argv) == 5 and argv[1] == "dump":
        dump(*reference_of(argv[2], argv[3], argv[4] == "multi"))
    elif len(argv) == 2 and argv[1] == "list":
        print(" ".join(str(cp) for cp in sorted(REFERENCES)))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
