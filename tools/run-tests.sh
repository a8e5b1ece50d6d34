#!/usr/bin/env bash
# Installs what is missing, builds the program, its tests and benchmarks, and
# runs every test: once in an ordinary build and once under AddressSanitizer
# and UndefinedBehaviorSanitizer; then, where clang is there, the table
# layer's fuzz target over the corpus of damaged tables.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

jobs=$(nproc)

# Printing is tested on a real queue: CUPS with a PDF printer as the default.
# A run where it cannot start stops here.
bash tools/print-queue.sh start
trap 'bash tools/print-queue.sh stop' EXIT

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVR_BENCH=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKVR_SANITIZE=ON
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize &&
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j"$jobs")

# The fuzz target, from the damaged tables of tests/data/damaged, for a fixed
# number of runs with a fixed seed. What it finds beyond the corpus goes to
# build-fuzz/found, a failing input to build-fuzz/crash-*.
if command -v clang++ >/dev/null 2>&1; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DKVR_FUZZ=ON
  cmake --build build-fuzz -j"$jobs" --target dbf_read_fuzz
  rm -rf build-fuzz/found && mkdir -p build-fuzz/found
  build-fuzz/tests/fuzz/dbf_read_fuzz -runs=50000 -seed=1 -max_len=4096 \
    -artifact_prefix=build-fuzz/ build-fuzz/found tests/data/damaged
fi
