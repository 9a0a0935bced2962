#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent: packages already present are left as they are.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libjpeg62-turbo-dev libturbojpeg0-dev libjpeg-turbo-progs
  libpng-dev zlib1g-dev libtinyxml-dev libopenjp2-7-dev libopenjp2-tools
  juce-modules-source
  libfreetype-dev libfontconfig-dev libx11-dev libxext-dev libxrandr-dev
  libxinerama-dev libxcursor-dev libxcomposite-dev libxrender-dev
  xvfb x11-utils xauth openbox fonts-dejavu-core
  python3 python3-tifffile python3-numpy libxml2-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
