#!/usr/bin/env bash
# Installs everything the build and the tests need and prepares the Wine prefix and a display.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
setup_all
say "ready: WINEPREFIX=$WINEPREFIX DISPLAY=$DISPLAY"
