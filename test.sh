#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole suite headless:
#   1. the normal build, warnings as errors, with DES.DLL's constant-time check under valgrind
#      where valgrind is installed (the des_constant_time_* tests);
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer (leaks fail);
#   3. the block pipeline's tests built with ThreadSanitizer;
#   4. a short fixed-seed run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
quillmar_install_missing
export QT_QPA_PLATFORM=offscreen

echo "== build"
quillmar_build build -DQUILLMAR_WERROR=ON -DQUILLMAR_TESTS=ON -DQUILLMAR_BENCH=ON
ctest --test-dir build --output-on-failure -j2

echo "== sanitizers"
quillmar_build build-asan -DQUILLMAR_WERROR=ON -DQUILLMAR_TESTS=ON -DQUILLMAR_BENCH=OFF \
  -DQUILLMAR_SANITIZE=address,undefined
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j2

echo "== threads"
# Only what runs on several threads: the block loop, its pipeline and the modules it calls.
cmake -S . -B build-tsan -DQUILLMAR_WERROR=ON -DQUILLMAR_TESTS=ON -DQUILLMAR_BENCH=OFF \
  -DQUILLMAR_SANITIZE=thread >/dev/null
cmake --build build-tsan -j"$(nproc)" --target blockloop_test
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -R '^blockloop_test$'

echo "== fuzzing"
CXX=clang++ QUILLMAR_SRC=tests/fuzz quillmar_build build-fuzz -DFUZZ_SECONDS="${QUILLMAR_FUZZ_SECONDS:-20}"
ctest --test-dir build-fuzz --output-on-failure
