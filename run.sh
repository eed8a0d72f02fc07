#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quillmar.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
quillmar_install_missing
quillmar_build build -DQUILLMAR_TESTS=OFF -DQUILLMAR_BENCH=OFF
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: start Quillmar under a virtual display with 'xvfb-run ./build/Tessarine'." >&2
  exit 1
fi
exec ./build/Tessarine
