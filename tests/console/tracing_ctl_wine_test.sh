#!/bin/sh
# OvTracingCtl.exe for real under Wine: status, a change with a level, JSON, collection judged
# by the archive readers, delete, a usage error, and text beyond ASCII in redirected output.
#   tracing_ctl_wine_test.sh WINE64 OvTracingCtl.exe   (WINEPREFIX set by the caller)
set -eu
wine=$1
ctl=$2
export LC_ALL=C.UTF-8 WINEDEBUG=-all
drive="$WINEPREFIX/drive_c"
logs="$drive/ovctl-Grüße"
out=$(mktemp -d)
trap 'rm -rf "$out" "$logs" "$drive/ovctl.zip"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
run() {  # run EXPECTED-EXIT ARGS...: stdout to $out/out, stderr to $out/err
  expected=$1
  shift
  set +e
  "$wine" "$ctl" "$@" >"$out/out" 2>"$out/err"
  code=$?
  set -e
  tr -d '\r' <"$out/out" >"$out/o" && tr -d '\r' <"$out/err" >"$out/e"
  [ "$code" = "$expected" ] || { cat "$out/o" "$out/e" >&2; fail "$* gave $code, not $expected"; }
}

run 0 dir 'C:\ovctl-Grüße'
[ -d "$logs" ] || fail "dir did not create the directory"
grep -qx 'Trace directory: C:\\ovctl-Grüße' "$out/o" || fail "redirected output is not UTF-8: $(cat "$out/o")"

run 0 enable 'message CLIENT' --level 7
grep -qx 'Message Client: tracing on, level 7.' "$out/o" || fail "enable said: $(cat "$out/o")"
run 0 status
grep -q '^Message Client  *Yes  *7  *C:\\ovctl-Grüße\\MessageClient.log  *Doesn'"'"'t exist$' "$out/o" ||
  fail "status shows: $(cat "$out/o")"
printf 'trace line\n' >"$logs/MessageClient.log"
printf 'engine line\n' >"$logs/OvSharedEngine.log"
run 0 status --json
python3 -c '
import json, sys
s = json.load(open(sys.argv[1], encoding="utf-8"))
assert s["directory"] == "C:\\ovctl-Grüße", s
c = {x["name"]: x for x in s["components"]}
assert c["Message Client"] == {"name": "Message Client", "enabled": True, "level": "7",
    "file": "C:\\ovctl-Grüße\\MessageClient.log", "size": ".0KB"}, c
' "$out/o" || fail "status --json: $(cat "$out/o")"

run 0 collect 'C:\ovctl.zip'
python3 "$(dirname "$0")/../support/check_archive.py" "$drive/ovctl.zip" --count 2 "OvReg.log=$logs/OvReg.log" \
  "OvSharedEngine.log=$logs/OvSharedEngine.log" || fail "the archive is not what was collected"

run 0 delete 'Message Client'
[ -f "$logs/MessageClient.log" ] && [ ! -s "$logs/MessageClient.log" ] || fail "tracing on: the file is emptied, not deleted"
run 0 delete 'Shared Engine Service'
[ ! -e "$logs/OvSharedEngine.log" ] || fail "delete left the file"
run 1 delete 'Shared Engine Service'
grep -q 'File was not deleted.  File not found.' "$out/e" || fail "second delete said: $(cat "$out/e")"

run 2 enable
grep -q '^Usage: OvTracingCtl' "$out/e" || fail "a usage error shows no usage"
run 0 reset
echo "OvTracingCtl under Wine: all checks passed"
