#!/usr/bin/python3
"""Ordinary PostgreSQL tables as users have them, read and written through
ctypes: odd and hostile names, several schemas holding one name, a view,
every common type. Everything the library wrote is read back with psql.

    real_tables_pg_test.py PATH/TO/libvordex.so [unittest arguments]
"""
import os
import unittest

import host_python_test as host
from host_python_test import FIXED_TEXT, StandardError, fresh_database, message, psql

DB = "vordex_host_real"
SETUP = """
    CREATE SCHEMA audit;  -- sorts before public
    CREATE SCHEMA hidden; -- not on the search path
    CREATE TABLE victim (id integer PRIMARY KEY, v text);
    INSERT INTO victim VALUES (1, 'keep'), (2, 'keep');
    CREATE TABLE odd (id serial PRIMARY KEY, "v FROM victim; DELETE FROM victim; --" text, "two words" text,
                      "CamelCol" text, "select" text, "it's" text, "b]c" text, "line
break	tab" text);
    INSERT INTO odd VALUES (DEFAULT, 'hostile', 'spaced', 'camel', 'keyword', 'apostrophe', 'bracket', 'control');
    -- psqlODBC puts these names into its own UPDATE unescaped.
    CREATE TABLE quoted (id serial PRIMARY KEY, "p""=?; DELETE FROM victim; --" text, p text);
    INSERT INTO quoted VALUES (DEFAULT, 'a', 'b');
    CREATE TABLE audit.t (id serial PRIMARY KEY, who text);
    CREATE TABLE hidden.t (id serial PRIMARY KEY, who text);
    CREATE TABLE public.t (id serial PRIMARY KEY, who text);
    INSERT INTO audit.t (who) VALUES ('audit');
    INSERT INTO hidden.t (who) VALUES ('hidden');
    INSERT INTO public.t (who) VALUES ('public');
    CREATE TABLE hidden.solo (id serial PRIMARY KEY, who text);
    INSERT INTO hidden.solo (who) VALUES ('solo');
    CREATE TABLE types (id serial PRIMARY KEY, sm smallint, i integer, bi bigint, nu numeric(30,10), r real,
                        dp double precision, b boolean, d date, tm time, ts timestamp, tz timestamptz, u uuid,
                        t text, vc varchar(10), c char(5), by bytea, bits bit(4));
    INSERT INTO types (sm, i, bi, nu, r, dp, b, d, tm, ts, tz, u, t, vc, c, by, bits)
        VALUES (1, 2, 3, 4.5, 6.5, 7.5, true, '2000-01-01', '12:00', '2000-01-01 12:00', '2000-01-01 12:00+00',
                '00000000-0000-0000-0000-000000000000', 't', 'vc', 'c', '\\x00', '0101');
    CREATE TABLE long_middle (id integer PRIMARY KEY, note text);
    INSERT INTO long_middle VALUES (1, 'short'), (2, repeat('x', 300)), (3, 'last');
"""
TABLES = ["audit.t", "solo", "hidden.t", "long_middle", "odd", "quoted", "public.t", "types", "victim"]

vordex = None


def setUpModule():
    global vordex
    vordex = host.load_library()


def victims():
    return psql(DB, "SELECT count(*) FROM victim;")


class RealTables(unittest.TestCase):
    def setUp(self):
        self.connect = fresh_database(DB, SETUP)
        os.environ["VORDEX_CONNECT"] = self.connect
        self.stderr = StandardError()
        self.assertEqual(vordex.Table(), len(TABLES))
        self.assertEqual(vordex.table_names(len(TABLES)), TABLES)

    def tearDown(self):
        vordex.Close()
        os.environ.pop("VORDEX_CONNECT", None)

    def open(self, table, columns):
        vordex.CloseRec()
        self.assertEqual(vordex.Open(table.encode(vordex.encoding)), columns, table)
        self.assertEqual(vordex.OpenRec(), 1, table)

    def update(self, index, value):
        """VORDEX_Update's result and what it showed; `value` is a text or raw bytes."""
        with self.stderr.capture():
            result = vordex.Update(index, value if isinstance(value, bytes) else value.encode(vordex.encoding))
        return result, self.stderr.data

    def test_column_names_are_identifiers(self):
        self.open("odd", 8)
        names = [vordex.text("GetNameList", i) for i in range(8)]
        self.assertEqual(names[1:3], ["v FROM victim; DELETE FROM victim; --", "two words"])
        self.assertEqual(names[7], "line\nbreak\ttab")
        self.assertEqual(vordex.row(8),
                         ["1", "hostile", "spaced", "camel", "keyword", "apostrophe", "bracket", "control"])
        for index in range(1, 8):
            with self.subTest(column=names[index]):
                self.assertEqual(self.update(index, f"new {index}"), (1, b""))
                quoted = names[index].replace('"', '""')
                self.assertEqual(psql(DB, f'SELECT "{quoted}" FROM odd;'), f"new {index}")
        self.assertEqual(vordex.MoveNext(), 1)
        self.assertNotEqual(vordex.IsEOF(), 0)
        self.assertEqual(victims(), "2")

        # A name psqlODBC's own UPDATE would carry as SQL: the library's
        # statements quote it, and the value lands in that column.
        self.open("quoted", 3)
        self.assertEqual(vordex.row(3), ["1", "a", "b"])
        self.assertEqual([vordex.CanUpdate(i) for i in range(3)], [1, 1, 1])
        self.assertEqual(self.update(1, "x"), (1, b""))
        self.assertEqual(psql(DB, "SELECT \"p\"\"=?; DELETE FROM victim; --\", p FROM quoted;"), "x\x1fb")
        self.assertEqual(victims(), "2")

    def test_hostile_names_stay_names_for_utf8_and_cp932_hosts(self):
        # A multibyte character before a quote: in UTF-8, 7a c3 81 22 (0x81
        # is a CP932 lead byte, the quote no trail byte); in CP932, 7a 95 5c
        # 22 (a backslash as trail byte). Names that begin with "[", and a
        # table named like another's "owner.name".
        psql(DB, """
            CREATE FUNCTION victim_gone() RETURNS boolean LANGUAGE sql AS 'DELETE FROM victim RETURNING true';
            CREATE TABLE "zÁ"" WHERE victim_gone() IS NOT NULL --" (id serial PRIMARY KEY, v text);
            INSERT INTO "zÁ"" WHERE victim_gone() IS NOT NULL --" (v) VALUES ('trap');
            CREATE TABLE "z表"" WHERE victim_gone() IS NOT NULL --" (id serial PRIMARY KEY, v text);
            INSERT INTO "z表"" WHERE victim_gone() IS NOT NULL --" (v) VALUES ('trap');
            CREATE SCHEMA "[s";
            CREATE TABLE "[s"."[br" (id serial PRIMARY KEY, "[col" text);
            INSERT INTO "[s"."[br" ("[col") VALUES ('bracketed');
            CREATE SCHEMA s2;
            CREATE TABLE s2.canary (id serial PRIMARY KEY, who text);
            CREATE TABLE public."s2.canary" (id serial PRIMARY KEY, who text);
            INSERT INTO s2.canary (who) VALUES ('s2');
            INSERT INTO public."s2.canary" (who) VALUES ('public');""")
        # The rows as the writes of the first code page leave them.
        others = (("[br", ["1", "bracketed"], 'SELECT "[col" FROM "[s"."[br"'),
                  ("s2.canary", ["1", "s2"], "SELECT who FROM s2.canary"),
                  ("public.s2.canary", ["1", "public"], 'SELECT who FROM public."s2.canary"'))
        try:
            for code_page, encoding, multibyte in (("65001", "utf-8", "Á"), ("932", "cp932", "表")):
                hostile = f'z{multibyte}" WHERE victim_gone() IS NOT NULL --'
                cases = ((hostile, ["1", "trap"], f'SELECT v FROM "{hostile.replace(chr(34), chr(34) * 2)}"'),) + others
                os.environ["VORDEX_CODEPAGE"] = code_page
                vordex.encoding = encoding
                count = vordex.Table()
                listed = vordex.table_names(count)
                for name, row, stored in cases:
                    with self.subTest(code_page=code_page, table=name):
                        self.assertIn(name if name != "s2.canary" else "canary", listed)
                        self.open(name, 2)
                        self.assertEqual(vordex.row(2), row)
                        # psqlODBC's own UPDATE would carry the quote as
                        # SQL; the library's quotes it.
                        self.assertEqual(self.update(1, f"{code_page} {name}"), (1, b""))
                        row[1] = f"{code_page} {name}"
                        self.assertEqual(psql(DB, stored + ";"), row[1])
                vordex.Close()
        finally:
            os.environ.pop("VORDEX_CODEPAGE", None)
            vordex.encoding = "utf-8"
        self.assertEqual(victims(), "2")

    def test_each_schema_reads_and_writes_its_own_table(self):
        for table, reads in (("audit.t", "audit"), ("hidden.t", "hidden"), ("public.t", "public"),
                             ("solo", "solo"), ("hidden.solo", "solo via solo")):
            with self.subTest(table=table):
                self.open(table, 2)
                self.assertEqual(vordex.row(2), ["1", reads])
                self.assertEqual(self.update(1, f"{reads.split()[0]} via {table}"), (1, b""))
        self.assertEqual(psql(DB, "SELECT who FROM audit.t UNION ALL SELECT who FROM hidden.t"
                                  " UNION ALL SELECT who FROM public.t UNION ALL SELECT who FROM hidden.solo;"),
                         "audit via audit.t\nhidden via hidden.t\npublic via public.t\nsolo via hidden.solo")
        # A name not handed out by the listing is looked for under the first
        # listed table's owner: the table read is the table written.
        self.open("t", 2)
        self.assertEqual(vordex.row(2), ["1", "audit via audit.t"])
        self.assertEqual(self.update(1, "audit again"), (1, b""))
        self.assertEqual(psql(DB, "SELECT who FROM audit.t UNION ALL SELECT who FROM public.t;"),
                         "audit again\npublic via public.t")
        # A dotted name of two tables opens neither, and names both.
        psql(DB, 'CREATE SCHEMA "hidden.x"; CREATE TABLE hidden."x.y" (id integer);'
                 ' CREATE TABLE "hidden.x".y (id integer);')
        for listed in (False, True):  # found through the catalog, or among the listed names
            if listed:
                vordex.Table()
            with self.stderr.capture():
                self.assertEqual(vordex.Open(b"hidden.x.y"), 0)
            self.assertEqual(self.stderr.data, message(
                '名前が複数の表を指すため, どちらも開きません:\n"hidden"."x.y"\n"hidden.x"."y"'), listed)

    def test_values_are_stored_exactly_or_refused(self):
        self.open("types", 18)
        names = [vordex.text("GetNameList", i) for i in range(18)]
        types = dict(zip(names, psql(DB, """
            SELECT format_type(atttypid, atttypmod) FROM pg_attribute
             WHERE attrelid = 'types'::regclass AND attnum > 0 ORDER BY attnum;""").split("\n")))
        stored_exactly = [
            ("sm", "-32768"), ("i", "2147483647"), ("bi", "9223372036854775807"),
            ("nu", "12345678901234567890.0123456789"), ("r", "3.1415927"), ("dp", "1.7976931348623157e+308"),
            ("b", "false"), ("d", "9999-12-31"), ("tm", "23:59:59.999999"), ("ts", "2024-02-29 23:59:59.999999"),
            ("tz", "2024-02-29 23:59:59.999999"), ("u", "123e4567-e89b-12d3-a456-426614174000"),
            ("t", "x" * 255), ("vc", "東京都東京都東京都東"), ("c", "abcde"), ("by", "00ff10"), ("bits", "1010"),
            ("vc", "x" * 11),  # cut to varchar(10)'s ten characters, as a cast to it cuts
            # values are data, never SQL; control characters are kept
            ("t", "'); DELETE FROM victim; --"), ("t", "back\\slash \\' and ''"),
            ("t", "line\nbreak\ttab\x1erecord\x01"),
        ]
        refused = [
            # by the server: out of range, invalid
            ("sm", "32768"), ("i", "2147483648"), ("bi", "9223372036854775808"), ("d", "2024-02-30"),
            ("u", "123e4567"), ("i", "12 apples"), ("t", b"invalid \xff\xfe UTF-8"),
            # by the library: too long for the record, and never cut; dates and
            # times that psqlODBC would read as another value
            ("nu", "1" * 256), ("tz", "2024-02-29 23:59:59+09"), ("ts", "2024-02-29T23:59:59"),
            # never cut into another valid value: psqlODBC lists boolean and
            # bit(n) as character columns of length 5 and 4
            ("b", "falseX"), ("b", "t    x"), ("bits", "10101"),
            # binary data is hex digits two a byte, as it reads
            ("by", "zz"), ("by", "abc"), ("by", "hello"), ("by", "\\x00ff10"),
        ]
        for (column, value), accepted in [(case, True) for case in stored_exactly] + [(case, False) for case in refused]:
            with self.subTest(column=column, value=value[:24]):
                index = names.index(column)
                before = psql(DB, "SELECT * FROM types;")
                shown_before = vordex.text("GetData", index)
                result, shown = self.update(index, value)
                self.assertEqual(result, 1 if accepted else 0)
                if accepted:
                    self.assertEqual(shown, b"")
                    target = "encode(by, 'hex')" if column == "by" else f"{column}::text"
                    literal = value.replace("'", "''")
                    expected = value if column == "by" else psql(DB, f"SELECT '{literal}'::{types[column]}::text;")
                    self.assertEqual(psql(DB, f"SELECT {target} FROM types;"), expected)
                    # The record shows the row as stored: as a fresh read of it.
                    shown_after = vordex.text("GetData", index)
                    self.assertEqual((vordex.Seek(0), vordex.text("GetData", index)), (1, shown_after))
                else:
                    self.assertNotEqual(shown, b"")
                    self.assertEqual(psql(DB, "SELECT * FROM types;"), before)
                    # The record shows what the table holds, not the refused value.
                    self.assertEqual(vordex.text("GetData", index), shown_before)
        self.assertEqual(self.update(names.index("nu"), "1" * 256)[1],
                         message("値が長すぎるため書き込めません (255バイトまで)."))
        # What the driver cuts (a seventh fraction digit) or the server rounds
        # (a numeric's scale): the record shows what was stored.
        for column, value, stored in (("ts", "2024-02-29 23:59:05.9999999", "2024-02-29 23:59:05.999999"),
                                      ("nu", "1.00000000004", "1.0000000000"), ("c", "ab", "ab   ")):
            with self.subTest(column=column, value=value):
                index = names.index(column)
                self.assertEqual(self.update(index, value), (1, b""))
                self.assertEqual((vordex.text("GetData", index), psql(DB, f"SELECT {column} FROM types;")),
                                 (stored, stored))
        self.assertEqual(victims(), "2")

    def test_no_row_is_invented(self):
        self.open("long_middle", 2)
        with self.stderr.capture():
            self.assertEqual(vordex.Seek(-1), 0)
            self.assertEqual(vordex.Seek(-2147483648), 0)
        self.assertEqual(self.stderr.data, b"")
        self.assertEqual(vordex.row(2), ["1", "short"])
        # Onto the row too long to read: nothing of it is handed out or written.
        with self.stderr.capture():
            self.assertEqual(vordex.MoveNext(), 0)
        self.assertEqual(self.stderr.data, message("値が255バイトを超えるため, 行を読めません."))
        self.assertEqual(vordex.row(2), ["", ""])
        self.assertEqual(vordex.list_text(64)[0], 0)
        self.assertEqual(self.update(1, "written"), (0, message(FIXED_TEXT)))
        # Past the end: the end is reported, and no row is handed out.
        self.assertEqual(vordex.Seek(2), 1)
        self.assertEqual(vordex.row(2), ["3", "last"])
        self.assertEqual(vordex.MoveNext(), 1)
        self.assertNotEqual(vordex.IsEOF(), 0)
        self.assertEqual(vordex.row(2), ["", ""])
        self.assertEqual(vordex.list_text(64), (0, b"\0" * 64))
        self.assertEqual(self.update(1, "written"), (0, message(FIXED_TEXT)))
        self.assertEqual(vordex.Seek(9), 1)
        self.assertNotEqual(vordex.IsEOF(), 0)
        self.assertEqual(psql(DB, "SELECT string_agg(left(note, 5), ',' ORDER BY id) FROM long_middle;"),
                         "short,xxxxx,last")

    def test_a_view_is_read_whole_and_never_written(self):
        db = "vordex_host_view"
        os.environ["VORDEX_CONNECT"] = fresh_database(db, """
            CREATE TABLE items (id serial PRIMARY KEY, name text, price integer);
            INSERT INTO items (name, price) SELECT 'item ' || g, g * 10 FROM generate_series(1, 5) g;
            CREATE VIEW cheap AS SELECT id, name FROM items WHERE price < 40;""")
        self.assertEqual(vordex.Table(), 1)
        self.open("cheap", 2)
        self.assertEqual(vordex.CanUpdate(0), 0)
        rows = []
        while not vordex.IsEOF():
            rows.append("|".join(vordex.row(2)))
            self.assertEqual(vordex.Update(1, b"changed"), 0)
            self.assertEqual(vordex.MoveNext(), 1)
        self.assertEqual("\n".join(rows), psql(db, "SELECT id || '|' || name FROM cheap;"))
        self.assertEqual(psql(db, "SELECT count(*) FROM items WHERE name = 'changed';"), "0")


if __name__ == "__main__":
    host.main()
