#!/usr/bin/python3
"""Walks in each way psqlODBC reads a table: its default (the whole result
in the client) and its block reading (UseDeclareFetch=1, a scroll cursor on
the server), on a table with a serial key (where psqlODBC would grant a
keyset-driven cursor) and on one without. In each, another client changes
the table while the library walks it, seeks in it and writes to it; psql
shows what reached the table.

    changing_tables_pg_test.py PATH/TO/libvordex.so [unittest arguments]
"""
import os
import unittest

import host_python_test as host
from host_python_test import StandardError, fresh_database, message, psql

DB = "vordex_host_changing"
ROWS = 1000
CHANGED_ELSEWHERE = "行が読まれた後に他で変更または削除されたため, 書き込めませんでした."

# (name, key column, settings added to the connect string)
MODES = (
    ("default, serial key", "id serial PRIMARY KEY", ""),
    ("default", "id integer PRIMARY KEY", ""),
    ("blocks, serial key", "id serial PRIMARY KEY", ";UseDeclareFetch=1;Fetch=100"),
    ("blocks", "id integer PRIMARY KEY", ";UseDeclareFetch=1;Fetch=100"),
)

vordex = None


def setUpModule():
    global vordex
    vordex = host.load_library()


def kind_of(row):
    """What a handed-out row is: one the table held at the start, one as
    another client changed it, one this test wrote, none (no current row),
    or a mix, which must never be seen."""
    if row == ["", "", ""]:
        return "none"
    key = int(row[0])
    for kind, v, n in (("original", f"v{key}", key * 2), ("changed", f"u{key}", -key),
                       ("written", f"mine{key}", key * 2)):
        if row[1:] == [v, str(n)]:
            return kind
    return "mixed"


class ChangingTables(unittest.TestCase):
    def tearDown(self):
        vordex.Close()
        os.environ.pop("VORDEX_CONNECT", None)

    def open(self, key, settings):
        vordex.Close()
        os.environ["VORDEX_CONNECT"] = fresh_database(DB, f"""
            CREATE TABLE t ({key}, v text, n integer);
            INSERT INTO t (id, v, n) SELECT g, 'v' || g, g * 2 FROM generate_series(1, {ROWS}) g;""") + settings
        self.assertEqual(vordex.Open(b"t"), 3)
        self.assertEqual(vordex.OpenRec(), 1)

    def written(self):
        return psql(DB, "SELECT string_agg(id || '=' || v, ' ' ORDER BY id) FROM t WHERE v LIKE 'mine%';")

    def test_reading_seeking_and_writing_while_another_client_changes_the_table(self):
        for name, key, settings in MODES:
            with self.subTest(name):
                stderr = StandardError()
                with stderr.capture():
                    self.open(key, settings)
                    # Seeks go both ways and reach past the end.
                    self.assertEqual((vordex.Seek(ROWS - 1), vordex.row(3)), (1, [str(ROWS), f"v{ROWS}", str(2 * ROWS)]))
                    self.assertEqual((vordex.Seek(0), vordex.row(3)), (1, ["1", "v1", "2"]))
                    self.assertEqual((vordex.Seek(ROWS), vordex.IsEOF(), vordex.row(3)), (1, 1, ["", "", ""]))
                    self.assertEqual(vordex.Seek(0), 1)
                    walked = []
                    for _ in range(50):
                        walked.append(vordex.row(3))
                        self.assertEqual(vordex.MoveNext(), 1)
                    # Another client changes rows ahead, deletes some and adds some.
                    psql(DB, f"""UPDATE t SET v = 'u' || id, n = -id WHERE id BETWEEN 100 AND 149;
                                 DELETE FROM t WHERE id BETWEEN 150 AND 199;
                                 INSERT INTO t (id, v, n) SELECT g, 'v' || g, g * 2
                                   FROM generate_series({ROWS + 1}, {ROWS + 50}) g;""")
                    while not vordex.IsEOF():
                        walked.append(vordex.row(3))
                        self.assertEqual(vordex.MoveNext(), 1)
                    kinds = [kind_of(row) for row in walked]
                    # One snapshot of the table as it was when opened, in
                    # the order the seeks found: none added, none mixed.
                    self.assertEqual(kinds, ["original"] * ROWS)
                    self.assertEqual(sorted(int(row[0]) for row in walked), list(range(1, ROWS + 1)))

                    # A row nobody else touched is written, and no other;
                    # the change is committed while the record stays open.
                    self.assertEqual((vordex.Seek(299), vordex.row(3)[0]), (1, "300"))
                    self.assertEqual(vordex.Update(1, b"mine300"), 1)
                    self.assertEqual(vordex.row(3), ["300", "mine300", "600"])
                    self.assertEqual(self.written(), "300=mine300")
                    # Rows changed or deleted since they were read are not
                    # written, and nothing else is in their place.
                    for row in (119, 159):
                        self.assertEqual((vordex.Seek(row), vordex.row(3)), (1, walked[row]))
                        self.assertEqual(vordex.Update(1, f"mine{row + 1}".encode()), 0)
                        self.assertEqual(vordex.row(3), walked[row])
                    self.assertEqual(self.written(), "300=mine300")
                    self.assertEqual(psql(DB, "SELECT count(*), sum(n) FROM t WHERE v LIKE 'u%';"), "50\x1f-6225")
                    self.assertEqual(psql(DB, "SELECT count(*) FROM t;"), str(ROWS))
                    vordex.Close()
                self.assertEqual(stderr.data, message(CHANGED_ELSEWHERE) * 2)

    def test_a_write_after_moving_away_and_back_is_judged_by_what_reached_the_table(self):
        # psqlODBC keeps SQL_ROW_UPDATED in a row's status after the cursor's
        # own write of it; a later write that changes nothing must still fail.
        for name, key, settings in MODES + (("default, no key", "id integer", ""),
                                            ("blocks, no key", "id integer", ";UseDeclareFetch=1;Fetch=2")):
            with self.subTest(name):
                stderr = StandardError()
                with stderr.capture():
                    self.open(key, settings)
                    stored = lambda: psql(DB, "SELECT string_agg(id || '=' || v, ' ' ORDER BY id) FROM t WHERE id <= 4;")
                    self.assertEqual((vordex.Seek(0), vordex.Update(1, b"mine1"), vordex.Update(1, b"mine1b")), (1, 1, 1))
                    self.assertEqual((vordex.Seek(2), vordex.Update(1, b"mine3")), (1, 1))
                    # Away and back (both ways), while another client updates
                    # row 1 and deletes row 3.
                    self.assertEqual((vordex.Seek(3), vordex.Seek(0)), (1, 1))
                    psql(DB, "UPDATE t SET v = 'theirs' WHERE id = 1; DELETE FROM t WHERE id = 3;")
                    self.assertEqual((vordex.Update(1, b"lost1"), vordex.row(3)), (0, ["1", "mine1b", "2"]))
                    self.assertEqual((vordex.Seek(2), vordex.Seek(1), vordex.Seek(2)), (1, 1, 1))
                    self.assertEqual((vordex.Update(1, b"lost3"), vordex.row(3)), (0, ["3", "mine3", "6"]))
                    # A row nobody else touched still takes a second write.
                    self.assertEqual((vordex.Seek(1), vordex.Update(1, b"mine2"), vordex.Seek(3), vordex.Seek(1),
                                      vordex.Update(1, b"mine2b")), (1, 1, 1, 1, 1))
                    self.assertEqual(stored(), "1=theirs 2=mine2b 4=v4")
                    vordex.Close()
                self.assertEqual(stderr.data, message(CHANGED_ELSEWHERE) * 2)

    def test_a_lost_connection_is_reported_in_block_reading(self):
        stderr = StandardError()
        with stderr.capture():
            self.open("id integer PRIMARY KEY", ";UseDeclareFetch=1;Fetch=10")
            psql(host.required_env("PGDATABASE"), "SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                 f" WHERE datname = '{DB}' AND backend_type = 'client backend';")
            moved = 0
            while vordex.MoveNext() == 1 and not vordex.IsEOF():
                moved += 1
            # The walk fails: it never ends as if the table were shorter.
            self.assertEqual(vordex.IsEOF(), 0)
            self.assertLess(moved, ROWS - 1)
            vordex.Close()
            # The next session reads again.
            self.open("id integer PRIMARY KEY", ";UseDeclareFetch=1;Fetch=10")
            self.assertEqual((vordex.Seek(ROWS - 1), vordex.row(3)[0]), (1, str(ROWS)))
        self.assertRegex(stderr.data.decode("utf-8"), r"^VORDEX: \S")


if __name__ == "__main__":
    host.main()
