#!/usr/bin/env bash
# Prepares a bare Debian machine for building and testing Quelvar: adds the
# i386 architecture (for wine32, which runs the 32-bit build beside wine64),
# installs the packages (fp-utils brings chmcmd, which compiles the help manual;
# nsis builds the installer, wixl the MSI, osslsigncode signs both and the
# binaries; clang-14 with its sanitizer runtimes, llvm-14's coverage tools and
# the 32-bit C and C++ libraries build the native fuzz targets, which hold the
# hash engine against OpenSSL, librhash and zlib), fetches Debian's boost and
# TinyXML sources, builds them and GoogleTest with the MinGW-w64 compilers into
# .cache/deps (64-bit) and .cache/deps-i686 (32-bit), and creates the project's
# Wine prefix. Idempotent: a second run skips what is done. Sourced (as
# scripts/fuzz.sh does), it only defines its functions.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CACHE="$ROOT/.cache"
# Both builds take the sources fetched once into the 64-bit folder.
SRC="$CACHE/deps/src"
JOBS="$(nproc)"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

log() { printf '[bootstrap] %s\n' "$*" >&2; }

# A mirror being synchronised now and then serves an index of the wrong size;
# try again a little later, and go on with what apt has when it still fails
# (the install that follows says whether anything is really missing).
apt_update() {
    local attempt
    for attempt in 1 2 3; do
        $SUDO apt-get update -qq && return 0
        log "apt-get update failed (attempt $attempt); retrying"
        sleep $((attempt * 10))
    done
    log "apt-get update kept failing; going on with the indexes apt has"
}

PACKAGES=(cmake make ninja-build dpkg-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-tools wine wine64 wine32:i386 libwine-dev
    xvfb xauth x11-utils googletest rhash openssl python3 fp-utils nsis osslsigncode msitools wixl
    clang-14 libclang-rt-14-dev llvm-14 gcc-multilib lib32stdc++-12-dev libssl-dev zlib1g-dev librhash-dev
    libssl-dev:i386 librhash-dev:i386)

# wine32 comes from the i386 architecture; apt knows its packages only once it is added.
add_i386() {
    dpkg --print-foreign-architectures | grep -qx i386 && return
    log "adding the i386 architecture for wine32"
    $SUDO dpkg --add-architecture i386
    apt_update
}

install_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        log "installing ${missing[*]}"
        apt_update
        # When the mirror's i386 security index could not be read, the amd64
        # libraries' candidates are security builds that i386 lacks, and wine32
        # cannot match them: take the release's own versions of both then.
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
            DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
                -t "$(. /etc/os-release && echo "$VERSION_CODENAME")" "${missing[@]}" >/dev/null
    fi
}

# apt-get source needs deb-src entries; derive them from the machine's own
# binary entries (same URIs, suites and components).
ensure_deb_src() {
    if apt-cache showsrc tinyxml >/dev/null 2>&1 && [ -n "$(apt-cache showsrc tinyxml 2>/dev/null)" ]; then
        return
    fi
    log "adding deb-src entries derived from the binary sources"
    local out=/etc/apt/sources.list.d/quelvar-deb-src.sources
    local tmp
    tmp="$(mktemp)"
    if [ -n "$(ls /etc/apt/sources.list.d/*.sources 2>/dev/null)" ]; then
        # deb822 stanzas: the same entries with Types: deb-src.
        for f in $(ls /etc/apt/sources.list.d/*.sources | grep -v quelvar-deb-src); do
            sed -E 's/^Types:.*/Types: deb-src/' "$f"
            echo
        done >"$tmp"
    fi
    if [ -f /etc/apt/sources.list ]; then
        grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"$tmp.list" || true
        if [ -s "$tmp.list" ]; then $SUDO cp "$tmp.list" /etc/apt/sources.list.d/quelvar-deb-src.list; fi
    fi
    if [ -s "$tmp" ]; then $SUDO cp "$tmp" "$out"; fi
    rm -f "$tmp" "$tmp.list"
    apt_update
}

fetch_source() {  # fetch_source <package> -> prints the unpacked folder
    local pkg="$1"
    mkdir -p "$SRC"
    local dir
    dir="$(find "$SRC" -maxdepth 1 -mindepth 1 -type d -name "${pkg}-*" | head -n1)"
    if [ -z "$dir" ]; then
        log "fetching Debian source package $pkg"
        (cd "$SRC" && apt-get source -qq "$pkg" >/dev/null 2>&1)
        dir="$(find "$SRC" -maxdepth 1 -mindepth 1 -type d -name "${pkg}-*" | head -n1)"
    fi
    [ -n "$dir" ] || { echo "cannot fetch source of $pkg" >&2; exit 1; }
    echo "$dir"
}

build_boost() {
    [ -f "$INSTALL/lib/libboost_serialization.a" ] && [ -f "$INSTALL/include/boost/regex.hpp" ] && return
    local dir
    dir="$(fetch_source boost1.81)"
    log "building boost (serialization, regex) with MinGW ($ARCH)"
    rm -rf "$DEPS/build-boost"
    cmake -S "$dir" -B "$DEPS/build-boost" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBOOST_INCLUDE_LIBRARIES="serialization;regex" \
        -DBOOST_ENABLE_MPI=OFF -DBOOST_ENABLE_PYTHON=OFF -DCMAKE_INSTALL_PREFIX="$INSTALL" \
        -DBOOST_INSTALL_LAYOUT=system -DCMAKE_POSITION_INDEPENDENT_CODE=OFF >"$DEPS/boost-configure.log" 2>&1
    cmake --build "$DEPS/build-boost" -j"$JOBS" >"$DEPS/boost-build.log" 2>&1
    cmake --install "$DEPS/build-boost" >"$DEPS/boost-install.log" 2>&1
    rm -rf "$DEPS/build-boost"
}

# TinyXML's asserts would end the host process: the module's copy is built
# without them. The flags are recorded beside the library, so that a cache
# built with other flags (earlier ones kept the asserts) is built again.
TINYXML_FLAGS="-O2 -DTIXML_USE_STL -DNDEBUG"
build_tinyxml() {
    local stamp="$INSTALL/lib/libtinyxml.flags"
    [ -f "$INSTALL/lib/libtinyxml.a" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$TINYXML_FLAGS" ] && return
    local dir
    dir="$(fetch_source tinyxml)"
    log "building TinyXML with MinGW ($ARCH)"
    local obj="$DEPS/build-tinyxml"
    rm -rf "$obj" "$stamp" && mkdir -p "$obj" "$INSTALL/lib" "$INSTALL/include/tinyxml"
    for f in tinyxml tinystr tinyxmlerror tinyxmlparser; do
        # shellcheck disable=SC2086
        "$ARCH-w64-mingw32-g++-posix" $TINYXML_FLAGS -c "$dir/$f.cpp" -o "$obj/$f.o"
    done
    rm -f "$INSTALL/lib/libtinyxml.a"
    "$ARCH-w64-mingw32-ar" rcs "$INSTALL/lib/libtinyxml.a" "$obj"/*.o
    cp "$dir/tinyxml.h" "$dir/tinystr.h" "$INSTALL/include/tinyxml/"
    echo "$TINYXML_FLAGS" >"$stamp"
    rm -rf "$obj"
}

build_googletest() {
    [ -f "$INSTALL/lib/libgtest.a" ] && return
    log "building GoogleTest with MinGW ($ARCH) from /usr/src/googletest"
    rm -rf "$DEPS/build-gtest"
    cmake -S /usr/src/googletest -B "$DEPS/build-gtest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF \
        -DCMAKE_INSTALL_PREFIX="$INSTALL" >"$DEPS/gtest-configure.log" 2>&1
    cmake --build "$DEPS/build-gtest" -j"$JOBS" >"$DEPS/gtest-build.log" 2>&1
    cmake --install "$DEPS/build-gtest" >"$DEPS/gtest-install.log" 2>&1
    rm -rf "$DEPS/build-gtest"
}

main() {
    add_i386
    install_packages
    ensure_deb_src
    # ARCH, DEPS, INSTALL and TOOLCHAIN name the build the functions above work on.
    for ARCH in x86_64 i686; do
        DEPS="$CACHE/deps"
        [ "$ARCH" = x86_64 ] || DEPS="$CACHE/deps-$ARCH"
        INSTALL="$DEPS/install"
        mkdir -p "$DEPS"
        TOOLCHAIN="$ROOT/cmake/mingw-w64-$ARCH.cmake"
        build_boost
        build_tinyxml
        build_googletest
    done
    "$ROOT/scripts/wine-run.sh" --init
    log "ready"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    main "$@"
fi
