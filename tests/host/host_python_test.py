#!/usr/bin/python3
"""The shared library as a Python host sees it: loaded with ctypes and driven
against databases of the private PostgreSQL cluster, which this test creates
with psql and reads back with psql and pyodbc to know what to expect.

    host_python_test.py PATH/TO/libvordex.so [unittest arguments]

The library path may also come from VORDEX_LIBRARY. Needs the environment of
scripts/with_cluster.sh; every test fails when it is missing.
"""
import contextlib
import ctypes
import os
import select
import signal
import subprocess
import sys
import tempfile
import time
import unittest

LIBRARY_PATH = os.environ.get("VORDEX_LIBRARY", "")

FIXED_TEXT = "ODBCﾄﾞﾗｲﾊﾞで回復できないエラーが発生しました."
NO_FIELD_TEXT = "フィールドが見つかりません.\r\n\r\nODBC32,ODBCﾄﾞﾗｲﾊﾞ,ﾃﾞｰﾀﾍﾞｰｽﾌｧｲﾙ名等を確認して下さい"
INSIDE_TEXT = " 内に"
SYSTEM_TABLE_FILTER = "'SYSTEM TABLE','VIEW','SYNONYM'"


def message(text, encoding="utf-8"):
    """A message as the library writes it with VORDEX_DIALOG=stderr, in the
    host's code page: a "VORDEX: " line for every line of the text, blank
    lines dropped."""
    lines = [line for line in text.replace("\r", "\n").split("\n") if line]
    return "".join("VORDEX: " + line + "\n" for line in lines).encode(encoding)


def required_env(name):
    value = os.environ.get(name, "")
    if not value:
        raise AssertionError(f"{name} is not set: run this test through scripts/with_cluster.sh or scripts/test.sh")
    return value


def psql(db, sql):
    """Runs SQL through psql against database `db`; returns its unaligned,
    tuples-only output (fields split by 0x1F, NULL as "") without the final
    newline."""
    result = subprocess.run(
        ["psql", "-X", "-q", "-A", "-t", "-F", "\x1f", "-v", "ON_ERROR_STOP=1", "-d", db],
        input=sql.encode("utf-8"), stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if result.returncode != 0:
        raise AssertionError(f"psql failed on {db}: {result.stderr.decode('utf-8', 'replace')}")
    return result.stdout.decode("utf-8").rstrip("\n")


def fresh_database(db, setup):
    """Drops and creates `db`, runs `setup` in it and returns a connect
    string for it."""
    psql(required_env("PGDATABASE"),
         f"SET client_min_messages = warning;\nDROP DATABASE IF EXISTS {db} WITH (FORCE);\nCREATE DATABASE {db};\n")
    if setup:
        psql(db, setup)
    return connect_string(db)


def connect_string(db):
    base = required_env("VORDEX_TEST_PG_DRIVER")
    if "Database=vordex_test" not in base:
        raise AssertionError(f"VORDEX_TEST_PG_DRIVER names no Database=vordex_test: {base}")
    return base.replace("Database=vordex_test", f"Database={db}")


def sessions_on(db):
    return int(psql(required_env("PGDATABASE"), f"SELECT count(*) FROM pg_stat_activity WHERE datname = '{db}';"))


def sessions_after_close(db):
    """The server notices a closed session a moment after the client closes
    it: polls a bounded number of times and returns the count last seen."""
    count = sessions_on(db)
    for _ in range(200):
        if count == 0:
            break
        time.sleep(0.05)
        count = sessions_on(db)
    return count


class Vordex:
    """The library's functions with their C signatures."""

    TEXTS = ("GetTableList", "GetDirName", "GetNameList", "GetData")

    def __init__(self, path):
        self.lib = ctypes.CDLL(path)
        signatures = {
            "GetVersion": (ctypes.c_int, []),
            "IsOpen": (ctypes.c_int, []),
            "Close": (None, []),
            "Table": (ctypes.c_int, []),
            "GetTableList": (ctypes.c_char_p, [ctypes.c_int]),
            "GetDirName": (ctypes.c_char_p, []),
            "Open": (ctypes.c_int, [ctypes.c_char_p]),
            "GetNameList": (ctypes.c_char_p, [ctypes.c_int]),
            "OpenRec": (ctypes.c_int, []),
            "CloseRec": (None, []),
            "IsEOF": (ctypes.c_int, []),
            "MoveNext": (ctypes.c_int, []),
            "Seek": (ctypes.c_int, [ctypes.c_int]),
            "GetData": (ctypes.c_char_p, [ctypes.c_int]),
            "ListText": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_int]),
            "CanUpdate": (ctypes.c_int, [ctypes.c_int]),
            "Update": (ctypes.c_int, [ctypes.c_int, ctypes.c_char_p]),
        }
        for name, (restype, argtypes) in signatures.items():
            function = getattr(self.lib, "VORDEX_" + name)
            function.restype = restype
            function.argtypes = argtypes
            setattr(self, name, function)

    # The host's code page, which the texts are decoded from.
    encoding = "utf-8"

    def text(self, name, *args):
        """A text function's answer decoded from the host's code page; a
        null pointer fails the test's comparison as None."""
        value = getattr(self, name)(*args)
        return None if value is None else value.decode(self.encoding)

    def table_names(self, count):
        return [self.text("GetTableList", i) for i in range(count)]

    def row(self, count):
        return [self.text("GetData", i) for i in range(count)]

    def list_text(self, size=4096):
        buffer = ctypes.create_string_buffer(size)
        result = self.ListText(buffer, size)
        return result, buffer.raw


class StandardError:
    """Collects what is written to file descriptor 2 while active."""

    def __init__(self):
        self.data = b""

    @contextlib.contextmanager
    def capture(self):
        sys.stderr.flush()
        saved = os.dup(2)
        with tempfile.TemporaryFile() as file:
            os.dup2(file.fileno(), 2)
            try:
                yield self
            finally:
                sys.stderr.flush()
                os.dup2(saved, 2)
                os.close(saved)
                file.seek(0)
                self.data = file.read()


vordex = None


def setUpModule():
    global vordex
    for name in ("PGHOST", "PGPORT", "PGUSER", "PGDATABASE", "ODBCSYSINI", "ODBCINI", "VORDEX_TEST_PG_DRIVER"):
        required_env(name)
    if not LIBRARY_PATH:
        raise AssertionError("no library: pass its path as the first argument or in VORDEX_LIBRARY")
    os.environ["VORDEX_DIALOG"] = "stderr"
    os.environ["VORDEX_MESSAGES"] = "ja"  # the texts compared here, whatever the locale
    os.environ.pop("VORDEX_CODEPAGE", None)
    vordex = Vordex(LIBRARY_PATH)


def load_library():
    """setUpModule of the other host tests: checks the environment and
    returns the loaded library."""
    setUpModule()
    return vordex


def main():
    """Runs the calling test module; a first argument that is not an option
    is the library's path."""
    global LIBRARY_PATH
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        LIBRARY_PATH = sys.argv.pop(1)
    unittest.main(verbosity=2)


class HostSession(unittest.TestCase):
    def setUp(self):
        self.stderr = StandardError()

    def tearDown(self):
        vordex.Close()
        os.environ.pop("VORDEX_CONNECT", None)

    def test_typical_host_session_reads_what_psql_reads(self):
        db = "vordex_host_py_typical"
        os.environ["VORDEX_CONNECT"] = fresh_database(db, """
            CREATE TABLE 商品 (id serial PRIMARY KEY, 名前 text, 廃止 text, 分類 varchar(20), 価格 numeric(10,2),
                在庫 integer, 重さ double precision, 入荷日 date, 更新 timestamp, 番号 bigint, 有効 boolean);
            ALTER TABLE 商品 DROP COLUMN 廃止;
            INSERT INTO 商品 (名前, 分類, 価格, 在庫, 重さ, 入荷日, 更新, 番号, 有効) VALUES
                ('りんご', '果物', 120.50, 30, 0.1, '2024-01-02', '2024-01-02 03:04:05', 9007199254740993, true),
                ('ｶﾀｶﾅ半角', NULL, 0, -5, 1e100, '1999-12-31', '2000-02-29 23:59:59', -1, false),
                (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
                ('"引用" と \\ と ''', 'x', 99999999.99, 2147483647, -0.25, '0001-01-01', '1970-01-01 00:00:00',
                 0, true);
            CREATE TABLE "受注 明細" (id serial PRIMARY KEY, 品名 text);
            INSERT INTO "受注 明細" (品名) VALUES ('一'), ('二');
            CREATE TABLE zz_log (id serial PRIMARY KEY, line text);
            CREATE VIEW 一覧 AS SELECT 名前 FROM 商品;
            """)
        # The driver lists the tables of the schema by name, bytewise.
        expected_tables = psql(db, """
            SELECT relname FROM pg_class WHERE relnamespace = 'public'::regnamespace AND relkind = 'r'
             ORDER BY relname COLLATE "C";""").split("\n")
        self.assertEqual(expected_tables, ["zz_log", "受注 明細", "商品"])
        expected_columns = psql(db, """
            SELECT attname FROM pg_attribute WHERE attrelid = '商品'::regclass AND attnum > 0 AND NOT attisdropped
             ORDER BY attnum;""").split("\n")
        self.assertEqual(len(expected_columns), 10)
        # Booleans come through psqlODBC as 1 and 0.
        expected_rows = [line.split("\x1f") for line in psql(db, f"""
            SELECT {", ".join(f'"{c}"' for c in expected_columns if c != "有効")}, "有効"::int
              FROM 商品 ORDER BY id;""").split("\n")]
        self.assertEqual(len(expected_rows), 4)

        with self.stderr.capture():
            self.assertEqual(vordex.GetVersion(), 0x20070)
            self.assertEqual(vordex.Table(), 3)
            self.assertEqual(vordex.table_names(4), expected_tables + [""])
            self.assertEqual(vordex.text("GetDirName"), db)

            self.assertEqual(vordex.Open("商品".encode("utf-8")), len(expected_columns))
            self.assertEqual([vordex.text("GetNameList", i) for i in range(11)], expected_columns + [""])
            self.assertEqual(vordex.OpenRec(), 1)
            rows, lists = [], []
            while not vordex.IsEOF() and len(rows) <= len(expected_rows):
                rows.append(vordex.row(len(expected_columns)))
                lists.append(vordex.list_text())
                self.assertEqual(vordex.MoveNext(), 1)
            self.assertEqual(rows, expected_rows)
            for values, (count, buffer) in zip(expected_rows, lists):
                text = "".join(v + "\x1e" for v in values).encode("utf-8")
                self.assertEqual((count, buffer[:len(text) + 1]), (len(values), text + b"\0"))
            vordex.CloseRec()
            self.assertNotEqual(vordex.IsEOF(), 0)

            # A name with a space, read the same way.
            self.assertEqual(vordex.Open("受注 明細".encode("utf-8")), 2)
            self.assertEqual(vordex.OpenRec(), 1)
            self.assertEqual(vordex.row(2), ["1", "一"])
            self.assertEqual(vordex.Seek(1), 1)
            self.assertEqual(vordex.row(2), ["2", "二"])
            vordex.Close()
            self.assertEqual(vordex.IsOpen(), 0)
            self.assertEqual(vordex.text("GetData", 0), "")
        self.assertEqual(self.stderr.data, b"")
        self.assertEqual(sessions_after_close(db), 0)

    def test_views_only_lists_what_the_driver_lists_for_system_tables_and_views(self):
        import pyodbc

        db = "vordex_host_py_views"
        os.environ["VORDEX_CONNECT"] = fresh_database(db, """
            CREATE VIEW aa_first AS SELECT 1 AS x;
            CREATE VIEW 一覧 AS SELECT 'あ'::text AS y;
            """)
        connection = pyodbc.connect(os.environ["VORDEX_CONNECT"])
        try:
            connection.setdecoding(pyodbc.SQL_CHAR, encoding="utf-8")
            cursor = connection.cursor()
            self.assertEqual(cursor.tables(tableType="'TABLE'").fetchall(), [])
            listed = cursor.tables(tableType=SYSTEM_TABLE_FILTER).fetchall()
        finally:
            connection.close()
        self.assertGreater(len(listed), 32)
        # psqlODBC puts its system tables before the views.
        self.assertEqual(listed[0].table_type, "SYSTEM TABLE")
        self.assertIn(("public", "aa_first", "VIEW"),
                      [(row.table_schem, row.table_name, row.table_type) for row in listed])
        expected = [row.table_name for row in listed[:32]]

        with self.stderr.capture():
            self.assertEqual(vordex.Table(), 32)
            self.assertEqual(vordex.table_names(33), expected + [""])
            self.assertEqual(vordex.text("GetDirName"), listed[0].table_cat)
        self.assertEqual(self.stderr.data, b"")
        self.assertEqual(listed[0].table_cat, db)

    def test_table_twice_replaces_the_list_and_the_connection(self):
        first, second = "vordex_host_py_first", "vordex_host_py_second"
        first_connect = fresh_database(first, "".join(
            f"CREATE TABLE {name} (id serial PRIMARY KEY);\n" for name in ("a3", "a1", "a2")))
        second_connect = fresh_database(second, "CREATE TABLE b1 (id serial PRIMARY KEY, v text);\n")

        with self.stderr.capture():
            os.environ["VORDEX_CONNECT"] = first_connect
            self.assertEqual(vordex.Table(), 3)
            self.assertEqual(vordex.table_names(4), ["a1", "a2", "a3", ""])
            self.assertEqual(vordex.text("GetDirName"), first)
        self.assertEqual(self.stderr.data, b"")
        self.assertGreaterEqual(sessions_on(first), 1)

        with self.stderr.capture():
            os.environ["VORDEX_CONNECT"] = second_connect
            self.assertEqual(vordex.Table(), 1)
            self.assertEqual(vordex.table_names(4), ["b1", "", "", ""])
            self.assertEqual(vordex.text("GetDirName"), second)
            self.assertEqual(vordex.IsOpen(), 1)
        self.assertEqual(self.stderr.data, b"")
        # The first connection is closed, not left behind.
        self.assertEqual(sessions_after_close(first), 0)
        self.assertGreaterEqual(sessions_on(second), 1)

        # Names are now looked up in the second database.
        with self.stderr.capture():
            self.assertEqual(vordex.Open(b"a1"), 0)
        self.assertEqual(self.stderr.data, message(second + "-a1" + INSIDE_TEXT + NO_FIELD_TEXT))
        with self.stderr.capture():
            self.assertEqual(vordex.Open(b"b1"), 2)
        self.assertEqual(self.stderr.data, b"")

        # A listing that cannot connect leaves no names of the last one; the
        # driver's own text is shown.
        missing = "vordex_host_py_missing"
        psql(required_env("PGDATABASE"), f"SET client_min_messages = warning;\nDROP DATABASE IF EXISTS {missing};\n")
        with self.stderr.capture():
            os.environ["VORDEX_CONNECT"] = connect_string(missing)
            self.assertEqual(vordex.Table(), 0)
            self.assertEqual(vordex.table_names(2), ["", ""])
        self.assertTrue(self.stderr.data.startswith(b"VORDEX: "), self.stderr.data)
        self.assertIn(f'database "{missing}" does not exist'.encode(), self.stderr.data)
        self.assertEqual(self.stderr.data.count(b"VORDEX: "), 1, self.stderr.data)
        self.assertEqual(sessions_after_close(second), 0)

    def test_dir_name_follows_the_connection(self):
        db = "vordex_host_py_dirname"
        os.environ["VORDEX_CONNECT"] = fresh_database(db, "CREATE TABLE t (id serial PRIMARY KEY);\n")
        with self.stderr.capture():
            vordex.Close()
            steps = [("no connection object", vordex.text("GetDirName"))]
            self.assertEqual(vordex.Table(), 1)
            steps.append(("listed", vordex.text("GetDirName")))
            self.assertEqual(vordex.Open(b"t"), 1)
            self.assertEqual(vordex.OpenRec(), 1)
            steps.append(("record open", vordex.text("GetDirName")))
            vordex.Close()
            steps.append(("closed", vordex.text("GetDirName")))
        self.assertEqual(steps, [("no connection object", ""), ("listed", db), ("record open", db), ("closed", "")])
        self.assertEqual(self.stderr.data, b"")


# Run in a child process of its own session: no controlling terminal, so the
# data-source menu cannot be shown and counts as cancelled.
CANCEL_CHILD = r"""
import ctypes, os, sys
try:
    os.close(os.open("/dev/tty", os.O_RDWR))
    terminal = True
except OSError:
    terminal = False
lib = ctypes.CDLL(sys.argv[1])
lib.VORDEX_GetTableList.restype = ctypes.c_char_p
listed = lib.VORDEX_Table()
print(terminal, listed, lib.VORDEX_IsOpen(), lib.VORDEX_GetTableList(0))
"""


class CancelledChoice(unittest.TestCase):
    def test_without_a_terminal_the_choice_is_cancelled_silently(self):
        for dialog in ("stderr", None):
            with self.subTest(VORDEX_DIALOG=dialog):
                env = {k: v for k, v in os.environ.items() if k not in ("VORDEX_CONNECT", "VORDEX_DIALOG")}
                if dialog is not None:
                    env["VORDEX_DIALOG"] = dialog
                child = subprocess.run([sys.executable, "-c", CANCEL_CHILD, LIBRARY_PATH], env=env,
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                       start_new_session=True, timeout=120, check=False)
                self.assertEqual((child.returncode, child.stdout, child.stderr), (0, b"False 0 1 b''\n", b""))


TERMINAL_CHILD = r"""
import ctypes, sys
lib = ctypes.CDLL(sys.argv[1])
print("returned", lib.VORDEX_Open(b"evil\x1b]0;owned\x07\x1b[2J"), flush=True)
"""


class TerminalBox(unittest.TestCase):
    def test_the_terminal_box_waits_for_enter_and_shows_controls_as_text(self):
        # A child with a terminal of its own, as a user at a console has.
        connect = required_env("VORDEX_TEST_PG_DRIVER")
        pid, terminal = os.forkpty()
        if pid == 0:
            os.environ.update(VORDEX_DIALOG="tty", VORDEX_MESSAGES="en", VORDEX_CONNECT=connect)
            os.execv(sys.executable, [sys.executable, "-c", TERMINAL_CHILD, LIBRARY_PATH])

        def read_until(text):
            shown = b""
            while text not in shown and select.select([terminal], [], [], 60)[0]:
                shown += os.read(terminal, 4096)
            return shown

        shown = read_until(b"press Enter")
        self.assertNotIn(b"returned", shown)  # the call waits for the answer
        os.write(terminal, b"\n")
        shown += read_until(b"returned 0")
        os.kill(pid, signal.SIGKILL)  # a child still waiting ends here
        os.waitpid(pid, 0)
        # The name's escape sequences arrive as text, never as controls.
        self.assertIn(b"[VORDEX] evil\\x1B]0;owned\\x07\\x1B[2J", shown)
        self.assertNotIn(b"\x1b", shown)
        self.assertIn(b"returned 0", shown)


if __name__ == "__main__":
    main()
