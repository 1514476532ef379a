#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (when missing) and builds everything
# in ./build, or only NORVEL_TARGETS. Sourced by run.sh and test.sh.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

PACKAGES=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev qt6-translations-l10n
  libgtest-dev
  xvfb xauth x11-apps fonts-dejavu-core fonts-noto-mono openbox libx11-dev
  poppler-utils
  python3
  dpkg-dev desktop-file-utils x11-utils lintian bash-completion
  libxlsxwriter-dev python3-openpyxl
  qt6-websockets-dev chromium
  libqt6sql6-sqlite libqt6sql6-psql libsqlite3-dev libpq-dev postgresql openssl
  exim4-daemon-light mmdebstrap systemd-container ser2net
)

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# NORVEL_TARGETS: only these (run.sh builds what it starts); without it, everything.
if [ -n "${NORVEL_TARGETS:-}" ]; then
  # shellcheck disable=SC2086
  cmake --build "$BUILD" -j"$(nproc)" --target $NORVEL_TARGETS
else
  cmake --build "$BUILD" -j"$(nproc)"
fi
