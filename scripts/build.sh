#!/usr/bin/env bash
# Sets everything up (see bootstrap.sh) and builds Quelvar.dll, the tests, the
# programs and the benchmarks twice: 64-bit into build/, 32-bit into build-i686/.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/bootstrap.sh"
for arch in x86_64 i686; do
    dir="$ROOT/build"
    [ "$arch" = x86_64 ] || dir="$ROOT/build-$arch"
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-$arch.cmake" \
            -DCMAKE_BUILD_TYPE=Release >/dev/null
    fi
    cmake --build "$dir" -j"$(nproc)"
done
# The installer and the MSI take both builds.
cmake --build "$ROOT/build" --target Installer InstallerStandIns Msi
