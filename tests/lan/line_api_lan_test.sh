#!/usr/bin/env bash
# line_api_lan_test.sh PROGRAM
# The service without a window on the test LAN, driven over the line protocol: a route to a
# decoder, to a wall and to every screen, each read back from the simulated decoders, and a
# second client that sees the changes as events. Builds its installation and removes it.
set -euo pipefail
program=$1
if [ -z "${SIM_INSTALLATION:-}" ]; then
    exec "$(dirname "$0")/../../tools/device_simulator/simulated-installation.sh" \
        --encoders 2 --decoders 4 --wall 2x1 --seconds 150 -- bash "$0" "$@"
fi

source "$(dirname "$0")/../support/service_home.sh"
port=7742

mapfile -t encoders < <(awk '$1 == "encoder" { print $4 }' "$SIM_INSTALLATION")
mapfile -t decoders < <(awk '$1 == "decoder" { print $4 }' "$SIM_INSTALLATION")
mapfile -t folders < <(awk '$1 == "decoder" { print $3 }' "$SIM_INSTALLATION")

die() { echo "FAIL: $*" >&2; exit 1; }
talk() { printf '%s\n' "auth $token" "$@" | socat -t 2 - OPENSSL:127.0.0.1:$port,verify=0 2>/dev/null | tr -d '\r' | tail -n +2 || true; }
# sources: what every simulated decoder's shell was last told to show
sources() {
    local states=()
    for folder in "${folders[@]}"; do states+=("$(cat "$folder/source_select" 2>/dev/null)"); done
    echo "${states[*]}"
}
# wait_until WHAT EXPECTED COMMAND...: polls COMMAND for up to 20 s
wait_until() {
    local what=$1 expected=$2 got
    shift 2
    for _ in $(seq 100); do
        got=$("$@" 2>/dev/null || true)
        [ "$got" = "$expected" ] && return 0
        sleep 0.2
    done
    die "$what: expected '$expected', got '$got'"
}
listed_decoders() { talk "list decoders" | python3 -c 'import json,sys; l=sys.stdin.readline(); print(len(json.loads(l[3:])) if l.startswith("ok ") else l.strip())'; }

token=$("$program" --new-api-token 2>/dev/null)
"$program" --headless --api >"$work/out.txt" 2>&1 &
pids+=($!)
wait_until "decoders listed" 4 listed_decoders
wall=$(talk "list walls" | python3 -c 'import json,sys; print(json.loads(sys.stdin.readline()[3:])[0]["name"])')

(printf 'auth %s\nsubscribe\n' "$token"; sleep 12) | socat -t 13 - OPENSSL:127.0.0.1:$port,verify=0 >"$work/watcher.txt" 2>&1 &
watcher=$!
pids+=($watcher)
sleep 1

answer=$(talk "route ${encoders[0]} ${decoders[2]}")
[ "$answer" = "ok {\"source\":\"${encoders[0]}\",\"target\":\"${decoders[2]}\"}" ] ||
    die "route to a decoder answered: $answer"
wait_until "one decoder" "NULL NULL ${encoders[0]} NULL" sources
talk "route ${encoders[1]} \"$wall\"" | grep -q '^ok ' || die "route to the wall was not answered ok"
wait_until "the wall" "${encoders[1]} ${encoders[1]} ${encoders[0]} NULL" sources
talk "route ${encoders[0]} all" | grep -q '^ok ' || die "route to all was not answered ok"
wait_until "every screen" "${encoders[0]} ${encoders[0]} ${encoders[0]} ${encoders[0]}" sources

wait "$watcher" || true
for expected in "\"name\":\"${decoders[2]}\",\"source\":\"${encoders[0]}\"" \
    "\"kind\":\"wall\",\"name\":\"$wall\",\"source\":\"${encoders[1]}\"" \
    "\"name\":\"${decoders[3]}\",\"source\":\"${encoders[0]}\""; do
    grep -qF -- "$expected" "$work/watcher.txt" || { cat "$work/watcher.txt" >&2; die "the second client missed $expected"; }
done
echo "line_api_lan_test: passed"
