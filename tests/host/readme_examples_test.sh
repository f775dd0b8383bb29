#!/usr/bin/env bash
# The examples of the README: README.md holds each file of examples/ verbatim
# in a fenced block, and both examples, built and run against a table made
# here, print that table; and every connect string that README.md and
# `vordex --help` show connects, with Debian's driver names.
#   readme_examples_test.sh PATH/TO/libvordex.so SOURCE_DIR PATH/TO/vordex [C_COMPILER]
# Needs the environment of scripts/with_cluster.sh.
set -uo pipefail
(($# >= 3)) || { echo "usage: readme_examples_test.sh LIBRARY SOURCE_DIR VORDEX [C_COMPILER]" >&2; exit 2; }
library=$(realpath -- "$1") source_dir=$(realpath -- "$2") cli=$(realpath -- "$3") cc=${4:-cc}
python=/usr/bin/python3
for name in PGHOST PGPORT PGUSER PGDATABASE ODBCSYSINI VORDEX_TEST_PG_DRIVER MARIA_SOCKET MARIA_PORT; do
  [[ -n ${!name:-} ]] || { echo "FAILED: $name is not set: run through scripts/with_cluster.sh" >&2; exit 1; }
done

passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok: $*"; }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }
work=$(mktemp -d /tmp/vordex-readme.XXXXXX)
trap 'rm -rf -- "$work"' EXIT

# (a) Each example appears whole between a fence line and its closing fence.
for example in examples/read_table.c examples/read_table.py examples/read_table_windows.c; do
  if "$python" - "$source_dir/README.md" "$source_dir/$example" <<'PY'; then
import sys
readme = open(sys.argv[1], encoding="utf-8").read().split("\n")
wanted = open(sys.argv[2], encoding="utf-8").read()
blocks, block, fence = [], None, None
for line in readme:
    stripped = line.strip()
    if block is None and stripped.startswith("```"):
        block, fence = [], stripped[:len(stripped) - len(stripped.lstrip("`"))]
    elif block is not None and stripped == fence:
        blocks.append("\n".join(block) + "\n")
        block = None
    elif block is not None:
        block.append(line)
sys.exit(0 if wanted in blocks else 1)
PY
    pass "README.md holds $example in a fenced block"
  else
    fail "README.md holds no fenced block equal to $example"
  fi
done

# (b) Both examples print the same table.
db=vordex_host_readme
psql -X -q -v ON_ERROR_STOP=1 -d "$PGDATABASE" >/dev/null <<SQL || { fail "cannot create $db"; exit 1; }
SET client_min_messages = warning;
DROP DATABASE IF EXISTS $db WITH (FORCE);
CREATE DATABASE $db;
SQL
psql -X -q -v ON_ERROR_STOP=1 -d "$db" >/dev/null <<'SQL' || { fail "cannot fill $db"; exit 1; }
CREATE TABLE fruit (id serial PRIMARY KEY, name text, price integer);
INSERT INTO fruit (name, price) VALUES ('apple', 120), ('みかん', NULL), ('', 0);
CREATE TABLE basket (id serial PRIMARY KEY);
-- A schema that sorts before public: its table is listed first.
CREATE SCHEMA audit;
CREATE TABLE audit.log (id serial PRIMARY KEY, line text);
SQL
export VORDEX_CONNECT=${VORDEX_TEST_PG_DRIVER/Database=vordex_test/Database=$db}
export VORDEX_DIALOG=stderr VORDEX_LIBRARY=$library
unset VORDEX_CODEPAGE

tab=$'\t'
expected_fruit="3 tables:
  log
  basket
  fruit
fruit: 3 columns
id${tab}name${tab}price
1${tab}apple${tab}120
2${tab}みかん${tab}
3${tab}${tab}0"
expected_basket="3 tables:
  log
  basket
  fruit
basket: 1 columns
id"
expected_nosuch="3 tables:
  log
  basket
  fruit"
nosuch_message="VORDEX: $db-nosuch 内にフィールドが見つかりません.
VORDEX: ODBC32,ODBCﾄﾞﾗｲﾊﾞ,ﾃﾞｰﾀﾍﾞｰｽﾌｧｲﾙ名等を確認して下さい"

libdir=$(dirname -- "$library")
if "$cc" -std=c11 -Wall -Wextra -Werror -I "$source_dir/include" "$source_dir/examples/read_table.c" \
    -L "$libdir" -lvordex -Wl,-rpath,"$libdir" -o "$work/read_table"; then
  pass "examples/read_table.c compiles cleanly"
else
  fail "examples/read_table.c does not compile cleanly"
fi

# run NAME EXPECTED_STATUS EXPECTED_STDOUT EXPECTED_STDERR COMMAND...
run() {
  local what=$1 status=$2 out=$3 err=$4 actual_status
  shift 4
  "$@" >"$work/out" 2>"$work/err" </dev/null
  actual_status=$?
  # $(...) drops final newlines on both sides alike.
  if [[ $actual_status == "$status" && $(cat "$work/out") == "$out" && $(cat "$work/err") == "$err" ]]; then
    pass "$what"
  else
    fail "$what: status $actual_status (expected $status)"
    echo "--- stdout"; cat -A "$work/out"; echo "--- expected"; printf '%s\n' "$out" | cat -A
    echo "--- stderr"; cat -A "$work/err"; echo "--- expected"; printf '%s\n' "$err" | cat -A
  fi
}

for example in c python; do
  if [[ $example == c ]]; then command=("$work/read_table"); else command=("$python" "$source_dir/examples/read_table.py"); fi
  run "$example example reads fruit" 0 "$expected_fruit" "" "${command[@]}" fruit
  run "$example example reads an empty table" 0 "$expected_basket" "" "${command[@]}" basket
  run "$example example on an unknown table" 1 "$expected_nosuch" "$nosuch_message" "${command[@]}" nosuch
done

# (c) The build lines of the examples' comments, exactly as written, from the
# top of the source tree (when the library under test is build/'s).
if [[ $library -ef $source_dir/build/libvordex.so.2 ]]; then
  cc_line=$(sed -n 's/^ \*   \(cc examples\/read_table.c .*\)$/\1/p' "$source_dir/examples/read_table.c")
  py_line=$(sed -n 's/^    VORDEX_CONNECT=DSN=Sales \(VORDEX_LIBRARY=.*\) customers"""$/\1/p' "$source_dir/examples/read_table.py")
  if [[ -n $cc_line ]] && (cd "$source_dir" && eval "$cc_line" && LD_LIBRARY_PATH=build ./read_table fruit >"$work/out" &&
      rm -f read_table) && [[ $(tail -n 1 "$work/out") == "3${tab}${tab}0" ]]; then
    pass "the C example's build line works as written"
  else
    fail "the C example's build line: '$cc_line'"
  fi
  if [[ -n $py_line ]] && (cd "$source_dir" && eval "env $py_line fruit" >"$work/out") &&
      [[ $(tail -n 1 "$work/out") == "3${tab}${tab}0" ]]; then
    pass "the Python example's command line works as written"
  else
    fail "the Python example's command line: '$py_line'"
  fi
fi

# (d) Every connect string of README.md and of `vordex --help` names a
# driver as Debian's own /etc/odbcinst.ini defines it, and connects to the
# private servers as written, with only the placeholders (host, port,
# database, user, password) filled in.
printf 'CREATE TABLE fruit (id INTEGER PRIMARY KEY);\n' | sqlite3 -bail "$work/readme.db"
mariadb --no-defaults -S "$MARIA_SOCKET" -uroot \
  -e "DROP DATABASE IF EXISTS $db; CREATE DATABASE $db; CREATE TABLE $db.fruit (id INT PRIMARY KEY)" ||
  fail "cannot create the MariaDB database $db"
"$cli" --help >"$work/help" || fail "vordex --help exits $?"
while IFS=$'\t' read -r origin connect; do
  if [[ $origin == FAILED ]]; then
    fail "$connect"
  elif "$cli" --connect "$connect" tables >"$work/out" 2>&1 </dev/null && grep -qx fruit "$work/out"; then
    pass "$origin: $connect"
  else
    fail "$origin: $connect lists no table fruit"; cat "$work/out"
  fi
done < <(DB=$db SQLITE_FILE=$work/readme.db "$python" - "$source_dir/README.md" "$work/help" <<'PY'
import os, re, sys
defined = set(re.findall(r"^\[(.+)\]\s*$", open("/etc/odbcinst.ini", encoding="utf-8").read(), re.M))
fill = {"SQLite": {"database": os.environ["SQLITE_FILE"]},
        "MariaDB": {"server": "127.0.0.1", "port": os.environ["MARIA_PORT"], "database": os.environ["DB"],
                    "user": "root", "password": ""},
        "PostgreSQL": {"servername": "127.0.0.1", "port": os.environ["PGPORT"], "database": os.environ["DB"],
                       "username": os.environ["PGUSER"], "password": ""}}
found = []
for path, origin in zip(sys.argv[1:], ("README.md", "vordex --help")):
    text = re.sub(r"(?m)^\s*```.*$", "", open(path, encoding="utf-8").read())  # fences pair no quotes
    for quoted in re.findall(r'`([^`]+)`|"([^"\n]+)"', text):
        connect = quoted[0] or quoted[1]
        if not re.match(r"(?i)driver=", connect) or ";" not in connect or connect in found:
            continue
        found.append(connect)
        pairs = [pair.split("=", 1) for pair in connect.split(";") if "=" in pair]
        driver = pairs[0][1].strip("{}")
        kind = next((k for k in fill if k in driver), None)
        if driver not in defined or kind is None:
            print("FAILED", f"{origin}: {connect} names the driver '{driver}', not one of /etc/odbcinst.ini", sep="\t")
        else:
            print(origin, ";".join(k + "=" + fill[kind].get(k.lower(), v) for k, v in pairs), sep="\t")
if len(found) < 5:
    print("FAILED", f"{len(found)} connect strings in README.md and vordex --help, fewer than 5", sep="\t")
PY
)

echo "readme examples: $passed passed, $failed failed"
((failed == 0))
