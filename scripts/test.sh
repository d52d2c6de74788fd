#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
build_dir="${QIRA_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQIRA_WERROR=ON >/dev/null
cmake --build "$build_dir" -j2
ctest --test-dir "$build_dir" --output-on-failure -j2
