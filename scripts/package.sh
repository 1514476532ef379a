#!/usr/bin/env bash
# Builds NorvelWin and makes its Debian package in build/packages/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$BUILD"
cpack -G DEB -B "$BUILD/packages"
ls "$BUILD"/packages/*.deb
