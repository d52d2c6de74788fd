#!/usr/bin/env bash
# Installs what is missing, builds, starts a local document server with a fresh demo
# store and opens the client signed in to it. Closing the client stops the server.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo-lib.sh

bash scripts/deps.sh
build_dir="${QIRA_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j2 --target qira-server-app qira-client-app

start_demo_server
write_client_settings remember
echo "Demo server on localhost:$port (log: $demo_dir/server.log)."
echo "Demo sign-in (demo only): admin / admin (administrator), user / user (ordinary user)."
"$build_dir/src/apps/qira-client"
