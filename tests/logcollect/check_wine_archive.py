#!/usr/bin/env python3
"""Judges the archive zip_up_log_files_wine_test left in DIR with unzip, 7z and zipfile, against
DIR/expected-members.txt (names in search order) and DIR/sources/ (the files as collected). A log
named in DIR/growing.txt grew on: its member is a start of it, at least as long as given there."""
import os, subprocess, sys, zipfile

out = sys.argv[1]
archive = os.path.join(out, "OvClientLogs.zip")
failures = [f"{tool[0]} rejects the archive" for tool in (["unzip", "-tqq", archive], ["7z", "t", archive])
            if subprocess.run(tool, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0]
growing = dict(line.split() for line in open(os.path.join(out, "growing.txt")))
with zipfile.ZipFile(archive) as z, open(os.path.join(out, "expected-members.txt")) as f:
    expected = f.read().split()
    if z.testzip() is not None or z.namelist() != expected:
        failures.append(f"zipfile: bad CRC or members {z.namelist()}, expected {expected}")
    for info in z.infolist():
        with open(os.path.join(out, "sources", info.filename), "rb") as source:
            data = z.read(info)
            whole = source.read()[:max(len(data), int(growing[info.filename])) if info.filename in growing else None]
            if data != whole or info.compress_type != zipfile.ZIP_DEFLATED:
                failures.append(f"{info.filename}: differs from the file or not deflated")
print("\n".join(failures) or f"{len(expected)} members checked by unzip, 7z and zipfile")
sys.exit(1 if failures else 0)
