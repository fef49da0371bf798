#!/usr/bin/env bash
# Fuzzes one target with libFuzzer, the project's libraries instrumented too.
# Usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
#   TARGET   splitsfile, database, movetext, calculator or webtable (or fuzz_NAME)
# The build goes to build-fuzz (clang, AddressSanitizer, UndefinedBehaviorSanitizer).
# New inputs collect in build-fuzz/corpus/NAME, seeded from fuzz/corpus/NAME;
# a crashing input is written to build-fuzz/findings/ and the script exits 1.
# Add a finding to fuzz/corpus/NAME once it is fixed, so every test run replays it.
set -euo pipefail
FRAMEWRIGHT_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$FRAMEWRIGHT_ROOT/scripts/deps.sh"

if [ $# -lt 2 ] || ! [[ "$2" =~ ^[0-9]+$ ]]; then
    echo "usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]" >&2
    exit 2
fi
name="${1#fuzz_}"
seconds="$2"
shift 2
[ -d "$FRAMEWRIGHT_ROOT/fuzz/corpus/$name" ] || {
    echo "scripts/fuzz.sh: no fuzz target '$name' (see fuzz/corpus/)" >&2
    exit 2
}

framewright_install_deps "${FRAMEWRIGHT_CLANG_PACKAGES[@]}"
build="$FRAMEWRIGHT_ROOT/build-fuzz"
CC=clang CXX=clang++ cmake -S "$FRAMEWRIGHT_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFRAMEWRIGHT_LIBFUZZER=ON -DFRAMEWRIGHT_BUILD_TESTS=OFF -DFRAMEWRIGHT_BUILD_BENCH=OFF >/dev/null \
    || framewright_die "CMake configuration failed."
cmake --build "$build" -j2 --target "fuzz_$name" || framewright_die "the build failed."

source "$FRAMEWRIGHT_ROOT/scripts/sanitizers/environment.sh"
# The targets call no third-party code that needs the slow unwinder; fast
# unwinding keeps the executions per second up.
export ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=1"
mkdir -p "$build/corpus/$name" "$build/findings"
exec "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/findings/$name-" "$@" \
    "$build/corpus/$name" "$FRAMEWRIGHT_ROOT/fuzz/corpus/$name"
