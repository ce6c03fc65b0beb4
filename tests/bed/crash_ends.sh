#!/usr/bin/env bash
# A program that crashes inside the bed must fail its run, and soon, with Wine's crash report in
# the output: no hidden crash dialog, and no exit code 0 from Wine's debugger passing as success.
set -uo pipefail
wine_run=$1 probe=$2
out=$(timeout 50 "$wine_run" "$probe" 2>&1)
rc=$?
fail() { printf '%s\n' "$out"; echo "FAIL: $*" >&2; exit 1; }
[ $rc -ne 124 ] || fail "the crashed program was still running after 50 s"
[ $rc -ne 0 ] || fail "the run of a crashed program passed"
grep -q 'crash probe: about to write' <<<"$out" || fail "the probe did not run (exit code $rc)"
grep -q '^wine: Unhandled page fault' <<<"$out" || fail "no crash report in the output (exit code $rc)"
echo "crash ends the run: ok (exit code $rc)"
