#!/usr/bin/env bash
# Sets everything up (see bootstrap.sh) and builds Quelvar.dll, the tests, the
# programs and the benchmarks into build/.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/bootstrap.sh"
if [ ! -f "$ROOT/build/build.ninja" ]; then
    cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$ROOT/build" -j"$(nproc)"
