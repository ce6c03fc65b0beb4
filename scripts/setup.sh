#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when all are present.
set -euo pipefail

packages=(
  cmake ninja-build clang libclang-rt-14-dev googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools binutils-mingw-w64-x86-64
  binutils-mingw-w64-i686 wine wine64 xvfb xauth x11-apps netpbm
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
if ! "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}" >/tmp/kestrel-apt.log 2>&1; then
  "${sudo_cmd[@]}" apt-get update >>/tmp/kestrel-apt.log 2>&1 || true
  if ! "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}" >>/tmp/kestrel-apt.log 2>&1; then
    echo "setup: could not install: ${missing[*]} (see /tmp/kestrel-apt.log)" >&2
    tail -n 20 /tmp/kestrel-apt.log >&2
    exit 1
  fi
fi
# A stray 32-bit wine makes /usr/bin/wine pick a loader this kernel cannot run.
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
    || { echo "setup: $p is still missing after install" >&2; exit 1; }
done
