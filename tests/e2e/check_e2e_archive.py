#!/usr/bin/env python3
"""Checks the archive that the end-to-end dialog session made, with readers that are not ours."""
import os
import subprocess
import sys
import zipfile

out = sys.argv[1]
archive = os.path.join(out, 'OvClientLogs-e2e.zip')
# What the session left in the trace files it collected (later tests may reuse the directory).
expected = {
    'OvSharedEngine.log': b'2026-12-06 08:00:00.000 [01a4] INFO SharedEngine: up\r\n',
    'OvSpoolerHooks.log': b'',  # emptied by "Delete file" while its tracing was on
}
subprocess.run(['unzip', '-t', archive], check=True)
with zipfile.ZipFile(archive) as z:
    assert z.testzip() is None
    names = z.namelist()
    assert sorted(names) == ['OvReg.log', 'OvSharedEngine.log', 'OvSpoolerHooks.log'], names
    for name, content in expected.items():
        assert z.read(name) == content, name
    snapshot = z.read('OvReg.log').decode('utf-8')
    assert '\r\n[SOFTWARE\\Veltrane\\OvSpoolerHooks\\Tracing]\r\n' in snapshot, snapshot[:400]
    assert '"SeverityFilter"=dword:7\r\n' in snapshot, snapshot[:400]
print('archive ok:', names)
