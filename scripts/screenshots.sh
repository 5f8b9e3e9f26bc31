#!/usr/bin/env bash
# Pictures of the wizard for a person to look at: builds, starts a throw-away PostgreSQL
# cluster and Oracle stand-in schemas, and drives tarnova's pages and dialogs on a virtual
# X server at the real X11 platform. The PNGs go to build/screenshots/ (not committed).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${BUILD_DIR:-$root/build}

bash scripts/install_deps.sh xvfb xauth
BUILD_DIR=$build bash scripts/build.sh

for v in $(env | sed -n 's/^\(PG[A-Z_]*\)=.*/\1/p'); do unset "$v"; done
source scripts/pg_cluster.sh
pg_cluster_start

out=$build/screenshots
rm -rf "$out"
mkdir -p "$out"
WIZARD_SCREENSHOT_DIR=$out QT_QPA_PLATFORM=xcb LD_LIBRARY_PATH=$build/ocisim \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/tests/wizard/test_wizard" --gtest_filter='wizard_screenshots*'
ls -1 "$out"
