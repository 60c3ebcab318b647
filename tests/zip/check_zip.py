#!/usr/bin/env python3
"""Checks a ZIP archive with independent readers: unzip -t, 7z t, bsdtar and Python's zipfile.

usage: check_zip.py ARCHIVE [--count N] [--stream] [--unzip-skip NAME] [NAME=FILE ...]
  NAME=FILE         member NAME holds exactly the bytes of FILE ("NAME=" for empty)
  --count N         the archive lists exactly N members (bsdtar and zipfile)
  --stream          also read the expected members front to back from a pipe (bsdtar -f -)
  --unzip-skip NAME unzip tests every member but NAME (its CRC pass is slow on gigabytes)
Prints what failed and exits 1; exits 0 when every reader accepts the archive.
"""
import subprocess
import sys
import zipfile

args, expected, options = sys.argv[2:], {}, {"--count": None, "--unzip-skip": []}
stream = "--stream" in args
args = [a for a in args if a != "--stream"]
while args:
    arg = args.pop(0)
    if arg == "--count":
        options[arg] = int(args.pop(0))
    elif arg == "--unzip-skip":
        options[arg].append(args.pop(0))
    else:
        name, _, path = arg.partition("=")
        expected[name] = open(path, "rb").read() if path else b""
archive, count, failures = sys.argv[1], options["--count"], []


def run(command, stdin=None, ok=b""):
    result = subprocess.run(command, stdin=stdin, capture_output=True)
    if result.returncode != 0 or ok not in result.stdout:
        failures.append("%s: exit %d\n%s%s" % (" ".join(command[:2]), result.returncode,
                                               result.stdout[-2000:].decode(errors="replace"),
                                               result.stderr.decode(errors="replace")))
    return result.stdout


skip = ["-x"] + options["--unzip-skip"] if options["--unzip-skip"] else []
run(["unzip", "-tqq", archive] + skip)
run(["7z", "t", "-bd", archive], ok=b"Everything is Ok")
listed = run(["bsdtar", "-tf", archive]).decode("latin-1").splitlines()
with zipfile.ZipFile(archive) as z:
    names = z.namelist()
    if z.testzip() is not None:
        failures.append("zipfile.testzip: bad member %r" % z.testzip())
    for name, data in expected.items():
        if name not in names or z.read(name) != data:
            failures.append("zipfile: member %r missing or different" % name)
if count is not None and (len(names), len(listed)) != (count, count):
    failures.append("zipfile lists %d, bsdtar %d members, expected %d" % (len(names), len(listed), count))
for name, data in expected.items() if stream else []:
    with open(archive, "rb") as f:
        if run(["bsdtar", "-xOf", "-", name], stdin=f) != data:
            failures.append("bsdtar streaming %r: different bytes" % name)
if failures:
    print("\n".join(failures))
sys.exit(1 if failures else 0)
