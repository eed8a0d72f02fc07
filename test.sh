#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, runs the whole suite headless.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
quillmar_install_missing
quillmar_build build -DQUILLMAR_WERROR=ON -DQUILLMAR_TESTS=ON -DQUILLMAR_BENCH=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2
