#!/usr/bin/python3
"""Writing fields as a host does: VORDEX_CanUpdate and VORDEX_Update through
ctypes against the private PostgreSQL cluster, every result read back with
psql.

    update_pg_test.py PATH/TO/libvordex.so [unittest arguments]
"""
import os
import unittest

import host_python_test as host
from host_python_test import FIXED_TEXT, StandardError, fresh_database, message, psql

DB = "vordex_host_update"
TABLE = """
    DROP TABLE IF EXISTS w, narrow;
    CREATE TABLE w (id serial PRIMARY KEY, i integer, v varchar(10), big varchar(1000), two varchar(2),
                    note text, jp text);
    INSERT INTO w (i, v, big, two, note, jp) VALUES (10, 'a', 'b', 'c', '', '日本'), (20, 'x', 'y', 'z', 'n', NULL);
    CREATE TABLE narrow (id serial PRIMARY KEY, n varchar(1));
    GRANT SELECT ON w TO vordex_reader;
"""
FIELDS = ["id", "i", "v", "big", "two", "note", "jp"]

vordex = None


def setUpModule():
    global vordex
    vordex = host.load_library()
    fresh_database(DB, "")
    psql(host.required_env("PGDATABASE"), """
        DO $$ BEGIN
            IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'vordex_reader') THEN
                CREATE ROLE vordex_reader LOGIN;
            END IF;
        END $$;""")


def row(row_id):
    """The row as psql reads it: quote_nullable of each field, and xmin."""
    columns = ", ".join(f"quote_nullable({f})" for f in FIELDS[1:])
    return psql(DB, f"SELECT {columns}, xmin FROM w WHERE id = {row_id};").split("\x1f")


class UpdateField(unittest.TestCase):
    def setUp(self):
        psql(DB, TABLE)
        self.stderr = StandardError()
        os.environ["VORDEX_CONNECT"] = host.connect_string(DB)

    def tearDown(self):
        vordex.Close()
        os.environ.pop("VORDEX_CONNECT", None)

    def open_w(self, connect=None):
        if connect:
            os.environ["VORDEX_CONNECT"] = connect
        self.assertEqual(vordex.Open(b"w"), len(FIELDS))
        self.assertEqual(vordex.OpenRec(), 1)
        self.assertEqual(vordex.text("GetData", 0), "1")

    def update(self, field, value):
        """VORDEX_Update of a field named in FIELDS; its result and what it showed."""
        with self.stderr.capture():
            result = vordex.Update(FIELDS.index(field), value.encode("utf-8"))
        return result, self.stderr.data

    def test_values_reach_the_server_cut_to_the_catalog_length(self):
        self.open_w()
        cases = [
            # field, value, result, what psql reads back, shown
            ("v", "hello", 1, "'hello'", b""),
            ("i", "12345", 1, "'12345'", b""),           # not text: never cut to the length (4 bytes)
            ("v", "", 1, "NULL", b""),                   # an empty value writes NULL
            ("big", "y" * 1200, 1, "'" + "y" * 255 + "'", b""),  # length 4000: cut to the storage
            ("two", "東京都", 1, "'東京'", b""),          # varchar(2): cut to two characters
            ("v", "x" * 30, 1, "'" + "x" * 10 + "'", b""),  # varchar(10), length 40: ten characters
            ("jp", "日本語の値", 1, "'日本語の値'", b""),
        ]
        for field, value, result, stored, shown in cases:
            with self.subTest(field=field, value=value[:12]):
                before = row(1)
                self.assertEqual(self.update(field, value), (result, shown))
                after = row(1)
                self.assertEqual(after[FIELDS.index(field) - 1], stored)
                self.assertNotEqual(after[-1], before[-1])  # written: a new row version
                self.assertEqual(vordex.text("GetData", FIELDS.index(field)), stored.strip("'") if stored != "NULL" else "")
        # Every other column kept its value; the empty note is still empty, not NULL.
        self.assertEqual(row(1)[4], "''")
        self.assertEqual(row(2)[:-1], ["'20'", "'x'", "'y'", "'z'", "'n'", "NULL"])

    def test_unchanged_values_write_nothing(self):
        self.open_w()
        before = row(1)
        for field, value in (("v", "a"), ("i", "10"), ("note", ""), ("jp", "日本")):
            with self.subTest(field=field):
                self.assertEqual(self.update(field, value), (1, b""))
        self.assertEqual(row(1), before)

    def test_refusals_leave_the_row_as_it_was(self):
        reader = host.connect_string(DB).replace("Username=vordex", "Username=vordex_reader")
        read_only = host.connect_string(DB) + ";ReadOnly=1"
        cases = [
            # who connects, field, value, the message line
            ("the server refuses a value invalid for the type", None, "i", "ten",
             message('ERROR: invalid input syntax for type integer: "ten";\nError while executing the query\n')),
            ("a user with SELECT privilege only", reader, "v", "new",
             message("ERROR: permission denied for table w;\nError while executing the query\n")),
            # A read-only data source: the record says so before any write.
            ("a read-only data source", read_only, "v", "new",
             message("サーバーが書き込みを受け付けない (読み取り専用の) ため, 書き込めません.")),
        ]
        for what, connect, field, value, shown in cases:
            with self.subTest(what):
                vordex.Close()
                before = row(1)
                self.open_w(connect)
                self.assertEqual(vordex.CanUpdate(FIELDS.index(field)), int(connect is not read_only))
                self.assertEqual(self.update(field, value), (0, shown))
                self.assertEqual(row(1), before)
                os.environ["VORDEX_CONNECT"] = host.connect_string(DB)

    def test_can_update_and_the_end_of_the_rows(self):
        self.assertEqual(vordex.CanUpdate(0), 0)  # no record
        self.open_w()
        for index, expected in ((0, 1), (6, 1), (7, 0), (32, 0), (-1, 0)):
            self.assertEqual(vordex.CanUpdate(index), expected, index)
        self.assertEqual(self.update("v", "q")[0], 1)
        self.assertEqual(vordex.Update(7, b"q"), 0)
        self.assertEqual(vordex.MoveNext(), 1)
        self.assertEqual(vordex.MoveNext(), 1)
        self.assertNotEqual(vordex.IsEOF(), 0)
        self.assertEqual(self.update("v", "late"), (0, message(FIXED_TEXT)))
        self.assertEqual(row(2)[1], "'x'")

    def test_lengths_of_the_last_listing_apply(self):
        self.open_w()
        # Another table listed while the record stays open: column 1 of
        # "narrow" is a varchar(1), so the value is cut to one character.
        self.assertEqual(vordex.Open(b"narrow"), 2)
        self.assertEqual(self.update("i", "987654"), (1, b""))
        self.assertEqual(row(1)[0], "'9'")


if __name__ == "__main__":
    host.main()
