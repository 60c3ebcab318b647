#!/usr/bin/env python3
"""Checks a ZIP archive with readers that are not ours: unzip -t, 7z t, bsdtar and Python's zipfile.

usage: check_archive.py ARCHIVE [--sha256 HEX] [--count N] [--stream] [--unzip-skip NAME] [NAME=FILE ...] [NAME<FILE ...]
  NAME=FILE         member NAME holds exactly the bytes of FILE ("NAME=" for empty)
  NAME<FILE         member NAME holds a start of FILE, not empty: a log that grew on while it was read
  --sha256 HEX      the archive's bytes hash to HEX (pinned output of the writer)
  --count N         the archive lists exactly N members (bsdtar and zipfile)
  --stream          also read the exact members front to back from a pipe (bsdtar -f -)
  --unzip-skip NAME unzip tests every member but NAME (its CRC pass is slow on gigabytes)
Prints what failed and exits 1; exits 0 when every reader accepts the archive.
"""
import hashlib
import re
import subprocess
import sys
import zipfile

archive, args, exact, starts, count, skip, pinned, failures = sys.argv[1], sys.argv[2:], {}, {}, None, [], None, []
stream = "--stream" in args
args = [a for a in args if a != "--stream"]
while args:
    arg = args.pop(0)
    if arg == "--count":
        count = int(args.pop(0))
    elif arg == "--unzip-skip":
        skip.append(args.pop(0))
    elif arg == "--sha256":
        pinned = args.pop(0)
    else:
        name, kind, path = re.match(r"([^=<]*)([=<])(.*)", arg, re.S).groups()
        (exact if kind == "=" else starts)[name] = open(path, "rb").read() if path else b""


def run(command, stdin=None, ok=b""):
    result = subprocess.run(command, stdin=stdin, capture_output=True)
    if result.returncode != 0 or ok not in result.stdout:
        failures.append("%s: exit %d\n%s%s" % (" ".join(command[:2]), result.returncode,
                                               result.stdout[-2000:].decode(errors="replace"),
                                               result.stderr.decode(errors="replace")))
    return result.stdout


with open(archive, "rb") as f:
    digest = hashlib.file_digest(f, "sha256").hexdigest()
if pinned is not None and digest != pinned:
    failures.append("sha256 %s, pinned %s" % (digest, pinned))
run(["unzip", "-tqq", archive] + (["-x"] + skip if skip else []))
run(["7z", "t", "-bd", archive], ok=b"Everything is Ok")
listed = run(["bsdtar", "-tf", archive]).decode("latin-1").splitlines()
with zipfile.ZipFile(archive) as z:
    names, bad = z.namelist(), z.testzip()
    failures += ["zipfile.testzip: bad member %r" % bad] if bad is not None else []
    failures += ["zipfile: member %r missing or different" % n
                 for n, data in exact.items() if n not in names or z.read(n) != data]
    failures += ["zipfile: member %r missing, empty or not a start of its file" % n
                 for n, data in starts.items() if n not in names or not z.read(n) or not data.startswith(z.read(n))]
if count is not None and (len(names), len(listed)) != (count, count):
    failures.append("zipfile lists %d, bsdtar %d members, expected %d: %r" % (len(names), len(listed), count, names))
for name, data in exact.items() if stream else []:
    with open(archive, "rb") as f:
        if run(["bsdtar", "-xOf", "-", name], stdin=f) != data:
            failures.append("bsdtar streaming %r: different bytes" % name)
if failures:
    print("\n".join(failures))
sys.exit(1 if failures else 0)
