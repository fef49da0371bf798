#!/usr/bin/env bash
# Builds Framewright with its tests (installing what it needs) and runs every test headless.
set -euo pipefail
FRAMEWRIGHT_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$FRAMEWRIGHT_ROOT/scripts/deps.sh"

framewright_install_deps
framewright_build "$FRAMEWRIGHT_ROOT/build-tests" -DFRAMEWRIGHT_BUILD_TESTS=ON
cd "$FRAMEWRIGHT_ROOT/build-tests"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300
