#!/usr/bin/env python3
"""Reads a dBASE table with the Python `dbf` module (Debian: python3-dbf) and
prints what it finds, for the table layer's tests to compare with what they
wrote. Usage: read_foreign.py TABLE.DBF

Output (UTF-8): the first line is the version byte and the codepage the
header declares; then one line per record that is not deleted, its values
joined by "|": None as NULL, numbers as Python writes them, dates as
YYYY-MM-DD, logicals as True/False, text without trailing blanks.
"""
import sys

import dbf


def show(value):
    if value is None:
        return 'NULL'
    if isinstance(value, str):
        return value.rstrip(' ')
    if hasattr(value, 'isoformat'):
        return value.isoformat()
    return str(value)


def main():
    table = dbf.Table(sys.argv[1])
    table.open(dbf.READ_ONLY)
    with open(sys.argv[1], 'rb') as f:
        version = f.read(1)[0]
    out = ['0x%02X %s' % (version, table.codepage.name)]
    for record in table:
        if dbf.is_deleted(record):
            continue
        out.append('|'.join(show(v) for v in record))
    table.close()
    sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))


if __name__ == '__main__':
    main()
