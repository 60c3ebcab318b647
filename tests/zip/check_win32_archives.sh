#!/bin/sh
# Runs the Linux readers over the archives that zip_win32_test wrote through the Win32 calls,
# then checks what readers forgive: flags, attributes and offsets as the writer must set them.
set -eu
out=$1
check="python3 $(dirname "$0")/check_zip.py"
in=$out/in
$check "$out/files.zip" --count 5 "logs/app.log=$in/app.log" "old.gz=$in/old.gz" "empty.log=" \
  "mem.txt=$in/mem.txt" "folder/="
$check "$out/pipe.zip" --count 2 --stream "piped.log=$in/piped.log" "piped.gz=$in/piped.log"
$check "$out/offset.zip" --count 1 "offset.log=$in/piped.log"
python3 - "$out" <<'PY'
import struct, sys, zipfile
out, failures = sys.argv[1], []
def expect(archive, want):  # name: (flags in both headers, external attributes or None)
    raw = open(out + "/" + archive, "rb").read()
    got = {i.filename: (i.flag_bits if raw[i.header_offset + 6] == i.flag_bits else "local differs", i.external_attr)
           for i in zipfile.ZipFile(out + "/" + archive).infolist()}
    for name, (flags, external) in want.items():
        if got.get(name, (None,))[0] != flags or external not in (None, got[name][1]):
            failures.append("%s %s: flags/attributes %r" % (archive, name, got.get(name)))
expect("files.zip", {"logs/app.log": (2, 0x81800020), "old.gz": (0, 0x81800020), "empty.log": (2, 0x81800020),
                     "mem.txt": (2, 0x80000000), "folder/": (0, 0x41C00010)})
expect("pipe.zip", {"piped.log": (8, None), "piped.gz": (8, None)})
data = open(out + "/offset.zip", "rb").read()  # offsets count from the file's start, past the prefix
if struct.unpack("<I", data[-6:-2])[0] != data.find(b"PK\x01\x02") or data.find(b"PK\x03\x04") != 26:
    failures.append("offset.zip: offsets not from the start of the file")
print("\n".join(failures))
sys.exit(1 if failures else 0)
PY
