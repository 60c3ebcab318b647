#!/usr/bin/env python3
"""check_zip.py ARCHIVE [--sha256 HEX] [--count N] [--unzip-skip NAME] [NAME=FILE ...]: unzip -t,
7z t, bsdtar and Python's zipfile accept ARCHIVE, its bytes hash to HEX, both listers see N members,
member NAME holds FILE's bytes ("NAME=": empty). unzip skips NAME (slow on gigabytes). Exit 1 on a
failure, after printing it."""
import hashlib
import subprocess
import sys
import zipfile

archive, args, options, expected, failures = sys.argv[1], sys.argv[2:], {}, {}, []
while args:
    arg = args.pop(0)
    if arg.startswith("--"):
        options[arg] = args.pop(0)
    else:
        name, _, path = arg.partition("=")
        expected[name] = open(path, "rb").read() if path else b""


def run(command, ok=b""):
    result = subprocess.run(command, capture_output=True)
    if result.returncode != 0 or ok not in result.stdout:
        failures.append("%s: exit %d\n%s%s" % (" ".join(command[:2]), result.returncode,
                                               result.stdout[-2000:].decode(errors="replace"),
                                               result.stderr.decode(errors="replace")))
    return result.stdout


with open(archive, "rb") as f:
    digest = hashlib.file_digest(f, "sha256").hexdigest()
if digest != options.get("--sha256", digest):
    failures.append("sha256 %s, pinned %s" % (digest, options["--sha256"]))
skip = ["-x", options["--unzip-skip"]] if "--unzip-skip" in options else []
run(["unzip", "-tqq", archive] + skip)
run(["7z", "t", "-bd", archive], ok=b"Everything is Ok")
listed = run(["bsdtar", "-tf", archive]).decode("latin-1").splitlines()
with zipfile.ZipFile(archive) as z:
    names, bad = z.namelist(), z.testzip()
    failures += ["zipfile.testzip: bad member %r" % bad] if bad is not None else []
    failures += ["zipfile: member %r missing or different" % n
                 for n, data in expected.items() if n not in names or z.read(n) != data]
count = int(options.get("--count", -1))
if count >= 0 and (len(names), len(listed)) != (count, count):
    failures.append("zipfile lists %d, bsdtar %d members, expected %d" % (len(names), len(listed), count))
print("\n".join(failures))
sys.exit(1 if failures else 0)
