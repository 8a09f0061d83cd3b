#!/usr/bin/env bash
# Installs, from Debian's packages, what building and testing Quillmere needs. Only
# missing packages are installed, so running it again is quick and changes nothing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config            # compiler and build
  qt6-base-dev                                # Qt 6 Widgets, Gui, Core and QTest
  libcurl4-openssl-dev                        # HTTP for the update check
  libgtest-dev                                # GoogleTest
  xvfb xauth                                  # a display for screenshots of the window
  fonts-dejavu-core                           # a font for text drawn without a display
  "$@"                                        # extras a caller asks for
)

missing=()
for pkg in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$pkg")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all build and test packages are installed"
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
  else
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
