#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need, and only those
# that are missing. Safe to run again and again.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql postgresql libgl-dev libqscintilla2-qt6-dev libpoppler-qt6-dev
  fonts-dejavu-core
)

# Callers that need more (the screenshot script) name them here.
read -r -a extra <<<"${QIRA_EXTRA_PACKAGES:-}"
packages+=("${extra[@]}")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
