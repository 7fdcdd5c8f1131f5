#!/bin/bash
# realhost_tests.sh PLUGIN_DIR [REALHOST_DIR]
#
# The built 32-bit DLL in the real host (its 2.0 release with the adapter for 1.x plugins,
# under 32-bit Wine, driven in tmux): the real host's own smoke run, then one session on an
# 80x25 console checking what only a screen shows:
#   - F1 on the panel opens the plugin's help (the host reads only *.hlf files);
#   - view mode 6 shows the mailer's state in 80 columns;
#   - the health report's fix is the one of the row under the cursor;
#   - a Cyrillic name written in CP1251 by an ANSI writer is listed, and its line is not
#     offered for removal (Wine with the Russian code pages: OEM 866, ANSI 1251);
#   - F5 from the file panel attaches the file with its full path;
#   - F3 on a netmail packet shows the plugin's text of it in the host's viewer, and its
#     temporary file is gone once the viewer is left.
#
#   PLUGIN_DIR    bsopanel.dll with its .lng and help files (the win32 preset's build/win32/plugin)
#   REALHOST_DIR  the real host's folder (smoke.sh, run-plugin.sh, host/); default
#                 $BSOPANEL_REALHOST, else shared/realhost beside the checkout
#
# Exits 0 when every check passed, 1 when one failed (each failure named, with its screen), and
# 77 (CTest's skip) with the reason when the real host cannot run here: no real host, no wine,
# tmux or python3, or no 32-bit Wine that runs on this machine. Work files: $TMPDIR/bsopanel-rh.
set -uo pipefail

PLUGIN_DIR=$(readlink -m "${1:?usage: realhost_tests.sh PLUGIN_DIR [REALHOST_DIR]}")
RH=$(readlink -m "${2:-${BSOPANEL_REALHOST:-$(dirname "$0")/../../../shared/realhost}}")
skip() {
  echo "realhost: SKIP: $*"
  exit 77
}

[ -f "$RH/host/Far.exe" ] && [ -x "$RH/smoke.sh" ] || skip "no real host in $RH"
for tool in wine wineserver tmux python3 iconv; do
  command -v $tool >/dev/null 2>&1 || skip "$tool is not installed (scripts/setup installs it)"
done
# 32-bit Wine: its loader must be installed (wine32) and must run on this kernel (scripts/setup
# installs it only where it does).
loader=
for candidate in /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine /usr/lib32/wine/wine; do
  [ -x "$candidate" ] && file -L "$candidate" 2>/dev/null | grep -q '32-bit' && loader=$candidate
done
[ -n "$loader" ] || skip "32-bit Wine is not installed (wine32:i386; scripts/setup installs it where 32-bit programs run)"
"$loader" --version >/dev/null 2>&1 ||
  skip "32-bit Wine is installed but cannot run: this machine runs no 32-bit programs"
[ -f "$PLUGIN_DIR/bsopanel.dll" ] || { echo "realhost: FAIL: no $PLUGIN_DIR/bsopanel.dll" >&2; exit 1; }
locale -a 2>/dev/null | grep -qiE '^ru_RU\.utf-?8$' || {
  echo "realhost: FAIL: the locale ru_RU.UTF-8 is missing (scripts/setup makes it)" >&2
  exit 1
}

WORK=$(readlink -m "${TMPDIR:-/tmp}/bsopanel-rh")
rm -rf "$WORK"
mkdir -p "$WORK"
export TMUX_SOCKET=bsopanel-rh-$$
T=(tmux -L "$TMUX_SOCKET")
SESSION=checks
cleanup() { "${T[@]}" kill-server 2>/dev/null || true; }
trap cleanup EXIT

failed=0
pass() { echo "realhost: ok: $*"; }
fail() { # MESSAGE: names the failure with the screen it was seen on
  echo "realhost: FAIL: $*" >&2
  "${T[@]}" capture-pane -p -t "$SESSION" >&2 2>/dev/null || true
  failed=1
}

# 1. The real host's own smoke run: lists, enters a link, goes back, leaves, quits.
SMOKE_ROOT=$WORK/smoke "$RH/smoke.sh" "$RH/host" "$PLUGIN_DIR" "$WORK/smoke/screens"
case $? in
  0) pass "smoke run" ;;
  2) echo "realhost: FAIL: the host did not start under 32-bit Wine" >&2; exit 1 ;;
  *) failed=1 ;;
esac

# 2. The outbound of the session: the smoke outbound and what the checks need.
OUT=$WORK/out
FILES=$WORK/files
SRC=$WORK/src
"$RH/make-outbound.sh" "$OUT" "$FILES"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
# 2:500/11: held for a day (view mode 6 names the hold).
echo $(($(date +%s) + 86400)) >"$OUT/01f4000b.hld"
# 2:500/12: a Cyrillic file name, written by an ANSI writer in CP1251; Wine names it on disk in
# UTF-8.
cyrillic='отчёт.txt'
printf 'report' >"$FILES/$cyrillic"
{ winpath "$FILES/$cyrillic" | iconv -f UTF-8 -t CP1251; printf '\r\n'; } >"$OUT/01f4000c.flo"
# 2:500/13 and 2:500/14: a line that names no file each, two entries of the health report.
printf '.\r\n' >"$OUT/01f4000d.flo"
printf '.\r\n' >"$OUT/01f4000e.flo"
# 2:500/16: a netmail packet of one message, for F3.
python3 - "$OUT/01f40010.cut" <<'PACKET'
import struct, sys
w = lambda v: struct.pack('<H', v)
header = (w(1) + w(16) + w(2026) + w(11) + w(10) + w(7) + w(51) + w(57) + w(0) + w(2) + w(500) +
          w(500) + bytes(10) + w(2) + w(2) + bytes(20))
message = (w(2) + w(1) + w(16) + w(500) + w(500) + w(1) + w(0) + b'10 Dec 26  07:51:57\0' +
           b'Sysop\0' + b'Real Host\0' + b'Viewer check\0' + b'\x01MSGID: 2:500/1 1\rHello.\r\0')
open(sys.argv[1], 'wb').write(header + message + w(0))
PACKET
# The file F5 attaches from the file panel.
mkdir -p "$SRC"
printf 'attach' >"$SRC/attach.txt"

# The help files only as the plugin ships them: the host reads *.hlf alone.
export WINEPREFIX=$WORK/smoke/wp
if ! WINE_LANG=ru_RU.UTF-8 "$RH/run-plugin.sh" --hlp-only -s "$SESSION" -x 80 -y 25 \
  -r "$WORK/run" "$RH/host" "$PLUGIN_DIR" "$OUT" >/dev/null; then
  echo "realhost: FAIL: the host did not start for the checks" >&2
  exit 1
fi

screen() { "${T[@]}" capture-pane -p -t "$SESSION"; }
keys() { "${T[@]}" send-keys -t "$SESSION" "$@"; }
home() { "${T[@]}" send-keys -t "$SESSION" -H 1b 5b 48; }
wait_for() { # REGEX [SECONDS]
  local i
  for ((i = 0; i < ${2:-8} * 5; i++)); do
    screen | grep -qE -- "$1" && return 0
    sleep 0.2
  done
  return 1
}
cursor_row() {
  "${T[@]}" capture-pane -p -e -t "$SESSION" | python3 "$RH/cursor.py" /dev/stdin left |
    sed -n 's/^cursor row [0-9]*: //p' | head -1
}
# Home, then Down until the cursor is on the row starting with TEXT.
go_to() {
  local i
  home
  for ((i = 0; i < 12; i++)); do
    sleep 0.2
    [[ "$(cursor_row)" == "$1"* ]] && return 0
    keys Down
  done
  return 1
}

keys F11
wait_for 'BSO outbound browser' && keys Enter
wait_for 'Outbound: ' || { fail "the plugin did not open from the plugins menu"; exit 1; }

# F1: the plugin's help, its contents topic.
keys F1
if wait_for 'The plugin shows a FidoNet' 5; then pass "F1 opens the plugin's help"; else
  fail "F1 did not open the plugin's help (the host reads only *.hlf)"
fi
keys Escape
sleep 0.5

# View mode 6 (Alt+6 plays Ctrl+6): in 80 columns the hold shows, in its row and in the status
# line with the cursor on the link.
keys M-6
if go_to '2:500/11.0' && wait_for 'held till' 3 &&
  [ "$(screen | grep -c 'held till')" -ge 2 ]; then
  pass "view mode 6 shows the mailer's state in 80 columns"
else
  fail "view mode 6 does not show the mailer's state of 2:500/11.0 in 80 columns"
fi
keys M-3
sleep 0.5

# Shift+F7: Down to the second entry, Enter: the question names that entry's flow file.
keys S-F7
if wait_for 'Outbound health check'; then
  second=$(screen | grep -oE '01f4000[de]\.flo' | sed -n 2p)
  keys Down
  sleep 0.3
  keys Enter
  if wait_for 'Take this line out' 5 && [ -n "$second" ] &&
    screen | grep -A3 'Take this line out' | grep -q "$second"; then
    pass "the health report's fix follows the cursor"
  else
    fail "the fix offered is not the one of the row under the cursor ($second)"
  fi
  keys Escape
  sleep 0.5
  keys Escape
  sleep 0.5
else
  fail "Shift+F7 did not show the health report"
fi

# The Cyrillic name is listed with its size and not offered for removal.
if go_to '2:500/12.0'; then
  keys Enter
  if wait_for 'Outbound: 2:500/12' && sleep 1 && screen | grep -q "$cyrillic" &&
    ! screen | grep -q 'Drop its line'; then
    pass "a Cyrillic name from an ANSI writer is listed and kept"
  else
    fail "the Cyrillic name of 2:500/12.0 is not listed, or its line is offered for removal"
  fi
  keys Escape
  sleep 0.3
  home
  sleep 0.3
  keys Enter
  wait_for '═ Outbound: ═' 5
else
  fail "no row 2:500/12.0 in the link list"
fi

# F5 from the file panel: the flow file names the file with its full path.
keys Tab
sleep 0.3
keys -l "cd $(winpath "$SRC")"
keys Enter
sleep 1
home
sleep 0.3
keys Down
sleep 0.3
keys F5
if wait_for 'Copy .*attach\.txt' 5; then
  keys Enter
  if wait_for 'Attach files' 5; then
    keys -l '2:500/15'
    keys Enter
    sleep 1.5
  fi
fi
flow=$(ls "$OUT"/01f4000f.?lo 2>/dev/null | head -1)
if [ -n "$flow" ] && grep -qF "$(winpath "$SRC/attach.txt")" "$flow"; then
  pass "F5 from the file panel attaches the full path"
else
  fail "F5 from the file panel did not attach $(winpath "$SRC/attach.txt") (flow file: ${flow:-none}: $(cat "$flow" 2>/dev/null))"
fi

# F3 on the packet: the plugin's text in the host's viewer, nothing left in the temporary folder.
keys Tab
sleep 0.3
if go_to '2:500/16.0'; then
  keys Enter
  wait_for 'Outbound: 2:500/16' 5
  keys Down
  sleep 0.3
  keys F3
  if wait_for 'End of the packet: 1 message' 5 && screen | grep -q 'Real Host, 2:500/1.0' &&
    screen | grep -q '  MSGID: 2:500/1 1'; then
    keys Escape
    sleep 1
    left=$(find "$WINEPREFIX/drive_c" -type d -name 'bsopanel-*' 2>/dev/null | head -1)
    if [ -z "$left" ] && wait_for 'Outbound: 2:500/16' 3; then
      pass "F3 shows a netmail packet in the host's viewer"
    else
      fail "after the viewer: the panel is gone or the text's folder stays (${left:-none})"
    fi
  else
    fail "F3 on the packet of 2:500/16.0 did not show its text in the viewer"
    keys Escape
  fi
else
  fail "no row 2:500/16.0 in the link list"
fi

keys F10
wait_for 'Do you want to quit' 5 && keys Enter
wait_for 'host exited' 15 || fail "the host did not end after F10"
if grep -qiE 'exception|page fault|unhandled' "$WORK/run/wine-stderr.log"; then
  fail "Wine reported a fault: $(grep -iE 'exception|page fault|unhandled' "$WORK/run/wine-stderr.log" | head -3)"
fi
[ $failed = 0 ] && echo "realhost: every check passed"
exit $failed
