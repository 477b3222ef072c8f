#!/usr/bin/env bash
# Installs the Debian packages that building and testing need; skips what is present.
# Usage: scripts/install-deps.sh [GROUP...] [PACKAGE...]
#   GROUP is native (the native build and its tests), windows (the cross build, Wine, a virtual
#   display and what the window tests and the package check use) or sanitizers (clang for the
#   fuzz targets and the sanitizer runtime); no group named means all of them. Any other word is
#   one more package to install.
# Runs as root or as a user: a user's installs go through sudo. The packages that are missing are
# named before sudo is asked for anything: sudo is first asked without a prompt, and only a user
# at a terminal is then asked for a password, once it is clear what for. Without sudo rights the
# script ends at once, naming the packages that an administrator must install.
set -euo pipefail

native=(cmake g++ make googletest qpdf poppler-utils socat netcat-openbsd time)
windows=(
  g++-mingw-w64-x86-64-posix
  wine wine64 fonts-wine xvfb xauth x11-utils xdotool imagemagick
  zip unzip osslsigncode openssl
)
sanitizers=(clang libclang-rt-14-dev)

packages=("${native[@]}")
extra=()
groups=0
for word in "$@"; do
  case $word in
    native) groups=1 ;;
    windows) groups=1; packages+=("${windows[@]}") ;;
    sanitizers) groups=1; packages+=("${sanitizers[@]}") ;;
    *) extra+=("$word") ;;
  esac
done
((groups)) || packages+=("${windows[@]}" "${sanitizers[@]}")
packages+=(${extra[@]+"${extra[@]}"})

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  as_root="as root, run:
  apt-get update && apt-get install --no-install-recommends ${missing[*]}"
  if ! command -v sudo >/dev/null; then
    echo "error: these Debian packages are missing: ${missing[*]}" >&2
    echo "error: $(id -un) is not root and sudo is not installed; $as_root" >&2
    exit 1
  fi
  if ! sudo -n true 2>/dev/null; then
    # sudo would ask for a password (or the user has no sudo rights at all, which sudo tells
    # only after up to three password prompts): say first what is missing and what for.
    echo "These Debian packages are missing: ${missing[*]}" >&2
    echo "Installing them needs root rights; if $(id -un) has no sudo rights, ask an administrator to install them, $as_root" >&2
    if [ ! -t 0 ]; then
      echo "error: sudo needs a password and there is no terminal to ask for it" >&2
      exit 1
    fi
    echo "sudo asks for $(id -un)'s password to install them:" >&2
    sudo -v || { echo "error: sudo refused; the packages above are not installed" >&2; exit 1; }
  fi
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
# sudo drops the caller's environment, so the frontend is set on the other side of it.
if ! "${sudo[@]}" apt-get update -qq ||
   ! "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
     apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
  echo "error: could not install these Debian packages: ${missing[*]}" >&2
  echo "error: install them as root: apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
