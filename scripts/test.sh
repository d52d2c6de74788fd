#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test headless. The server
# tests run on SQLite and, when PostgreSQL is installed, on a throw-away cluster too
# (QIRA_TEST_PG set by the caller is used as it is).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
build_dir="${QIRA_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQIRA_WERROR=ON >/dev/null
cmake --build "$build_dir" -j2

if [ -z "${QIRA_TEST_PG:-}" ]; then
  cluster="$(mktemp -u /tmp/qira-pg.XXXXXX)"
  if QIRA_TEST_PG="$(bash scripts/pg-cluster.sh start "$cluster")"; then
    export QIRA_TEST_PG
    trap 'bash scripts/pg-cluster.sh stop "$cluster"' EXIT
    echo "PostgreSQL test cluster: $QIRA_TEST_PG"
  else
    echo "No PostgreSQL test cluster: the PostgreSQL server tests are skipped"
  fi
fi
ctest --test-dir "$build_dir" --output-on-failure -j2
