# Sourced by the scripts that drive Wine: the one place that says where its binaries are.
# A WINE64 from the environment wins, and the wineserver beside it goes with it.
WINE64=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-$(dirname "$WINE64")/wineserver64}
[ -x "$WINESERVER" ] || WINESERVER=wineserver
# What every prefix of ours runs with: quiet, and no desktop menus, .NET or Gecko installers.
wine_prefix_env() {
  export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
}
