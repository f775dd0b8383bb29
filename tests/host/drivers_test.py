#!/usr/bin/python3
"""One scenario table, every driver and host code page: the same host
session (list, read, seek, write, bad input) through ctypes against
PostgreSQL (psqlODBC, ANSI and Unicode, reading by default and in blocks),
an SQLite file (the SQLite ODBC driver, no server) and MariaDB
(Connector/ODBC), for a UTF-8 host and a CP932 one, each checked with the
data source's own client: psql, sqlite3, mariadb.

    drivers_test.py PATH/TO/libvordex.so [unittest arguments]

Needs the environment of scripts/with_cluster.sh, which starts the private
PostgreSQL cluster and MariaDB server.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import host_python_test as host
from host_python_test import FIXED_TEXT, NO_FIELD_TEXT, StandardError, message

DB = "vordex_host_drivers"
NOT_HOST_TEXT = "値にこのコードページの文字でないバイトがあるため書き込めません."
BINARY_FORM_TEXT = "バイナリ値は 00ff10 のように16進数字2桁ずつで書いて下さい."
CHANGED_TEXT = "行が読まれた後に他で変更または削除されたため, 書き込めませんでした."
TOO_LONG_TEXT = "名前がデータソースの許す長さを超えるため, 開けません."
NO_FILE_TEXT = "データベースファイルがありません."
NULL_KEY_TEXT = "行のキーが NULL のため, 行を特定できず書き込めません."
READ_ONLY_TEXT = "サーバーが書き込みを受け付けない (読み取り専用の) ため, 書き込めません."
LOST_TEXT = "サーバーとの接続が切れています. 開き直して下さい."
NOT_READ_AGAIN_TEXT = ("書き込みました. ただし行を読み直せませんでした: "
                       "行がキーで見つかりません (トリガーなどがキーを変えました).")
# A table written by key, in every dialect.
KEYED = "CREATE TABLE t(k INTEGER PRIMARY KEY, v VARCHAR(9)); INSERT INTO t VALUES (1,'a'),(2,'b');"


class Postgres:
    quote = '"'
    real = "double precision"
    binary, untyped, blob = "BYTEA", "TEXT", "'\\x00ff10'"
    # What the driver grants the record: psqlODBC writes through its cursor.
    updatable = 1

    def __init__(self, name="PostgreSQL", driver="PostgreSQL ANSI", options=""):
        self.name, self.driver, self.options = name, driver, options

    def create(self, sql):
        self.connect = host.fresh_database(DB, sql).replace("{PostgreSQL ANSI}", "{" + self.driver + "}") + self.options

    def query(self, sql):
        return host.psql(DB, sql)

    def catalog(self):
        return DB

    def reads_in_blocks(self):
        """True when the library's session holds a cursor open on the
        server: psqlODBC's block reading keeps a transaction for it."""
        return host.psql(DB, "SELECT state FROM pg_stat_activity WHERE datname = current_database()"
                             " AND backend_type = 'client backend' AND pid <> pg_backend_pid();") == \
            "idle in transaction"


class Sqlite:
    quote = '"'
    real = "REAL"
    binary, untyped, blob = "BLOB", "", "x'00ff10'"
    # Its cursor is read-only in effect (its SQLSetPos rewrites every
    # column); rows are written by primary key.
    updatable = 1

    def __init__(self, name="SQLite", options=""):
        self.name, self.options = name, options

    def create(self, sql):
        self.directory = tempfile.mkdtemp(dir=sqlite_files.name)
        self.file = os.path.join(self.directory, "drivers.db")
        self.run(sql)
        self.connect = f"DRIVER={{SQLite3}};Database={self.file}" + self.options

    def run(self, sql, path=None):
        result = subprocess.run(["sqlite3", "-bail", "-batch", path or self.file], input=sql.encode(),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
        if result.returncode != 0:
            raise AssertionError(f"sqlite3 failed: {result.stderr.decode('utf-8', 'replace')}")
        return result.stdout.decode("utf-8").rstrip("\n")

    def query(self, sql):
        return self.run(".separator \"\\037\"\n.nullvalue \"\"\n" + sql)

    def catalog(self):
        return ""


class Maria:
    quote = "`"
    real = "DOUBLE"
    binary, untyped, blob = "VARBINARY(10)", "TEXT", "x'00ff10'"
    # Its cursor is read-only; rows are written by primary key.
    updatable = 1

    def __init__(self, name="MariaDB", charset="utf8mb4", options=""):
        self.name, self.charset, self.options = name, charset, options

    def create(self, sql):
        self.client(f"DROP DATABASE IF EXISTS {DB}; CREATE DATABASE {DB} CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;",
                    database="mysql")
        self.client(sql)
        self.connect = host.required_env("VORDEX_TEST_MARIA_DRIVER").replace(
            "Database=" + host.required_env("MARIA_DATABASE"), "Database=" + DB).replace(
            "CHARSET=utf8mb4", "CHARSET=" + self.charset) + self.options

    def client(self, sql, database=DB):
        result = subprocess.run(["mariadb", "--no-defaults", "--default-character-set=utf8mb4", "-S",
                                 host.required_env("MARIA_SOCKET"), "-uroot", "--batch", "--skip-column-names",
                                 "--raw", database],
                                input=sql.encode(), stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
        if result.returncode != 0:
            raise AssertionError(f"mariadb failed: {result.stderr.decode('utf-8', 'replace')}")
        return result.stdout.decode("utf-8").rstrip("\n")

    def query(self, sql):
        # NULL comes as "NULL"; the queries here read no NULL through it.
        return "\n".join(line.replace("\t", "\x1f") for line in self.client(sql).split("\n"))

    def catalog(self):
        return DB


DRIVERS = [Postgres(), Sqlite(), Maria()]
# The scenario table: a driver and the host's code page. A table with a key
# is read by the library's own keyset cursor unless the connect string
# chooses the driver's own reading (psqlODBC's blocks of rows, or the whole
# result at once; SQLite's StepAPI; MariaDB's NO_CACHE). A CP932 host gets
# its texts converted by the library (UTF-8 from every driver), or by the
# server where MariaDB's connection is in cp932.
SCENARIOS = [(d, "utf-8") for d in DRIVERS] + [
    (Sqlite("SQLite, the driver's own reading", ";StepAPI=0"), "utf-8"),
    (Maria("MariaDB, the driver's own reading", options=";NO_CACHE=0"), "utf-8")] + [
    (d, "cp932") for d in (Postgres("PostgreSQL, the whole result at once", options=";UseDeclareFetch=0"),
                           Postgres("PostgreSQL Unicode", "PostgreSQL Unicode"),
                           Postgres("PostgreSQL, blocks of 2 rows", options=";UseDeclareFetch=1;Fetch=2"),
                           Sqlite(), Maria(), Maria("MariaDB in cp932", "cp932"))]
# VORDEX_TEST_SCENARIOS, a regular expression, keeps the scenarios whose name
# it matches whole, e.g. "SQLite|PostgreSQL(, .*)?": the drivers that work
# under another driver manager.
SCENARIOS = [(d, cp) for d, cp in SCENARIOS if re.fullmatch(os.environ.get("VORDEX_TEST_SCENARIOS", ".*"), d.name)]


def in_host(text, encoding):
    """`text` as a host in `encoding` reads it: "?" for what it cannot hold."""
    return text.encode(encoding, "replace").decode(encoding)


def q(driver, name):
    """`name` as an identifier of the driver's SQL."""
    return driver.quote + name.replace(driver.quote, driver.quote * 2) + driver.quote


def schema(d):
    """The tables every driver gets, in its own dialect."""
    return f"""
        CREATE TABLE goods (id INTEGER PRIMARY KEY, name VARCHAR(40), price {d.real}, note TEXT, 名前 TEXT,
                            memo TEXT);
        INSERT INTO goods VALUES (1, 'apple', 1.5, NULL, 'りんご', 'a'), (2, 'it''s', 2.25, 'x', NULL, '寿司🍣'),
                                 (3, 'c', NULL, '', '東京', '𠮷野家');
        CREATE TABLE victim (id INTEGER PRIMARY KEY, v TEXT);
        INSERT INTO victim VALUES (1, 'keep');
        CREATE TABLE {q(d, odd_table(d))} (id INTEGER PRIMARY KEY, {q(d, 'a b' + d.quote)} TEXT);
        INSERT INTO {q(d, odd_table(d))} VALUES (7, 'odd');
        CREATE VIEW cheap AS SELECT name FROM goods WHERE price < 2;
        """


def odd_table(d):
    """A blank, a double quote, the driver's quote, 表, whose second byte
    in CP932 is a backslash, and チ and 伝, whose second byte is a backtick."""
    return 'say "hi" 表チ伝' + d.quote


def misreads_backticks(d):
    """MariaDB's driver with a cp932 connection finds the end of a name by
    its backticks, byte by byte: the library refuses such a name."""
    return getattr(d, "charset", "") == "cp932"


GOODS = ["id", "name", "price", "note", "名前", "memo"]
ROWS = [["1", "apple", "1.5", "", "りんご", "a"], ["2", "it's", "2.25", "x", "", "寿司🍣"],
        ["3", "c", "", "", "東京", "𠮷野家"]]

vordex = None
# Every SQLite file of the run lies in here; it goes when the run ends,
# whether the tests pass, fail or are interrupted.
sqlite_files = None


def setUpModule():
    global vordex, sqlite_files
    vordex = host.load_library()
    sqlite_files = tempfile.TemporaryDirectory(prefix="vordex-sqlite-")
    # The read-only file's host runs as nobody: it must reach the file.
    os.chmod(sqlite_files.name, 0o755)


def tearDownModule():
    sqlite_files.cleanup()


class EveryDriver(unittest.TestCase):
    def setUp(self):
        self.stderr = StandardError()

    def tearDown(self):
        vordex.Close()
        vordex.encoding = "utf-8"
        os.environ.pop("VORDEX_CONNECT", None)
        os.environ.pop("VORDEX_CODEPAGE", None)

    def session(self, driver, encoding="utf-8"):
        vordex.Close()
        driver.create(schema(driver))
        os.environ["VORDEX_CONNECT"] = driver.connect
        os.environ["VORDEX_CODEPAGE"] = "932" if encoding == "cp932" else "65001"
        vordex.encoding = encoding

    def goods(self, driver):
        # NULL as the text NULL, which no client renders alike.
        return driver.query("SELECT id, name, COALESCE(price, 0), COALESCE(note, 'NULL'), COALESCE(名前, 'NULL'),"
                            " memo FROM goods ORDER BY id;")

    def test_list_read_and_seek(self):
        for d, cp in SCENARIOS:
            with self.subTest(f"{d.name}, {cp}"):
                self.session(d, cp)
                rows = [[in_host(value, cp) for value in row] for row in ROWS]
                with self.stderr.capture():
                    self.assertEqual(vordex.Table(), 3)
                    self.assertEqual(sorted(vordex.table_names(4)), sorted(["goods", "victim", odd_table(d), ""]))
                    self.assertEqual(vordex.text("GetDirName"), d.catalog())
                    self.assertEqual(vordex.Open(b"goods"), 6)
                    self.assertEqual([vordex.text("GetNameList", i) for i in range(7)], GOODS + [""])
                    self.assertEqual(vordex.OpenRec(), 1)
                    if isinstance(d, Postgres):
                        # The library's own keyset cursor holds nothing between
                        # calls; the driver's block reading, asked for, does.
                        self.assertEqual(d.reads_in_blocks(), "UseDeclareFetch=1" in d.options)
                    read = []
                    while not vordex.IsEOF() and len(read) < 5:
                        read.append(vordex.row(6))
                        self.assertEqual(vordex.list_text()[1].split(b"\0")[0],
                                         "".join(v + "\x1e" for v in read[-1]).encode(cp))
                        self.assertEqual(vordex.MoveNext(), 1)
                    self.assertEqual(read, rows)
                    for row in (2, 0, 1):
                        self.assertEqual((vordex.Seek(row), vordex.row(6)), (1, rows[row]))
                    self.assertEqual(vordex.Seek(3), 1)
                    self.assertNotEqual(vordex.IsEOF(), 0)
                    vordex.CloseRec()
                    # Names with blanks, the driver's own quote character and
                    # a CP932 trail byte that is a backslash.
                    self.assertEqual(vordex.Open(odd_table(d).encode(cp)), 2)
                    self.assertEqual(vordex.text("GetNameList", 1), "a b" + d.quote)
                    if not misreads_backticks(d):
                        self.assertEqual(vordex.OpenRec(), 1)
                        self.assertEqual(vordex.row(2), ["7", "odd"])
                self.assertEqual(self.stderr.data, b"")
                if misreads_backticks(d):
                    with self.stderr.capture():
                        self.assertEqual(vordex.OpenRec(), 0)
                    self.assertIn("CHARSET=utf8mb4".encode(cp), self.stderr.data)
                # The name in the other code page names no table, and says so.
                vordex.CloseRec()
                with self.stderr.capture():
                    self.assertEqual(vordex.Open(odd_table(d).encode("utf-8" if cp == "cp932" else "cp932")), 0)
                self.assertIn("フィールドが見つかりません.".encode(cp), self.stderr.data)

    def test_writes_land_on_the_row_as_granted(self):
        hostile = "x'); DELETE FROM victim; --"
        for d, cp in SCENARIOS:
            with self.subTest(f"{d.name}, {cp}"):
                self.session(d, cp)
                before = self.goods(d)
                self.assertEqual(vordex.Open(b"goods"), 6)
                self.assertEqual(vordex.OpenRec(), 1)
                self.assertEqual(vordex.Seek(1), 1)
                self.assertEqual([vordex.CanUpdate(i) for i in (0, 1, 4, 6, -1)], [d.updatable] * 3 + [0, 0])
                with self.stderr.capture():
                    written = [vordex.Update(1, hostile.encode(cp)), vordex.Update(3, "日本表".encode(cp))]
                    shown = vordex.row(6)
                self.assertEqual(self.stderr.data, b"")
                expected = before.split("\n")
                if d.updatable:
                    self.assertEqual(written, [1, 1])
                    self.assertEqual(shown, ["2", hostile, "2.25", "日本表", "", in_host("寿司🍣", cp)])
                    # 🍣, which a CP932 host reads as "?", stays as it was.
                    expected[1] = "\x1f".join(["2", hostile, "2.25", "日本表", "NULL", "寿司🍣"])
                else:
                    self.assertEqual(written, [0, 0])
                    self.assertEqual(shown, [in_host(value, cp) for value in ROWS[1]])
                # Only that row changed, and only the columns written; NULL
                # stays NULL, the empty note stays empty.
                self.assertEqual(self.goods(d).split("\n"), expected)
                self.assertEqual(d.query("SELECT v FROM victim;"), "keep")
                # Moved away and back, the row reads as stored.
                self.assertEqual((vordex.Seek(0), vordex.Seek(1)), (1, 1))
                self.assertEqual(vordex.text("GetData", 1), hostile if d.updatable else "it's")
                # 120 characters: 240 bytes in CP932, whole; 360 in UTF-8,
                # cut at the last whole character of the 255 bytes.
                long_value = "い" * 120
                stored = long_value if cp == "cp932" else "い" * 85
                if d.updatable:
                    self.assertEqual(vordex.Update(3, long_value.encode(cp)), 1)
                    self.assertEqual((vordex.Seek(0), vordex.Seek(1)), (1, 1))
                    self.assertEqual(vordex.text("GetData", 3), stored)
                    self.assertEqual(d.query("SELECT note FROM goods WHERE id = 2;"), stored)
                # A new key, stored in another form than written: the row
                # keeps showing (SQLite moves it to the end of its rows),
                # and the next write lands on it again.
                if d.updatable:
                    self.assertEqual((vordex.Update(0, b"09"), vordex.text("GetData", 0)), (1, "9"))
                    self.assertEqual((vordex.Update(0, b"2"), vordex.row(2)), (1, ["2", hostile]))
                    self.assertEqual(d.query("SELECT id FROM goods ORDER BY id;"), "1\n2\n3")
                # Bytes that are no text of the host's code page: refused.
                before = self.goods(d)
                for broken in (b"\x82", b"ab\x82") if cp == "cp932" else (b"\xe6\x9d", b"a\xff"):
                    with self.stderr.capture():
                        self.assertEqual(vordex.Update(3, broken), 0)
                    self.assertEqual(self.stderr.data, message(NOT_HOST_TEXT, cp) if d.updatable else b"")
                self.assertEqual(self.goods(d), before)
                # The server's own words reach the host in its code page.
                if isinstance(d, Postgres):
                    with self.stderr.capture():
                        self.assertEqual(vordex.Update(2, "日本".encode(cp)), 0)
                    self.assertIn('"日本"'.encode(cp), self.stderr.data)
                # Past the end nothing is written; a view is never written.
                self.assertEqual(vordex.Seek(3), 1)
                with self.stderr.capture():
                    self.assertEqual(vordex.Update(1, b"late"), 0)
                self.assertEqual(self.stderr.data, message(FIXED_TEXT, cp) if d.updatable else b"")
                vordex.CloseRec()
                self.assertEqual(vordex.Open(b"cheap"), 1)
                self.assertEqual(vordex.OpenRec(), 1)
                self.assertEqual((vordex.CanUpdate(0), vordex.Update(0, b"v")), (0, 0))
                self.assertEqual(self.goods(d), before)

    def test_writes_by_key_land_on_the_row_read_or_nowhere(self):
        """Keys that do not read back as the text they read as, a composite
        key, and rows changed elsewhere between the read and the write. Each
        case writes the last column of row `seek` (the data source's order,
        or the row whose last column reads so) and reads the table back with
        the data source's own client."""
        p, s, m = DRIVERS
        pw = Postgres("PostgreSQL, the whole result at once", options=";UseDeclareFetch=0")
        cases = [
            # what, [(driver, code page)], schema, seek, elsewhere, result, message, query, the table after
            ("REAL key 0.1+0.2 beside 0.3", [(s, "utf-8")],
             "CREATE TABLE t(k REAL PRIMARY KEY, v TEXT) WITHOUT ROWID; INSERT INTO t VALUES (0.1+0.2,'a'),(0.3,'b');",
             1, None, 1, None, "SELECT quote(k), v FROM t ORDER BY k;", "0.3\x1fb\n3.00000000000000044408e-01\x1fw"),
            ("FLOAT key", [(m, "utf-8")],
             "CREATE TABLE t(k FLOAT PRIMARY KEY, v TEXT); INSERT INTO t VALUES (0.1,'a'),(0.2,'b');",
             1, None, 1, None, "SELECT v FROM t ORDER BY k;", "a\nw"),
            ("integer 1 and text '1', row 0", [(s, "utf-8")],
             "CREATE TABLE t(k PRIMARY KEY, v); INSERT INTO t VALUES (1,'int'),('1','text');",
             0, None, 1, None, "SELECT typeof(k), v FROM t ORDER BY rowid;", "integer\x1fw\ntext\x1ftext"),
            ("a zero byte in a text key", [(s, "utf-8")],
             "CREATE TABLE t(k TEXT PRIMARY KEY, v); INSERT INTO t VALUES ('a','plain'),(CAST(x'610062' AS TEXT),'z');",
             1, None, 1, None, "SELECT hex(k), v FROM t ORDER BY rowid;", "61\x1fplain\n610062\x1fw"),
            ("a blob key beside its X'..' text", [(s, "utf-8")],
             "CREATE TABLE t(k PRIMARY KEY, v); INSERT INTO t VALUES ('X''00FF10''','text'),(x'00ff10','blob');",
             1, None, 1, None, "SELECT typeof(k), v FROM t ORDER BY rowid;", "text\x1ftext\nblob\x1fw"),
            ("NOCASE column under a BINARY key", [(s, "utf-8")],
             "CREATE TABLE t(k TEXT COLLATE NOCASE, v, PRIMARY KEY(k COLLATE BINARY));"
             " INSERT INTO t VALUES ('a','lower'),('A','upper');",
             1, None, 1, None, "SELECT k, v FROM t ORDER BY rowid;", "a\x1flower\nA\x1fw"),
            ("a key the host's code page lacks", [(s, "cp932"), (Maria("MariaDB in cp932", "cp932"), "cp932")],
             "CREATE TABLE t(k VARCHAR(9) PRIMARY KEY, v TEXT); INSERT INTO t VALUES ('寿司?','q'),('寿司🍣','s');",
             "s", None, 1, None, "SELECT k, v FROM t ORDER BY v;", "寿司?\x1fq\n寿司🍣\x1fw"),
            # Named by the key, not by a row version: the same values again
            # are the same row.
            ("a unique key over NOT NULL columns, no primary key; deleted and inserted again",
             [(m, "utf-8"), (p, "utf-8")],
             "CREATE TABLE t(n INTEGER UNIQUE, k INTEGER NOT NULL, v VARCHAR(5), UNIQUE (k));"
             " INSERT INTO t VALUES (NULL,1,'a'),(NULL,2,'b');",
             1, "DELETE FROM t WHERE k = 2; INSERT INTO t VALUES (NULL, 2, 'b');", 1, None,
             "SELECT v FROM t ORDER BY k;", "a\nw"),
            ("the second column of a composite key", [(s, "utf-8"), (m, "utf-8"), (p, "utf-8")],
             "CREATE TABLE t(a INTEGER, b VARCHAR(5), v VARCHAR(5), PRIMARY KEY(a, b));"
             " INSERT INTO t VALUES (1,'x','1x'),(1,'y','1y'),(2,'x','2x');",
             1, None, 1, None, "SELECT a, b, v FROM t ORDER BY a, b;", "1\x1fx\x1f1x\n1\x1fy\x1fw\n2\x1fx\x1f2x"),
            ("a NULL key (SQLite allows one)", [(s, "utf-8")],
             "CREATE TABLE t(k TEXT PRIMARY KEY, v TEXT); INSERT INTO t VALUES (NULL,'n'),('a','x');",
             0, None, 0, NULL_KEY_TEXT, "SELECT v FROM t ORDER BY rowid;", "n\nx"),
            # A freed slot taken by another row: the row version differs.
            # (Block reading holds a snapshot that keeps the slot until the
            # record's first write commits.)
            ("no key; deleted, vacuumed, its slot taken", [(pw, "utf-8"), (pw, "cp932")],
             "CREATE TABLE t(v TEXT); INSERT INTO t VALUES ('a'),('b');", 0,
             "DELETE FROM t WHERE v = 'a'; VACUUM t; INSERT INTO t VALUES ('new');", 0, CHANGED_TEXT,
             "SELECT v, ctid FROM t ORDER BY v;", "b\x1f(0,2)\nnew\x1f(0,1)"),
            # Partitions share ctids: (0,1) in each, of one transaction.
            ("no key; a partitioned table", [(p, "utf-8"), (pw, "utf-8")],
             "CREATE TABLE t(k INTEGER, v TEXT) PARTITION BY RANGE (k);"
             " CREATE TABLE t1 PARTITION OF t FOR VALUES FROM (0) TO (10);"
             " CREATE TABLE t2 PARTITION OF t FOR VALUES FROM (10) TO (20); INSERT INTO t VALUES (1,'a'),(11,'b');",
             "b", None, 1, None, "SELECT k, v FROM t ORDER BY k;", "1\x1fa\n11\x1fw"),
            # The table's own rule: one row written, whatever else it changes.
            ("a trigger that changes another row", [(p, "utf-8")],
             KEYED + " CREATE FUNCTION bump() RETURNS trigger LANGUAGE plpgsql AS"
             " $$BEGIN UPDATE t SET v = 'bumped' WHERE k = 1; RETURN NULL; END$$;"
             " CREATE TRIGGER tr AFTER UPDATE ON t FOR EACH ROW WHEN (NEW.k = 2) EXECUTE FUNCTION bump();",
             1, None, 1, None, "SELECT v FROM t ORDER BY k;", "bumped\nw"),
            ("a trigger that changes another row", [(s, "utf-8")],
             KEYED + " CREATE TRIGGER tr AFTER UPDATE ON t WHEN NEW.k = 2 BEGIN"
             " UPDATE t SET v = 'bumped' WHERE k = 1; END;",
             1, None, 1, None, "SELECT v FROM t ORDER BY k;", "bumped\nw"),
            # Every listed column is compared, the first too.
            ("the first listed column, not the key, changed elsewhere", [(s, "utf-8"), (m, "utf-8"), (p, "utf-8")],
             "CREATE TABLE t(a VARCHAR(5), k INTEGER PRIMARY KEY, v VARCHAR(5)); INSERT INTO t VALUES ('x', 1, 'a');",
             0, "UPDATE t SET a = 'y';", 0, CHANGED_TEXT, "SELECT a, v FROM t;", "y\x1fa"),
            # The check compares stored values, not the texts they read as.
            ("a REAL changed by less than its text shows", [(s, "utf-8")],
             "CREATE TABLE t(k INTEGER PRIMARY KEY, r REAL, v TEXT); INSERT INTO t VALUES (1, 1.0, 'a');", 0,
             "UPDATE t SET r = 1.0000000000000002;", 0, CHANGED_TEXT, "SELECT v FROM t;", "a"),
            ("a FLOAT changed by less than its text shows", [(m, "utf-8")],
             "CREATE TABLE t(k INTEGER PRIMARY KEY, r FLOAT, v TEXT); INSERT INTO t VALUES (1, 1, 'a');", 0,
             "UPDATE t SET r = 1.0000001;", 0, CHANGED_TEXT, "SELECT v FROM t;", "a"),
            ("a character the host lacks, changed to another", [(p, "cp932"), (s, "cp932"), (m, "cp932")],
             "CREATE TABLE t(k INTEGER PRIMARY KEY, e VARCHAR(9), v TEXT); INSERT INTO t VALUES (1, '🍣', 'a');", 0,
             "UPDATE t SET e = '🍺';", 0, CHANGED_TEXT, "SELECT e, v FROM t;", "🍺\x1fa"),
            # What the server did not store as given is never written.
            ("a value strict mode truncates (a warning, no row counted)", [(m, "utf-8")],
             "CREATE TABLE t(k INTEGER PRIMARY KEY, v INT); INSERT INTO t VALUES (1, 10);", 0,
             None, (0, b"5x"), "Data truncated for column 'v' at row 1", "SELECT v FROM t;", "10"),
            ("a conflict rule that would delete another row", [(s, "utf-8")],
             "CREATE TABLE t(k INTEGER PRIMARY KEY, v TEXT UNIQUE ON CONFLICT REPLACE);"
             " INSERT INTO t VALUES (1, 'a'), (2, 'w');", 0,
             None, 0, "UNIQUE constraint failed: t.v (19)", "SELECT k, v FROM t ORDER BY k;", "1\x1fa\n2\x1fw"),
            # Written, and said so, where the row cannot be found again.
            ("a trigger that moves the key", [(m, "utf-8")],
             "CREATE TABLE t(k INTEGER PRIMARY KEY, v TEXT); INSERT INTO t VALUES (1, 'a'), (2, 'b');"
             " CREATE TRIGGER mv BEFORE UPDATE ON t FOR EACH ROW SET NEW.k = OLD.k + 100;", 0,
             None, 1, NOT_READ_AGAIN_TEXT, "SELECT k, v FROM t ORDER BY k;", "2\x1fb\n101\x1fw"),
            ("changed elsewhere after the read", [(s, "utf-8"), (m, "utf-8"), (p, "utf-8")], KEYED, 1,
             "UPDATE t SET v = 'other' WHERE k = 2;", 0, CHANGED_TEXT, "SELECT v FROM t ORDER BY k;", "a\nother"),
            ("deleted elsewhere", [(s, "utf-8"), (m, "utf-8"), (p, "cp932")], KEYED, 1,
             "DELETE FROM t WHERE k = 2;", 0, CHANGED_TEXT, "SELECT v FROM t ORDER BY k;", "a"),
            ("deleted and inserted again", [(s, "utf-8"), (m, "utf-8")], KEYED, 1,
             "DELETE FROM t WHERE k = 2; INSERT INTO t VALUES (2, 'again');", 0, CHANGED_TEXT,
             "SELECT v FROM t ORDER BY k;", "a\nagain"),
        ]
        for what, scenarios, sql, seek, elsewhere, result, text, query, after in cases:
            for d, cp in scenarios:
                with self.subTest(f"{what}: {d.name}, {cp}"):
                    vordex.Close()
                    d.create(sql)
                    os.environ["VORDEX_CONNECT"] = d.connect
                    os.environ["VORDEX_CODEPAGE"] = "932" if cp == "cp932" else "65001"
                    vordex.encoding = cp
                    last = vordex.Open(b"t") - 1
                    self.assertEqual(vordex.OpenRec(), 1)
                    row = seek if isinstance(seek, int) else next(
                        i for i in range(3) if vordex.Seek(i) and vordex.text("GetData", last) == seek)
                    self.assertEqual(vordex.Seek(row), 1)
                    before = vordex.row(last + 1)
                    if elsewhere:
                        d.query(elsewhere)
                    # A result of (0, value) writes that value into the last column.
                    result, value = result if isinstance(result, tuple) else (result, b"w")
                    with self.stderr.capture():
                        self.assertEqual(vordex.Update(last, value), result)
                    if not text or not text.isascii():
                        self.assertEqual(self.stderr.data, message(text, cp) if text else b"")
                    else:  # the server's own words, and the driver's around them
                        self.assertIn(text.encode(), self.stderr.data)
                    self.assertEqual(d.query(query), after)
                    # The record shows the row as written, or as read.
                    self.assertEqual(vordex.row(last + 1), before[:last] + ["w"] if result else before)
                    # The walk goes on from the row, whatever became of it.
                    self.assertEqual(vordex.MoveNext(), 1)

    def test_rows_keep_their_numbers_and_written_rows_read_as_stored(self):
        """Others insert and delete while a record is open: the host writes
        back by row number, twice to the same row, moving away and back
        between the writes; a table without a key (PostgreSQL names its
        rows by version) the same."""
        for d, schema in [(d, "k INTEGER PRIMARY KEY, v VARCHAR(20)") for d in DRIVERS] + [(DRIVERS[0], "k INTEGER, v TEXT")]:
            with self.subTest(f"{d.name}: {schema}"):
                vordex.Close()
                d.create(f"CREATE TABLE t({schema}); INSERT INTO t VALUES (10,'a'),(20,'b'),(30,'c'),(40,'d');")
                os.environ["VORDEX_CONNECT"] = d.connect
                self.assertEqual((vordex.Open(b"t"), vordex.OpenRec()), (2, 1))
                d.query("INSERT INTO t VALUES (15, 'new'); DELETE FROM t WHERE k = 40;")
                with self.stderr.capture():
                    for row in (1, 2, 1, 2):
                        self.assertEqual((vordex.Seek(row), vordex.Update(1, f"{row}-{vordex.text('GetData', 1)}".encode())), (1, 1))
                    self.assertEqual([vordex.Seek(0)] + vordex.row(2), [1, "10", "a"])
                    self.assertEqual([vordex.Seek(2)] + vordex.row(2), [1, "30", "2-2-c"])
                    # Row 3, deleted elsewhere, is still row 3: nothing to write.
                    self.assertEqual((vordex.Seek(3), vordex.Update(1, b"gone")), (1, 0))
                self.assertEqual(self.stderr.data, message(CHANGED_TEXT))
                self.assertEqual(d.query("SELECT k, v FROM t ORDER BY k;"),
                                 "10\x1fa\n15\x1fnew\n20\x1f1-1-b\n30\x1f2-2-c")

    def test_the_keyset_walks_seeks_and_shows_what_others_did(self):
        """Rows read in blocks by key, over more than two blocks, for each
        kind of key the blocks are ordered by: every row once in key order,
        seeks far ahead and back; then a row changed, one deleted, one
        inserted among the rows read and one past the last: read again, the
        block shows the change and the deletion only."""
        p, s, m = DRIVERS
        rows = 2100

        def mixed(i):  # a case-blind collation orders these otherwise than their bytes
            return ("a" if i % 2 else "B") + f"{i:05d}"
        cases = [
            # what, driver, key columns, their order, the key of row i as SQL, a key among the rows, one past
            ("an integer key, negative to positive", p, "k INTEGER PRIMARY KEY", "k", lambda i: str(i * 10 - 10000),
             "31", "999999"),
            ("the second column of a composite key", p, "a INTEGER, b VARCHAR(3), PRIMARY KEY(a, b)", "a, b",
             lambda i: f"{i // 3}, '{'zyx'[i % 3]}'", "1, 'a'", "999999, 'a'"),
            ("a case-blind text key", m, "k VARCHAR(10) COLLATE utf8mb4_general_ci PRIMARY KEY", "k",
             lambda i: f"'{mixed(i)}'", "'a00003x'", "'zzzzz'"),
            ("a FLOAT key", m, "k DOUBLE PRIMARY KEY", "k", lambda i: repr(i / 10 - 50), "-49.65", "1e9"),
            ("a binary key, bytes past 0x7f", m, "k VARBINARY(4) PRIMARY KEY", "k",
             lambda i: f"x'{(i * 97) % 65536:04x}'", "x'0001ff'", "x'ffffff'"),
            ("a BIT key", m, "k BIT(16) PRIMARY KEY", "k", lambda i: str(i * 3), "4", "65535"),
            ("no key: the row number", s, "k INTEGER", "rowid", lambda i: str(i * 10), "31", "999999"),
            ("no key, a column named rowid: the row number", s, "rowid INTEGER", "_rowid_", lambda i: "7", "7", "7"),
            # Sent as the driver's UTF-8, whatever the host's code page.
            ("a key in Japanese, a CP932 host", p, "k VARCHAR(9) PRIMARY KEY", "k", lambda i: f"'表{i:05d}'",
             "'表00003x'", "'表99999'"),
        ]
        for what, d, keys, order, key, among, past in cases:
            with self.subTest(f"{what}: {d.name}"):
                vordex.Close()
                cp932 = "CP932" in what
                os.environ["VORDEX_CODEPAGE"] = "932" if cp932 else "65001"
                vordex.encoding = "cp932" if cp932 else "utf-8"
                d.create(f"CREATE TABLE t({keys}, v VARCHAR(20)); INSERT INTO t VALUES " +
                         ",".join(f"({key(i)}, 'v{i}')" for i in range(rows)) + ";")
                ordered = d.query(f"SELECT v FROM t ORDER BY {order};").split("\n")
                os.environ["VORDEX_CONNECT"] = d.connect
                last = vordex.Open(b"t") - 1
                self.assertEqual(vordex.OpenRec(), 1)
                walked = [vordex.text("GetData", last)]
                while vordex.MoveNext() and not vordex.IsEOF():
                    walked.append(vordex.text("GetData", last))
                self.assertEqual(walked, ordered)
                self.assertEqual([vordex.Seek(rows - 1), vordex.text("GetData", last), vordex.Seek(rows),
                                  vordex.IsEOF(), vordex.Seek(1), vordex.text("GetData", last)],
                                 [1, ordered[-1], 1, 1, 1, ordered[1]])
                if d is p:
                    self.assertFalse(d.reads_in_blocks())
                d.query(f"UPDATE t SET v = 'changed' WHERE v = '{ordered[3]}'; DELETE FROM t WHERE v = '{ordered[5]}';"
                        f" INSERT INTO t VALUES ({among}, 'among'), ({past}, 'past');")
                # Away past the block and back: the block is read again.
                self.assertEqual((vordex.Seek(rows - 1), vordex.Seek(0)), (1, 1))
                values = [vordex.text("GetData", last)]
                while vordex.MoveNext() and not vordex.IsEOF():
                    values.append(vordex.text("GetData", last))
                # The deleted row keeps its number, empty; the new rows are
                # not in the record.
                expected = list(ordered)
                expected[3], expected[5] = "changed", ""
                self.assertEqual(values, expected)
                # The deleted row takes no write, and says why (the keyless
                # table takes none at all).
                with self.stderr.capture():
                    self.assertEqual((vordex.Seek(5), vordex.Update(last, b"w")), (1, 0))
                self.assertEqual(self.stderr.data, b"" if d is s else message(CHANGED_TEXT, vordex.encoding))

    def test_a_table_dropped_or_altered_mid_walk(self):
        """The keyset holds nothing between calls: another session drops or
        alters the table at once (bounded, so that a held lock fails the
        test). A column added leaves the walk as it was; the table or the
        column read gone, the walk fails with the server's words at the
        next block, never ends."""
        bounded = {"PostgreSQL": "SET lock_timeout = '5s';", "SQLite": "PRAGMA busy_timeout = 5000;",
                   "MariaDB": "SET SESSION lock_wait_timeout = 5;"}
        changes = [("DROP TABLE t;", False), ("ALTER TABLE t ADD COLUMN w INTEGER;", True),
                   ("ALTER TABLE t DROP COLUMN v;", False)]
        for d in DRIVERS:
            for change, goes_on in changes:
                with self.subTest(f"{change} {d.name}"):
                    vordex.Close()
                    d.create("CREATE TABLE t(k INTEGER PRIMARY KEY, v VARCHAR(9)); INSERT INTO t VALUES " +
                             ",".join(f"({i}, 'v{i}')" for i in range(2100)) + ";")
                    os.environ["VORDEX_CONNECT"] = d.connect
                    self.assertEqual((vordex.Open(b"t"), vordex.OpenRec()), (2, 1))
                    for _ in range(150):
                        self.assertEqual(vordex.MoveNext(), 1)
                    d.query(bounded[d.name] + change)
                    moved, rows = 1, 151
                    with self.stderr.capture():
                        while moved and not vordex.IsEOF():
                            moved = vordex.MoveNext()
                            rows += moved and not vordex.IsEOF()
                    if goes_on:
                        self.assertEqual((moved, vordex.IsEOF(), rows, self.stderr.data), (1, 1, 2100, b""))
                    else:
                        self.assertEqual((moved, vordex.IsEOF()), (0, 0))
                        self.assertLess(rows, 2100)
                        self.assertTrue(self.stderr.data.startswith(b"VORDEX: "), self.stderr.data)

    def tenfold_keys(self, d):
        """t of 2,100 rows, k = 10 * i and v = 'vi', on driver `d`, which the
        host connects to next."""
        vordex.Close()
        d.create("CREATE TABLE t(k INTEGER PRIMARY KEY, v VARCHAR(9)); INSERT INTO t VALUES " +
                 ",".join(f"({i * 10}, 'v{i}')" for i in range(2100)) + ";")
        os.environ["VORDEX_CONNECT"] = d.connect

    def test_keys_changed_elsewhere(self):
        """Another session moves the current row's key past the last key
        (out of the record) and another row's key of the block held among
        the keys not yet read: the write of the current row is refused; the
        walk shows the held block as read, then the moved row where its new
        key puts it; read again, both old keys are gone rows."""
        for d in DRIVERS:
            with self.subTest(d.name):
                self.tenfold_keys(d)
                self.assertEqual((vordex.Open(b"t"), vordex.OpenRec(), vordex.Seek(5)), (2, 1, 1))
                d.query("UPDATE t SET k = 20995 WHERE k = 50; UPDATE t SET k = 15005 WHERE k = 70;")
                with self.stderr.capture():
                    self.assertEqual(vordex.Update(1, b"w"), 0)
                self.assertEqual(self.stderr.data, message(CHANGED_TEXT, vordex.encoding))
                walked = [vordex.text("GetData", 1)]
                while vordex.MoveNext() and not vordex.IsEOF():
                    walked.append(vordex.text("GetData", 1))
                expected = [f"v{i}" for i in range(5, 2100)]
                expected.insert(expected.index("v1500") + 1, "v7")
                self.assertEqual(walked, expected)
                self.assertEqual([vordex.Seek(0), vordex.Seek(5), vordex.text("GetData", 1), vordex.Seek(7),
                                  vordex.text("GetData", 1), vordex.Seek(2100), vordex.IsEOF()],
                                 [1, 1, "", 1, "", 1, 0])

    def test_keys_the_host_writes_mid_walk(self):
        """Mid-walk the host writes row 50's key below the first key, row
        60's among the keys not yet read and row 99's, the last of the first
        block, below them all: the walk goes on after row 99 as read, shows
        row 60 once, and every row read again keeps its number and values."""
        for d in DRIVERS:
            with self.subTest(d.name):
                self.tenfold_keys(d)
                self.assertEqual((vordex.Open(b"t"), vordex.OpenRec()), (2, 1))
                walked, written = [], {50: b"-5", 60: b"15001", 99: b"-1"}
                with self.stderr.capture():
                    while not vordex.IsEOF():
                        walked.append(vordex.text("GetData", 1))
                        if len(walked) - 1 in written:
                            self.assertEqual(vordex.Update(0, written[len(walked) - 1]), 1)
                        if not vordex.MoveNext():
                            break
                    self.assertEqual(walked, [f"v{i}" for i in range(2100)])
                    self.assertEqual([vordex.Seek(50)] + vordex.row(2) + [vordex.Seek(51)] + vordex.row(2) +
                                     [vordex.Seek(60)] + vordex.row(2) + [vordex.Seek(99)] + vordex.row(2) +
                                     [vordex.Seek(0), vordex.Update(1, b"w0"), vordex.Seek(99),
                                      vordex.Update(1, b"w99")] + vordex.row(2),
                                     [1, "-5", "v50", 1, "510", "v51", 1, "15001", "v60", 1, "-1", "v99",
                                      1, 1, 1, 1, "-1", "w99"])
                self.assertEqual(self.stderr.data, b"")
                self.assertEqual(d.query("SELECT k, v FROM t WHERE k < 1 OR k = 15001 ORDER BY k;"),
                                 "-5\x1fv50\n-1\x1fw99\n0\x1fw0\n15001\x1fv60")

    def test_keys_longer_than_a_chunk_of_the_key_store_holds(self):
        """Keys of 255 characters, 6,000 rows: the keys fill more than one
        chunk of the store, and a row whose key lies in the second is found
        again, read and written."""
        for d in (DRIVERS[0], DRIVERS[2]):
            with self.subTest(d.name):
                vordex.Close()
                key = lambda i: f"{i:05d}" + "x" * 250
                d.create("CREATE TABLE t(k VARCHAR(255) PRIMARY KEY, v VARCHAR(9)); INSERT INTO t VALUES " +
                         ",".join(f"('{key(i)}', 'v{i}')" for i in range(6000)) + ";")
                os.environ["VORDEX_CONNECT"] = d.connect
                self.assertEqual((vordex.Open(b"t"), vordex.OpenRec()), (2, 1))
                walked = [vordex.text("GetData", 1)]
                while vordex.MoveNext() and not vordex.IsEOF():
                    walked.append(vordex.text("GetData", 1))
                self.assertEqual(walked, [f"v{i}" for i in range(6000)])
                self.assertEqual([vordex.Seek(0), vordex.Seek(5100), vordex.text("GetData", 0), vordex.text("GetData", 1),
                                  vordex.Update(1, b"w"), vordex.Seek(5999), vordex.text("GetData", 1)],
                                 [1, 1, key(5100), "v5100", 1, 1, "v5999"])
                self.assertEqual(d.query(f"SELECT v FROM t WHERE k = '{key(5100)}';"), "w")

    def test_a_walk_through_a_pool_in_either_mode(self):
        """Through PgBouncer, two server connections for every client, and
        through pgpool-II, four children that keep a server connection each
        for as long as their client stays. In transaction pooling, between
        calls the walk holds no server connection (a pool with one pinned
        runs out), and a write between blocks and other clients' statements
        move it to other server connections; in session pooling and in
        pgpool-II it keeps one. Either way it reads every row once, with the
        others' change, to the true end, and leaves every server connection
        with the server's own settings."""
        p, rows = DRIVERS[0], 2100
        p.create("CREATE TABLE t(k INTEGER PRIMARY KEY, v VARCHAR(9)); INSERT INTO t VALUES " +
                 ",".join(f"({i}, 'v{i}')" for i in range(rows)) + ";")

        def pooled(port):
            return ["psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", "127.0.0.1", "-p", port, "-d", DB]

        def bouncer_in_use(port, user):  # server connections a client holds
            shown = subprocess.run(pooled(port)[:-2] + ["-U", "postgres", "-d", "pgbouncer", "-c", "SHOW POOLS"],
                                   stdout=subprocess.PIPE, check=True).stdout.decode()
            return sum(int(f[6]) for f in (line.split("|") for line in shown.splitlines()) if f[:2] == [DB, user])

        def pgpool_in_use(port, user):  # asked as postgres, whose own connection is not the user's
            shown = subprocess.run(pooled(port)[:-2] + ["-U", "postgres", "-d", "postgres", "-c", "SHOW pool_pools"],
                                   stdout=subprocess.PIPE, check=True).stdout.decode()
            return sum(int(f[15]) for f in (line.split("|") for line in shown.splitlines()) if f[5:7] == [DB, user])

        def settings_of_every_server_connection(port, user, servers):
            # As many clients at once as the pool has server connections for
            # the user, each in a transaction, hold them all.
            every = [subprocess.Popen(pooled(port) + ["-U", user, "-c", "BEGIN", "-c", "SELECT current_setting("
                                                      "'lock_timeout') || '/' || current_setting('statement_timeout'),"
                                                      " pg_sleep(1)", "-c", "COMMIT"], stdout=subprocess.PIPE)
                     for _ in range(servers)]
            return [c.communicate(timeout=60)[0].decode().split("|")[0].strip() for c in every]

        bouncer, pgpool = host.required_env("VORDEX_TEST_POOL_PORT"), host.required_env("VORDEX_TEST_PGPOOL_PORT")
        for name, port, user, in_use, held, servers in (
                ("transaction", bouncer, host.required_env("PGUSER"), bouncer_in_use, 0, 2),
                ("session", bouncer, host.required_env("VORDEX_TEST_SESSION_POOL_USER"), bouncer_in_use, 1, 2),
                ("pgpool-II", pgpool, host.required_env("PGUSER"), pgpool_in_use, 1, 4)):
            with self.subTest(name):
                vordex.Close()  # a failed row must not leave its connection to the next
                p.query("UPDATE t SET v = 'v' || k;")
                os.environ["VORDEX_CONNECT"] = re.sub(r"Username=\w+", f"Username={user}",
                                                      re.sub(r"Port=\d+", f"Port={port}", p.connect))
                self.assertEqual((vordex.Open(b"t"), vordex.OpenRec()), (2, 1))
                walked = [vordex.text("GetData", 1)]
                for _ in range(150):  # into the second block
                    self.assertEqual(vordex.MoveNext(), 1)
                    walked.append(vordex.text("GetData", 1))
                self.assertEqual(in_use(port, user), held)
                self.assertEqual(p.query("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database()"
                                         " AND state LIKE 'idle in transaction%';"), "0")
                others = subprocess.Popen(["bash", "-c", 'for i in $(seq 20); do "$@" -c "SELECT count(*) FROM t" ||'
                                           ' exit; done', "others"] + pooled(port), stdout=subprocess.DEVNULL)
                subprocess.run(pooled(port) + ["-c", "UPDATE t SET v = 'other' WHERE k = 1500"], check=True)
                self.assertEqual(vordex.Update(1, b"mine"), 1)
                walked[-1] = "mine"
                while vordex.MoveNext() and not vordex.IsEOF():
                    walked.append(vordex.text("GetData", 1))
                self.assertEqual(others.wait(timeout=60), 0)
                expected = [f"v{i}" for i in range(rows)]
                expected[150], expected[1500] = "mine", "other"
                self.assertEqual((walked, vordex.IsEOF()), (expected, 1))
                self.assertEqual([vordex.Seek(0), vordex.text("GetData", 1), vordex.Seek(rows - 1),
                                  vordex.text("GetData", 1), vordex.Seek(rows), vordex.IsEOF()],
                                 [1, "v0", 1, f"v{rows - 1}", 1, 1])
                self.assertEqual(p.query("SELECT v FROM t WHERE k = 150;"), "mine")
                self.assertEqual(in_use(port, user), held)
                vordex.Close()
                self.assertEqual(settings_of_every_server_connection(port, user, servers), ["0/0"] * servers)

    def test_hosts_that_reopen_records_through_a_transaction_pool(self):
        """Three hosts at once through the pool, each opening, writing and
        closing records again and again, in the library's reading and in the
        driver's whole result: no statement of one session's is looked for,
        or found twice, on a server connection another session left."""
        p = DRIVERS[0]
        pool = host.required_env("VORDEX_TEST_POOL_PORT")
        p.create("CREATE TABLE t(k INTEGER PRIMARY KEY, v VARCHAR(9)); INSERT INTO t SELECT g, 'v' || g"
                 " FROM generate_series(0, 199) g;")
        for reading in ("", ";UseDeclareFetch=0"):
            with self.subTest(reading or "the library's reading"):
                env = dict(os.environ, VORDEX_CONNECT=re.sub(r"Port=\d+", f"Port={pool}", p.connect) + reading)
                hosts = [subprocess.Popen([sys.executable, "-c", POOLED_WRITER_CHILD, host.LIBRARY_PATH, str(first)],
                                          env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                         for first in (0, 50, 100)]
                said = [h.communicate(timeout=300) for h in hosts]
                self.assertEqual([(out.decode().strip(), err.decode()) for out, err in said], [("20", "")] * 3)
                self.assertEqual(p.query("SELECT count(*) FROM t WHERE v = 'w' || k;"), "60")
                p.query("UPDATE t SET v = 'v' || k;")

    def test_a_listing_names_tables_of_its_own_data_source(self):
        """Tables listed on one data source and closed, then a table opened
        on another: the listing's schema is not looked in there."""
        p, m = DRIVERS[0], DRIVERS[2]
        for d in (p, m):
            d.create(KEYED)
        os.environ["VORDEX_CONNECT"] = p.connect
        self.assertEqual((vordex.Table(), vordex.text("GetTableList", 0)), (1, "t"))
        vordex.Close()
        os.environ["VORDEX_CONNECT"] = m.connect
        with self.stderr.capture():
            opened = [vordex.Open(b"t"), vordex.OpenRec(), vordex.text("GetData", 1), vordex.Update(1, b"w")]
        self.assertEqual((opened, self.stderr.data), ([2, 1, "a", 1], b""))
        self.assertEqual(m.query("SELECT v FROM t WHERE k = 1;"), "w")

    def test_a_server_that_takes_no_writes_says_so(self):
        p, m = DRIVERS[0], DRIVERS[2]
        cases = [(p, ";ConnSettings=SET default_transaction_read_only%3Don", None),
                 (m, "", "SET GLOBAL read_only = 1;")]
        for d, option, server in cases:
            with self.subTest(d.name):
                vordex.Close()
                d.create(KEYED)
                os.environ["VORDEX_CONNECT"] = d.connect + option
                if server:
                    d.query(server)
                try:
                    self.assertEqual((vordex.Open(b"t"), vordex.OpenRec(), vordex.CanUpdate(1)), (2, 1, 0))
                    with self.stderr.capture():
                        self.assertEqual(vordex.Update(1, b"w"), 0)
                    self.assertEqual(self.stderr.data, message(READ_ONLY_TEXT))
                finally:
                    if server:
                        d.query("SET GLOBAL read_only = 0;")
                self.assertEqual(d.query("SELECT v FROM t ORDER BY k;"), "a\nb")

    def test_binary_as_hex_text_cut_by_characters_and_columns_without_a_type(self):
        wide = "あ" * 12
        for d in DRIVERS:
            with self.subTest(d.name):
                vordex.Close()
                d.create(f"CREATE TABLE c(id INTEGER PRIMARY KEY, b {d.binary}, s VARCHAR(10), u {d.untyped});"
                         f" INSERT INTO c VALUES (1, {d.blob}, 'a', 'x');"
                         f" CREATE TABLE nokey(u {d.untyped}); INSERT INTO nokey VALUES ('x');")
                os.environ["VORDEX_CONNECT"] = d.connect
                self.assertEqual((vordex.Open(b"c"), vordex.OpenRec()), (4, 1))
                # Two lower-case hex digits a byte, whatever the driver gives.
                self.assertEqual(vordex.row(4), ["1", "00ff10", "a", "x"])
                self.assertEqual(vordex.list_text()[1].split(b"\0")[0], b"1\x1e00ff10\x1ea\x1ex\x1e")
                with self.stderr.capture():
                    # The key's own value in another form changes no row:
                    # MariaDB counts no row written, and that is no failure.
                    self.assertEqual([vordex.Update(0, b"01"), vordex.Update(1, b"0A0b"), vordex.Update(1, b"abc"),
                                      vordex.Update(2, wide.encode()), vordex.Update(3, b"u" * 300)], [1, 1, 0, 1, 1])
                self.assertEqual(self.stderr.data, message(BINARY_FORM_TEXT))
                # The bytes themselves (SQLite: a blob), ten characters of
                # twelve, and a column without a type is free text, cut.
                hexed = "encode(b, 'hex')" if d is DRIVERS[0] else "lower(hex(b))"
                self.assertEqual(d.query(f"SELECT {hexed}, s, u FROM c;"), "\x1f".join(["0a0b", "あ" * 10, "u" * 255]))
                if d is DRIVERS[1]:
                    self.assertEqual(d.query("SELECT typeof(b) FROM c;"), "blob")
                self.assertEqual(vordex.row(4), ["1", "0a0b", "あ" * 10, "u" * 255])
                # Without a key SQLite and MariaDB write nothing.
                vordex.CloseRec()
                self.assertEqual((vordex.Open(b"nokey"), vordex.OpenRec()), (1, 1))
                writable = int(d is DRIVERS[0])
                self.assertEqual((vordex.CanUpdate(0), vordex.Update(0, b"y")), (writable, writable))

    def test_a_key_beyond_the_listed_columns_leaves_the_table_read_only(self):
        columns = ", ".join(f"c{i} INTEGER" for i in range(1, 34))
        for d in DRIVERS[1:]:
            with self.subTest(d.name):
                vordex.Close()
                d.create(f"CREATE TABLE wide({columns}, PRIMARY KEY(c33));"
                         f" INSERT INTO wide VALUES ({', '.join(map(str, range(1, 34)))});")
                os.environ["VORDEX_CONNECT"] = d.connect
                self.assertEqual((vordex.Open(b"wide"), vordex.OpenRec()), (33, 1))
                self.assertEqual((vordex.CanUpdate(0), vordex.Update(0, b"7")), (0, 0))
                self.assertEqual(d.query("SELECT c1 FROM wide;"), "1")

    def test_mariadb_waits_end_with_the_query_time_out(self):
        """A row locked elsewhere, and a statement slower than the time-out
        (the driver leaves the time-out alone: the session bounds it)."""
        m = DRIVERS[2]
        vordex.Close()
        m.create(KEYED + "CREATE VIEW slow AS SELECT SLEEP(30) AS s;")
        os.environ["VORDEX_CONNECT"] = m.connect
        holder = subprocess.Popen(["mariadb", "--no-defaults", "-S", host.required_env("MARIA_SOCKET"), "-uroot",
                                   "--batch", "--skip-column-names", "--unbuffered", DB],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        holder.stdin.write(b"BEGIN; UPDATE t SET v = 'held' WHERE k = 1; SELECT 'locked';\n")
        holder.stdin.flush()
        self.assertEqual(holder.stdout.readline(), b"locked\n")
        try:
            self.assertEqual((vordex.Open(b"t"), vordex.OpenRec()), (2, 1))
            with self.stderr.capture():
                self.assertEqual(vordex.Update(1, b"w"), 0)
            self.assertEqual(self.stderr.data, message("Lock wait timeout exceeded; try restarting transaction"))
            self.assertEqual((vordex.Seek(1), vordex.Update(1, b"w")), (1, 1))
        finally:
            holder.communicate(b"ROLLBACK;\n", timeout=60)
        self.assertEqual(m.query("SELECT v FROM t ORDER BY k;"), "a\nw")
        vordex.CloseRec()
        self.assertEqual(vordex.Open(b"slow"), 1)
        with self.stderr.capture():
            self.assertEqual(vordex.OpenRec(), 0)
        self.assertEqual(self.stderr.data, message("Query execution was interrupted (max_statement_time exceeded)"))

    def test_every_mariadb_type_reads_and_writes_back_as_itself(self):
        """Each type as the key and as a column: read, the other column
        written, the column written, the key written; the driver lists BIT
        and UUID as binary. Then a table named outside ASCII over a cp932
        connection, whose key only the server's catalog finds."""
        m = DRIVERS[2]
        cases = [
            # type, the value stored, the value written, how the client reads it
            ("BIT(1)", "0", "1", "{}+0"), ("BIT(8)", "5", "200", "{}+0"),
            ("UUID", "6ccd780c-baba-1026-9564-5b8c656024db", "00000000-0000-0000-0000-0000000000ff", "{}"),
            ("INET6", "::1", "2001:db8::ff", "{}"), ("ENUM('x','y')", "x", "y", "{}"),
            ("SET('a','b')", "a", "a,b", "{}"), ("DECIMAL(6,3)", "1.500", "-2.250", "{}"),
            ("DATETIME(6)", "2024-01-02 03:04:05.123456", "1999-12-31 23:59:59.999999", "{}"),
            ("YEAR", "2024", "1999", "{}"),
        ]
        for kind, stored, written, read in cases:
            with self.subTest(kind):
                vordex.Close()
                m.create(f"CREATE TABLE t(k {kind} PRIMARY KEY, c {kind}, v TEXT);"
                         f" INSERT INTO t VALUES ('{stored}', '{stored}', 'a');".replace("'5'", "5").replace("'0'", "0"))
                os.environ["VORDEX_CONNECT"] = m.connect
                self.assertEqual((vordex.Open(b"t"), vordex.OpenRec(), vordex.CanUpdate(0)), (3, 1, 1))
                self.assertEqual(vordex.row(3), [stored, stored, "a"])
                with self.stderr.capture():
                    self.assertEqual([vordex.Update(2, b"w"), vordex.Update(1, written.encode()),
                                      vordex.Update(0, written.encode())], [1, 1, 1])
                self.assertEqual(self.stderr.data, b"")
                self.assertEqual(vordex.row(3), [written, written, "w"])
                self.assertEqual(m.query(f"SELECT {read.format('k')}, {read.format('c')}, v FROM t;"),
                                 "\x1f".join([written, written, "w"]))
        with self.subTest("a table named in Japanese, cp932"):
            cp932 = Maria("MariaDB in cp932", "cp932")
            self.session(cp932, "cp932")
            cp932.client("CREATE TABLE 商品(番号 INT PRIMARY KEY, 名前 VARCHAR(9)); INSERT INTO 商品 VALUES (1, 'りんご');")
            self.assertEqual((vordex.Open("商品".encode("cp932")), vordex.OpenRec(), vordex.CanUpdate(1)), (2, 1, 1))
            self.assertEqual(vordex.Update(1, "みかん".encode("cp932")), 1)
            self.assertEqual(cp932.query("SELECT 名前 FROM 商品;"), "みかん")

    def test_a_qualifier_names_a_schema_or_no_table(self):
        """SQLite's driver lists the columns of "t" for any owner asked."""
        p, s, m = DRIVERS
        for d, name, count in [(p, "public.t", 2), (p, "other.t", 0), (s, "main.t", 2), (s, "other.t", 0),
                               (s, "x.y.t", 0), (s, "aux.t", 0), (m, "other.t", 0)]:
            with self.subTest(f"{d.name}: {name}"):
                vordex.Close()
                d.create(KEYED)
                os.environ["VORDEX_CONNECT"] = d.connect
                with self.stderr.capture():
                    self.assertEqual((vordex.Open(name.encode()), vordex.OpenRec()), (count, count // 2))
                    self.assertEqual(vordex.Update(1, b"w"), count // 2)
                self.assertEqual(d.query("SELECT v FROM t ORDER BY k;"), "w\nb" if count else "a\nb")

    def test_names_with_pattern_characters_open_themselves_only(self):
        names = ["a\\b", "a\\_b", "a_b", "axb", "a%b"]
        for d in DRIVERS:
            with self.subTest(d.name):
                vordex.Close()
                d.create("".join(f"CREATE TABLE {q(d, name)} (c{i} INTEGER); INSERT INTO {q(d, name)} VALUES ({i});"
                                 for i, name in enumerate(names)))
                os.environ["VORDEX_CONNECT"] = d.connect
                for i, name in enumerate(names):
                    vordex.CloseRec()
                    self.assertEqual((vordex.Open(name.encode()), vordex.text("GetNameList", 0)), (1, f"c{i}"), name)
                    self.assertEqual((vordex.OpenRec(), vordex.text("GetData", 0)), (1, str(i)), name)

    def test_names_longer_than_the_driver_allows_are_refused_before_it_sees_them(self):
        # PostgreSQL allows 63 bytes (and would cut a longer name to another
        # table's); MariaDB's driver overran its stack on 600.
        for d, allowed in zip(DRIVERS, (63, 255, 255)):
            with self.subTest(d.name):
                vordex.Close()
                d.create(KEYED)
                os.environ["VORDEX_CONNECT"] = d.connect
                for length in (allowed, allowed + 1, 600, 10000):
                    with self.stderr.capture():
                        self.assertEqual(vordex.Open(b"t" * length), 0)
                        # A record opened then reads no table: the refused
                        # name never reaches the driver (MariaDB's key listing
                        # overran its stack with it).
                        self.assertEqual(vordex.OpenRec(), 0)
                    self.assertEqual(self.stderr.data.startswith(message(TOO_LONG_TEXT)), length > allowed, length)
                self.assertEqual(vordex.Open(b"t"), 2)
        # A CP932 host's name counts in the driver's UTF-8: 21 表 are 63 bytes
        # there (42 in CP932) and open; 22 are 66 (44 in CP932), refused.
        with self.subTest("PostgreSQL, a CP932 host"):
            p = DRIVERS[0]
            vordex.Close()
            p.create(f"CREATE TABLE {'表' * 21} (k INTEGER PRIMARY KEY, v TEXT);")
            os.environ["VORDEX_CONNECT"], os.environ["VORDEX_CODEPAGE"], vordex.encoding = p.connect, "932", "cp932"
            too_long = message(TOO_LONG_TEXT, "cp932")
            for count, columns in ((21, 2), (22, 0)):
                with self.stderr.capture():
                    self.assertEqual(vordex.Open(("表" * count).encode("cp932")), columns, count)
                    self.assertEqual(vordex.OpenRec(), columns // 2, count)
                self.assertEqual(self.stderr.data[:len(too_long)], too_long if count > 21 else b"", count)
                vordex.CloseRec()

    def test_a_lost_server_is_never_the_end_of_the_rows_and_says_so(self):
        for d, kill in ((DRIVERS[0], "SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                                     f" WHERE datname = '{DB}' AND pid <> pg_backend_pid();"),
                        (DRIVERS[2], None)):
            with self.subTest(d.name):
                vordex.Close()
                d.create("CREATE TABLE many (id INTEGER PRIMARY KEY, v TEXT);\nINSERT INTO many VALUES " +
                         ",".join(f"({i}, 'v{i}')" for i in range(1, 2001)) + ";")
                os.environ["VORDEX_CONNECT"] = d.connect
                self.assertEqual(vordex.Open(b"many"), 2)
                self.assertEqual(vordex.OpenRec(), 1)
                if kill:
                    d.query(kill)
                else:
                    ids = d.client(f"SELECT id FROM information_schema.processlist WHERE db = '{DB}'"
                                   " AND id <> connection_id();")
                    d.client("".join(f"KILL {i};" for i in ids.split()))
                rows, moved = 1, 1
                with self.stderr.capture():
                    while moved and not vordex.IsEOF():
                        moved = vordex.MoveNext()
                        rows += moved and not vordex.IsEOF()
                # A failure with the reason of the first (the next block is
                # read from a server that is gone), then the same words from
                # every later call; opening again connects anew.
                first = self.stderr.data
                self.assertEqual((moved, vordex.IsEOF(), rows < 2000), (0, 0, True))
                self.assertTrue(first.startswith(b"VORDEX: ") and message(LOST_TEXT) not in first, first)
                self.assertNotIn(message(FIXED_TEXT), first)
                with self.stderr.capture():
                    self.assertEqual((vordex.MoveNext(), vordex.Update(1, b"w")), (0, 0))
                self.assertEqual(self.stderr.data, message(LOST_TEXT) * 2)
                self.assertEqual((vordex.Open(b"many"), vordex.OpenRec(), vordex.text("GetData", 1)), (2, 1, "v1"))
                vordex.Close()


class SqliteFiles(unittest.TestCase):
    """What only a file shows: a lock held elsewhere, a file that cannot be
    written, a path with no database; and what a failed connection says."""

    sqlite = DRIVERS[1]

    def setUp(self):
        self.stderr = StandardError()
        self.sqlite.create(schema(self.sqlite))
        os.environ["VORDEX_CONNECT"] = self.sqlite.connect

    def tearDown(self):
        vordex.Close()
        os.environ.pop("VORDEX_CONNECT", None)
        shutil.rmtree(self.sqlite.directory, ignore_errors=True)

    def test_a_locked_file_refuses_the_write_whole(self):
        holder = subprocess.Popen(["sqlite3", self.sqlite.file], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        holder.stdin.write(b"BEGIN IMMEDIATE;\nUPDATE victim SET v = 'held';\nSELECT 'locked';\n")
        holder.stdin.flush()
        self.assertEqual(holder.stdout.readline(), b"locked\n")
        try:
            self.assertEqual(vordex.Open(b"goods"), 6)
            self.assertEqual(vordex.OpenRec(), 1)
            with self.stderr.capture():
                self.assertEqual(vordex.Update(1, b"new"), 0)
            self.assertEqual(self.stderr.data, message("database is locked (5)"))
            self.assertEqual(vordex.text("GetData", 1), "apple")
        finally:
            holder.communicate(b"ROLLBACK;\n", timeout=60)
        self.assertEqual(self.sqlite.query("SELECT name FROM goods WHERE id = 1; SELECT v FROM victim;"),
                         "apple\nkeep")

    def test_a_read_only_file_refuses_the_write(self):
        os.chmod(self.sqlite.file, 0o444)
        os.chmod(self.sqlite.directory, 0o755)
        # Root writes any file: the host runs as nobody, with a copy of the
        # library it can read (the build may lie in root's own home).
        library = shutil.copy(host.LIBRARY_PATH, self.sqlite.directory)
        child = subprocess.run(
            [sys.executable, "-c", READ_ONLY_CHILD, library], stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, timeout=120, check=False, preexec_fn=lambda: os.setresuid(65534, 65534, 65534))
        self.assertEqual((child.returncode, child.stdout), (0, b"1 1 0 apple\n"), child.stderr)
        self.assertEqual(child.stderr, message("attempt to write a readonly database (8)"))
        self.assertEqual(self.sqlite.query("SELECT name FROM goods WHERE id = 1;"), "apple")

    def test_a_failed_connection_says_why(self):
        missing = os.path.join(self.sqlite.directory, "missing.db")
        text_file = os.path.join(self.sqlite.directory, "notes.txt")
        with open(text_file, "w", encoding="ascii") as out:
            out.write("not a database, only text\n" * 100)
        maria = host.required_env("VORDEX_TEST_MARIA_DRIVER")
        missing_by_dsn = os.path.join(os.path.dirname(host.required_env("VORDEX_TEST_SQLITE_FILE")), "missing.db")
        cases = [
            # connect string, the message's start
            (f"DRIVER={{SQLite3}};Database={missing}", message(NO_FILE_TEXT + "\n" + missing)),
            (f"DRIVER={{SQLite3}};Database={missing}/nested.db", message(NO_FILE_TEXT + "\n" + missing + "/nested.db")),
            (f"DRIVER={{SQLite3}};Database={text_file}", message("file is not a database (26)")),
            # The path is the data source's own setting, in odbc.ini.
            ("DSN=VordexSqliteMissing", message(NO_FILE_TEXT + "\n" + missing_by_dsn)),
            # MariaDB's driver said "Dialog failed" in place of the reason.
            (maria + ";Password=wrong", b"VORDEX: Access denied for user 'root'@'localhost' (using password: YES)"),
            (re.sub(r"Port=\d+", "Port=1", maria), b"VORDEX: Can't connect to server on '127.0.0.1'"),
        ]
        for connect, shown in cases:
            with self.subTest(connect):
                os.environ["VORDEX_CONNECT"] = connect
                with self.stderr.capture():
                    self.assertEqual(vordex.Table(), 0)
                self.assertTrue(self.stderr.data.startswith(shown), self.stderr.data)
        # Nothing was made where no file was.
        self.assertFalse(os.path.exists(missing) or os.path.exists(missing_by_dsn))

# The private ODBC configuration is the test user's alone: the driver is
# named by its file, which unixODBC finds in its driver directory.
# A host that opens a record, writes its own rows one by one ("w" and the
# row's key: the driver's own cursor reads rows in no key order) and closes
# it again, connecting anew now and then; prints how many writes returned 1.
POOLED_WRITER_CHILD = r"""
import ctypes, sys
lib = ctypes.CDLL(sys.argv[1])
lib.VORDEX_GetData.restype = ctypes.c_char_p
first, written = int(sys.argv[2]), 0
for i in range(20):
    if lib.VORDEX_Open(b"t") == 2 and lib.VORDEX_OpenRec() == 1 and lib.VORDEX_Seek(first + i) == 1:
        written += lib.VORDEX_Update(1, b"w" + lib.VORDEX_GetData(0))
    lib.VORDEX_CloseRec()
    if i % 5 == 4:
        lib.VORDEX_Close()
print(written)
"""

READ_ONLY_CHILD = r"""
import ctypes, os, sys
os.environ["VORDEX_CONNECT"] = os.environ["VORDEX_CONNECT"].replace("{SQLite3}", "libsqlite3odbc.so")
lib = ctypes.CDLL(sys.argv[1])
lib.VORDEX_GetData.restype = ctypes.c_char_p
print(lib.VORDEX_Open(b"goods") // 6, lib.VORDEX_OpenRec(), lib.VORDEX_Update(1, b"new"),
      lib.VORDEX_GetData(1).decode())
"""


class Replicas(unittest.TestCase):
    """A hot standby of the private PostgreSQL cluster and a three-node
    MariaDB Galera cluster (scripts/pg_standby.sh, scripts/galera.sh): what
    a host reads and writes through a replica, a promoted replica, two nodes
    at once and a node that dies mid-call."""

    DB = "vordex_host_replicas"
    SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")
    # A host writing its own column of rows 0..N-1 through one node; prints
    # each write's result.
    WRITER = r"""
import ctypes, sys
lib = ctypes.CDLL(sys.argv[1])
column, value, rows = int(sys.argv[2]), sys.argv[3].encode(), int(sys.argv[4])
assert (lib.VORDEX_Open(b"t"), lib.VORDEX_OpenRec()) == (3, 1)
print(*[lib.VORDEX_Seek(i) and lib.VORDEX_Update(column, b"%s%d" % (value, i)) for i in range(rows)])
"""

    def setUp(self):
        self.stderr = StandardError()

    def tearDown(self):
        vordex.Close()
        os.environ.pop("VORDEX_CONNECT", None)

    def connect(self, connect):
        """A host that connects anew and lists the tables (its one table t)."""
        vordex.Close()
        os.environ["VORDEX_CONNECT"] = connect
        self.assertEqual(vordex.Table(), 1)

    def script(self, name, *args):
        subprocess.run(["bash", os.path.join(self.SCRIPTS, name)] + list(args), check=True, capture_output=True)

    def bounded(self, call, meanwhile=lambda: None):
        """`call`'s result; runs `meanwhile` while it is under way. Fails
        unless the call returns within two minutes: it must never hang."""
        done = []
        thread = threading.Thread(target=lambda: done.append(call()), daemon=True)
        thread.start()
        meanwhile()
        thread.join(120)
        self.assertFalse(thread.is_alive(), "the call did not return within 120 s")
        return done[0]

    def until(self, check, what):
        for _ in range(600):
            if check():
                return
            time.sleep(0.1)
        self.fail(f"not within 60 s: {what}")

    # ---- the hot standby
    def standby(self, sql, db=None):
        result = subprocess.run(["psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-p",
                                 host.required_env("VORDEX_TEST_STANDBY_PORT"), "-d", db or self.DB],
                                input=sql.encode(), capture_output=True, check=True)
        return result.stdout.decode().rstrip("\n")

    def replayed(self):
        lsn = host.psql(host.required_env("PGDATABASE"), "SELECT pg_current_wal_lsn();")
        self.until(lambda: self.standby(f"SELECT pg_last_wal_replay_lsn() >= '{lsn}';", "postgres") == "t",
                   "the standby replays " + lsn)

    def standby_database(self, sql):
        return re.sub(r"Port=\d+", "Port=" + host.required_env("VORDEX_TEST_STANDBY_PORT"),
                      host.fresh_database(self.DB, sql))

    def test_a_hot_standby_reads_what_the_primary_committed_and_refuses_writes(self):
        rows, digest = 2100, "SELECT md5(string_agg(k || v, ',' ORDER BY k)) FROM t;"
        # No vacuum removes a row version a walk on the standby still reads.
        connect = self.standby_database(
            f"CREATE TABLE t(k INTEGER PRIMARY KEY, v TEXT) WITH (autovacuum_enabled = off);"
            f" INSERT INTO t SELECT g, 'v' || g FROM generate_series(0, {rows - 1}) g;")
        # The reading; whether it is the library's keyset, which walks in key
        # order and shows a commit made once the record is open (the
        # driver's walks in the order of the table's pages, same on both).
        for options, keyset in (("", True), (";UseDeclareFetch=1;Fetch=100", False)):
            with self.subTest(options or "the library's keyset"):
                vordex.Close()
                host.psql(self.DB, "UPDATE t SET v = 'v' || k WHERE k = 1500;")
                self.replayed()
                pages = host.psql(self.DB, "SELECT v FROM t;").split("\n")
                self.connect(connect + options)
                with self.stderr.capture():
                    self.assertEqual((vordex.Open(b"t"), vordex.OpenRec(), vordex.CanUpdate(1)), (2, 1, 0))
                    host.psql(self.DB, "UPDATE t SET v = 'later' WHERE k = 1500;")
                    self.replayed()
                    walked = [vordex.text("GetData", 1)]
                    while vordex.MoveNext() and not vordex.IsEOF():
                        walked.append(vordex.text("GetData", 1))
                    walked.append(vordex.IsEOF())
                    seeks = [(vordex.Seek(i), vordex.text("GetData", 1)) for i in (rows - 1, 0, 1500)]
                self.assertEqual(self.stderr.data, b"")
                expected = [f"v{i}" if i != 1500 else "later" for i in range(rows)] if keyset else pages
                self.assertEqual(walked, expected + [1])
                self.assertEqual(seeks, [(1, expected[-1]), (1, expected[0]), (1, expected[1500])])
                before = host.psql(self.DB, digest)
                with self.stderr.capture():
                    self.assertEqual(vordex.Update(1, b"w"), 0)
                self.assertEqual(self.stderr.data, message(READ_ONLY_TEXT))
                self.assertEqual((host.psql(self.DB, digest), self.standby(digest)), (before, before))
                self.assertEqual(vordex.text("GetData", 1), expected[1500])

    def test_a_promoted_standby_takes_writes_once_the_host_reconnects(self):
        connect = self.standby_database(KEYED)
        self.replayed()
        self.connect(connect)
        # A standby again for what runs next, once tearDown has closed.
        self.addCleanup(self.script, "pg_standby.sh", "start", host.required_env("VORDEX_PG_DIR"))
        self.assertEqual((vordex.Open(b"t"), vordex.OpenRec(), vordex.CanUpdate(1)), (2, 1, 0))
        self.script("pg_standby.sh", "promote", host.required_env("VORDEX_PG_DIR"))
        self.assertEqual(self.standby("SELECT pg_is_in_recovery();"), "f")
        # The record opened on the standby: stored if and only if said so.
        with self.stderr.capture():
            stale = vordex.Update(1, b"stale")
        self.assertEqual(self.standby("SELECT v FROM t WHERE k = 1;") == "stale", stale == 1, self.stderr.data)
        with self.stderr.capture():
            self.connect(connect)
            self.assertEqual([vordex.Open(b"t"), vordex.OpenRec(), vordex.CanUpdate(1), vordex.Seek(1),
                              vordex.Update(1, b"promoted"), vordex.Seek(0), vordex.Seek(1)] + vordex.row(2),
                             [2, 1, 1, 1, 1, 1, 1, "2", "promoted"])
        self.assertEqual(self.stderr.data, b"")
        self.assertEqual(self.standby("SELECT v FROM t WHERE k = 2;"), "promoted")
        self.assertEqual(host.psql(self.DB, "SELECT v FROM t ORDER BY k;"), "a\nb")

    # ---- the Galera cluster
    def node(self, number, sql, db=None):
        """SQL on a node through its socket, once the node has applied what
        the cluster committed before."""
        socket = os.path.join(host.required_env("VORDEX_TEST_GALERA_DIR"), f"node{number}", "socket")
        result = subprocess.run(["mariadb", "--no-defaults", "-S", socket, "-uroot", "--batch", "--skip-column-names",
                                 db or self.DB], input=("SET SESSION wsrep_sync_wait = 1;" + sql).encode(),
                                capture_output=True, check=False)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.decode().rstrip("\n")

    def galera_table(self, rows):
        """t: k, a and b, of `rows` rows, on every node before any host reads
        it. A write of 'slow' into a sleeps ten seconds on the node it is
        made on."""
        self.node(1, f"DROP DATABASE IF EXISTS {self.DB}; CREATE DATABASE {self.DB}; USE {self.DB};"
                     " CREATE TABLE t(k INTEGER PRIMARY KEY, a VARCHAR(20), b VARCHAR(20));"
                     " CREATE TRIGGER slow BEFORE UPDATE ON t FOR EACH ROW SET @s = IF(NEW.a = 'slow', SLEEP(10), 0);"
                     f" INSERT INTO t SELECT seq, CONCAT('a', seq), CONCAT('b', seq) FROM seq_0_to_{rows - 1};", "mysql")
        self.assertEqual([self.node(n, "SELECT count(*) FROM t;") for n in (1, 2, 3)], [str(rows)] * 3)

    def through(self, number):
        port = host.required_env("VORDEX_TEST_GALERA_PORTS").split()[number - 1]
        return re.sub(r"Port=\d+", "Port=" + port, host.required_env("VORDEX_TEST_GALERA_DRIVER")).replace(
            "Database=vordex_test", "Database=" + self.DB)

    def sleeping_on(self, number):
        self.until(lambda: self.node(number, "SELECT count(*) FROM information_schema.processlist"
                                             " WHERE state = 'User sleep';") == "1", f"a write sleeps on node {number}")

    def test_galera_writes_said_done_are_on_every_node_and_conflicts_fail(self):
        rows = 300
        self.galera_table(rows)
        hosts = [subprocess.Popen([sys.executable, "-c", self.WRITER, host.LIBRARY_PATH, str(column), f"h{node}-",
                                   str(rows)], env=dict(os.environ, VORDEX_CONNECT=self.through(node)),
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE) for node, column in ((1, 1), (2, 2))]
        said = [h.communicate(timeout=300) for h in hosts]
        results = [[int(r) for r in out.split()] for out, _ in said]
        self.assertEqual([len(r) for r in results], [rows, rows], said)
        # Each column holds its host's write where the host was told so, the
        # value before elsewhere; every refusal says why; every node agrees.
        expected = "\n".join(f"{i}\t" + "\t".join(f"h{n + 1}-{i}" if results[n][i] else f"{c}{i}"
                                                   for n, c in enumerate("ab")) for i in range(rows))
        self.assertEqual([self.node(n, "SELECT * FROM t ORDER BY k;") for n in (1, 2, 3)], [expected] * 3)
        for (_, err), result in zip(said, results):
            self.assertGreater(sum(result), 0)
            self.assertEqual(err.count(b"VORDEX: "), result.count(0), err)
        # A write the other node commits first while this one's is under
        # way: refused as the deadlock it is, the other's value everywhere.
        for mine, other in ((1, 2), (3, 1)):
            with self.subTest(f"node {mine} against node {other}"):
                self.connect(self.through(mine))
                self.assertEqual((vordex.Open(b"t"), vordex.OpenRec(), vordex.Seek(mine)), (3, 1, 1))
                with self.stderr.capture():
                    written = self.bounded(lambda: vordex.Update(1, b"slow"), lambda: (
                        self.sleeping_on(mine), self.node(other, f"UPDATE t SET a = 'other' WHERE k = {mine};")))
                self.assertEqual((written, self.stderr.data.count(b"VORDEX: ")), (0, 1))
                self.assertIn(b"Deadlock found", self.stderr.data)
                self.assertEqual([self.node(n, f"SELECT a FROM t WHERE k = {mine};") for n in (1, 2, 3)], ["other"] * 3)

    def test_a_galera_node_killed_mid_call(self):
        """Node 3 dies (SIGKILL) between the calls of a walk or inside a
        write: the call fails with a message, a write said done just before
        is on the other nodes, the one under way nowhere, and a host that
        reconnects to node 2 reads and writes on. Node 3 joins again."""
        rows, nodes = 2100, host.required_env("VORDEX_TEST_GALERA_DIR")

        def kill():
            with open(os.path.join(nodes, "node3", "server.pid"), encoding="ascii") as pid:
                os.kill(int(pid.read()), signal.SIGKILL)

        def walk():
            moved, read = 1, 151
            while moved and not vordex.IsEOF():
                moved = vordex.MoveNext()
                read += moved and not vordex.IsEOF()
            return moved, read
        cases = [  # what, before the call, the call (its result, rows read), while it is under way
            ("between the calls of a walk", kill, walk, lambda: None),
            ("inside a write", lambda: None, lambda: (vordex.Update(1, b"slow"), 0),
             lambda: (self.sleeping_on(3), kill())),
        ]
        for what, before, call, meanwhile in cases:
            with self.subTest(what):
                try:
                    self.galera_table(rows)
                    self.connect(self.through(3))
                    self.assertEqual((vordex.Open(b"t"), vordex.OpenRec()), (3, 1))
                    for _ in range(150):
                        self.assertEqual(vordex.MoveNext(), 1)
                    self.assertEqual(vordex.Update(2, b"done"), 1)
                    before()
                    with self.stderr.capture():
                        result, read = self.bounded(call, meanwhile)
                    # Never an early end of the rows, nor a write said done.
                    self.assertEqual((result, read < rows), (0, True))
                    self.assertTrue(self.stderr.data.startswith(b"VORDEX: "), self.stderr.data)
                    self.until(lambda: self.node(1, "SHOW STATUS LIKE 'wsrep_cluster_size';").endswith("\t2"),
                               "the cluster goes on without node 3")
                    row = ["150", "a150", "done"]
                    self.assertEqual([self.node(n, "SELECT * FROM t WHERE k = 150;") for n in (1, 2)],
                                     ["\t".join(row)] * 2)
                    self.connect(self.through(2))
                    self.assertEqual([vordex.Open(b"t"), vordex.OpenRec(), vordex.Seek(150)] + vordex.row(3) +
                                     [vordex.Update(2, b"after"), vordex.Seek(rows - 1), vordex.text("GetData", 2)],
                                     [3, 1, 1] + row + [1, 1, f"b{rows - 1}"])
                    self.assertEqual([self.node(n, "SELECT b FROM t WHERE k = 150;") for n in (1, 2)], ["after"] * 2)
                finally:
                    vordex.Close()
                    self.script("galera.sh", "start", os.path.dirname(nodes))


if __name__ == "__main__":
    host.main()
