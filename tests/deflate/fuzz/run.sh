#!/bin/sh
# Builds the compressor's libFuzzer target with clang (ASan + UBSan) and runs it on the
# committed seed corpus. Usage: tests/deflate/fuzz/run.sh [seconds] [extra libFuzzer flags]
# New inputs go to build/fuzz/corpus, so the committed seeds stay a handful of files.
set -eu
root=$(cd "$(dirname "$0")/../../.." && pwd)
out="$root/build/fuzz"
seconds=${1:-180}
[ $# -gt 0 ] && shift
mkdir -p "$out/corpus"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" "$root/tests/deflate/fuzz/deflate_fuzz.cpp" "$root"/zip/deflate*.cpp \
  "$root/bench/deflate/corpora.cpp" "$root/bench/deflate/trace_corpus.cpp" -lz -o "$out/deflate_fuzz"
exec "$out/deflate_fuzz" -max_total_time="$seconds" -max_len=300000 -rss_limit_mb=4096 \
  -print_final_stats=1 "$@" "$out/corpus" "$root/tests/deflate/fuzz/corpus"
