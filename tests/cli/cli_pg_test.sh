#!/usr/bin/env bash
# The built `vordex` end to end against the private PostgreSQL cluster: exact
# output bytes of every command and format, exit statuses, the messages on
# standard error, --help, and loading failures.
#   cli_pg_test.sh PATH/TO/vordex
# Needs the cluster's environment (scripts/test.sh or scripts/with_cluster.sh).
# Works in a database of its own, so other tests' tables never show up.
set -euo pipefail

(($# == 1)) || { echo "usage: cli_pg_test.sh PATH/TO/vordex" >&2; exit 2; }
vordex=$(realpath -- "$1")
: "${VORDEX_TEST_PG_DRIVER:?not set: run through scripts/test.sh or scripts/with_cluster.sh}"
: "${PGPORT:?not set: run through scripts/test.sh or scripts/with_cluster.sh}"

unset VORDEX_CONNECT VORDEX_DIALOG VORDEX_CODEPAGE
export LC_ALL=C.UTF-8

db=vordex_cli_e2e
work=$(mktemp -d /tmp/vordex-cli-test.XXXXXX)
cleanup() {
  psql -X -q -d postgres -c "DROP DATABASE IF EXISTS $db WITH (FORCE)" >/dev/null 2>&1 || true
  mariadb --no-defaults -S "${MARIA_SOCKET:-}" -uroot -e "DROP DATABASE IF EXISTS $db" >/dev/null 2>&1 || true
  rm -rf -- "$work"
}
trap cleanup EXIT

sql() { PGOPTIONS="-c client_min_messages=warning" psql -X -q -v ON_ERROR_STOP=1 "$@" >/dev/null; }
sql -d postgres -c "DROP DATABASE IF EXISTS $db WITH (FORCE)" -c "CREATE DATABASE $db"
# shellcheck disable=SC2001 # a bracket expression needs sed
connect=$(sed "s/Database=[^;]*/Database=$db/" <<<"$VORDEX_TEST_PG_DRIVER")
[[ $connect == *"Database=$db"* ]] || { echo "cannot point '$VORDEX_TEST_PG_DRIVER' at $db" >&2; exit 1; }

# psqlODBC keeps keyset cursors only for tables with a serial key.
wide_columns=$(for i in $(seq -w 1 39); do printf ', c%s integer' "$i"; done)
wide_values=$(seq -s, 1 39)
sql -d "$db" <<SQL
CREATE TABLE cli_items (id serial PRIMARY KEY, name varchar(40), qty integer, note text);
INSERT INTO cli_items (name, qty, note) VALUES
  ('apple', 3, 'plain'),
  ('pear, green', NULL, 'say "hi"'),
  (E'tab\there', 0, E'two\nlines\\\\and a backslash'),
  ('日本語のテキスト', -7, E'cr\rhere'),
  ('', 12, NULL);
CREATE TABLE cli_empty (id serial PRIMARY KEY, label text);
CREATE TABLE cli_many (id serial PRIMARY KEY, n integer);
INSERT INTO cli_many (n) SELECT g FROM generate_series(1, 2500) AS g;
CREATE TABLE cli_kinds (id serial PRIMARY KEY, n numeric(6,2), r real, b boolean, d date, ts timestamp(0), c char(4));
INSERT INTO cli_kinds (n) VALUES (NULL);
CREATE TABLE cli_marks (id serial PRIMARY KEY, v text);
INSERT INTO cli_marks (v) VALUES (E'a\x1Eb');
CREATE TABLE cli_wide (id serial PRIMARY KEY $wide_columns);
INSERT INTO cli_wide VALUES (DEFAULT, $wide_values);
CREATE SCHEMA zz; -- not on the search path
CREATE TABLE zz.cli_hidden (id serial PRIMARY KEY, v text);
INSERT INTO zz.cli_hidden (v) VALUES ('hidden');
SQL

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Runs vordex; leaves its status in $status and its output in $work/out, $work/err.
run() {
  set +e
  "$vordex" "$@" >"$work/out" 2>"$work/err"
  status=$?
  set -e
}
on_pg() { run --connect "$connect" "$@"; }

expect_status() {
  [[ $status == "$2" ]] || fail "$1: exit status $status, expected $2 (stderr: $(head -c 500 "$work/err"))"
}
# Byte for byte.
expect_out() {
  if ! cmp -s "$work/out" <(printf '%s' "$2"); then
    fail "$1: stdout differs"
    echo "  got:" >&2; od -c "$work/out" | head -20 >&2
    echo "  expected:" >&2; printf '%s' "$2" | od -c | head -20 >&2
  fi
}
expect_err() {
  [[ $(cat "$work/err") == "$2" ]] || fail "$1: stderr is '$(cat "$work/err")', expected '$2'"
}
expect_err_line() {
  grep -qxF -- "$2" "$work/err" || fail "$1: no line '$2' on stderr: '$(cat "$work/err")'"
}
# A failure ends with vordex's own one-line reason.
expect_reason() {
  [[ $(tail -n 1 "$work/err") == "vordex: $2" ]] ||
    fail "$1: last stderr line is '$(tail -n 1 "$work/err")', expected 'vordex: $2'"
}

# ---- listing ----------------------------------------------------------------
on_pg tables
expect_status tables 0
expect_out tables $'cli_empty\ncli_items\ncli_kinds\ncli_many\ncli_marks\ncli_wide\ncli_hidden\n'
expect_err tables ""

VORDEX_CONNECT=$connect run tables
expect_status "tables, VORDEX_CONNECT" 0
expect_out "tables, VORDEX_CONNECT" $'cli_empty\ncli_items\ncli_kinds\ncli_many\ncli_marks\ncli_wide\ncli_hidden\n'

VORDEX_CONNECT="DRIVER={NoSuchDriver}" on_pg tables
expect_status "--connect over VORDEX_CONNECT" 0

# A table outside the search path is reached as SCHEMA.TABLE.
on_pg rows zz.cli_hidden
expect_status "rows SCHEMA.TABLE" 0
expect_out "rows SCHEMA.TABLE" $'id\tv\n1\thidden\n'
on_pg set zz.cli_hidden v written --where id=1
expect_status "set SCHEMA.TABLE" 0
[[ $(psql -X -A -t -d "$db" -c "SELECT v FROM zz.cli_hidden") == written ]] || fail "set SCHEMA.TABLE: not written"

on_pg columns cli_items
expect_status columns 0
expect_out columns $'id\nname\nqty\nnote\n'
expect_err columns ""

# ---- rows in each format ----------------------------------------------------
tsv_header=$'id\tname\tqty\tnote\n'
tsv_rows=(
  $'1\tapple\t3\tplain\n'
  $'2\tpear, green\t\tsay "hi"\n'
  $'3\ttab\\there\t0\ttwo\\nlines\\\\and a backslash\n'
  $'4\t日本語のテキスト\t-7\tcr\\rhere\n'
  $'5\t\t12\t\n'
)
csv_header=$'id,name,qty,note\r\n'
csv_rows=(
  $'1,apple,3,plain\r\n'
  $'2,"pear, green",,"say ""hi"""\r\n'
  $'3,tab\there,0,"two\nlines\\and a backslash"\r\n'
  $'4,日本語のテキスト,-7,"cr\rhere"\r\n'
  $'5,,12,\r\n'
)
raw_rows=(
  $'1\x1eapple\x1e3\x1eplain\x1e\n'
  $'2\x1epear, green\x1e\x1esay "hi"\x1e\n'
  $'3\x1etab\there\x1e0\x1etwo\nlines\\and a backslash\x1e\n'
  $'4\x1e日本語のテキスト\x1e-7\x1ecr\rhere\x1e\n'
  $'5\x1e\x1e12\x1e\x1e\n'
)
printf -v all_tsv '%s' "$tsv_header" "${tsv_rows[@]}"
printf -v all_csv '%s' "$csv_header" "${csv_rows[@]}"
printf -v all_raw '%s' "${raw_rows[@]}"

for args in "rows cli_items" "rows cli_items --format tsv" "--format=tsv rows cli_items"; do
  # shellcheck disable=SC2086 # split on purpose
  on_pg $args
  expect_status "$args" 0
  expect_out "$args" "$all_tsv"
  expect_err "$args" ""
done
on_pg rows cli_items --format csv
expect_status "rows csv" 0
expect_out "rows csv" "$all_csv"
on_pg rows cli_items --format raw
expect_status "rows raw" 0
expect_out "rows raw" "$all_raw"
on_pg get cli_items --where id=4 --format ndjson
expect_status "get ndjson" 0
expect_out "get ndjson" $'{"id":"4","name":"日本語のテキスト","qty":"-7","note":"cr\\rhere"}\n'
on_pg get cli_items --where id=2 --format json
expect_out "get json" $'[\n{"id":"2","name":"pear, green","qty":"","note":"say \\"hi\\""}\n]\n'
# Under CP932 the library hands out CP932; JSON stays UTF-8, tsv does not.
VORDEX_CODEPAGE=932 on_pg get cli_items --where id=4 --format ndjson
expect_out "get ndjson, CP932" $'{"id":"4","name":"日本語のテキスト","qty":"-7","note":"cr\\rhere"}\n'
VORDEX_CODEPAGE=932 on_pg get cli_items 3 name
expect_out "get, CP932" "$(iconv -t CP932 <<<"日本語のテキスト")"$'\n'

on_pg rows cli_empty --format csv
expect_status "rows of an empty table" 0
expect_out "rows of an empty table" $'id,label\r\n'

# A value holding the separator byte stays one value.
on_pg rows cli_marks
expect_status "rows with 0x1E in a value" 0
expect_out "rows with 0x1E in a value" $'id\tv\n1\ta\x1eb\n'

# Many rows: all of them, and no progress count when stderr is not a terminal.
on_pg rows cli_many
expect_status "rows of 2500" 0
if ! cmp -s "$work/out" <(printf 'id\tn\n'; for i in $(seq 1 2500); do printf '%d\t%d\n' "$i" "$i"; done); then
  fail "rows of 2500: stdout differs ($(wc -l <"$work/out") lines)"
fi
expect_err "rows of 2500" ""

# From a terminal the count shows on stderr and is cleared at the end.
script -qec "$(printf '%q ' "$vordex" --connect "$connect" rows cli_many) >/dev/null" /dev/null \
  </dev/null >"$work/tty" || fail "rows on a terminal: exit status $?"
grep -qF "vordex: 2000 rows read" "$work/tty" || fail "no progress count on a terminal: $(od -c "$work/tty" | head -5)"
# A --where scan counts too, even onto a terminal: it prints after the scan.
script -qec "$(printf '%q ' "$vordex" --connect "$connect" get cli_many n --where n=2500)" /dev/null \
  </dev/null >"$work/tty" || fail "get --where on a terminal: exit status $?"
grep -qF "vordex: 2000 rows read" "$work/tty" || fail "no progress count for --where: $(od -c "$work/tty" | head -5)"
grep -qF "2500" "$work/tty" || fail "get --where on a terminal: no row printed"

# ---- more than 32 columns -----------------------------------------------------
wide_note="vordex: table 'cli_wide' has 40 columns; only the first 32 are shown"
on_pg columns cli_wide
expect_status "columns of a wide table" 0
expect_out "columns of a wide table" "$(printf 'id\n'; for i in $(seq -w 1 31); do printf 'c%s\n' "$i"; done)"$'\n'
expect_err "columns of a wide table" "$wide_note"
on_pg rows cli_wide --format csv
expect_status "rows of a wide table" 0
wide_csv=$(printf 'id'; for i in $(seq -w 1 31); do printf ',c%s' "$i"; done
  printf '\r\n1'; for i in $(seq 1 31); do printf ',%d' "$i"; done)$'\r\n'
expect_out "rows of a wide table" "$wide_csv"
expect_err "rows of a wide table" "$wide_note"

# ---- get ----------------------------------------------------------------------
get_cases=(
  "cli_items 3 name|日本語のテキスト"$'\n'
  "cli_items 2 note|two"$'\n'"lines\\and a backslash"$'\n'
  "cli_items 1 3|say \"hi\""$'\n'
  "cli_items 4 note|"$'\n'
  "cli_items 0|$tsv_header${tsv_rows[0]}"
  "cli_items 4 --format tsv|$tsv_header${tsv_rows[4]}"
  "cli_items 1 --format csv|$csv_header${csv_rows[1]}"
  "cli_items 2 --format raw|${raw_rows[2]}"
)
for case in "${get_cases[@]}"; do
  args=${case%%|*}
  # shellcheck disable=SC2086 # split on purpose
  on_pg get $args
  expect_status "get $args" 0
  expect_out "get $args" "${case#*|}"
  expect_err "get $args" ""
done

# ---- set: what reaches the server, read back with psql ------------------------
value_of() { psql -X -A -t -d "$db" -c "SELECT quote_nullable($2) FROM cli_items WHERE id = $1"; }
order() { psql -X -A -t -d "$db" -c "SELECT string_agg(id::text, ',') FROM (SELECT id FROM cli_items) r"; }
# Every write moves the row to the end of the physical order: each command
# finds its row again by key, never by a number that has changed meaning.
before=$(order)
on_pg set cli_items name "green apple" --where id=2
expect_status "set" 0
expect_out "set" $'green apple\n'
expect_err "set" ""
[[ $(value_of 2 name) == "'green apple'" ]] || fail "set: name is $(value_of 2 name)"
[[ $(order) != "$before" ]] || fail "set: the physical order did not change; the test shows nothing"
on_pg set cli_items name "red apple" --where id=2
expect_out "set again" $'red apple\n'
on_pg set cli_items qty --null --where id=2 --where "name=red apple"
expect_status "set --null" 0
[[ $(value_of 2 qty) == "NULL" ]] || fail "set --null: qty is $(value_of 2 qty)"
on_pg get cli_items name --where-null qty
expect_out "get --where-null" $'red apple\n'
[[ $(psql -X -A -t -d "$db" -c "SELECT string_agg(name, ',' ORDER BY id) FROM cli_items WHERE name LIKE '%apple'") == "apple,red apple" ]] ||
  fail "set: another row was written"
# Over the library's 255 bytes: refused before anything is written.
on_pg set cli_items note "$(printf 'n%.0s' $(seq 300))" --where id=2
expect_status "set a long value" 2
expect_reason "set a long value" "VALUE is 300 bytes; the library writes at most 255 bytes of a value, and set writes none cut short"
[[ $(value_of 2 note) == "'say \"hi\"'" ]] || fail "set a long value: note is $(value_of 2 note)"
# Stored in the data source's own form, meaning the same: status 0; cut or
# rounded: status 3, with both texts.
kind_cases=(
  "qty|007|1|7|0" "name|$(printf 'x%.0s' $(seq 45))|1|$(printf 'x%.0s' $(seq 40))|3"
  "n|5|1|5.00|0" "n|1e3|1|1000.00|0" "n|1.005|1|1.01|3" "r|0.5|1|0.5|0" "b|true|1|1|0" "b|t|1|1|0" "b|no|1|0|0"
  "d|2024-01-31|1|2024-01-31|0" "ts|2024-01-31|1|2024-01-31 00:00:00|0" "ts|2024-01-31 10:00:00.6|1|2024-01-31 10:00:01|3"
  "c|ab|1|ab  |0"
)
for case in "${kind_cases[@]}"; do
  IFS='|' read -r column value id stored want <<<"$case"
  table=cli_kinds
  [[ $column == qty || $column == name ]] && table=cli_items
  on_pg set "$table" "$column" "$value" --where "id=$id"
  expect_status "set $column $value" "$want"
  expect_out "set $column $value" "$stored"$'\n'
  [[ $want == 0 ]] ||
    expect_reason "set $column $value" "the data source stored '$stored', not VALUE '$value', in column '$column' of table '$table'"
done
psql -X -q -d "$db" -c "UPDATE cli_items SET qty = 3, name = 'apple' WHERE id = 1"
# Zero and two matches: nothing written.
snapshot=$(psql -X -A -t -d "$db" -c "SELECT string_agg(t::text, ';' ORDER BY id) FROM cli_items t")
on_pg set cli_items name x --where id=99
expect_status "set, no row matches" 1
expect_reason "set, no row matches" "0 rows of table 'cli_items' match; set writes only when exactly one does, and wrote nothing"
psql -X -q -d "$db" -c "UPDATE cli_items SET qty = 12 WHERE id = 3"
on_pg set cli_items name x --where qty=12
expect_status "set, two rows match" 1
expect_reason "set, two rows match" "2 rows of table 'cli_items' match; set writes only when exactly one does, and wrote nothing"
psql -X -q -d "$db" -c "UPDATE cli_items SET qty = 0 WHERE id = 3"
[[ $(psql -X -A -t -d "$db" -c "SELECT string_agg(t::text, ';' ORDER BY id) FROM cli_items t") == "$snapshot" ]] ||
  fail "set with zero or two matches changed the table"
on_pg set cli_items name x --where nosuch=1
expect_status "set, unknown --where column" 1
expect_reason "set, unknown --where column" "table 'cli_items' has no column 'nosuch'"

# ---- failures -------------------------------------------------------------------
failure_cases=(
  "columns cli_nosuch|there is no table 'cli_nosuch' (vordex tables lists them)"
  "rows cli_nosuch|there is no table 'cli_nosuch' (vordex tables lists them)"
  "get cli_items 5|there is no row 5 of table 'cli_items' (rows are numbered from 0)"
  "get cli_items 0 nosuch|table 'cli_items' has no column 'nosuch'"
  "get cli_items 0 4|table 'cli_items' has no column '4'"
  "set cli_items nosuch v --where id=1|table 'cli_items' has no column 'nosuch'"
)
for case in "${failure_cases[@]}"; do
  args=${case%%|*}
  # shellcheck disable=SC2086 # split on purpose
  on_pg $args
  expect_status "$args" 1
  expect_out "$args" ""
  expect_reason "$args" "${case#*|}"
done

# The library's own message comes first: on stderr by default, gone with none.
on_pg columns cli_nosuch
grep -q '^VORDEX: ' "$work/err" || fail "unknown table: no library message on stderr: '$(cat "$work/err")'"
VORDEX_DIALOG=none on_pg columns cli_nosuch
expect_status "unknown table, VORDEX_DIALOG=none" 1
expect_err "unknown table, VORDEX_DIALOG=none" "vordex: cannot list the columns of table 'cli_nosuch'"

run --connect "DRIVER={NoSuchDriver}" tables
expect_status "unknown driver" 1
grep -q '^VORDEX: ' "$work/err" || fail "unknown driver: no library message on stderr: '$(cat "$work/err")'"
expect_reason "unknown driver" "no tables listed: the library's message above says why"

# A driver's message keeps its tabs (libpq: "\tIs the server running ...").
run --connect "${connect/Port=$PGPORT/Port=1}" tables
expect_status "no server" 1
grep -q $'^VORDEX: \t' "$work/err" || fail "no server: the message's tab is lost: '$(cat "$work/err")'"

# No connect string and no terminal for the data source menu: cancelled.
set +e
setsid -w "$vordex" tables </dev/null >"$work/out" 2>"$work/err"
status=$?
set -e
expect_status "no data source" 1
expect_out "no data source" ""
expect_reason "no data source" "no data source was chosen: give --connect CONNECT or set VORDEX_CONNECT (without them \
the data source is chosen on the desktop or the terminal; there was none, or the choice was cancelled)"

# ---- names as a newcomer's database has them ----------------------------------------
names_db=${db}_names
sql -d postgres -c "DROP DATABASE IF EXISTS $names_db WITH (FORCE)" -c "CREATE DATABASE $names_db"
sql -d "$names_db" <<'SQL'
CREATE SCHEMA sales; CREATE SCHEMA hr; CREATE SCHEMA audit; CREATE SCHEMA "my.schema";
CREATE TABLE hr.employees (id serial PRIMARY KEY, "FullName" text, "e-mail" text);
INSERT INTO hr.employees ("FullName", "e-mail") VALUES ('Ann', 'ann@example.com');
CREATE TABLE sales.orders (id serial PRIMARY KEY, "select" text);
INSERT INTO sales.orders ("select") VALUES ('o1');
CREATE VIEW sales.order_summary AS SELECT id, "select" FROM sales.orders;
CREATE TABLE audit.log (id serial PRIMARY KEY, v text); INSERT INTO audit.log (v) VALUES ('audit');
CREATE TABLE public.log (id serial PRIMARY KEY, v text); INSERT INTO public.log (v) VALUES ('public');
CREATE TABLE customers (id serial PRIMARY KEY, city text, "Say ""Hi""" text);
INSERT INTO customers (city) VALUES ('Nara'), ('Kobe');
CREATE TABLE people (id serial PRIMARY KEY, city text); INSERT INTO people (city) VALUES ('x'), (repeat('あ', 100)), ('z');
CREATE TABLE "a.b" (id serial PRIMARY KEY, v text); INSERT INTO "a.b" (v) VALUES ('a.b');
CREATE TABLE "my.schema".t2 (id serial PRIMARY KEY, v text); INSERT INTO "my.schema".t2 (v) VALUES ('my.schema');
SQL
names_connect=${connect/Database=$db/Database=$names_db}
run --connect "$names_connect" tables
expect_out "tables, several schemas" $'audit.log\nemployees\nt2\na.b\ncustomers\npublic.log\npeople\norders\n'
# Every name printed opens; so do SCHEMA.NAME, listed or not, and views.
name_cases=(
  "employees|0|Ann" "hr.employees|0|Ann" "orders|0|o1" "sales.order_summary|0|o1" "audit.log|0|audit"
  "public.log|0|public" "a.b|0|a.b" "public.a.b|0|a.b" "t2|0|my.schema" "my.schema.t2|0|my.schema"
  "log|1|table 'log' is in several schemas (audit.log, public.log): name one of them"
  "custmers|1|there is no table 'custmers' (vordex tables lists them)"
  "\"my.schema\".t2|1|there is no table '\"my.schema\".t2' (vordex tables lists them)"
)
for case in "${name_cases[@]}"; do
  IFS='|' read -r name want answer <<<"$case"
  run --connect "$names_connect" get "$name" 0 1
  expect_status "get $name" "$want"
  if [[ $want == 0 ]]; then expect_out "get $name" "$answer"$'\n'; else expect_reason "get $name" "$answer"; fi
done
# Writes reach the table named, and only it.
run --connect "$names_connect" set employees FullName Bob --where id=1
expect_status "set employees" 0
run --connect "$names_connect" set public.log v written --where id=1
expect_status "set public.log" 0
run --connect "$names_connect" set customers city Kyoto --where id=2
expect_status "set, a quote in a column name" 0
[[ $(psql -X -A -t -d "$names_db" -c "SELECT string_agg(v, ',' ORDER BY convert_to(v, 'UTF8')) FROM (SELECT \"FullName\" v FROM hr.employees
  UNION ALL SELECT v FROM audit.log UNION ALL SELECT v FROM public.log UNION ALL SELECT city FROM customers) t") == \
  "Bob,Kyoto,Nara,audit,written" ]] || fail "set: the writes landed elsewhere"
run --connect "$names_connect" get people 1
expect_reason "get, a value over 255 bytes" "row 1 of table 'people' holds a value longer than the library's limit of \
255 bytes, and cannot be read"
run --connect "$names_connect" rows people
expect_status "rows, a value over 255 bytes" 1
expect_out "rows, a value over 255 bytes" $'id\tcity\n1\tx\n3\tz\n'
expect_reason "rows, a value over 255 bytes" "row 1 of table 'people' holds a value longer than the library's limit of \
255 bytes, and was skipped; the other rows were printed"
# --where reads past it too: get finds the row and fails, set writes.
skipped_row="row 1 of table 'people' holds a value longer than the library's limit of 255 bytes, and was skipped (it \
might match --where)"
run --connect "$names_connect" get people city --where id=3
expect_status "get --where past a value over 255 bytes" 1
expect_out "get --where past a value over 255 bytes" $'z\n'
expect_reason "get --where past a value over 255 bytes" "$skipped_row; the rows that match among the others were printed"
run --connect "$names_connect" set people city zz --where id=3
expect_status "set --where past a value over 255 bytes" 0
expect_out "set --where past a value over 255 bytes" $'zz\n'
expect_err_line "set --where past a value over 255 bytes" "vordex: $skipped_row"
[[ $(psql -X -A -t -d "$names_db" -c "SELECT city FROM people WHERE id = 3") == zz ]] || fail "set past a long value: not written"
# The library's messages follow the locale (LC_ALL, LC_MESSAGES, LANG) unless
# VORDEX_MESSAGES says; vordex recognises them in either language and code page.
no_field_ja="VORDEX: $names_db-nosuch 内にフィールドが見つかりません.
VORDEX: ODBC32,ODBCﾄﾞﾗｲﾊﾞ,ﾃﾞｰﾀﾍﾞｰｽﾌｧｲﾙ名等を確認して下さい"
no_field_en="VORDEX: $names_db-nosuch: No field was found.
VORDEX: Check the table name, the ODBC driver and the data source's database or file."
language_cases=(
  "LANG=ja_JP.UTF-8|$no_field_ja" "LANG=ja_JP.UTF-8 LC_ALL=C.UTF-8|$no_field_en"
  "LC_MESSAGES=ja_JP.UTF-8 LANG=en_US.UTF-8|$no_field_ja" "LANG=ja_JP.UTF-8 VORDEX_MESSAGES=en|$no_field_en"
  "LANG=ja_JP.SJIS|$(iconv -t CP932 <<<"$no_field_ja")" "|$no_field_en"
)
for case in "${language_cases[@]}"; do
  set +e
  # shellcheck disable=SC2086 # split on purpose
  env -u LC_ALL -u LC_MESSAGES -u LANG ${case%%|*} "$vordex" --connect "$names_connect" columns nosuch \
    >"$work/out" 2>"$work/err"
  status=$?
  set -e
  expect_status "messages, ${case%%|*}" 1
  cmp -s <(head -n -1 "$work/err") <(printf '%s\n' "${case#*|}") ||
    fail "messages, ${case%%|*}: stderr is '$(cat "$work/err")'"
  expect_reason "messages, ${case%%|*}" "there is no table 'nosuch' (vordex tables lists them)"
done
# More than 32 tables: the listing says so, and SCHEMA.TABLE reaches the rest.
sql -d "$names_db" -c "CREATE SCHEMA aaa" -c "$(for i in $(seq 1 35); do printf 'CREATE TABLE aaa.t%02d (id int);' "$i"; done)"
run --connect "$names_connect" tables
expect_status "tables, more than 32" 0
[[ $(wc -l <"$work/out") == 32 ]] || fail "tables, more than 32: $(wc -l <"$work/out") lines"
expect_err "tables, more than 32" "vordex: the library lists at most 32 tables, so there may be more; columns, rows, \
get and set open any table as SCHEMA.TABLE, and the data source's own client lists them all (psql \\dt *.*, sqlite3 .tables)"
run --connect "$names_connect" get hr.employees 0 1
expect_out "SCHEMA.TABLE past the listing" $'Bob\n'
run --connect "$names_connect" get public.a.b 0 1
expect_out "SCHEMA.TABLE with a dot in the table's name, past the listing" $'a.b\n'
run --connect "$names_connect" get employees 0 1
expect_reason "a name past the listing" "there is no table 'employees' (vordex tables shows the first 32; name another \
schema's table as SCHEMA.TABLE)"
sql -d postgres -c "DROP DATABASE $names_db WITH (FORCE)"

# Output that cannot be written.
set +e
"$vordex" --connect "$connect" rows cli_items >/dev/full 2>"$work/err"
status=$?
set -e
expect_status "rows to a full disk" 1
expect_reason "rows to a full disk" "cannot write the output: No space left on device"

# A pipe that nobody reads any more (vordex rows t | head) ends vordex quietly
# as it ends cat, by SIGPIPE, on every driver: MariaDB's ignores SIGPIPE.
mkfifo "$work/fifo"
sqlite3 "$work/pipe.db" "CREATE TABLE cli_pipe (id integer PRIMARY KEY); INSERT INTO cli_pipe VALUES (1)"
pipe_connects=("$connect" "Driver=SQLite3;Database=$work/pipe.db" "")
maria() { mariadb --no-defaults -S "$MARIA_SOCKET" -uroot -e "$1"; }
if [[ -n ${VORDEX_TEST_MARIA_DRIVER:-} ]]; then # a MariaDB server runs beside the cluster (not so under iODBC)
  maria "DROP DATABASE IF EXISTS $db; CREATE DATABASE $db; CREATE TABLE $db.cli_pipe (id int PRIMARY KEY)"
  pipe_connects+=("${VORDEX_TEST_MARIA_DRIVER/Database=$MARIA_DATABASE/Database=$db}")
fi
for pipe_connect in "${pipe_connects[@]}"; do
  # The fifo opened twice, then its only reader closed: every write fails.
  # shellcheck disable=SC2094 # both ends of the fifo, on purpose
  exec {reader}<>"$work/fifo" {writer}>"$work/fifo"
  exec {reader}<&-
  # A shell shows 141 for an exit(141) too: the parent here sees the signal
  # itself, as 100 + 13.
  by_signal=(python3 -c 'import subprocess, sys; r = subprocess.run(sys.argv[1:]).returncode; sys.exit(100 - r if r < 0 else r)')
  set +e
  if [[ -n $pipe_connect ]]; then "${by_signal[@]}" "$vordex" --connect "$pipe_connect" tables; else "${by_signal[@]}" "$vordex" --help; fi \
    1>&"$writer" 2>"$work/err"
  status=$?
  set -e
  exec {writer}>&-
  expect_status "a closed pipe, ${pipe_connect:-no library}" 113
  expect_err "a closed pipe, ${pipe_connect:-no library}" ""
done
[[ -z ${VORDEX_TEST_MARIA_DRIVER:-} ]] || maria "DROP DATABASE $db"

# ---- loading the library ------------------------------------------------------------
run --library /nonexistent/libvordex.so.2 --connect "$connect" tables
expect_status "missing library" 1
expect_out "missing library" ""
expect_err "missing library" \
  "vordex: cannot load the VORDEX library: /nonexistent/libvordex.so.2: cannot open shared object file: No such file or directory"

run --library libc.so.6 --connect "$connect" tables
expect_status "foreign library" 1
grep -q "^vordex: 'libc.so.6' is not a usable VORDEX library: it lacks VORDEX_GetVersion, " "$work/err" ||
  fail "foreign library: stderr '$(cat "$work/err")'"

# ---- usage errors: status 2, one line, nothing loaded ---------------------------------------
usage_cases=(
  "|no command given (see vordex --help)"
  "frobnicate|unknown command 'frobnicate' (see vordex --help)"
  "rows|usage: vordex rows TABLE [--format tsv|csv|raw|json|ndjson]"
  "get cli_items|usage: vordex get TABLE ROW [FIELD], or vordex get TABLE [FIELD] --where COLUMN=VALUE"
  "get|usage: vordex get TABLE ROW [FIELD] | TABLE [FIELD] --where COLUMN=VALUE... [--format tsv|csv|raw|json|ndjson]"
  "tables extra|usage: vordex tables"
  "rows cli_items --format xml|unknown format 'xml' (use tsv, csv, raw, json or ndjson)"
  "get cli_items -1|ROW must be a row number from 0 (the first row) to 2147483647, not '-1'"
  "get cli_items one|ROW must be a row number from 0 (the first row) to 2147483647, not 'one'"
  "set cli_items name v|set needs --where COLUMN=VALUE to name the row it writes (see vordex help set)"
  "get cli_items 0 name --format csv|--format does not apply to a single FIELD of get"
  "tables --connect|option --connect needs a value"
)
for case in "${usage_cases[@]}"; do
  args=${case%%|*}
  # shellcheck disable=SC2086 # split on purpose
  run --library /nonexistent/libvordex.so.2 $args
  expect_status "usage: '$args'" 2
  expect_out "usage: '$args'" ""
  expect_err "usage: '$args'" "vordex: ${case#*|}"
done

run --library /nonexistent/libvordex.so.2 columns ""
expect_status "usage: empty TABLE" 2
expect_err "usage: empty TABLE" "vordex: TABLE must not be empty"

# ---- help ----------------------------------------------------------------------------
run --help
expect_status --help 0
expect_err --help ""
cp "$work/out" "$work/help"
for word in "tables" "columns TABLE" "rows TABLE" "get TABLE ROW [FIELD]" "set TABLE FIELD VALUE" "help" \
  "--connect" "--format tsv|csv|raw|json|ndjson" "--library" "--null" "--help" \
  VORDEX_CONNECT VORDEX_DIALOG VORDEX_CODEPAGE ODBCSYSINI ODBCINI "Exit status" "RFC 4180"; do
  grep -qF -- "$word" "$work/help" || fail "--help does not mention '$word'"
done
for args in help -h "rows cli_items --help"; do
  # shellcheck disable=SC2086 # split on purpose
  run $args
  expect_status "$args" 0
  cmp -s "$work/out" "$work/help" || fail "'vordex $args' differs from 'vordex --help'"
done

if ((failures > 0)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
