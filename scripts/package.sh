#!/usr/bin/env bash
# Builds the Debian package: a release build with the Qt program in build-package/, then
# `cpack -G DEB`. Prints the path of the .deb. Its Depends line is worked out by dpkg-shlibdeps
# (dpkg-dev) from the libraries the programs link.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
build=build-package
# Debian's own build flags (-O2, stack protector, _FORTIFY_SOURCE, RELRO) in place of CMake's
# -O3: GCC 12 reports false -Wrestrict errors in std::string at -O3.
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKVX_BUILD_GUI=ON \
  -DKVX_BUILD_TESTS=OFF -DKVX_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build"
(cd "$build" && cpack -G DEB >cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
# CPack: - package: /path/kvx-upgrader_1.0.1_amd64.deb generated.
sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$build/cpack.log"
