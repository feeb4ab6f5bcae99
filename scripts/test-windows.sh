#!/usr/bin/env bash
# Builds the Windows programs and tests (the windows preset: mingw-w64, static) and runs the tests
# under Wine. Each run has a Wine prefix of its own under build-windows/, removed at the end, and
# keeps one wineserver for the whole run so each test program starts quickly.
#
# The end-to-end tests drive kvx-flash.exe against kvx-sim, a Linux program, so the Linux build's
# kvx-sim and tests/wine's program are built too, and the prefix maps a COM port to a link that
# each test points at its simulator's pseudo-terminal. The window's artwork is drawn by the Linux
# build's kvx-artwork; its tests run on an Xvfb of this run's own, in a Wine virtual desktop, so
# windows have the title bars Wine draws itself.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
./scripts/install-deps-windows.sh
cmake --preset default
cmake --build --preset default --target kvx-sim wine_flash_tests wine_window_tests kvx-artwork
cmake --preset windows
cmake --build --preset windows

WINEPREFIX=$(mktemp -d "$PWD/build-windows/wine-prefix.XXXXXX")
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko: the prefix is made without asking to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's server keeps its socket in /tmp/wine-XXXXXX/server-DEV-INODE (the prefix folder's
# device and inode, in hexadecimal): removed with the prefix, so a run leaves nothing in /tmp.
xvfb_pid=""
stop_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  local inode server_dir
  inode=$(printf '%x' "$(stat -c %i "$WINEPREFIX")")
  for server_dir in /tmp/wine-*/server-*-"$inode"; do
    [ -d "$server_dir" ] || continue
    rm -rf "$server_dir"
    rmdir "$(dirname "$server_dir")" 2>/dev/null || true
  done
  rm -rf "$WINEPREFIX"
}
trap stop_wine EXIT

# Xvfb on a free display, listening only on the abstract socket: nothing of it stays in /tmp.
display_file="$WINEPREFIX/xvfb-display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -nolisten unix 3>"$display_file" \
  2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
if [ ! -s "$display_file" ]; then
  echo "test-windows: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$display_file")"

wineboot --init 2>/dev/null
# Every window in one virtual desktop.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
# The end-to-end tests' COM port. Wine reads its port map when its server starts.
export KVX_WINE_COM_PORT=COM21
export KVX_WINE_COM_LINK="$WINEPREFIX/$KVX_WINE_COM_PORT"
wine reg add 'HKLM\Software\Wine\Ports' /v "$KVX_WINE_COM_PORT" /d "$KVX_WINE_COM_LINK" /f \
  >/dev/null 2>&1
wineserver -k
wineserver -w
wineserver -p >/dev/null 2>&1
# The prefix's services (a test program would start them, and they would keep its output pipe,
# and so ctest, waiting) are started here, away from any test's output.
wineboot >/dev/null 2>&1
ctest --preset windows "$@"
