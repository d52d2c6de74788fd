#!/usr/bin/env bash
# Takes screenshots of the client against a demo server on a virtual screen:
# the login window, and the main window after the sign-in. Writes build/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo-lib.sh

QIRA_EXTRA_PACKAGES="xvfb xauth x11-utils imagemagick fonts-dejavu-core" bash scripts/deps.sh
build_dir="${QIRA_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j2 --target qira-server-app qira-client-app
start_demo_server
shots="$build_dir/screenshots"
mkdir -p "$shots"

# shoot NAME SETTINGS: starts the client, waits for it to settle, saves the screen.
shoot() {
  write_client_settings "$2"
  "$build_dir/src/apps/qira-client" >"$shots/$1.log" 2>&1 &
  local client=$!
  sleep "${QIRA_SHOT_DELAY:-4}"
  import -window root "$shots/$1.png"
  kill "$client" 2>/dev/null || true
  wait "$client" 2>/dev/null || true
}
export -f shoot write_client_settings
export build_dir demo_dir port shots

xvfb-run -a -s "-screen 0 1280x800x24" bash -c 'shoot login forget; shoot main remember'
echo "Screenshots in $shots"
