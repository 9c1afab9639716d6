#!/usr/bin/env bash
# Sets up, builds and starts Quellin on the default sandbox (created on first use). Without a
# display the window is shown on a virtual one (xvfb-run); QT_QPA_PLATFORM=offscreen also works.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  exec build/bin/quellin
fi
echo "run: no display here; starting Quellin under xvfb-run (close it with Ctrl+C)." >&2
exec xvfb-run -a build/bin/quellin
