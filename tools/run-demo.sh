#!/bin/sh
# Builds the tool and starts it under Wine with a demo machine state, in a real window: on
# your display when DISPLAY is set, otherwise on a private Xvfb screen, from which a
# screenshot is taken and its path printed.
#   OV_DEMO_SCREENSHOT=path  where to save the screenshot (default: build/demo/dialog.png)
#   OV_DEMO_PREFIX=dir       the demo Wine prefix (default: build/demo/prefix; made anew each run)
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
. tools/wine-env.sh
tools/install-deps.sh
cmake --preset windows-x64-wine >/dev/null
cmake --build --preset windows-x64-wine -j"$(nproc)" --target OvClientTracing OvBrandsDemo OvTestService
build="$root/build/windows-x64-wine"
prefix=${OV_DEMO_PREFIX:-$root/build/demo/prefix}
shot=${OV_DEMO_SCREENSHOT:-$root/build/demo/dialog.png}
mkdir -p "$(dirname "$shot")"

xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true
}
trap cleanup EXIT INT TERM

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  display=:$((90 + $$ % 9))
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY="$display"
  sleep 1
fi
OV_WINE_DISPLAY=1 tools/wine-prefix.sh create "$prefix"
tools/demo-machine.sh "$prefix" "$build"

export WINEPREFIX="$prefix" WINEDEBUG=-all
exe="$build/app/OvClientTracing.exe"
if [ "$headless" = 0 ]; then
  echo "Starting OvClientTracing on $DISPLAY (close the dialog to end the demo)."
  "$WINE64" "$exe"
else
  "$WINE64" "$exe" 2>/dev/null &
  tool=$!
  # Wait for the dialog to be up and painted, then photograph the screen.
  for _ in $(seq 1 40); do
    if xwininfo -root -tree 2>/dev/null | grep -q 'Client tracing options'; then break; fi
    sleep 0.5
  done
  sleep 2
  /usr/bin/import -window root "$shot"
  /usr/bin/convert "$shot" -trim +repage "$shot"   # just the dialog, without the empty screen
  echo "No display: the dialog ran on a private Xvfb screen. Screenshot: $shot"
  kill "$tool" 2>/dev/null || true
fi
