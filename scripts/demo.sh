#!/usr/bin/env bash
# Installs the dependencies, builds, and shows what the upgrader sees: the serial ports.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
./build/src/cli/kvx-flash --list-ports
