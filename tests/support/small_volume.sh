#!/bin/sh
# A small volume for the full-disk tests: a tmpfs of SIZE mounted at DIR and mapped as drive
# D: of the Wine prefix PREFIX (a drive D: that was there is put aside and back).
#   small_volume.sh mount PREFIX DIR SIZE
#   small_volume.sh unmount PREFIX DIR
set -eu
action=$1 prefix=$2 dir=$3
link=$prefix/dosdevices/d:
case $action in
  mount)
    mkdir -p "$dir"
    mountpoint -q "$dir" || mount -t tmpfs -o "size=$4" tmpfs "$dir"
    if [ -e "$link" ] || [ -L "$link" ]; then
      [ -L "$link" ] && [ "$(readlink "$link")" = "$dir" ] || mv "$link" "$link.saved"
    fi
    ln -sfn "$dir" "$link"
    ;;
  unmount)
    rm -f "$link"
    if [ -e "$link.saved" ] || [ -L "$link.saved" ]; then mv "$link.saved" "$link"; fi
    if mountpoint -q "$dir"; then umount "$dir"; fi
    rmdir "$dir" 2>/dev/null || true
    ;;
  *) echo "usage: $0 mount|unmount PREFIX DIR [SIZE]" >&2; exit 2 ;;
esac
