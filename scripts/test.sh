#!/usr/bin/env bash
# Builds everything (native, x86_64, i686) and runs every test: the native core tests and fuzzers,
# then the Windows tests under Wine. Fails when any build or test fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${KESTREL_BUILD_DIR:-$root/build}
jobs=${KESTREL_JOBS:-$(nproc)}

"$root/scripts/build.sh" native win64 win32
status=0
ctest --test-dir "$out/native" --output-on-failure -j "$jobs" || status=1
ctest --test-dir "$out/win64" --output-on-failure -j "$jobs" || status=1
if [ $status -ne 0 ]; then echo "test: FAILED" >&2; else echo "test: all passed" >&2; fi
exit $status
