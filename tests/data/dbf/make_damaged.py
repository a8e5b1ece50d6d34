#!/usr/bin/env python3
"""Makes the damaged and unusual dBASE tables that the table layer's tests
replay (tests/store/damaged_corpus_test.cpp) and that its fuzz target starts
from (tests/fuzz), in tests/data/damaged.

Each file is named by what the table layer must do with it: "open-..." opens
and can be read, edited and appended to; "bad-..." is refused with a message
that names the file. The rest of the name says what was changed.

Run it from anywhere; it empties tests/data/damaged and writes every file anew.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), 'damaged')

# name, type, length, decimals
BASE_FIELDS = [('KOD', 'N', 3, 0), ('NAME', 'C', 5, 0), ('SUMMA', 'N', 6, 2)]
BASE_RECORDS = [b'   1abcde  1.25', b'   2\xd8\xea\xee\xeb\xe0 -0.50']


def table(fields, records, version=0x03, count=None, driver=0xC9, end=b'\x1a'):
    header_len = 32 + 32 * len(fields) + 1
    rec_len = 1 + sum(f[2] for f in fields)
    head = bytearray(32)
    head[0] = version
    head[1:4] = bytes([116, 9, 1])
    struct.pack_into('<IHH', head, 4, len(records) if count is None else count, header_len,
                     rec_len)
    head[29] = driver
    for name, ftype, length, decimals in fields:
        d = bytearray(32)
        d[0:len(name)] = name.encode('ascii')
        d[11] = ord(ftype)
        d[16] = length
        d[17] = decimals
        head += d
    head += b'\r'
    for r in records:
        assert len(r) == rec_len, r
    return bytes(head) + b''.join(records) + end


BASE = table(BASE_FIELDS, BASE_RECORDS)
HEADER_LEN = 32 + 32 * len(BASE_FIELDS) + 1
REC_LEN = 15


def put(data, at, value):
    b = bytearray(data)
    b[at:at + len(value)] = value
    return bytes(b)


def u16(v):
    return struct.pack('<H', v)


def u32(v):
    return struct.pack('<I', v)


def field_at(i, byte):
    return 32 + 32 * i + byte


def cases():
    yield 'open-base', BASE
    # The header's figures at 0, 1, their limits and past the file.
    for v, ok in [(0x00, 0), (0x01, 0), (0x02, 0), (0x03, 1), (0x04, 1), (0x30, 0), (0x83, 1),
                  (0x8B, 1), (0xF5, 0), (0xFF, 0)]:
        yield '%s-version-%02x' % ('open' if ok else 'bad', v), put(BASE, 0, bytes([v]))
    yield 'open-date-0', put(BASE, 1, b'\0\0\0')
    yield 'open-date-ff', put(BASE, 1, b'\xff\xff\xff')
    for n, ok in [(0, 1), (1, 1), (2, 1), (3, 0), (0x7FFFFFFF, 0), (0xFFFFFFFF, 0)]:
        yield '%s-count-%x' % ('open' if ok else 'bad', n), put(BASE, 4, u32(n))
    for n in [0, 1, 2, 6, 7, 8, 31, 32, 33, 64, 65, 96, 97, HEADER_LEN - 1, HEADER_LEN + 1,
              len(BASE), len(BASE) + 1, 0xFFFF]:
        yield 'bad-header-length-%d' % n, put(BASE, 8, u16(n))
    padded = bytearray(BASE)
    padded[HEADER_LEN:HEADER_LEN] = b'\0\0'
    yield 'open-header-length-padded', put(bytes(padded), 8, u16(HEADER_LEN + 2))
    for n in [0, 1, 2, REC_LEN - 1, REC_LEN + 1, 0xFFFF]:
        yield 'bad-record-length-%d' % n, put(BASE, 10, u16(n))
    for d, ok in [(0x00, 1), (0x26, 1), (0x65, 1), (0x01, 0), (0x57, 0), (0xFF, 0)]:
        yield '%s-code-page-%02x' % ('open' if ok else 'bad', d), put(BASE, 29, bytes([d]))
    yield 'open-reserved-ff', put(put(BASE, 12, b'\xff' * 17), 30, b'\xff\xff')
    # Field descriptors: types, lengths, decimals, names, offsets.
    for t, ok in [('X', 0), ('\0', 0), ('I', 0), ('B', 0), ('L', 0), ('D', 0), ('M', 0),
                  ('N', 1), ('F', 1), ('c', 0)]:
        yield ('%s-type-%02x' % ('open' if ok else 'bad', ord(t)),
               put(BASE, field_at(1, 11), t.encode('latin-1')))
    for i, n in [(0, 0), (0, 1), (0, 255), (1, 0), (1, 255), (2, 33)]:
        yield 'bad-field%d-length-%d' % (i + 1, n), put(BASE, field_at(i, 16), bytes([n]))
    for i, n in [(1, 0), (2, 33)]:
        # The record length made to agree: the records no longer fit the file.
        grown = REC_LEN - BASE_FIELDS[i][2] + n
        yield ('bad-field%d-length-%d-agreed' % (i + 1, n),
               put(put(BASE, field_at(i, 16), bytes([n])), 10, u16(grown)))
    for n, ok in [(0, 1), (1, 1), (4, 1), (6, 0), (255, 0)]:
        yield ('%s-decimals-%d' % ('open' if ok else 'bad', n),
               put(BASE, field_at(2, 17), bytes([n])))
    yield 'open-decimals-of-text', put(BASE, field_at(1, 17), b'\x03')
    yield 'open-offsets-ff', put(put(BASE, field_at(0, 12), b'\xff' * 4), field_at(1, 12),
                                 b'\xff' * 4)
    yield 'bad-name-empty', put(BASE, field_at(0, 0), b'\0')
    yield 'bad-name-blank', put(BASE, field_at(0, 0), b' ')
    yield 'bad-name-control', put(BASE, field_at(1, 1), b'\x01')
    yield 'open-name-eleven', put(BASE, field_at(1, 0), b'ABCDEFGHIJK')
    yield 'open-name-cyrillic', put(BASE, field_at(1, 0), b'\xc8\xcc\xdf\0')
    yield 'open-name-twice', put(BASE, field_at(1, 0), b'KOD\0')
    # The descriptors' terminator.
    yield 'bad-terminator-blank', put(BASE, HEADER_LEN - 1, b' ')
    yield 'bad-terminator-nul', put(BASE, HEADER_LEN - 1, b'\0')
    yield 'bad-terminator-early', put(BASE, field_at(2, 0), b'\r')
    # Record flags and the end mark.
    for f, ok in [(b'X', 0), (b'\0', 0), (b'\x1a', 0), (b'\r', 0), (b'*', 1), (b' ', 1)]:
        yield ('%s-flag-%02x' % ('open' if ok else 'bad', f[0]), put(BASE, HEADER_LEN, f))
    yield 'bad-second-flag-end-mark', put(BASE, HEADER_LEN + REC_LEN, b'\x1a')
    yield 'open-end-mark-nul', BASE[:-1] + b'\0'
    yield 'open-tail-after-end-mark', BASE + b'garbage'
    # Values no writer of this program would leave.
    yield 'open-values-garbage', put(put(BASE, HEADER_LEN + 1, b'a-b'), HEADER_LEN + 9, b'1e999 ')
    yield 'open-values-nul', put(BASE, HEADER_LEN + 1, b'\0' * (REC_LEN - 1))
    # Every field type, and their lengths.
    every = [('C', 'C', 2, 0), ('N', 'N', 20, 0), ('F', 'F', 20, 18), ('L', 'L', 1, 0),
             ('D', 'D', 8, 0), ('M', 'M', 10, 0)]
    rec = (b' ab' + b'99999999999999999999'.rjust(20) + b'0.123456789012345678'.rjust(20) +
           b'?' + b'20161301' + b'         7')
    yield 'open-every-type', table(every, [rec])
    yield 'open-every-type-dbase4', table(every, [rec], version=0x8B)
    for name, ftype, n in [('L2', 'L', 2), ('D7', 'D', 7), ('M3', 'M', 3), ('N33', 'N', 33)]:
        yield 'bad-type-%s' % name, table([(name, ftype, n, 0)], [b' ' * (n + 1)])
    yield 'bad-no-fields', table([], [])
    # A small table cut at every length.
    for n in range(len(BASE)):
        yield '%s-cut-%03d' % ('open' if n == len(BASE) - 1 else 'bad', n), BASE[:n]


def main():
    os.makedirs(OUT, exist_ok=True)
    for name in os.listdir(OUT):
        os.remove(os.path.join(OUT, name))
    seen = set()
    for name, data in cases():
        assert name not in seen, name
        seen.add(name)
        with open(os.path.join(OUT, name + '.DBF'), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
