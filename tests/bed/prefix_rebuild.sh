#!/usr/bin/env bash
# The test bed must notice a half-made or stale prefix and rebuild it, and reuse a good one.
set -euo pipefail
env_sh=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-bed.XXXXXX")
trap '"$env_sh" "$work" down >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Half-made: a prefix folder without the stamp that marks a finished creation.
mkdir -p "$work/prefix"
echo "half" > "$work/prefix/marker"
"$env_sh" "$work" up
[ -f "$work/prefix.stamp" ] || fail "no stamp after creation"
[ -f "$work/prefix/system.reg" ] || fail "no registry after creation"
[ ! -e "$work/prefix/marker" ] || fail "half-made prefix was reused"
grep -q '"Managed"="N"' "$work/prefix/user.reg" || fail "X11 Managed=N missing"
grep -q '"ShowCrashDialog"=dword:00000000' "$work/prefix/user.reg" || fail "crash dialog not switched off"

# Good: reused as it is.
touch "$work/prefix/keep"
"$env_sh" "$work" up
[ -e "$work/prefix/keep" ] || fail "a good prefix was rebuilt"

# Stale: a stamp from another recipe.
echo "kestrel-prefix-0 old" > "$work/prefix.stamp"
"$env_sh" "$work" up
[ ! -e "$work/prefix/keep" ] || fail "a stale prefix was reused"
echo "prefix rebuild: ok"
