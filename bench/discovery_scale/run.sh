#!/usr/bin/env bash
# run.sh BENCH [DECODERS ENCODERS ADDRESSES]: the discovery benchmark on a test LAN of its
# own: the controller in one namespace, the whole installation (default 250 decoders and
# 60 encoders on 40 addresses) in another. The controller runs twice: asking for its own
# receive buffer, then for no more than a stock Debian grants (net.core.rmem_max, 208 KiB).
# With BUSY=1, a loop that never sleeps runs beside the controller, so that the window's
# thread, the reading thread and the installation's burst share what is left.
# Prints figures; passes or fails on nothing but every device being listed.
set -euo pipefail
bench=$1 decoders=${2:-250} encoders=${3:-60} count=${4:-40}
source "$(dirname "$0")/../../tests/lan/testlan.sh"

lan_start
lan_add_fleet "$count"
lan_spawn "$(lan_ns 0)" "$LAN_WORK/fleet.log" 300 "$bench" fleet "$decoders" "$encoders" "${LAN_FLEET_ADDRESSES[@]}"
lan_wait_for "$LAN_WORK/fleet.log" '^ready fleet' 20
[ "${BUSY:-0}" = 1 ] && lan_spawn "$(lan_ns controller)" "$LAN_WORK/busy.log" 300 sh -c 'while :; do :; done'
status=0
lan_exec "$(lan_ns controller)" 240 "$bench" controller $((decoders + encoders)) || status=1
echo "--- with the receive buffer of a stock Debian"
lan_exec "$(lan_ns controller)" 240 "$bench" controller $((decoders + encoders)) 208 || status=1
exit $status
