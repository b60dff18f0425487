#!/usr/bin/env bash
# A small volume as drive D: of the tests' Wine prefix, for the full-disk test.
#   small_drive.sh mount DIR PREFIX     a 2 MiB tmpfs on DIR, linked as PREFIX's d:
#   small_drive.sh unmount DIR PREFIX   undoes it (also after a half-done mount)
# Mounting needs root; without it nothing is mounted and the test that needs the drive
# skips itself.
set -u
action=$1 dir=$2 prefix=$3
link=$prefix/dosdevices/d:
case $action in
  mount)
    "$0" unmount "$dir" "$prefix"
    mkdir -p "$dir" "$prefix/dosdevices"
    if mount -t tmpfs -o size=2m tmpfs "$dir" 2>/dev/null; then
      ln -sfn "$dir" "$link"
    else
      echo "small_drive: no tmpfs could be mounted (not root?); the full-disk test skips" >&2
    fi
    exit 0 ;;
  unmount)
    if [ -L "$link" ] && [ "$(readlink "$link")" = "$dir" ]; then rm -f "$link"; fi
    if mountpoint -q "$dir"; then umount "$dir"; fi
    exit 0 ;;
esac
exit 2
