#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and runs with.
# Skips what is installed already; uses sudo when not root.
set -euo pipefail
PACKAGES=(
  build-essential cmake pkg-config git python3
  libgtest-dev libgmock-dev googletest
  zlib1g-dev libpng-dev libjpeg-dev libfreetype-dev fonts-dejavu-core
  libsdl2-dev libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri
  libvorbis-dev libogg-dev libopenal-dev libopenal1
  libx11-dev xvfb xauth
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
