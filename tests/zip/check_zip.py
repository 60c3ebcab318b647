#!/usr/bin/env python3
"""Checks a ZIP archive with independent readers: unzip -t, 7z t, bsdtar and Python's zipfile.

usage: check_zip.py ARCHIVE [--stream] [--count N] [--unzip-skip NAME] [NAME=FILE ...]
  NAME=FILE  the member NAME must exist and hold exactly the bytes of FILE ("NAME=" for empty)
  --count N  the archive must list exactly N members
  --unzip-skip NAME  unzip tests every member but NAME (its CRC pass is slow on gigabytes);
             the other readers still test it
  --stream   also read the archive front to back from a pipe (bsdtar -xO -f -), as a reader
             of a non-seekable stream does, and compare each expected member
Prints what failed and exits 1; exits 0 when every reader accepts the archive.
"""
import subprocess
import sys
import zipfile


def run(args, stdin=None):
    result = subprocess.run(args, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return result.returncode, result.stdout, result.stderr


def main():
    archive = sys.argv[1]
    expected = {}
    count = None
    stream = False
    unzip_skip = []
    rest = sys.argv[2:]
    i = 0
    while i < len(rest):
        arg = rest[i]
        if arg == "--stream":
            stream = True
        elif arg == "--unzip-skip":
            i += 1
            unzip_skip.append(rest[i])
        elif arg == "--count":
            i += 1
            count = int(rest[i])
        else:
            name, _, path = arg.partition("=")
            expected[name] = open(path, "rb").read() if path else b""
        i += 1

    failures = []
    code, out, err = run(["unzip", "-tqq", archive] + (["-x"] + unzip_skip if unzip_skip else []))
    if code != 0:
        failures.append("unzip -t: exit %d\n%s%s" % (code, out.decode(errors="replace")[-2000:], err.decode(errors="replace")))
    code, out, err = run(["7z", "t", "-bd", archive])
    if code != 0 or b"Everything is Ok" not in out:
        failures.append("7z t: exit %d\n%s%s" % (code, out.decode(errors="replace")[-2000:], err.decode(errors="replace")))
    code, out, err = run(["bsdtar", "-tf", archive])
    listed = out.decode("latin-1").splitlines()
    if code != 0:
        failures.append("bsdtar -tf: exit %d\n%s" % (code, err.decode(errors="replace")))
    elif count is not None and len(listed) != count:
        failures.append("bsdtar -tf lists %d members, expected %d" % (len(listed), count))

    with zipfile.ZipFile(archive) as z:
        bad = z.testzip()
        if bad is not None:
            failures.append("zipfile.testzip: first bad member %r" % bad)
        names = z.namelist()
        if count is not None and len(names) != count:
            failures.append("zipfile lists %d members, expected %d" % (len(names), count))
        for name, data in expected.items():
            if name not in names:
                failures.append("zipfile: member %r missing (has %r)" % (name, names[:20]))
            elif z.read(name) != data:
                failures.append("zipfile: member %r differs from its source" % name)

    if stream:
        for name, data in expected.items():
            with open(archive, "rb") as f:
                code, out, err = run(["bsdtar", "-xO", "-f", "-", name], stdin=f)
            if code != 0 or out != data:
                failures.append("bsdtar streaming %r: exit %d, %d bytes, expected %d\n%s"
                                % (name, code, len(out), len(data), err.decode(errors="replace")))

    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
