#!/usr/bin/python3
"""Reads one table through each client, several times, each run a fresh
process, and prints the median wall time and peak memory side by side.

    clients.py --repetitions N --table T --sqlite FILE --build DIR

Needs the environment of scripts/lib.sh's private cluster (PG*, MARIA_*,
VORDEX_TEST_MARIA_DRIVER, ODBCSYSINI). Every client writes the rows to
/dev/null; a client that fails is reported as such, never timed.
"""
import argparse
import os
import statistics
import subprocess
import sys

PYODBC_READ = r"""
import sys, pyodbc
connection = pyodbc.connect(sys.argv[1], autocommit=True)
cursor = connection.cursor()
cursor.execute("SELECT * FROM " + sys.argv[2])
out = sys.stdout
for row in cursor:
    out.write("\t".join("" if v is None else str(v) for v in row) + "\n")
"""


def run(peak, command, env=None, stdin=None):
    """Wall seconds and peak resident MiB of one run of `command`, or None."""
    result = subprocess.run([peak] + command, input=(stdin or "").encode(), stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, env=env, check=False)
    errors = result.stderr.decode("utf-8", "replace").rstrip("\n").split("\n")
    _, wall, kib, status = errors[-1].split()
    if status != "0" or any("error" in line.lower() for line in errors[:-1]):
        sys.stderr.write(f"{command[0]} failed ({status}): {' '.join(errors[:-1])[:300]}\n")
        return None
    return float(wall), int(kib) / 1024.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--table", required=True)
    parser.add_argument("--sqlite", required=True)
    parser.add_argument("--build", required=True)
    options = parser.parse_args()
    env = dict(os.environ, VORDEX_DIALOG="stderr")
    table = options.table
    pg = (f"DRIVER={{PostgreSQL ANSI}};Servername={env['PGHOST']};Port={env['PGPORT']};"
          f"Database={env['PGDATABASE']};Username={env['PGUSER']}")
    sources = {
        "PostgreSQL": pg,
        "SQLite": f"DRIVER={{SQLite3}};Database={options.sqlite}",
        "MariaDB": env["VORDEX_TEST_MARIA_DRIVER"],
    }
    maria = ["mariadb", "--no-defaults", "-S", env["MARIA_SOCKET"], "-uroot", env["MARIA_DATABASE"], "-B"]
    native = {
        "PostgreSQL": (["psql", "-X", "-q", "-c", f"\\copy (SELECT * FROM {table}) TO STDOUT"], None, "psql \\copy"),
        "SQLite": (["sqlite3", "-batch", options.sqlite, f"SELECT * FROM {table};"], None, "sqlite3"),
        "MariaDB": (maria + ["-e", f"SELECT * FROM {table}"], None, "mariadb"),
    }
    host = os.path.join(options.build, "bench", "vordex_read_table")
    peak = os.path.join(options.build, "bench", "vordex_peak")
    cli = os.path.join(options.build, "tools", "vordex", "vordex")
    clients = [
        ("VORDEX, a C host (ListText)", lambda s, c: ([host, table], dict(env, VORDEX_CONNECT=c), None)),
        ("vordex rows (CSV)", lambda s, c: ([cli, "--connect", c, "rows", table], env, None)),
        ("native client", lambda s, c: (native[s][0], env, None)),
        ("isql (unixODBC)", lambda s, c: (["isql", "-b", "-k", c], env, f"SELECT * FROM {table}\n")),
        # pyodbc reads psqlODBC's ANSI driver's numbers as a type it lacks: it
        # is used with the Unicode driver, as its users do.
        ("pyodbc", lambda s, c: ([sys.executable, "-c", PYODBC_READ,
                                  c.replace("{PostgreSQL ANSI}", "{PostgreSQL Unicode}"), table], env, None)),
    ]
    results = {}
    for name, make in clients:
        for source, connect in sources.items():
            command, command_env, stdin = make(source, connect)
            sys.stderr.write(f"{name}, {source}: ")
            runs = []
            for round_number in range(options.repetitions + 1):  # the first is a warm-up
                sys.stderr.write("." if round_number else "w")
                sys.stderr.flush()
                figures = run(peak, command, command_env, stdin)
                if figures is None:
                    runs = None
                    break
                if round_number:
                    runs.append(figures)
            sys.stderr.write("\n")
            results[(name, source)] = None if runs is None else (
                statistics.median(r[0] for r in runs), max(r[1] for r in runs))

    print(f"\nReading {table} whole, to /dev/null: median wall time of {options.repetitions} runs "
          f"(each a fresh process) and the highest peak memory\n")
    header = "| client | " + " | ".join(f"{s} s | {s} MiB" for s in sources) + " |"
    print(header)
    print("|---|" + "---:|" * (2 * len(sources)))
    for name, _ in clients:
        cells = []
        for source in sources:
            figures = results[(name, source)]
            label = native[source][2] if name == "native client" else None
            cells += ["failed", ""] if figures is None else [f"{figures[0]:.2f}", f"{figures[1]:.1f}"]
            if label and figures is not None:
                cells[-2] = f"{figures[0]:.2f} ({label})"
        print(f"| {name} | " + " | ".join(cells) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
