#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need; does nothing when they
# are all present. A failing `apt-get update` (an unrelated broken index, no network to one
# mirror) does not stop it: the install is tried with whatever indexes there are.
set -eu
PACKAGES="cmake make g++ gcc clang file binutils googletest libgtest-dev libbenchmark-dev
  zlib1g-dev libdeflate-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 wine xvfb
  p7zip-full libarchive-tools unzip python3 imagemagick x11-utils"
missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update || echo "apt-get update failed; trying the install with the current indexes" >&2
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
