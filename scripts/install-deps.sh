#!/usr/bin/env bash
# Installs the Debian packages that building and testing need; skips what is present.
# Usage: scripts/install-deps.sh [extra packages...]
# Runs as root or as a user: a user's installs go through sudo, and without sudo the packages
# that are missing are named so that an administrator can install them.
set -euo pipefail

packages=(
  cmake g++ make googletest
  g++-mingw-w64-x86-64-posix
  wine wine64 fonts-wine xvfb xauth x11-utils xdotool imagemagick
  qpdf poppler-utils socat netcat-openbsd time
  clang libclang-rt-14-dev
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "error: these Debian packages are missing: ${missing[*]}" >&2
    echo "error: $(id -un) is not root and sudo is not installed; as root, run:" >&2
    echo "  apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  sudo=(sudo)
fi
# sudo drops the caller's environment, so the frontend is set on the other side of it.
if ! "${sudo[@]}" apt-get update -qq ||
   ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
     apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
  echo "error: could not install these Debian packages: ${missing[*]}" >&2
  echo "error: install them as root: apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
