#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz programs that read their input with FuzzedDataProvider (texts from the
front, numbers from the back), so that the seeds can be read and changed here. Run it from any folder; it
rewrites only the files it names."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


class Seed:
    def __init__(self):
        self.front = bytearray()
        self.back = bytearray()  # in the order the program takes them

    def text(self, s, limit=64):
        assert len(s) < limit
        # ConsumeRandomLengthString: a backslash is doubled, "\" + other ends the text.
        self.front += s.encode("utf-8").replace(b"\\", b"\\\\") + b"\\n"
        return self

    def rest(self, s):
        self.front += s.encode("utf-8")
        return self

    def number(self, value, low, high):
        # ConsumeIntegralInRange: as many bytes as the range needs, most significant first.
        span, offset, raw = high - low, 0, value - low
        width = 0
        while offset < 64 and (span >> offset) > 0:
            width += 1
            offset += 8
        self.back += raw.to_bytes(width, "big")
        return self

    def signed(self, value, bits):
        return self.number(value, -(1 << (bits - 1)), (1 << (bits - 1)) - 1)

    def unsigned(self, value, bits):
        return self.number(value, 0, (1 << bits) - 1)

    def data(self):
        return bytes(self.front) + bytes(reversed(self.back))


def write(target, name, seed):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(seed.data())


# fuzz_format: count 0..8; per argument a kind 0..8 and its value; a bound 0..600; the format text.
INT, LONGLONG, UINT, ULONGLONG, DOUBLE, WIDE, NARROW, NULLWIDE, NULLNARROW = range(9)


def fmt(name, text, args, bound=600):
    assert len(args) <= 8
    s = Seed().number(len(args), 0, 8)
    for kind, value in args:
        s.number(kind, 0, 8)
        if kind == INT:
            s.signed(value, 32)
        elif kind == LONGLONG:
            s.signed(value, 64)
        elif kind == UINT:
            s.unsigned(value, 32)
        elif kind == ULONGLONG:
            s.unsigned(value, 64)
        elif kind in (WIDE, NARROW):
            s.text(value)
    s.number(bound, 0, 600)
    s.rest(text)
    write("fuzz_format", name, s)


fmt("tblb-record", "Error Updating TBLB record %d of %d: %s", [(INT, 3), (INT, 5), (WIDE, "Value too long")])
fmt("initializing", "Error Initializing %s: %s", [(WIDE, "TPEC"), (NARROW, "library 'ECM LIB' is not valid")])
fmt("release-doc", "Error in ReleaseDoc: %s", [(WIDE, "[IBMDA400] SQL0104 Token ; was not valid")])
fmt("released", "Document Released Successfully %s", [(WIDE, "/srv/scans/ap/inv-24-1001.pdf")])
fmt("hresult", "0x%08lx %08X %#x %u", [(INT, -2147467259), (UINT, 0x80004005), (ULONGLONG, 1 << 40), (LONGLONG, -1)])
fmt("flags", "%-10s|%+5d|% d|%05d|%.3d|%#o|%c|%%|%q",
    [(WIDE, "left"), (INT, 42), (INT, 7), (INT, -42), (INT, 5), (UINT, 8), (INT, 0x263A)])
fmt("star", "%*d|%.*s|%hs|%I64d|%lld|%ls", [(INT, -6), (INT, 9), (INT, 2), (WIDE, "cut"), (NARROW, "narrow"),
                                          (LONGLONG, -(1 << 62)), (LONGLONG, 1 << 62)])
fmt("nulls", "%s|%hs|%d|%s", [(NULLWIDE, None), (NULLNARROW, None)])
fmt("bounded", "%s and more text after it", [(WIDE, "a long argument")], bound=20)
fmt("floats", "%e %g %E %G %.0f %010.3f", [])

# fuzz_original_path: count 0..6; per value a destination 0..4 and its text (300 at most). "@" is the folder of
# the test files.
FOLDER, NAME, EXT, OTHER, EMPTY = range(5)


def orig(name, values):
    s = Seed().number(len(values), 0, 6)
    for dest, text in values:
        s.number(dest, 0, 4)
        s.text(text, 300)
    write("fuzz_original_path", name, s)


orig("found", [(FOLDER, "@"), (NAME, "inv-1.pdf"), (EXT, "tif")])
orig("trailing-slash", [(FOLDER, "@/"), (NAME, "inv-1"), (EXT, ".pdf")])
orig("dotted-folder", [(FOLDER, "@/a.b"), (NAME, "c"), (EXT, "pdf")])
orig("no-extension", [(OTHER, "V1"), (FOLDER, "@"), (NAME, "x")])
orig("missing", [(FOLDER, "/srv/scans/ap"), (NAME, "inv-24-1001.pdf"), (EXT, "pdf")])
orig("backslashes", [(FOLDER, "@\\a.b"), (NAME, "sub\\c.tif"), (EXT, "pdf"), (EMPTY, "")])

# fuzz_coltypes: the declared type (40 at most), a value kind 0..11 and the value.
LONG, DOUBLE_V, BOOL, I8, UI8, R4, I2, NULL, DATE, UI4, BSTR = 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10


def col(name, declared, kind, value=None):
    s = Seed().text(declared, 40).number(kind, 0, 11)
    if kind == LONG:
        s.signed(value, 32)
    elif kind == I8:
        s.signed(value, 64)
    elif kind == I2:
        s.signed(value, 16)
    elif kind == UI4:
        s.unsigned(value, 32)
    elif kind == BSTR:
        s.text(value, 200)
    write("fuzz_coltypes", name, s)


col("char-fits", "CHAR(15)", BSTR, "RE-2024-08841")
col("char-too-long", "CHAR(2)", BSTR, "DEU")
col("char-blanks", "char ( 3 )", BSTR, "AB      ")
col("decimal", "DECIMAL(8, 2)", BSTR, " -001234.50 ")
col("decimal-overflow", "NUMERIC(6,0)", BSTR, "1234567")
col("decimal-nan", "DEC(5,2)", BSTR, "12,50")
col("decimal-long", "DECIMAL(31,5)", I8, -(1 << 63))
col("integer", "INTEGER", BSTR, "+2147483648")
col("smallint", "SMALLINT", LONG, 40000)
col("double", "DOUBLE PRECISION", BSTR, "1e308")
col("varchar", "CHARACTER VARYING(10)", BSTR, "\U0001F600" * 11)
col("graphic", "GRAPHIC(4)", UI4, 4294967295)
col("null", "DECIMAL(5,0)", NULL)
col("untyped", "", I2, -32768)
col("i8-edge", "BIGINT", BSTR, "9223372036854775807.5")
