#!/bin/sh
# Usage: with-source-date.sh EPOCH_FILE COMMAND [ARGS...]
# Runs COMMAND (the program's link) with SOURCE_DATE_EPOCH set from EPOCH_FILE, which the build
# writes before the link: binutils' PE linker then writes that time into the header instead of
# the time of the link.
epoch_file=$1; shift
SOURCE_DATE_EPOCH=$(cat "$epoch_file") || exit 1
export SOURCE_DATE_EPOCH
exec "$@"
