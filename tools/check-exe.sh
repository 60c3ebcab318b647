#!/bin/sh
# The shipped executables: 32-bit PEs that need no compiler runtime DLLs, the dialog asking
# for elevation and the console companion not (remote shells cannot answer a prompt).
#   check-exe.sh BUILD_DIR   (the windows-x86 build directory)
set -eu
check() {  # check EXE SUBSYSTEM LEVEL
  exe=$1
  desc=$(file -b "$exe")
  echo "$exe: $desc"
  case "$desc" in
    *"PE32 executable ($2) Intel 80386"*) ;;
    *) echo "not a 32-bit $2 executable" >&2; exit 1 ;;
  esac
  dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  echo "imports:" $dlls
  for d in $dlls; do
    case "$d" in
      libgcc*|libstdc++*|libwinpthread*|*mingw*) echo "depends on a compiler runtime DLL: $d" >&2; exit 1 ;;
    esac
  done
  grep -q "level=\"$3\"" "$exe" || { echo "manifest does not ask for $3" >&2; exit 1; }
  grep -q 'processorArchitecture="x86"' "$exe" || { echo "manifest is not for x86" >&2; exit 1; }
  echo "manifest: $3, x86"
}
check "$1/app/OvClientTracing.exe" GUI requireAdministrator
check "$1/app/OvTracingCtl.exe" console asInvoker
