#!/usr/bin/env bash
# Builds the reader's fuzzer with clang (ASan + UBSan + libFuzzer) and runs it.
# The XML library is every source in joblist/xml, as its CMakeLists.txt builds it.
#   fuzz/run.sh            replay the seed corpus once (what CI does)
#   fuzz/run.sh SECONDS    fuzz for that long, growing a scratch corpus
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-fuzz
mkdir -p "$out"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -Ijoblist/xml fuzz/xml_reader_fuzzer.cpp joblist/xml/*.cpp -o "$out/xml_reader_fuzzer"
if [ $# -eq 0 ]; then
    "$out/xml_reader_fuzzer" -runs=0 fuzz/corpus
else
    mkdir -p "$out/corpus"
    "$out/xml_reader_fuzzer" -max_total_time="$1" -max_len=4096 -timeout=10 "$out/corpus" fuzz/corpus
fi
