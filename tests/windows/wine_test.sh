#!/usr/bin/env bash
# VORDEX.dll, built here with mingw-w64 for x64 and x86, and tested under
# Wine, whose odbc32 reaches this machine's unixODBC and psqlODBC:
# - the export table of each DLL: exactly the 17 functions, undecorated, with
#   ordinals 1 to 17 in the alphabetical order of their names, and nothing
#   but Windows' own DLLs, odbc32.dll and odbccp32.dll to load;
# - dll_host_test.exe: a typical session, the failure paths and bad
#   arguments, unloading with a record open; psql reads back what it wrote
#   and the messages it showed are compared; then, started without
#   VORDEX_CONNECT, the host sets the settings with SetEnvironmentVariableA
#   (as a VBA macro does) and the library sees them, reads the characters
#   that CP932 places differently as Linux's iconv converts them, and hands
#   the largest row to the VBA module's buffer;
# - the message box on Xvfb: the window titled "VORDEX" holds the call until
#   it is closed with xdotool; a screenshot is kept as a test artifact;
# - each Windows archive: unpacked, the C example built from its files alone
#   and run with its DLL.
# In the x86 run every call of the host goes as 32-bit VBA makes it
# (__stdcall), and the stack must be as it was after each.
# The x86 DLL runs where Wine's 32-bit part (wine32) is installed.
#   wine_test.sh SOURCE_DIR WORK_DIR ARTIFACT_DIR
# Needs the environment of scripts/with_cluster.sh.
set -uo pipefail
(($# == 3)) || { echo "usage: wine_test.sh SOURCE_DIR WORK_DIR ARTIFACT_DIR" >&2; exit 2; }
source_dir=$(realpath -- "$1") work=$2 artifacts=$3
: "${VORDEX_TEST_PG_DRIVER:?run through scripts/with_cluster.sh or scripts/test.sh}"
for tool in x86_64-w64-mingw32-g++-posix wine Xvfb xdotool import; do
  command -v "$tool" >/dev/null || {
    echo "skipped: $tool is missing (bash scripts/install_deps.sh --windows installs it)"
    exit 77
  }
done
mkdir -p "$work" "$artifacts"
work=$(realpath -- "$work")
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok: $*"; }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }
# Temporary files in the work directory, not in /tmp: wineserver's socket
# directory (a fresh prefix makes a new one) and what dlltool leaves behind.
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR"

# A Wine prefix of its own, in Japanese (ANSI code page 932), without the
# offers to install Mono and Gecko.
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# What Wine and the dialogs keep per user goes into the work directory too.
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
wine=(env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 wine)
# One display for every Wine process of the run: the first one starts the
# prefix's desktop, which later windows then appear on.
# shellcheck source-path=SCRIPTDIR source=../xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/../xvfb.sh"
start_xvfb 121 150 "$work/xvfb.log" || { echo "FAILED: no display server: $(tail -n 5 "$work/xvfb.log")"; exit 1; }

# end_wine PREFIX...: ends the Wine processes of each prefix that exists.
end_wine() {
  local prefix
  for prefix; do
    [[ -d $prefix ]] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  done
  return 0
}
trap 'end_wine "$WINEPREFIX" "$work"/prefix.new.*; rm -rf -- "$work"/prefix.new.*; kill $xvfb_pid 2>/dev/null
      rm -rf -- "$TMPDIR"' EXIT
db=vordex_wine
connect=${VORDEX_TEST_PG_DRIVER/Database=vordex_test/Database=$db}

# wine_boots PREFIX: wineboot succeeds in it (making it when it is not there);
# its Wine processes have ended after.
wine_boots() {
  local status
  WINEPREFIX=$1 timeout 300 "${wine[@]}" wineboot -i >>"$work/wineboot.log" 2>&1
  status=$?
  WINEPREFIX=$1 timeout 120 wineserver -w >/dev/null 2>&1 || end_wine "$1"
  return "$status"
}

# The prefix is kept for later runs and used again while wineboot succeeds in
# it; when it does not (a run ended while Wine wrote to it: "could not load
# kernel32.dll"), it is made anew. A new prefix is made beside it and renamed
# into place only once wineboot succeeded there, so what a run ended halfway
# leaves is removed at the start of the next. Under load, wineboot may fail
# once more.
make_prefix() {
  local prefix=$work/prefix fresh=$work/prefix.new.$$ attempt
  : >"$work/wineboot.log"
  end_wine "$prefix" "$work"/prefix.new.*
  rm -rf -- "$work"/prefix.new.*
  if [[ -d $prefix ]]; then
    wine_boots "$prefix" && return 0
    echo "note: wineboot failed in the kept Wine prefix; making it anew: $(tail -n 2 "$work/wineboot.log" | tr '\n' ' ')"
    end_wine "$prefix"
  fi
  rm -rf -- "$prefix"
  for attempt in 1 2; do
    if wine_boots "$fresh" && mv -T -- "$fresh" "$prefix"; then
      return 0
    fi
    echo "note: attempt $attempt at a new Wine prefix failed: $(tail -n 2 "$work/wineboot.log" | tr '\n' ' ')"
    end_wine "$fresh"
    rm -rf -- "$fresh"
  done
  return 1
}

build() {  # ARCH: configures and builds the DLL and its test hosts
  cmake -S "$source_dir" -B "$work/$1" -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-$1.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVORDEX_WERROR=ON -DVORDEX_BUILD_TESTS=ON >"$work/$1.log" 2>&1 &&
    cmake --build "$work/$1" -j2 >>"$work/$1.log" 2>&1 &&
    cmake --build "$work/$1" --target windows_archive >>"$work/$1.log" 2>&1
}

check_exports() {  # ARCH DLL
  local table expected actual base imports
  table=$("$1-w64-mingw32-objdump" -p "$2")
  # The functions of vordex.h, numbered 1 to 17 in alphabetical order.
  expected=$(grep -o 'VORDEX_[A-Za-z]*(' "$source_dir/include/vordex.h" | tr -d '(' | LC_ALL=C sort -u | awk '{ print NR, $0 }')
  base=$(awk '/^Ordinal Base/ { print $3 }' <<<"$table")
  [[ $base == 1 ]] && pass "$1: ordinals start at 1" || fail "$1: ordinal base $base"
  # "[Ordinal/Name Pointer] Table" rows: each name with its ordinal less the
  # base, in the order of the name table.
  actual=$(awk -v base="${base:-0}" '
    /^\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
    names && /^\t\[ *[0-9]+\] / { match($0, /[0-9]+/); ordinal = substr($0, RSTART, RLENGTH) + base
                                  sub(/^\t\[ *[0-9]+\] /, ""); print ordinal, $0; next }
    names && !/^\t/ { names = 0 }' <<<"$table")
  [[ $actual == "$expected" ]] && pass "$1: the exports are the 17 functions, ordinals 1 to 17" ||
    fail "$1: exports differ:"$'\n'"$actual"
  imports=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$table" | sort | tr '\n' ' ')
  [[ $imports == "KERNEL32.DLL MSVCRT.DLL ODBC32.DLL ODBCCP32.DLL USER32.DLL " ]] && pass "$1: loads only $imports" ||
    fail "$1: loads $imports"
}

fresh_database() {
  psql -X -q -v ON_ERROR_STOP=1 -d "$PGDATABASE" -c "DROP DATABASE IF EXISTS $db WITH (FORCE)" \
    -c "CREATE DATABASE $db" >/dev/null &&
    psql -X -q -v ON_ERROR_STOP=1 -d "$db" >/dev/null <<'SQL'
CREATE TABLE t (id integer PRIMARY KEY, name text, qty integer);
INSERT INTO t VALUES (1, 'one', 10), (2, 'two', NULL), (3, NULL, 30);
CREATE TABLE "hostile; name" (id integer PRIMARY KEY, v text);
INSERT INTO "hostile; name" VALUES (1, 'safe');
CREATE TABLE 商品 (id integer PRIMARY KEY, 名前 text, メモ text);
INSERT INTO 商品 VALUES (1, '表示', '寿司🍣'), (2, 'x', NULL);
SQL
}

# The messages the host test makes the library show, in order.
expected_messages() {
  local check="VORDEX: ODBC32,ODBCﾄﾞﾗｲﾊﾞ,ﾃﾞｰﾀﾍﾞｰｽﾌｧｲﾙ名等を確認して下さい"
  echo "VORDEX: 値にこのコードページの文字でないバイトがあるため書き込めません."
  for where in "$db" "$db-nosuch" "$db-t; DROP TABLE t" "$db-t2"; do
    printf 'VORDEX: %s 内にフィールドが見つかりません.\n%s\n' "$where" "$check"
  done
  echo "VORDEX: ODBCﾄﾞﾗｲﾊﾞで回復できないエラーが発生しました."
  echo 'VORDEX: ERROR: invalid input syntax for type integer: "not a number";'
  echo "VORDEX: Error while executing the query"
}

run_host_test() {  # ARCH
  local exe="$work/$1/tests/windows/dll_host_test.exe" dll="$work/$1/VORDEX.dll"
  fresh_database || { fail "$1: could not create $db"; return; }
  VORDEX_CONNECT=$connect VORDEX_DIALOG=stderr timeout 300 "${wine[@]}" "$exe" "$(winepath -w "$dll")" \
    "$VORDEX_TEST_PG_DRIVER" >"$work/$1-host.out" 2>"$work/$1-host.err"
  local status=$?
  sed "s/^/    $1: /" "$work/$1-host.out"
  [[ $status == 0 ]] && pass "$1: dll_host_test.exe ($(tail -n 1 "$work/$1-host.out" | tr -d '\r'))" ||
    fail "$1: dll_host_test.exe exited with $status"
  if [[ $1 == i686 ]]; then
    grep -q 'the stack as VBA expects after [1-9][0-9]* calls' "$work/$1-host.out" &&
      pass "$1: every call was made as VBA makes it" || fail "$1: the calls were not checked as VBA's"
  fi
  # What the writes left, read by psql.
  local rows
  rows=$(psql -X -A -t -d "$db" -c "SELECT id, coalesce(name, 'NULL'), coalesce(qty::text, 'NULL') FROM t ORDER BY id")
  [[ $rows == $'1|one|10\n2|written from Windows|NULL\n3|x\'); DROP TABLE t; --|30' ]] &&
    pass "$1: psql reads what was written, and nothing else changed" || fail "$1: the table holds"$'\n'"$rows"
  # The CP932 texts reached the server as the same characters; 🍣, which the
  # host read as "?", is as it was.
  rows=$(psql -X -A -t -d "$db" -c "SELECT id, 名前, coalesce(メモ, 'NULL') FROM 商品 ORDER BY id")
  [[ $rows == "1|書き込み表|寿司🍣"$'\n'"2|$(printf 'あ%.0s' {1..120})|NULL" ]] &&
    pass "$1: psql reads the Japanese written in CP932" || fail "$1: 商品 holds"$'\n'"$rows"
  # A process that ends with the library loaded and a record open ends, and
  # its session with it.
  VORDEX_CONNECT=$connect VORDEX_DIALOG=stderr timeout 120 "${wine[@]}" "$exe" "$(winepath -w "$dll")" \
    "$VORDEX_TEST_PG_DRIVER" exit-with-a-record-open >"$work/$1-exit.out" 2>&1
  status=$?
  local sessions
  for _ in $(seq 100); do
    sessions=$(psql -X -A -t -d "$PGDATABASE" -c "SELECT count(*) FROM pg_stat_activity WHERE datname = '$db' AND backend_type = 'client backend'")
    [[ $sessions == 0 ]] && break
    sleep 0.1
  done
  [[ $status == 0 && $sessions == 0 ]] && pass "$1: a process ending with a record open ends, and its session" ||
    fail "$1: ending with a record open: exit $status, $sessions sessions left: $(tr -d '\r' <"$work/$1-exit.out")"
  # The messages, from CP932, and only the library's lines.
  local shown
  shown=$(iconv -f CP932 -t UTF-8 "$work/$1-host.err" | tr -d '\r' | grep '^VORDEX: ' | sed 's/ *$//')
  [[ $shown == "$(expected_messages)" ]] && pass "$1: the messages shown, in CP932" ||
    fail "$1: the messages shown:"$'\n'"$shown"
}

# The characters that JIS and Microsoft's table give different code points,
# in their JIS forms (as text from Linux or a Mac holds them), then in the
# forms of Microsoft's table.
jis_forms='〜‖−¢£¬—¥‾'
microsoft_forms='～∥－￠￡￢―\~'

# dll_host_test.exe settings-set-by-host: the settings set by the host, the
# CP932 folds, the largest row in the VBA module's buffer.
run_settings_test() {  # ARCH
  local exe="$work/$1/tests/windows/dll_host_test.exe" dll="$work/$1/VORDEX.dll" folded buffer columns values
  folded=$(printf '%s' "$jis_forms" | iconv -f UTF-8 -t CP932 | od -An -tx1 | tr -d ' \n')
  buffer=$(python3 "$source_dir/tests/windows/vba_module_test.py" "$source_dir" --row-buffer-size)
  columns=$(for f in $(seq 32); do printf ', c%d text' "$f"; done)
  values=$(for f in $(seq 0 31); do printf ", repeat(chr(%d), 255)" $((65 + f % 26)); done)
  if ! fresh_database || ! psql -X -q -v ON_ERROR_STOP=1 -d "$db" >/dev/null <<SQL; then
CREATE TABLE marks (id integer PRIMARY KEY, v text);
INSERT INTO marks VALUES (1, '$jis_forms'), (2, '$microsoft_forms');
CREATE TABLE wide (${columns#, });
INSERT INTO wide VALUES (${values#, });
SQL
    fail "$1: could not create the tables of the settings test"
    return
  fi
  [[ -n $folded && $buffer =~ ^[0-9]+$ ]] || { fail "$1: no CP932 form ($folded) or VBA buffer size ($buffer)"; return; }
  env -u VORDEX_CONNECT VORDEX_DIALOG=stderr timeout 300 "${wine[@]}" "$exe" "$(winepath -w "$dll")" \
    "$VORDEX_TEST_PG_DRIVER" settings-set-by-host "$connect" "$folded" "$buffer" \
    >"$work/$1-settings.out" 2>"$work/$1-settings.err"
  local status=$?
  sed "s/^/    $1: /" "$work/$1-settings.out"
  [[ $status == 0 ]] && pass "$1: settings set with SetEnvironmentVariableA, the CP932 folds, the largest row ($(tail -n 1 "$work/$1-settings.out" | tr -d '\r'))" ||
    fail "$1: dll_host_test.exe settings-set-by-host exited with $status"
  # What the CP932 host wrote reached the server as Microsoft's table has
  # it, as Linux's iconv reads those bytes; the UTF-8 write as given.
  local rows expected
  rows=$(psql -X -A -t -d "$db" -c "SELECT id, v FROM marks ORDER BY id")
  expected="1|$(printf '\x81\x60' | iconv -f CP932 -t UTF-8)"$'\n'"2|w$(printf '%s' "$jis_forms" | iconv -f UTF-8 -t CP932 | iconv -f CP932 -t UTF-8)"
  [[ $rows == "$expected" && $rows == "1|～"$'\n'"2|w$microsoft_forms" ]] &&
    pass "$1: psql reads the CP932 writes as Linux converts them" || fail "$1: marks holds"$'\n'"$rows"
  rows=$(psql -X -A -t -d "$db" -c "SELECT 名前 FROM 商品 WHERE id = 1")
  [[ $rows == '〜' ]] && pass "$1: a UTF-8 write (VORDEX_CODEPAGE=65001) stored as given" || fail "$1: 商品 holds $rows"
}

# The random calls of tests/fuzz/call_fuzz.cpp through the DLL: every check
# of the harness holds, and the tables it never names are unchanged.
run_call_fuzz() {  # ARCH
  local dir="$work/$1/tests/windows" fuzz_db=vordex_fuzz before after run
  cp "$work/$1/VORDEX.dll" "$dir/"
  psql -X -q -d "$PGDATABASE" -c "DROP DATABASE IF EXISTS $fuzz_db WITH (FORCE)" -c "CREATE DATABASE $fuzz_db" >/dev/null
  "${wine[@]}" "$dir/call_fuzz.exe" --print-setup | tr -d '\r' | psql -X -q -v ON_ERROR_STOP=1 -d "$fuzz_db" >/dev/null ||
    { fail "$1: could not make the harness's tables"; return; }
  local sentinels
  sentinels=$("${wine[@]}" "$dir/call_fuzz.exe" --print-sentinels | tr -d '\r')
  before=$(psql -X -A -t -d "$fuzz_db" -c "$sentinels")
  for run in "--seed 1 --steps 2000" "--seed 3 --steps 1000 --threads 2"; do
    # shellcheck disable=SC2086 # the options are words
    if VORDEX_CONNECT=${VORDEX_TEST_PG_DRIVER/Database=vordex_test/Database=$fuzz_db} timeout 900 \
      "${wine[@]}" "$dir/call_fuzz.exe" --database-ready $run >"$work/$1-fuzz.out" 2>&1; then
      pass "$1: call_fuzz $run: $(tr -d '\r' <"$work/$1-fuzz.out" | tail -n 1)"
    else
      fail "$1: call_fuzz $run: $(tr -d '\r' <"$work/$1-fuzz.out" | tail -n 3)"
    fi
  done
  after=$(psql -X -A -t -d "$fuzz_db" -c "$sentinels")
  [[ -n $before && $before == "$after" ]] && pass "$1: the tables the harness never names are unchanged" ||
    fail "$1: the untouched tables changed"
}

# The message box on a display: the call waits on it until it is closed.
#   message_box_test SCREENSHOT LOCALE ANSI_CODE_PAGE [VORDEX_CODEPAGE]
message_box_test() {
  local window exe="$work/x86_64/tests/windows/message_box_probe.exe" dll="$work/x86_64/VORDEX.dll"
  fresh_database || fail "could not create $db"
  VORDEX_CONNECT=$connect VORDEX_CODEPAGE=${4:-} LANG=$2 LC_ALL=$2 timeout 300 wine "$exe" "$(winepath -w "$dll")" \
    >"$work/probe.out" 2>&1 &
  local probe=$!
  window=$(wait_for_window '^VORDEX$' 180)
  if [[ -z $window ]]; then
    fail "$1: no window titled VORDEX"
  else
    pass "$1: a window titled '$(timeout 10 xdotool getwindowname "$window")'"
    sleep 2
    grep -q "^ansi code page $3" "$work/probe.out" && pass "$1: ANSI code page $3" ||
      fail "$1: $(grep '^ansi' "$work/probe.out")"
    if grep -q '^calling' "$work/probe.out" && ! grep -q '^returned' "$work/probe.out"; then
      pass "$1: the call waits on the message box"
    else
      fail "$1: the call did not wait: $(tr '\n' ' ' <"$work/probe.out")"
    fi
    timeout 30 import -window root "$artifacts/$1" && pass "$1: screenshot kept" || fail "$1: no screenshot"
    timeout 30 xdotool windowfocus --sync "$window" key Return || fail "$1: xdotool could not answer"
  fi
  if timeout 60 tail --pid="$probe" -f /dev/null && grep -q '^returned 0' "$work/probe.out"; then
    pass "$1: VORDEX_Open returned 0 once the box was closed"
  else
    fail "$1: the call did not return: $(tr '\n' ' ' <"$work/probe.out")"
    kill "$probe" 2>/dev/null
  fi
}

for arch in x86_64 i686; do
  if build "$arch"; then
    pass "$arch: VORDEX.dll built"
    check_exports "$arch" "$work/$arch/VORDEX.dll"
  else
    fail "$arch: the build failed (see $work/$arch.log)"
  fi
done
make_prefix || {
  fail "no Wine prefix: wineboot failed twice in a new one: $(tail -n 3 "$work/wineboot.log" | tr '\n' ' ')"
  echo "$passed passed, $failed failed"
  exit 1
}
# Windows' dialog fonts, which the prefix lacks, drawn with Debian's Japanese
# font (fonts-ipafont-gothic), as a Japanese system would draw them.
for font in "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "MS UI Gothic"; do
  "${wine[@]}" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "IPAGothic" /f >/dev/null 2>&1
done
run_host_test x86_64
run_settings_test x86_64
run_call_fuzz x86_64
if [[ -e $work/i686/VORDEX.dll ]] && dpkg -s wine32 >/dev/null 2>&1; then
  run_host_test i686
  run_settings_test i686
  run_call_fuzz i686
else
  echo "note: the x86 DLL was not run: Wine's 32-bit part (wine32) is not installed"
fi
# A Japanese system (ANSI code page 932); then ANSI code page 1252 with the
# library's texts in CP932 (VORDEX_CODEPAGE=932): the box reads the same.
message_box_test wine-message-box.png ja_JP.UTF-8 932
message_box_test wine-message-box-cp1252.png C.UTF-8 1252 932
# The archive of ARCH as a user gets it: unpacked, the C example built from
# its files alone, run with the DLL beside it. Prints the example's folder.
archive_example() {  # ARCH
  local zip unpacked="$work/$1-archive"
  zip=$(find "$work/$1" -maxdepth 1 -name 'vordex-*-win*.zip' -print -quit)
  rm -rf "$unpacked" && mkdir -p "$unpacked" && [[ -n $zip ]] &&
    (cd "$unpacked" && cmake -E tar xf "$zip") || return 1
  local dir
  dir=$(find "$unpacked" -mindepth 1 -maxdepth 1 -type d -print -quit)
  (cd "$dir" && "$1-w64-mingw32-gcc" -std=c11 -Wall -Wextra -Werror read_table_windows.c VORDEX.lib \
    -o read_table_windows.exe) >&2 || return 1
  echo "$dir"
}

if fresh_database && psql -X -q -d "$db" -c "CREATE TABLE items (name text); INSERT INTO items VALUES ('pencil')"; then
  for arch in x86_64 i686; do
    [[ $arch == i686 ]] && ! dpkg -s wine32 >/dev/null 2>&1 && continue
    if ! dir=$(archive_example "$arch"); then
      fail "$arch: the archive's C example could not be built from its files"
      continue
    fi
    listed=$(cd "$dir" && LC_ALL=C ls | tr '\n' ' ')
    [[ $listed == "LICENSE README.txt VORDEX.bas VORDEX.def VORDEX.dll VORDEX.lib read_table_windows.c read_table_windows.exe vordex.h " ]] &&
      pass "$arch: the archive holds $listed" || fail "$arch: the archive holds $listed"
    example=$(cd "$dir" && VORDEX_CONNECT=$connect VORDEX_DIALOG=stderr timeout 120 \
      "${wine[@]}" read_table_windows.exe items 2>&1 | tr -d '\r')
    [[ $example == pencil ]] && pass "$arch: the archive's example prints the first value" ||
      fail "$arch: the archive's example printed '$example'"
  done
  dir=$(find "$work/x86_64-archive" -mindepth 1 -maxdepth 1 -type d -print -quit)
  # A table that is not there: the library's message, and a failure.
  example=$(cd "$dir" && VORDEX_CONNECT=$connect VORDEX_DIALOG=stderr timeout 120 \
    "${wine[@]}" read_table_windows.exe nosuch 2>&1 | tr -d '\r' | iconv -f CP932 -t UTF-8)
  status=$?  # the example's own, under pipefail
  [[ $status == 1 && $example == *"フィールドが見つかりません."* ]] &&
    pass "the example on a missing table shows why and fails" ||
    fail "missing table: status $status, '$example'"
  # Under ANSI code page 1252 a value comes in that code page too.
  psql -X -q -d "$db" -c "UPDATE items SET name = 'café ünd 東'"
  example=$(cd "$dir" && VORDEX_CONNECT=$connect VORDEX_DIALOG=stderr LANG=C.UTF-8 \
    LC_ALL=C.UTF-8 timeout 120 wine read_table_windows.exe items 2>&1 | tr -d '\r' | iconv -f CP1252 -t UTF-8)
  [[ $example == "café ünd ?" ]] && pass "code page 1252: the value in CP1252, '?' for what it lacks" ||
    fail "code page 1252: the example printed '$example'"
  # ... and the library's messages in English, which that code page can show.
  example=$(cd "$dir" && VORDEX_MESSAGES='' VORDEX_CONNECT=$connect VORDEX_DIALOG=stderr LANG=C.UTF-8 \
    LC_ALL=C.UTF-8 timeout 120 wine read_table_windows.exe nosuch 2>&1 | tr -d '\r')
  [[ $example == *"nosuch: No field was found."* ]] && pass "code page 1252: the messages in English" ||
    fail "code page 1252: the example on a missing table printed '$example'"
fi

echo "$passed passed, $failed failed"
((failed == 0))
