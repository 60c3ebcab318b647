#!/bin/sh
# The shipped executable: a 32-bit GUI PE that needs no compiler runtime DLLs.
set -eu
exe=$1
desc=$(file -b "$exe")
echo "$exe: $desc"
case "$desc" in
  *"PE32 executable (GUI) Intel 80386"*) ;;
  *) echo "not a 32-bit GUI executable" >&2; exit 1 ;;
esac
dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports:" $dlls
for d in $dlls; do
  case "$d" in
    libgcc*|libstdc++*|libwinpthread*|*mingw*) echo "depends on a compiler runtime DLL: $d" >&2; exit 1 ;;
  esac
done
# The embedded manifest asks for elevation and names the 32-bit architecture.
grep -q 'level="requireAdministrator"' "$exe" || { echo "manifest does not ask for requireAdministrator" >&2; exit 1; }
grep -q 'processorArchitecture="x86"' "$exe" || { echo "manifest is not for x86" >&2; exit 1; }
echo "manifest: requireAdministrator, x86"
