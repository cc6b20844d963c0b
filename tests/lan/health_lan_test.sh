#!/usr/bin/env bash
# health_lan_test.sh PROGRAM
# The service without a window on the test LAN: one decoder stops answering discovery and
# comes back. Its health record (the API's health) and the metrics show one outage, as long
# as the controller saw it last. Builds its installation and removes it.
set -euo pipefail
program=$1
if [ -z "${SIM_INSTALLATION:-}" ]; then
    exec "$(dirname "$0")/../../tools/device_simulator/simulated-installation.sh" \
        --encoders 1 --decoders 2 --seconds 170 -- bash "$0" "$@"
fi

source "$(dirname "$0")/../support/service_home.sh"
web=https://127.0.0.1:7741

mapfile -t decoders < <(awk '$1 == "decoder" { print $4 }' "$SIM_INSTALLATION")
mapfile -t folders < <(awk '$1 == "decoder" { print $3 }' "$SIM_INSTALLATION")
name=${decoders[0]}

die() { echo "FAIL: $*" >&2; exit 1; }
# call JSON: one JSON-RPC request over HTTP; prints its result
call() {
    curl -s -k -H "Authorization: Bearer $token" -d "$1" "$web/api/command" |
        python3 -c 'import json,sys; a=json.load(sys.stdin); print(json.dumps(a.get("result", a)))'
}
health() { call "{\"method\":\"health\",\"params\":{\"device\":\"$name\"}}"; }
online() { health | python3 -c 'import json,sys; print(json.load(sys.stdin).get("online"))'; }
# wait_until WHAT EXPECTED SECONDS COMMAND...: polls COMMAND twice a second
wait_until() {
    local what=$1 expected=$2 until=$((SECONDS + $3)) got
    shift 3
    while [ $SECONDS -lt $until ]; do
        got=$("$@" 2>/dev/null || true)
        [ "$got" = "$expected" ] && return 0
        sleep 0.5
    done
    die "$what: expected '$expected', got '$got'"
}

token=$("$program" --new-api-token 2>/dev/null)
"$program" --headless --api >"$work/out.txt" 2>&1 &
pids+=($!)
wait_until "the decoder listed and online" True 40 online

# Silent to discovery: offline after four passes without an answer, then back.
silenced=$(date +%s.%N)
touch "${folders[0]}/silent"
wait_until "the decoder offline" False 80 online
went=$(date +%s.%N)
sleep 3
heard=$(date +%s.%N)
rm "${folders[0]}/silent"
wait_until "the decoder back" True 30 online
back=$(date +%s.%N)

record=$(health)
echo "$record" | python3 -c '
import json, sys
from datetime import datetime
record = json.load(sys.stdin)
silenced, went, heard, back = map(float, sys.argv[1:])
outages = record["outages"]
assert len(outages) == 1, "outages: %r" % outages
outage = outages[0]
assert outage["end"] is not None, "the outage has not ended: %r" % outage
# Bounded by what the test did and when it saw the change, however slowly it polled.
stamp = lambda text: datetime.fromisoformat(text.replace("Z", "+00:00")).timestamp()
start, end = stamp(outage["start"]), stamp(outage["end"])
assert silenced <= start <= went, "outage began at %.3f, silenced %.3f, seen offline %.3f" % (start, silenced, went)
assert heard <= end <= back, "outage ended at %.3f, answering again %.3f, seen back %.3f" % (end, heard, back)
assert abs(outage["seconds"] - (end - start)) < 0.01, outage
assert record["offline_transitions"] == 1 and record["online"] and record["availability"] < 1, record
' "$silenced" "$went" "$heard" "$back" || die "the health record: $record"

curl -s -k -H "Authorization: Bearer $token" "$web/metrics" >"$work/metrics.txt"
grep -q "^zentrova_device_offline_transitions_total{device=\"$name\",alias=\"[^\"]*\",kind=\"decoder\"} 1$" "$work/metrics.txt" ||
    die "the metrics do not count one outage: $(grep "$name" "$work/metrics.txt" | head -5)"
grep -q "^zentrova_device_up{device=\"$name\",.*} 1$" "$work/metrics.txt" || die "the metrics do not show the decoder up"
grep -q "^zentrova_device_up{device=\"${decoders[1]}\",.*} 1$" "$work/metrics.txt" || die "the other decoder is not up"
grep -q "^zentrova_device_offline_transitions_total{device=\"${decoders[1]}\",.*} 0$" "$work/metrics.txt" ||
    die "the other decoder counts an outage"
echo "health_lan_test: passed"
