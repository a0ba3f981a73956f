#!/usr/bin/env python3
"""Validate binary table files (row-ordered 11, column-ordered 12).

Usage: check_bintable.py PATH...   (a directory is searched for *.tab files)

Checks the size record, the header-parameter and column slots, the body
offset, the column layout of each order, the file size and the null values of
rows that are allocated but not in use.  Prints one line per problem and exits
with status 1 when any file fails, 0 otherwise.  Standard library only.

File layout (all numbers big-endian; a "char" is 2 bytes, counted from 1):
  chars 1-24       size record: 12 int32 words
                   npar maxpar nrows allrows ncols maxcols rowlen allrowlen
                   order version 0 0
  then maxpar      header-parameter slots of 80 bytes
  then maxcols     column slots of 64 bytes: number, offset, length, type
                   (int32), name[20], units[20], format[8]
  body offset      25 + 40*maxpar + 32*maxcols (chars)
"""

import os
import struct
import sys

ELEMENT_CHARS = {1: 2, 3: 1, 4: 2, 6: 2, 7: 4}
NULL_BYTES = {
    1: struct.pack(">i", 0),
    3: struct.pack(">h", -32767),
    4: struct.pack(">i", -2147483647),
    6: bytes.fromhex("7ef0bdc2"),
    7: bytes.fromhex("47de17b84357691b"),
}


def element_chars(dtype, length):
    """Chars of one element of a column of this type, or None when unknown."""
    if dtype in ELEMENT_CHARS:
        return ELEMENT_CHARS[dtype]
    if dtype == 2:
        return length
    if -1022 <= dtype < 0:
        return (1 - dtype) // 2
    return None


def is_null(cell, dtype):
    """True when a stored cell holds its type's null value."""
    if dtype in NULL_BYTES:
        size = len(NULL_BYTES[dtype])
        return all(cell[i:i + size] == NULL_BYTES[dtype] for i in range(0, len(cell), size))
    if dtype == 2:
        return cell[:1] == b"\0"
    return cell == bytes(len(cell))


def check_text_field(raw):
    """A text field: one byte per character, optional zero byte, nothing else checked."""
    end = raw.find(b"\0")
    text = raw if end < 0 else raw[:end]
    return all(32 <= b < 127 for b in text)


def check(path):
    """Return a list of problems found in one file."""
    problems = []
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 48:
        return ["file shorter than the 48-byte size record"]
    words = struct.unpack(">12i", data[:48])
    npar, maxpar, nrows, allrows, ncols, maxcols, rowlen, allrowlen, order, version, w11, w12 = words
    if order not in (11, 12):
        return ["order word is %d, not 11 or 12" % order]
    if version != 3:
        problems.append("format version is %d, not 3" % version)
    if w11 != 0 or w12 != 0:
        problems.append("size record words 11 and 12 are not zero")
    if not 0 <= npar <= maxpar:
        problems.append("parameters in use %d outside 0..%d" % (npar, maxpar))
    if not 0 <= ncols <= maxcols:
        problems.append("columns %d outside 0..%d" % (ncols, maxcols))
    if nrows < 0 or allrows < 0 or rowlen < 0 or allrowlen < 0:
        problems.append("negative size in the size record")
    if problems:
        return problems

    body = 25 + 40 * maxpar + 32 * maxcols
    header_bytes = 2 * (body - 1)
    if len(data) < header_bytes:
        return ["file of %d bytes ends inside the header area (%d bytes)" % (len(data), header_bytes)]

    for n in range(1, maxpar + 1):
        rec = data[48 + 80 * (n - 1): 48 + 80 * n]
        if n > npar and rec != b" " * 80:
            problems.append("unused parameter slot %d is not blank" % n)
        if n <= npar and rec[:8].strip(b" \0") == b"":
            problems.append("parameter slot %d in use has no keyword" % n)

    columns = []
    cstart = 48 + 80 * maxpar
    for c in range(1, maxcols + 1):
        rec = data[cstart + 64 * (c - 1): cstart + 64 * c]
        number, offset, length, dtype = struct.unpack(">4i", rec[:16])
        if c > ncols:
            if rec != bytes(64) and not (number == c and offset == 0 and length == 0 and dtype == 0
                                         and rec[16:17] == b"\0" and rec[36:37] == b"\0"):
                problems.append("unused column slot %d is neither zero nor number-only" % c)
            continue
        if number != c:
            problems.append("column slot %d holds column number %d" % (c, number))
        esz = element_chars(dtype, length)
        if esz is None:
            problems.append("column %d has unknown data type %d" % (c, dtype))
            continue
        if length < esz or (esz and length % esz):
            problems.append("column %d length %d is not a multiple of its element size %d"
                            % (c, length, esz))
        for name, lo, hi in (("name", 16, 36), ("units", 36, 56), ("format", 56, 64)):
            if not check_text_field(rec[lo:hi]):
                problems.append("column %d %s is not printable text" % (c, name))
        columns.append((c, offset, length, dtype, esz))
    if problems:
        return problems

    if order == 11:
        if allrows != nrows:
            problems.append("row-ordered allocated rows %d differ from rows %d" % (allrows, nrows))
        if rowlen > allrowlen:
            problems.append("used row length %d exceeds allocated %d" % (rowlen, allrowlen))
        used = sorted((off, off + ln) for _, off, ln, _, _ in columns)
        pos = 0
        for lo, hi in used:
            if lo < pos:
                problems.append("columns overlap in the row at char %d" % lo)
            pos = max(pos, hi)
        if pos > rowlen:
            problems.append("columns reach char %d beyond used row length %d" % (pos, rowlen))
        if sum(ln for _, _, ln, _, _ in columns) != rowlen:
            problems.append("column lengths do not add up to the used row length")
        stride = 2 * allrowlen
        data_bytes = len(data) - header_bytes
        if stride == 0:
            if data_bytes:
                problems.append("rows of length 0 but %d data bytes" % data_bytes)
        elif data_bytes % stride:
            problems.append("file does not end at the end of a row (%d data bytes, row %d bytes)"
                            % (data_bytes, stride))
        elif data_bytes // stride < nrows:
            problems.append("file holds %d rows, size record says %d" % (data_bytes // stride, nrows))
        else:
            for r in range(nrows + 1, data_bytes // stride + 1):
                row = data[header_bytes + (r - 1) * stride: header_bytes + r * stride]
                for c, off, ln, dtype, _ in columns:
                    if not is_null(row[2 * off: 2 * (off + ln)], dtype):
                        problems.append("row %d past the row count is not null in column %d" % (r, c))
    else:
        if nrows > allrows:
            problems.append("rows %d exceed allocated rows %d" % (nrows, allrows))
        expect_off = 0
        for c, off, ln, dtype, esz in columns:
            if off != expect_off:
                problems.append("column %d block offset %d, expected %d" % (c, off, expect_off))
            if ln != esz:
                problems.append("column %d of a column-ordered table is an array" % c)
            expect_off += ln
        if rowlen != expect_off:
            problems.append("used row length %d differs from the column lengths %d" % (rowlen, expect_off))
        want = header_bytes + 2 * allrows * expect_off
        if len(data) != want:
            problems.append("file has %d bytes, layout needs %d" % (len(data), want))
        elif not problems:
            for c, off, ln, dtype, _ in columns:
                start = header_bytes + 2 * off * allrows
                for r in range(nrows + 1, allrows + 1):
                    cell = data[start + 2 * ln * (r - 1): start + 2 * ln * r]
                    if not is_null(cell, dtype):
                        problems.append("allocated row %d of column %d is not null" % (r, c))
                        break
    return problems


def files_under(paths):
    for p in paths:
        if os.path.isdir(p):
            for root, _, names in os.walk(p):
                for n in sorted(names):
                    if n.endswith(".tab"):
                        yield os.path.join(root, n)
        else:
            yield p


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    bad = 0
    for path in files_under(argv[1:]):
        problems = check(path)
        if problems:
            bad += 1
            for p in problems:
                print("%s: %s" % (path, p))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
