#!/bin/sh
# Every test tier: installs what is missing, builds all three presets, runs the native tests
# (sim, ASan+UBSan) and the Windows tests under Wine, and checks the shipped executables.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
JOBS=$(nproc)
for preset in native windows-x86 windows-x64-wine; do
  echo "=== configure and build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$JOBS"
done
tools/check-exe.sh build/windows-x86
echo "=== tests: native"
ctest --preset native -j"$JOBS"
echo "=== tests: windows-x64 under Wine"
ctest --preset windows-x64-wine
echo "All test tiers passed."
