#!/usr/bin/env bash
# Takes screenshots of the client against a demo server on a virtual screen:
# the login window, and the main window after the sign-in. Writes build/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo-lib.sh
build_dir="${QIRA_BUILD_DIR:-build}"

if [ -z "${QIRA_ON_VIRTUAL_SCREEN:-}" ]; then
  QIRA_EXTRA_PACKAGES="xvfb xauth x11-utils imagemagick" bash scripts/deps.sh
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build_dir" -j2 --target qira-server-app qira-client-app
  QIRA_ON_VIRTUAL_SCREEN=1 exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0"
fi

start_demo_server
shots="$build_dir/screenshots"
mkdir -p "$shots"

# shoot NAME SETTINGS: starts the client, waits for it to settle, saves the screen.
shoot() {
  write_client_settings "$2"
  "$build_dir/src/apps/qira-client" >"$shots/$1.log" 2>&1 &
  local client=$!
  sleep "${QIRA_SHOT_DELAY:-4}"
  # The virtual screen has no window manager to draw title bars: the captions of the
  # client's windows, read from the X server, are written above the picture instead.
  local captions
  captions=$(xwininfo -root -tree | sed -n 's/^ *0x[0-9a-f]* "\(.*\)": (.*qira-client.*/\1/p' | sort -u | paste -sd '|' -)
  import -window root "$shots/$1.png"
  convert "$shots/$1.png" -background '#202020' -fill white -font DejaVu-Sans -pointsize 16 \
    label:"Window captions: ${captions:-none}" +swap -gravity center -append "$shots/$1.png"
  kill "$client" 2>/dev/null || true
  wait "$client" 2>/dev/null || true
}

shoot login forget
shoot main remember
echo "Screenshots in $shots"
