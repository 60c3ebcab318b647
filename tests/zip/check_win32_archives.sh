#!/bin/sh
# Runs the Linux readers over the archives that zip_win32_test wrote through the Win32 calls.
set -eu
out=$1
check="python3 $(dirname "$0")/check_zip.py"
in=$out/in
$check "$out/files.zip" --count 5 "logs/app.log=$in/app.log" "old.gz=$in/old.gz" "empty.log=" \
  "mem.txt=$in/mem.txt" "folder/="
$check "$out/pipe.zip" --count 2 --stream "piped.log=$in/piped.log" "piped.gz=$in/piped.log"
$check "$out/offset.zip" --count 1 "offset.log=$in/offset.log"
