#!/usr/bin/env bash
# Builds the Windows programs and tests (the windows preset: mingw-w64, static) and runs the tests
# under Wine. Each run has a Wine prefix of its own under build-windows/, removed at the end, and
# keeps one wineserver for the whole run so each test program starts quickly.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps-windows.sh
cmake --preset windows
cmake --build --preset windows

WINEPREFIX=$(mktemp -d "$PWD/build-windows/wine-prefix.XXXXXX")
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko: the prefix is made without asking to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
stop_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap stop_wine EXIT
wineserver -p
wineboot --init 2>/dev/null
ctest --preset windows
