#!/usr/bin/env bash
# Builds the benchmarks and runs them all: one table per benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
quillmar_install_missing
quillmar_build build -DQUILLMAR_TESTS=OFF -DQUILLMAR_BENCH=ON
export QT_QPA_PLATFORM=offscreen
for b in app_bench module_bench file_bench; do
  if [ -x "build/bench/$b" ]; then
    echo "== $b"
    "build/bench/$b"
    echo
  fi
done
