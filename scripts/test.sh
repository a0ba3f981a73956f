#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test (unit and end-to-end) through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset asan
cmake --build --preset asan -j "$(nproc)"
ctest --preset asan -j "$(nproc)"
