#!/usr/bin/env python3
"""Checks the archive that the end-to-end dialog session made, with readers that are not ours."""
import os
import subprocess
import sys
import zipfile

out = sys.argv[1]
archive = os.path.join(out, 'OvClientLogs-e2e.zip')
logs = os.path.join(out, 'moved', 'logs')
subprocess.run(['unzip', '-t', archive], check=True)
with zipfile.ZipFile(archive) as z:
    assert z.testzip() is None
    names = z.namelist()
    assert sorted(names) == ['OvReg.log', 'OvSharedEngine.log', 'OvSpoolerHooks.log'], names
    for name in ('OvSharedEngine.log', 'OvSpoolerHooks.log'):
        with open(os.path.join(logs, name), 'rb') as f:
            assert z.read(name) == f.read(), name
    snapshot = z.read('OvReg.log').decode('utf-8')
    assert '\r\n[SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing]\r\n' in snapshot, snapshot[:400]
    assert '"SeverityFilter"=dword:7\r\n' in snapshot, snapshot[:400]
print('archive ok:', names)
