# Installs the Debian/Ubuntu packages Framewright needs to build, run and test.
# Sourced by run.sh and test.sh; safe to run again (only missing packages are installed).

FRAMEWRIGHT_PACKAGES=(
    cmake make g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    fonts-dejavu-core
    libopencv-dev libopencv-contrib-dev
    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
    libtesseract-dev tesseract-ocr-eng
    ffmpeg
    xvfb xauth libx11-dev libxtst-dev
)

# The sanitizer and fuzzing builds: clang, its sanitizer and libFuzzer
# runtimes, and the symbolizer for readable reports.
FRAMEWRIGHT_CLANG_PACKAGES=(clang libclang-rt-14-dev llvm)

framewright_die() {
    echo "framewright: $*" >&2
    exit 1
}

# Installs FRAMEWRIGHT_PACKAGES and the packages named as arguments.
framewright_install_deps() {
    if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
        framewright_die "this set-up script needs a Debian or Ubuntu system (apt-get and dpkg).
Install CMake 3.25+, a C++20 compiler and Qt 6 (Core, Gui, Widgets, Test) yourself, then run:
  cmake -S . -B build && cmake --build build -j2 && (cd build && ctest)"
    fi

    local missing=()
    local pkg
    for pkg in "${FRAMEWRIGHT_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null 2>&1 \
            || framewright_die "missing packages (${missing[*]}) and neither root nor sudo is available to install them."
        sudo=(sudo)
    fi
    echo "framewright: installing ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q \
        || framewright_die "apt-get update failed; check the package sources and the network."
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" \
        || framewright_die "could not install: ${missing[*]}. Qt 6 packages need Debian 12 (bookworm) / Ubuntu 22.04 or newer."
}

# framewright_build DIR [cmake options...]: configures (RelWithDebInfo unless an
# option says otherwise) and builds everything in DIR.
framewright_build() {
    local build_dir="$1"
    shift
    cmake -S "$FRAMEWRIGHT_ROOT" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" \
        || framewright_die "CMake configuration failed."
    cmake --build "$build_dir" -j2 || framewright_die "the build failed."
}
