#!/usr/bin/env bash
# Fails with a clear message when build/ holds files of another user. Builds and Wine prefixes
# are meant to belong to whoever runs the scripts: files left by an earlier run as root (for
# instance through sudo) make later builds as the user fail, and Wine refuses a prefix that is
# not the caller's own.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -d build ] || exit 0
foreign=$(find build ! -user "$(id -u)" -print -quit)
if [ -n "$foreign" ]; then
  owner=$(stat -c %U "$foreign")
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo "
  echo "error: build/ holds files of the user $owner (for instance $foreign), left by an earlier" \
    "run as $owner; $(id -un) cannot reuse them. Remove them (${sudo}rm -rf build) or take" \
    "them over (${sudo}chown -R $(id -un): build) and run the command again." >&2
  exit 1
fi
