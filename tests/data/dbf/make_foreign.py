#!/usr/bin/env python3
"""Makes the small dBASE tables that the table layer's tests read to check it
against an independent writer: the Python `dbf` module (Debian: python3-dbf).

Run it from anywhere; it rewrites FOREIGN1.DBF (plain dBASE III) and
FOREIGN2.DBF with its memo file (dBASE III with memo) beside this script.
The expected values live in tests/store/foreign_test.cpp.
"""
import datetime
import os

import dbf

HERE = os.path.dirname(os.path.abspath(__file__))


def make_plain():
    path = os.path.join(HERE, 'FOREIGN1.DBF')
    table = dbf.Table(path,
                      'KOD N(5,0); NAME C(40); SUMMA N(12,2); DT D; FLAG L',
                      dbf_type='db3', codepage='cp1251')
    table.open(dbf.READ_WRITE)
    table.append((1, 'Школа №1 г. Уфа', 1234.5, datetime.date(2016, 9, 1), True))
    table.append((2, 'Гимназия «Ёлка»', None, None, False))
    table.append((3, 'Удалённая запись', 3.25, datetime.date(2015, 1, 31), None))
    table.append((4, 'Лицей', -0.75, datetime.date(2000, 2, 29), None))
    table.append((5, '', 99999.99, None, True))
    dbf.delete(table[2])
    table.close()


def make_memo():
    path = os.path.join(HERE, 'FOREIGN2.DBF')
    table = dbf.Table(path, 'KOD N(3,0); NOTE M', dbf_type='db3', codepage='cp1251')
    table.open(dbf.READ_WRITE)
    table.append((1, 'Примечание к отчёту'))
    table.append((2, None))
    table.close()


if __name__ == '__main__':
    make_plain()
    make_memo()
