#!/usr/bin/python3
"""Calls that wait on the server come back while it still does not answer:
a row lock held by another session, a backend frozen with SIGSTOP, a proxy
in front of PostgreSQL or MariaDB that stops forwarding. Each call
returns 0 with a message, nothing is written, and the next session works.
These tests wait for the library's time-out (15 s) and its few seconds more.

    bounded_waits_pg_test.py PATH/TO/libvordex.so [unittest arguments]
"""
import contextlib
import glob
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import host_python_test as host
from host_python_test import StandardError, fresh_database, psql

DB = "vordex_host_waits"
# Far beyond the time-out and its grace: a call still waiting then would wait
# for as long as the server stays silent.
HANG = 60
# The watch cuts a server silent for the query time-out and five seconds.
NO_ANSWER = "VORDEX: サーバーから 20 秒間応答がないため, 接続を切りました.\n"
LOST = "VORDEX: サーバーとの接続が切れています. 開き直して下さい.\n"

vordex = None


def setUpModule():
    global vordex
    vordex = host.load_library()


def backend_pid():
    return int(psql(host.required_env("PGDATABASE"),
                    f"SELECT pid FROM pg_stat_activity WHERE datname = '{DB}' AND backend_type = 'client backend';"))


PROXY = r"""
import socket, sys, threading
def pump(source, sink):
    try:
        while data := source.recv(65536):
            sink.sendall(data)
    except OSError:
        pass
    for s in (source, sink):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
listener = socket.create_server(("127.0.0.1", 0))
print(listener.getsockname()[1], flush=True)
while True:
    client = listener.accept()[0]
    server = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
    for a, b in ((client, server), (server, client)):
        threading.Thread(target=pump, args=(a, b), daemon=True).start()
"""


class TcpProxy:
    """A process of its own, as a pooler or a tunnel is, that forwards every
    connection made to 127.0.0.1:port to the server's port."""

    def __init__(self, server_port):
        self.process = subprocess.Popen([sys.executable, "-c", PROXY, str(server_port)], stdout=subprocess.PIPE)
        self.port = int(self.process.stdout.readline())

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.process.kill()
        self.process.wait()
        self.process.stdout.close()

    def frozen(self):
        """While in it, the proxy forwards nothing: a server gone silent."""
        pid = self.process.pid

        class Frozen:
            def __enter__(self):
                os.kill(pid, signal.SIGSTOP)

            def __exit__(self, *exc):
                os.kill(pid, signal.SIGCONT)

        return Frozen()


class BoundedWaits(unittest.TestCase):
    def setUp(self):
        os.environ["VORDEX_CONNECT"] = fresh_database(DB, """
            CREATE TABLE t (id serial PRIMARY KEY, v text);
            INSERT INTO t (v) SELECT 'v' || g FROM generate_series(1, 100) g;""")
        self.stderr = StandardError()
        self.assertEqual(vordex.Open(b"t"), 2)
        self.assertEqual(vordex.OpenRec(), 1)

    def tearDown(self):
        vordex.Close()
        os.environ.pop("VORDEX_CONNECT", None)

    def returns_while(self, call, silent):
        """Runs `call` while `silent` keeps the server from answering; its
        result and message, or a failure when it is still waiting after HANG
        seconds (the server is then let go, so the test itself ends)."""
        outcome = {}
        with self.stderr.capture():
            worker = threading.Thread(target=lambda: outcome.setdefault("result", call()))
            with silent():
                worker.start()
                worker.join(HANG)
                returned = not worker.is_alive()
            worker.join()
        self.assertTrue(returned, "the call waited as long as the server was silent")
        return outcome["result"], self.stderr.data.decode("utf-8")

    def test_a_row_lock_held_elsewhere(self):
        class Locked:
            def __enter__(self):
                self.holder = subprocess.Popen(
                    ["psql", "-X", "-q", "-d", DB, "-c",
                     "BEGIN; SELECT * FROM t WHERE id = 1 FOR UPDATE; SELECT pg_sleep(300);"],
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                while psql(DB, "SELECT count(*) FROM pg_locks l JOIN pg_class c ON c.oid = l.relation"
                               " WHERE c.relname = 't' AND l.mode = 'RowShareLock';") == "0":
                    time.sleep(0.1)

            def __exit__(self, *exc):
                psql(DB, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                         " WHERE datname = current_database() AND query LIKE '%pg_sleep(300)%'"
                         " AND pid <> pg_backend_pid();")
                self.holder.wait()

        result, shown = self.returns_while(lambda: vordex.Update(1, b"written"), Locked)
        self.assertEqual(result, 0)
        # The write's own transaction bounds its lock waits.
        self.assertIn("canceling statement due to lock timeout", shown)
        self.assertEqual(psql(DB, "SELECT v FROM t WHERE id = 1;"), "v1")
        # The server ended the statement: the session goes on.
        self.assertEqual(vordex.text("GetData", 1), "v1")
        self.assertEqual(vordex.Update(1, b"written"), 1)
        self.assertEqual(psql(DB, "SELECT v FROM t WHERE id = 1;"), "written")

    def test_a_view_slower_than_the_time_out_says_so(self):
        # No statement time-out of the session (a pool would hand it on to
        # other clients): the watch ends the wait, and says so.
        psql(DB, "CREATE VIEW slow AS SELECT pg_sleep(30)::text AS s;")
        vordex.CloseRec()
        self.assertEqual(vordex.Open(b"slow"), 1)
        result, shown = self.returns_while(vordex.OpenRec, contextlib.nullcontext)
        self.assertEqual((result, shown), (0, NO_ANSWER))
        # Opening again connects anew, and nothing of the bounds stays on the server.
        self.assertEqual((vordex.Open(b"t"), vordex.OpenRec(), vordex.text("GetData", 1)), (2, 1, "v1"))
        self.assertEqual(psql(DB, "SELECT DISTINCT current_setting('lock_timeout') || current_setting('statement_timeout')"
                                  " FROM pg_stat_activity WHERE datname = current_database();"), "00")

    def frozen(self):
        pid = backend_pid()

        class Frozen:
            def __enter__(self):
                os.kill(pid, signal.SIGSTOP)

            def __exit__(self, *exc):
                os.kill(pid, signal.SIGCONT)

        return Frozen

    def walk(self):
        for _ in range(200):
            if not vordex.MoveNext():
                return 0
        return 1

    def test_a_frozen_server(self):
        # Over a Unix-domain socket the kernel keeps no time of the last byte:
        # the call's own time is the silence.
        unix = re.sub(r"Servername=[^;]*", "Servername=" + host.required_env("VORDEX_PG_DIR") + "/socket",
                      os.environ["VORDEX_CONNECT"])
        # Read through psqlODBC's declared cursor, a record mid-walk holds a
        # cursor and a transaction that its close ends on the server: the
        # close is cut as well, and the next call says the connection is lost.
        calls = (("walk", "", self.walk, NO_ANSWER), ("write", "", lambda: vordex.Update(1, b"written"), NO_ANSWER),
                 ("close", ";UseDeclareFetch=1", lambda: (vordex.CloseRec(), vordex.OpenRec())[1], LOST))
        for how, connect in (("TCP", os.environ["VORDEX_CONNECT"]), ("a Unix-domain socket", unix)):
            for what, reading, call, message in calls:
                with self.subTest(how=how, what=what):
                    os.environ["VORDEX_CONNECT"] = connect + reading
                    vordex.Close()
                    self.assertEqual((vordex.Open(b"t"), vordex.OpenRec()), (2, 1))
                    result, shown = self.returns_while(call, self.frozen())
                    self.assertEqual((result, shown), (0, message))
                    self.assertEqual(psql(DB, "SELECT count(*) FROM t WHERE v = 'written';"), "0")
                    # Once the server answers again, so does the next session.
                    vordex.Close()
                    self.assertEqual(vordex.Open(b"t"), 2)
                    self.assertEqual(vordex.OpenRec(), 1)
                    self.assertEqual(vordex.row(2), ["1", "v1"])

    def test_a_frozen_server_behind_a_proxy(self):
        # A pooler or a tunnel in between: the server names the proxy's port
        # as the client's, and the library knows its socket by the address
        # it connected to.
        with TcpProxy(int(host.required_env("PGPORT"))) as proxy:
            vordex.Close()
            os.environ["VORDEX_CONNECT"] = re.sub(r"Port=\d+", f"Port={proxy.port}", os.environ["VORDEX_CONNECT"])
            self.assertEqual((vordex.Open(b"t"), vordex.OpenRec()), (2, 1))
            result, shown = self.returns_while(lambda: vordex.Update(1, b"written"), self.frozen())
            self.assertEqual((result, shown[:8]), (0, "VORDEX: "))
            vordex.Close()
        self.assertEqual(psql(DB, "SELECT count(*) FROM t WHERE v = 'written';"), "0")

    def test_a_login_behind_a_full_pool(self):
        # Session pooling, two server connections, both held by hosts that
        # never close their records: a login waits in the pool's queue.
        pool = re.sub(r"Username=\w+", "Username=" + host.required_env("VORDEX_TEST_SESSION_POOL_USER"),
                      re.sub(r"Port=\d+", "Port=" + host.required_env("VORDEX_TEST_POOL_PORT"),
                             os.environ["VORDEX_CONNECT"]))
        holder = ("import ctypes, sys; library = ctypes.CDLL(sys.argv[1]);"
                  "print(library.VORDEX_Open(b't'), library.VORDEX_OpenRec(), flush=True); sys.stdin.read()")
        holders = [subprocess.Popen([sys.executable, "-c", holder, host.LIBRARY_PATH], env=dict(os.environ,
                                    VORDEX_CONNECT=pool), stdin=subprocess.PIPE, stdout=subprocess.PIPE)
                   for _ in range(2)]
        try:
            self.assertEqual([h.stdout.readline() for h in holders], [b"2 1\n"] * 2)
            vordex.Close()
            os.environ["VORDEX_CONNECT"] = pool
            result, shown = self.returns_while(vordex.Table, contextlib.nullcontext)
            self.assertEqual((result, shown), (0, NO_ANSWER))
        finally:
            for h in holders:
                h.communicate()
        # A server connection free again takes the next login.
        self.assertEqual((vordex.Open(b"t"), vordex.OpenRec(), vordex.text("GetData", 1)), (2, 1, "v1"))

    def test_a_silent_mariadb_server(self):
        # MariaDB's driver waits for good at connect and on every statement.
        def maria(sql):
            return subprocess.run(["mariadb", "--no-defaults", "-S", host.required_env("MARIA_SOCKET"), "-uroot",
                                   "-N", "-B", host.required_env("MARIA_DATABASE"), "-e", sql],
                                  stdout=subprocess.PIPE, check=True).stdout.decode().strip()

        maria("CREATE OR REPLACE TABLE waits (id INT PRIMARY KEY, v TEXT); INSERT INTO waits VALUES (1, 'v1');")
        driver = host.required_env("VORDEX_TEST_MARIA_DRIVER")
        odbc_ini = host.required_env("ODBCINI")
        # However the connection names its server: the watch finds the socket
        # where the driver connected.
        named = [("a connect string", lambda port: re.sub(r"Port=\d+", f"Port={port}", driver), True),
                 ("values in braces", lambda port: re.sub(r"Server=([^;]*);Port=\d+", f"Server={{\\1}};Port={{{port}}}",
                                                         driver), False),
                 ("a DSN", lambda port: "DSN=VordexMariaProxy", False),
                 # Known by what it is, not by what it is called.
                 ("the driver named by its file", lambda port: re.sub(r"Port=\d+", f"Port={port}", driver).replace(
                     "DRIVER={MariaDB Unicode}", "Driver=" + glob.glob("/usr/lib/*/odbc/libmaodbc.so")[0]), True)]
        with tempfile.TemporaryDirectory(prefix="vordex-odbc-") as directory:
            for how, connect, connects_too in named:
                with self.subTest(how), TcpProxy(int(host.required_env("MARIA_PORT"))) as proxy:
                    vordex.Close()
                    # The DSN's settings name the proxy's port; the connect string only the DSN.
                    os.environ["ODBCINI"] = os.path.join(directory, "odbc.ini")
                    with open(odbc_ini) as given, open(os.environ["ODBCINI"], "w") as ini:
                        ini.write(given.read() + "\n[VordexMariaProxy]\nDriver=MariaDB Unicode\nServer=127.0.0.1\n"
                                  f"Port={proxy.port}\nDatabase={host.required_env('MARIA_DATABASE')}\nUser=root\n")
                    os.environ["VORDEX_CONNECT"] = connect(proxy.port)
                    try:
                        self.assertEqual((vordex.Open(b"waits"), vordex.OpenRec()), (2, 1))
                        calls = [("write", lambda: vordex.Update(1, b"written"))]
                        if connects_too:
                            calls.append(("connect", lambda: (vordex.Close(), vordex.Table())[1]))
                        for what, call in calls:
                            result, shown = self.returns_while(call, proxy.frozen)
                            self.assertEqual((what, result, shown[:8]), (what, 0, "VORDEX: "))
                    finally:
                        vordex.Close()
                        os.environ["ODBCINI"] = odbc_ini
        self.assertEqual(maria("SELECT v FROM waits;"), "v1")

    def test_sockets_of_a_host_thread_are_never_watched(self):
        # A host thread opens sockets while the library connects and keeps
        # talking on them: the watch must neither adopt them (their traffic
        # would hide the frozen server) nor shut them down.
        listener = socket.create_server(("127.0.0.1", 0))
        stop = threading.Event()
        pairs = []

        def talk():
            while not stop.is_set():
                if len(pairs) < 40:
                    pairs.append((socket.create_connection(listener.getsockname()), listener.accept()[0]))
                for ours, theirs in pairs:
                    theirs.sendall(b"x")
                    ours.recv(1)
                time.sleep(0.01)

        talker = threading.Thread(target=talk)
        talker.start()
        try:
            vordex.Close()
            while len(pairs) < 5:
                time.sleep(0.01)
            self.assertEqual((vordex.Open(b"t"), vordex.OpenRec()), (2, 1))
            result, shown = self.returns_while(lambda: vordex.Update(1, b"written"), self.frozen())
            self.assertEqual((result, shown[:8]), (0, "VORDEX: "))
            stop.set()
            talker.join()
            # Every socket of the host still carries its traffic.
            for ours, theirs in pairs:
                ours.sendall(b"y")
                self.assertEqual(theirs.recv(1), b"y")
        finally:
            stop.set()
            talker.join()
            for pair in pairs:
                pair[0].close()
                pair[1].close()
            listener.close()

if __name__ == "__main__":
    host.main()
