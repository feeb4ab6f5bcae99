#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
# Four at a time on two cores: the end-to-end rows mostly wait on the engine's timers.
ctest --preset default -j4
