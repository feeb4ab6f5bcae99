#!/usr/bin/env bash
# Builds the Debian package: a release build with the Qt program in build-package/, then
# `cpack -G DEB`. Prints the path of the .deb. Its Depends line is worked out by dpkg-shlibdeps
# (dpkg-dev) from the libraries the programs link.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
build=build-package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKVX_BUILD_GUI=ON \
  -DKVX_BUILD_TESTS=OFF -DKVX_BUILD_BENCH=OFF
cmake --build "$build"
(cd "$build" && cpack -G DEB >cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
# CPack: - package: /path/kvx-upgrader_1.0.1_amd64.deb generated.
sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$build/cpack.log"
