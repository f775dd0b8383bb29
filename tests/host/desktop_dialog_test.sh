#!/usr/bin/env bash
# The desktop backend on a real display server (Xvfb) with zenity: a message
# of the library in a window titled "VORDEX" that holds the call until it is
# closed, and the choice of a data source in a list window. Screenshots are
# kept as test artifacts.
#   desktop_dialog_test.sh PATH/TO/libvordex.so ARTIFACT_DIR
# Needs the environment of scripts/with_cluster.sh.
set -uo pipefail
(($# == 2)) || { echo "usage: desktop_dialog_test.sh LIBRARY ARTIFACT_DIR" >&2; exit 2; }
library=$(realpath -- "$1") artifacts=$2
: "${VORDEX_TEST_PG_DRIVER:?run through scripts/with_cluster.sh or scripts/test.sh}"
mkdir -p "$artifacts"
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok: $*"; }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }
work=$(mktemp -d /tmp/vordex-desktop.XXXXXX)
trap 'kill ${xvfb_pid:-} 2>/dev/null; rm -rf -- "$work"' EXIT

# shellcheck source-path=SCRIPTDIR source=../xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/../xvfb.sh"
start_xvfb 90 120 "$work/xvfb.log" || { echo "FAILED: no display server: $(tail -n 5 "$work/xvfb.log")"; exit 1; }
unset VORDEX_DIALOG VORDEX_CODEPAGE

# host CALL: runs one library call in the background, as a host with a window
# would; what it returned lands in $work/result.
host() {
  rm -f "$work/result"
  /usr/bin/python3 - "$library" "$1" "$work/result" <<'PY' &
import ctypes, sys
vordex = ctypes.CDLL(sys.argv[1])
result = eval(sys.argv[2], {"vordex": vordex})
open(sys.argv[3], "w").write(str(result))
vordex.VORDEX_Close()
PY
  host_pid=$!
}

# dialog SCREENSHOT KEYS: waits for the window to be shown, keeps a
# screenshot, checks that the call still waits on it and answers with KEYS;
# then the call returns. The waits are bounded generously: a busy machine
# takes its time to start the dialog program.
dialog() {
  local window
  if ! window=$(wait_for_window '^VORDEX$' 180 "$host_pid"); then
    fail "no window titled VORDEX shown"
    kill "$host_pid" 2>/dev/null
    return
  fi
  pass "a window titled '$(timeout 30 xdotool getwindowname "$window")'"
  timeout 60 import -window root "$artifacts/$1" && pass "screenshot $1" || fail "screenshot $1"
  if kill -0 "$host_pid" 2>/dev/null && [[ ! -e $work/result ]]; then pass "the call waits on the window"; else fail "the call did not wait"; fi
  shift
  timeout 60 xdotool windowfocus --sync "$window" key "$@" || fail "xdotool could not answer the window"
  if timeout 120 tail --pid="$host_pid" -f /dev/null; then
    pass "the call returned once the window was closed"
  else
    fail "the call still waits"
    kill "$host_pid" 2>/dev/null
  fi
}

# A message of the library's own, in Japanese, in a window given UTF-8 text
# whatever the host's code page: a zenity first on PATH records what it is
# given and shows the window.
db=vordex_desktop
psql -X -q -d "$PGDATABASE" -c "DROP DATABASE IF EXISTS $db WITH (FORCE)" -c "CREATE DATABASE $db" >/dev/null
psql -X -q -d "$db" -c "CREATE TABLE t (id serial PRIMARY KEY)" >/dev/null
export VORDEX_CONNECT=${VORDEX_TEST_PG_DRIVER/Database=vordex_test/Database=$db}
mkdir -p "$work/bin"
printf '#!/bin/sh\nfor a in "$@"; do printf "%%s|" "$a"; done > "%s"\nexec "%s" "$@"\n' "$work/zenity.args" \
  "$(command -v zenity)" >"$work/bin/zenity"
chmod +x "$work/bin/zenity"
shown=$'--warning|--no-markup|--title|VORDEX|--text|nosuch 内にフィールドが見つかりません.\r\n\r\n'
shown+='ODBC32,ODBCﾄﾞﾗｲﾊﾞ,ﾃﾞｰﾀﾍﾞｰｽﾌｧｲﾙ名等を確認して下さい|'
for codepage in "" 932; do
  rm -f "$work/zenity.args"
  VORDEX_CODEPAGE=$codepage PATH=$work/bin:$PATH host 'vordex.VORDEX_Open(b"nosuch")'
  dialog "vordex-message${codepage:+-cp$codepage}.png" Return
  [[ $(cat "$work/result" 2>/dev/null) == 0 ]] && pass "VORDEX_Open returned 0" || fail "VORDEX_Open returned '$(cat "$work/result" 2>/dev/null)'"
  [[ $(cat "$work/zenity.args" 2>/dev/null) == "$shown" ]] &&
    pass "code page '$codepage': zenity is given the text in UTF-8" ||
    fail "code page '$codepage': zenity was given: $(cat "$work/zenity.args" 2>/dev/null)"
done

# The data sources in a list: the first is chosen; then a cancel.
unset VORDEX_CONNECT
host 'vordex.VORDEX_Table()'
dialog vordex-data-sources.png Down Up Return
[[ $(cat "$work/result" 2>/dev/null) -gt 0 ]] && pass "the chosen data source listed its tables" ||
  fail "VORDEX_Table returned '$(cat "$work/result" 2>/dev/null)'"
host 'vordex.VORDEX_Table()'
dialog vordex-data-sources-cancelled.png Escape
[[ $(cat "$work/result" 2>/dev/null) == 0 ]] && pass "a cancel lists nothing" || fail "cancel: '$(cat "$work/result" 2>/dev/null)'"

# kdialog (where it is the dialog program found) shows text that looks like
# markup as it is: a stand-in records what it is given.
export VORDEX_CONNECT=${VORDEX_TEST_PG_DRIVER/Database=vordex_test/Database=$db}
mkdir -p "$work/kde"
printf '#!/bin/sh\nfor a in "$@"; do printf "%%s|" "$a"; done > "%s"\n' "$work/kdialog.args" >"$work/kde/kdialog"
chmod +x "$work/kde/kdialog"
PATH=$work/kde /usr/bin/python3 -c 'import ctypes, sys; ctypes.CDLL(sys.argv[1]).VORDEX_Open(b"<b>x</b> & y")' "$library"
expected="--title|VORDEX|--sorry|<qt>&lt;b&gt;x&lt;/b&gt; &amp; y 内にフィールドが見つかりません.<br><br>ODBC32,"
[[ $(cat "$work/kdialog.args" 2>/dev/null) == "$expected"*"</qt>|" ]] && pass "kdialog is given the text, never markup" ||
  fail "kdialog was given: $(cat "$work/kdialog.args" 2>/dev/null)"

echo "desktop dialogs: $passed passed, $failed failed (screenshots in $artifacts)"
((failed == 0))
