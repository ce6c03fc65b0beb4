#!/usr/bin/env bash
# Configures and builds the three builds of the tree:
#   native  the portable core with clang, ASan+UBSan, its tests and the fuzzers
#   win64   every Windows deliverable, stand-in and test (x86_64, run under Wine)
#   win32   the deliverables and stand-ins for i686, compiled and linked only
# Usage: build.sh [native] [win64] [win32]   (default: all three)
# KESTREL_BUILD_DIR chooses the build folder (default: build/ in the tree).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${KESTREL_BUILD_DIR:-$root/build}
jobs=${KESTREL_JOBS:-$(nproc)}
"$root/scripts/setup.sh"

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

configure() {  # dir, extra args...
  local dir=$1; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir.configure.log" 2>&1 \
      || { cat "$dir.configure.log" >&2; echo "build: configure of $dir failed" >&2; return 1; }
  else
    cmake "$dir" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log" >&2; return 1; }
  fi
}

build_one() {
  case $1 in
    native) configure "$out/native" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ ;;
    win64)  configure "$out/win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" ;;
    win32)  configure "$out/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" \
                      -DKESTREL_COMPILE_ONLY=ON ;;
    *) echo "build: unknown build $1" >&2; return 2 ;;
  esac
  echo "build: $1" >&2
  cmake --build "$out/$1" -j "$jobs"
}

mkdir -p "$out"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(native win64 win32)
for t in "${targets[@]}"; do build_one "$t"; done
