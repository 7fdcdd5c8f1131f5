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
# The tests are 64-bit programs: Debian's wine command prefers the 32-bit loader once wine32 is
# installed, and that one fails where the kernel runs no 32-bit programs.
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=wine
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Only the first caller makes the prefix; others wait for it.
  ( flock 9; [ -f "$WINEPREFIX/system.reg" ] || { "$loader" wineboot --init >/dev/null 2>&1; wineserver -w; } ) 9>"$dir/wineprefix.lock"
fi
exec "$loader" "$@"
