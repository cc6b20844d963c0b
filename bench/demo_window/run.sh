#!/usr/bin/env bash
# run.sh [SECONDS] [BUILD_DIR]: what the window costs. Runs the real program in demo mode (30
# live thumbnails, the large view, the demo video) under Xvfb without a network, once with
# the thumbnails at the default rate and once drawing every frame, and prints for each the
# CPU it used per second of wall time and its resident memory at the end. Figures only.
# OpenGL here is Mesa's llvmpipe, so the program draws with the software scene graph; the
# same two figures follow with the scene graph forced onto that OpenGL, for comparison.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-30}
build=$(realpath "${2:-build}")
# The window needs this long to fade in its start screen and fill the demo installation.
settle=8

measure() { # measure LABEL THUMBNAIL_FPS|"" [ENV=VALUE...]: prints one line of figures
    local label=$1 fps=$2 home
    shift 2
    home=$(mktemp -d)
    mkdir -p "$home/.zentrova"
    [ -n "$fps" ] && printf '{\n    "preview": {\n        "thumbnail_fps": %s\n    }\n}\n' "$fps" >"$home/.zentrova/config.json"
    env HOME="$home" XDG_RUNTIME_DIR="$home" LIBGL_ALWAYS_SOFTWARE=1 "$@" scripts/netless xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
        "$1/zentrova" --demo >/dev/null 2>&1 & pid=$!
        sleep "$2"
        ticks() { awk "{print \$14 + \$15}" "/proc/$pid/stat"; }
        start=$(ticks) began=$(date +%s.%N)
        sleep "$3"
        used=$(ticks) ended=$(date +%s.%N)
        rss=$(awk "/^VmRSS/ {print \$2}" "/proc/$pid/status")
        kill "$pid"; wait "$pid" 2>/dev/null || true
        awk -v label="$4" -v ticks=$((used - start)) -v hz="$(getconf CLK_TCK)" -v began="$began" -v ended="$ended" -v rss="$rss" \
            "BEGIN { printf \"%-28s CPU %5.1f %% of one core   resident %6.1f MiB\n\", label, 100 * ticks / hz / (ended - began), rss / 1024 }"
    ' bench "$build" "$settle" "$seconds" "$label"
    rm -rf "$home"
}

echo "demo window under Xvfb, OpenGL drawn by the processor (Mesa), ${seconds} s after ${settle} s to settle:"
measure "thumbnails at default rate" ""
measure "thumbnails at every frame" 0
# An empty QT_QUICK_BACKEND leaves the choice to Qt, whose default is OpenGL.
measure "OpenGL, default rate" "" QT_QUICK_BACKEND=
measure "OpenGL, every frame" 0 QT_QUICK_BACKEND=
