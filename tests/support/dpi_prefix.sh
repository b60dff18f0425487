#!/bin/sh
# A Wine prefix that stands for a machine whose screen runs at another scale, for the screen's
# DPI tests: LogPixels is DPI, and the screen (a Wine virtual desktop, whatever the X display's
# size) is 1024 x 768 scaled alike, so a dialog that grows with the DPI fits on it whole.
#   dpi_prefix.sh start PREFIX DPI   makes the prefix on first use and sets both
#   dpi_prefix.sh stop PREFIX        ends the prefix's server and its programs
# Both settings are read by programs as they start: start ends the server first.
set -eu
action=$1 prefix=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
case $action in
  start)
    dpi=$3
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    settings=$prefix.reg
    printf 'Windows Registry Editor Version 5.00\r\n\r\n' >"$settings"
    printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%08x\r\n\r\n' "$dpi" >>"$settings"
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n\r\n' >>"$settings"
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="%dx%d"\r\n' \
      $((1024 * dpi / 96)) $((768 * dpi / 96)) >>"$settings"
    "$root/scripts/wine-run" --prefix="$prefix" --linger=30 reg import "Z:$(echo "$settings" | tr / '\\')"
    ;;
  stop)
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 start PREFIX DPI | stop PREFIX" >&2
    exit 2
    ;;
esac
