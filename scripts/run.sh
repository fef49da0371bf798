#!/usr/bin/env bash
# Builds Framewright (installing what it needs) and starts it.
# Usage: scripts/run.sh [video-or-image-file]   (no file: the generated demo clip)
set -euo pipefail
FRAMEWRIGHT_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$FRAMEWRIGHT_ROOT/scripts/deps.sh"

framewright_install_deps
framewright_build "$FRAMEWRIGHT_ROOT/build" -DFRAMEWRIGHT_BUILD_TESTS=OFF
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    framewright_die "no display found (DISPLAY and WAYLAND_DISPLAY are unset); start it from a desktop session."
fi
if [ $# -eq 0 ] && [ -f "$FRAMEWRIGHT_ROOT/build/demo/demo.mp4" ]; then
    # No file given: show the demo clip and its split marks.
    set -- "$FRAMEWRIGHT_ROOT/build/demo/demo.mp4"
fi
exec "$FRAMEWRIGHT_ROOT/build/app/framewright" "$@"
