#!/bin/sh
# Creates or removes a throwaway Wine prefix for tests and the demo.
#   wine-prefix.sh create DIR   fresh prefix, null graphics driver (headless), persistent wineserver
#   wine-prefix.sh destroy DIR  stops its wineserver and deletes it
set -eu
. "$(dirname "$0")/wine-env.sh"
cmd=$1
dir=$(realpath -m "$2")
wine_prefix_env "$dir"
case "$cmd" in
  create)
    if [ -d "$dir" ]; then "$WINESERVER" -k 2>/dev/null || true; rm -rf "$dir"; fi
    mkdir -p "$(dirname "$dir")"
    "$WINE64" wineboot -i >/dev/null 2>&1
    "$WINESERVER" -w
    if [ "${OV_WINE_DISPLAY:-}" = "" ]; then
      "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null 2>&1
    else
      "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    fi
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w
    # A persistent server saves every later test program the start-up and shut-down wait.
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
    # Start Wine's own services now, detached from any caller's pipes: the persistent server
    # keeps them alive, so test programs later neither wait for them nor hand them their
    # stdout (ctest would otherwise wait for those pipes until its time-out).
    "$WINE64" wineboot </dev/null >/dev/null 2>&1
    ;;
  destroy)
    "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$dir"
    ;;
  *) echo "usage: $0 create|destroy DIR" >&2; exit 2 ;;
esac
