#!/bin/sh
# Fills a Wine prefix with a demo machine state for OvClientTracing:
#   - the four components' tracing keys and "DefaultDir" under HKLM\SOFTWARE\Veltrane,
#   - a trace directory with a few realistic Ov*.log files and MessageClient.log,
#   - "Support File Location" pointing at the demo branding library,
#   - the test service registered and started as "OvSharedEngine".
# usage: demo-machine.sh PREFIX BUILD_DIR   (BUILD_DIR: the windows-x64-wine build tree)
set -eu
prefix=$(realpath -m "$1")
build=$(realpath "$2")
. "$(dirname "$0")/wine-env.sh"
wine_prefix_env "$prefix"
reg() { "$WINE64" reg "$@" >/dev/null; }

support="$prefix/drive_c/Program Files/Veltrane/Support"
mkdir -p "$support"
cp "$build/branding/demo/OvBrands/OvBrands.dll" "$support/"
cp "$build/tools/testservice/OvTestService.exe" "$prefix/drive_c/Program Files/Veltrane/OvSharedEngine.exe"

traces="$prefix/drive_c/ProgramData/Mirabo/Ostrival/Logs/Veltrane/Client"
mkdir -p "$traces"
python3 - "$traces" <<'PY'
import random, sys, os
random.seed(7)
d = sys.argv[1]
def log(name, component, lines):
    with open(os.path.join(d, name), 'w', newline='\r\n') as f:
        for i in range(lines):
            tid = random.choice((0x1a4, 0x1b8, 0x2c0))
            lvl = random.choice(('INFO', 'INFO', 'DEBUG', 'WARN'))
            msg = random.choice(('Job 4711 queued for printer \\\\PRINTSRV\\Floor2-Color',
                                 'Quota check for user jdoe: 120 pages left',
                                 'Popup shown: confirm job cost 0.45 EUR',
                                 'Spooler event: StartDocPrinter returned 42',
                                 'Heartbeat to server prt-mgmt01:9191 ok (12 ms)'))
            f.write('2026-12-06 08:%02d:%02d.%03d [%04x] %-5s %s: %s\n' % (
                i // 60 % 60, i % 60, random.randrange(1000), tid, lvl, component, msg))
log('OvSharedEngine.log', 'SharedEngine', 1800)
log('OvPopupManager.log', 'PopupManager', 600)
log('OvSpoolerHooks.log', 'SpoolerHooks', 2500)
log('MessageClient.log', 'MessageClient', 300)
PY

winTraces='C:\ProgramData\Mirabo\Ostrival\Logs\Veltrane\Client'
reg add 'HKLM\SOFTWARE\Veltrane\Desktop Client' /v DefaultDir /t REG_SZ /d "$winTraces" /f
reg add 'HKLM\SOFTWARE\Veltrane\Common' /v 'Support File Location' /t REG_SZ /d 'C:\Program Files\Veltrane\Support\' /f
for k in 'Desktop Client\Shared Engine' 'Desktop Client\Popup Manager' 'Desktop Client\Message Client' 'OvSpoolerHooks\Tracing'; do
  reg add "HKLM\\SOFTWARE\\Veltrane\\$k" /v Level /t REG_DWORD /d 0 /f
  reg add "HKLM\\SOFTWARE\\Veltrane\\$k" /v Enable /t REG_DWORD /d 0 /f
done
reg add 'HKLM\SOFTWARE\Veltrane\Desktop Client\Shared Engine' /v Enable /t REG_DWORD /d 1 /f
reg add 'HKLM\SOFTWARE\Veltrane\Desktop Client\Shared Engine' /v Level /t REG_DWORD /d 5 /f
reg add 'HKLM\SOFTWARE\Veltrane\OvSpoolerHooks\Tracing' /v Enable /t REG_DWORD /d 1 /f
reg add 'HKLM\SOFTWARE\Veltrane\OvSpoolerHooks\Tracing' /v Level /t REG_DWORD /d 3 /f

"$WINE64" sc delete OvSharedEngine >/dev/null 2>&1 || true
"$WINE64" sc create OvSharedEngine binpath= "\"C:\\Program Files\\Veltrane\\OvSharedEngine.exe\" --log \"$winTraces\\service-events.txt\"" start= demand >/dev/null
"$WINE64" sc start OvSharedEngine >/dev/null 2>&1 || true
"$WINE64" net start Spooler >/dev/null 2>&1 || true
