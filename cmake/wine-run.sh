#!/bin/sh
# Runs a Windows test program under Wine with a prefix inside the build tree (the folder that
# holds CMakeCache.txt above the program), quietly and without a display.
prog=$1
dir=$(cd "$(dirname "$prog")" && pwd)
while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
[ "$dir" = / ] && dir=$(pwd)
export WINEPREFIX="$dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Only the first caller makes the prefix; others wait for it.
  ( flock 9; [ -f "$WINEPREFIX/system.reg" ] || { wineboot --init >/dev/null 2>&1; wineserver -w; } ) 9>"$dir/wineprefix.lock"
fi
exec wine "$@"
