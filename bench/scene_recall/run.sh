#!/usr/bin/env bash
# run.sh BUILD_DIR [DECODERS ENCODERS ADDRESSES RECALLS COMMAND_MS]: a scene recall on a test
# LAN of its own: the controller with its window (offscreen) in one namespace, the
# installation in another: default 314 decoders, the first 64 of which form an 8 x 8 wall,
# and 8 encoders, on 120 addresses (a wall member has an address of its own; the other
# devices share the rest, as 314 devices and the controller do not fit in one /24). The
# decoders' shells answer at once, or COMMAND_MS after each command, as real ones that switch
# their picture do. Prints figures; passes or fails on nothing but every decoder being found
# and confirming.
set -euo pipefail
build=$(cd "${1:-build}" && pwd) decoders=${2:-314} encoders=${3:-8} count=${4:-120} recalls=${5:-3} command_ms=${6:-0}
bench=$build/bench/scene_recall/scene_recall_bench
source "$(dirname "$0")/../../tests/lan/testlan.sh"

lan_start
lan_add_fleet "$count"
lan_spawn "$(lan_ns 0)" "$LAN_WORK/fleet.log" 400 "$bench" fleet "$decoders" "$encoders" 8 8 "$command_ms" \
    "${LAN_FLEET_ADDRESSES[@]}"
lan_wait_for "$LAN_WORK/fleet.log" '^ready fleet' 20
# The log handler's copy of every line goes to standard error; a terminal would slow the
# controller down, which a Windows debugger output does not.
status=0
lan_exec "$(lan_ns controller)" 360 env QT_QPA_PLATFORM=offscreen \
    "$bench" controller "$decoders" "$encoders" 8 8 "$LAN_WORK/fleet.log" "$recalls" 2>"$LAN_WORK/controller.log" ||
    status=$?
[ "$status" = 0 ] || tail -n 20 "$LAN_WORK/controller.log" >&2
exit "$status"
