#!/usr/bin/env bash
# Builds the frame-source benchmark in release mode (installing what it needs)
# in build-bench and runs it; its arguments go to bench_ffgrabber:
#   scripts/bench.sh                 generate the 1080p clip and measure it
#   scripts/bench.sh --clip FILE     measure an existing clip
#   scripts/bench.sh --keep DIR      keep the generated clip in DIR
# bench_database is built too; bench_window needs the whole main window and is
# left to: cmake --build build-bench -j2 --target bench_window
set -euo pipefail
FRAMEWRIGHT_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$FRAMEWRIGHT_ROOT/scripts/deps.sh"

# ffms2 is measured beside FFGrabber; only the benchmark uses it, so it is not
# among the packages the program and its tests need.
framewright_install_deps libffms2-dev

build_dir="$FRAMEWRIGHT_ROOT/build-bench"
# bench_ffgrabber generates its clip with the test media, hence the tests option.
cmake -S "$FRAMEWRIGHT_ROOT" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release \
    -DFRAMEWRIGHT_BUILD_TESTS=ON -DFRAMEWRIGHT_BUILD_BENCH=ON \
    || framewright_die "CMake configuration failed."
cmake --build "$build_dir" -j2 --target bench_ffgrabber bench_database || framewright_die "the build failed."
"$build_dir/bench/bench_ffgrabber" "$@"
