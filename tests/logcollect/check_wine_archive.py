#!/usr/bin/env python3
"""Judges the archive that zip_up_log_files_wine_test made under Wine with independent readers.

Usage: check_wine_archive.py DIR, where DIR holds OvClientLogs.zip, expected-members.txt (one
name a line, in the order the directory search returned them) and sources/ (the files as
they were when collected).
"""
import os
import subprocess
import sys
import zipfile


def main():
    out = sys.argv[1]
    archive = os.path.join(out, "OvClientLogs.zip")
    with open(os.path.join(out, "expected-members.txt"), encoding="ascii") as f:
        expected = [line.rstrip("\n") for line in f if line.strip()]
    failures = []
    for tool in (["unzip", "-tqq", archive], ["7z", "t", archive]):
        run = subprocess.run(tool, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if run.returncode != 0:
            failures.append(f"{tool[0]} rejects the archive:\n{run.stdout}")
    with zipfile.ZipFile(archive) as z:
        bad = z.testzip()
        if bad is not None:
            failures.append(f"zipfile: bad CRC in {bad}")
        names = [i.filename for i in z.infolist()]
        if names != expected:
            failures.append(f"members {names}, expected {expected}")
        for info in z.infolist():
            with open(os.path.join(out, "sources", info.filename), "rb") as f:
                if z.read(info) != f.read():
                    failures.append(f"{info.filename}: content differs from the file")
            if info.filename.endswith(".log") and info.compress_type != zipfile.ZIP_DEFLATED:
                failures.append(f"{info.filename}: not deflated")
    for failure in failures:
        print(failure)
    print(f"{len(names)} members checked by unzip, 7z and zipfile" if not failures else "FAILED")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
