#!/usr/bin/env bash
# run.sh [--tls] BUILD_DIR [DECODERS ENCODERS ADDRESSES]: the control API's web transport on a test
# LAN of its own: the controller (zentrova-api-host, discovering) in one namespace, the
# whole installation (default 250 decoders and 60 encoders on 40 addresses, all in one
# namespace: the discovery benchmark's fleet, whose decoder shells note when a route
# arrives) in another, and the WebSocket clients (clients.py) beside the controller. With
# --tls, the web port serves TLS with the controller's own certificate and the clients pin it.
# Prints figures; passes or fails on nothing but the installation being found.
set -euo pipefail
tls=()
scheme=ws
if [ "${1:-}" = --tls ]; then
    tls=(--tls) scheme=wss
    shift
fi
build=$(cd "$1" && pwd) decoders=${2:-250} encoders=${3:-60} count=${4:-40}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../tests/lan/testlan.sh"

lan_start
lan_add_fleet "$count"
fleet_log=$LAN_WORK/fleet.log host_log=$LAN_WORK/host.log
lan_spawn "$(lan_ns 0)" "$fleet_log" 600 "$build/bench/discovery_scale/discovery_scale_bench" fleet \
    "$decoders" "$encoders" "${LAN_FLEET_ADDRESSES[@]}"
lan_wait_for "$fleet_log" '^ready fleet' 20
lan_spawn "$(lan_ns controller)" "$host_log" 600 env QT_QPA_PLATFORM=offscreen \
    "$build/tools/api_host/zentrova-api-host" --address 192.0.2.1 --port 7741 --max-clients 128 \
    --devices $((decoders + encoders)) "${tls[@]}"
lan_wait_for "$host_log" '^ready' 120
token=$(awk '/^token /{print $2}' "$host_log")
pid=$(awk '/^ready /{print $NF}' "$host_log")
fingerprint=$(awk '/^fingerprint /{print $2}' "$host_log")
lan_exec "$(lan_ns controller)" 400 /usr/bin/python3 "$here/clients.py" $scheme://192.0.2.1:7741/ws "$token" "$pid" \
    "$fleet_log" "$decoders" $fingerprint
