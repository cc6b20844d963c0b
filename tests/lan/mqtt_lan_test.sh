#!/usr/bin/env bash
# mqtt_lan_test.sh PROGRAM
# The service on the test LAN with its MQTT bridge on a real mosquitto broker (on the
# controller's loopback): a route published on the broker reaches the simulated decoder's
# shell, and the decoder's retained source topic then names the encoder. Builds its installation
# and removes it.
set -euo pipefail
program=$1
if [ -z "${SIM_INSTALLATION:-}" ]; then
    exec "$(dirname "$0")/../../tools/device_simulator/simulated-installation.sh" \
        --encoders 2 --decoders 2 --seconds 120 -- bash "$0" "$@"
fi

source "$(dirname "$0")/../support/service_home.sh"
source "$(dirname "$0")/../support/mqtt_broker.sh"
port=18831
# The site's id: its name, then a short hash of it.
site=zentrova/LAN-$(printf LAN | sha256sum | cut -c1-8)

mapfile -t encoders < <(awk '$1 == "encoder" { print $4 }' "$SIM_INSTALLATION")
mapfile -t decoders < <(awk '$1 == "decoder" { print $4 }' "$SIM_INSTALLATION")
mapfile -t folders < <(awk '$1 == "decoder" { print $3 }' "$SIM_INSTALLATION")

die() {
    echo "FAIL: $*" >&2
    tail -20 "$work/out.txt" >&2
    exit 1
}
# wait_until WHAT EXPECTED SECONDS COMMAND...: polls COMMAND until it prints EXPECTED
wait_until() {
    local what=$1 expected=$2 seconds=$3 got
    shift 3
    for _ in $(seq $((seconds * 4))); do
        got=$("$@" 2>/dev/null || true)
        [ "$got" = "$expected" ] && return 0
        sleep 0.25
    done
    die "$what: expected '$expected', got '$got'"
}
retained() { mosquitto_sub -p $port -t "$1" --retained-only -C 1 -W 1 2>/dev/null || true; }

start_broker $port || { pids+=("$broker_pid"); die "the broker does not listen"; }
pids+=("$broker_pid")

"$program" --headless --mqtt 127.0.0.1:$port --site LAN >"$work/out.txt" 2>&1 &
pids+=($!)
decoder=$site/decoder/${decoders[1]}
wait_until "the decoder found" online 40 retained "$decoder/online"
mosquitto_pub -p $port -t "$decoder/source/set" -m "${encoders[0]}"
wait_until "the simulated decoder's source" "${encoders[0]}" 20 cat "${folders[1]}/source_select"
# Sources are published by the encoder's display name.
wait_until "the retained source" "$(retained "$site/encoder/${encoders[0]}/name")" 10 retained "$decoder/source"
[ "$(cat "${folders[0]}/source_select" 2>/dev/null)" != "${encoders[0]}" ] || die "the other decoder was routed too"
echo "mqtt_lan_test: passed"
