#!/usr/bin/env bash
# Builds Framewright with its tests (installing what it needs) and runs every test headless.
#   scripts/test.sh              gcc build in build-tests
#   scripts/test.sh --sanitize   clang build with AddressSanitizer, LeakSanitizer and
#                                UndefinedBehaviorSanitizer in build-sanitize; the first
#                                report fails its test
set -euo pipefail
FRAMEWRIGHT_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$FRAMEWRIGHT_ROOT/scripts/deps.sh"

case "${1:-}" in
"")
    framewright_install_deps
    framewright_build "$FRAMEWRIGHT_ROOT/build-tests" -DFRAMEWRIGHT_BUILD_TESTS=ON
    cd "$FRAMEWRIGHT_ROOT/build-tests"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300
    ;;
--sanitize)
    framewright_install_deps "${FRAMEWRIGHT_CLANG_PACKAGES[@]}"
    # -O1 keeps the instrumented build and its tests quick enough for CI;
    # the benchmarks measure nothing useful under the sanitizers.
    CC=clang CXX=clang++ framewright_build "$FRAMEWRIGHT_ROOT/build-sanitize" \
        -DFRAMEWRIGHT_BUILD_TESTS=ON -DFRAMEWRIGHT_SANITIZE=ON -DFRAMEWRIGHT_BUILD_BENCH=OFF \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g"
    cd "$FRAMEWRIGHT_ROOT/build-sanitize"
    source "$FRAMEWRIGHT_ROOT/scripts/sanitizers/environment.sh"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 600
    ;;
*)
    echo "usage: scripts/test.sh [--sanitize]" >&2
    exit 2
    ;;
esac
