#!/usr/bin/env bash
# line_api_test.sh PROGRAM
# The program as a service without a window, driven by real TLS clients (socat, trusting
# only the certificate the controller made for itself) over the line protocol on loopback.
# Run under scripts/netless: loopback is the only interface, so the service also shows how
# it waits for a usable one.
set -euo pipefail
program=$1
source "$(dirname "$0")/../support/service_home.sh"
log=$HOME/.zentrova/zentrova.log
port=7742 plain_port=7740
certificate=$HOME/.zentrova/api-certificate.pem

# talk LINES...: one client, one line each, answers on stdout
talk() { printf '%s\n' "$@" | socat -t 2 - "OPENSSL:127.0.0.1:$port,cafile=$certificate" 2>&1 || true; }
start() { "$program" "$@" >>"$work/out.txt" 2>&1 & pids+=($!); }
stop_last() { kill "${pids[-1]}"; wait "${pids[-1]}" 2>/dev/null || true; unset 'pids[-1]'; }

# Off unless asked for; without a usable interface the service keeps looking and says so.
start --headless
sleep 2
socat -u /dev/null TCP:127.0.0.1:$port 2>/dev/null && fail "the API listens although it was never switched on"
expect "no interface" "$log" "No usable network interface for discovery .*trying again in 10 s"
# One copy at a time, also for a new token: a running copy would write the old one back.
code=0 token_code=0
"$program" --headless >/dev/null 2>&1 || code=$?
"$program" --new-api-token >"$work/refused-token.txt" 2>/dev/null || token_code=$?
[ "$code" = 2 ] || fail "a second copy ended with $code, not 2"
[ "$token_code" = 2 ] && [ ! -s "$work/refused-token.txt" ] || fail "a token was made while a copy ran"
stop_last

token=$("$program" --new-api-token 2>/dev/null)
[ ${#token} -ge 22 ] || fail "token '$token' is shorter than 128 bits"
grep -qF -- "$token" "$HOME/.zentrova/config.json" && fail "the settings file holds the token itself"

# The certificate is made before the first start, for a client to pin; the start keeps it.
fingerprint=$("$program" --api-fingerprint 2>/dev/null)
start --headless --demo --api
wait_for_port $port
[ "$(stat -c %a "$HOME/.zentrova/api-key.pem")" = 600 ] || fail "the key file is not 0600"
openssl x509 -in "$certificate" -noout -fingerprint -sha256 | grep -qx "sha256 Fingerprint=$fingerprint" ||
    fail "--api-fingerprint printed '$fingerprint', not the certificate's"
expect "fingerprint logged" "$log" "Control API: TLS certificate SHA-256 fingerprint $fingerprint"
socat -u /dev/null TCP:127.0.0.1:$plain_port 2>/dev/null && fail "the plain line port is open unasked"
talk "list decoders" "route \"TX - 1\" \"RX - 1\"" "auth wrong" "auth $token" "list encoders" >"$work/a.txt"
expect "unauthenticated" "$work/a.txt" '^error not_authenticated send auth TOKEN first'
[ "$(grep -c '^error not_authenticated send auth' "$work/a.txt")" = 2 ] || fail "a command ran before auth"
expect "wrong token" "$work/a.txt" '^error not_authenticated wrong token'
expect "listed" "$work/a.txt" '^ok \[\{"address":null,"alias":"TX - 1".*"name":"IPE9DEMO-7C2E0DFF0001"'

# A second client sees what the first one does, as it happens.
(printf 'auth %s\nsubscribe\n' "$token"; sleep 3) | socat -t 4 - "OPENSSL:127.0.0.1:$port,cafile=$certificate" >"$work/watcher.txt" 2>&1 &
pids+=($!)
sleep 1
talk "auth $token" "route \"TX - 2\" \"2 x 2 - 1\"" "power off \"RX - 3\"" "rename \"RX - 4\" \"Foyer \\\"east\\\"\"" \
    "route \"TX - 2\" nowhere" "$(head -c 5000 /dev/zero | tr '\0' x)" "help" >"$work/b.txt"
wait "${pids[-1]}" || true
unset 'pids[-1]'
expect "routed" "$work/b.txt" '^ok \{"source":"IPE9DEMO-7C2E0DFF0002","target":"VW:'
expect "unknown target" "$work/b.txt" '^error not_found no decoder or wall is named "nowhere"'
expect "long line" "$work/b.txt" '^error too_large a line holds at most 4096 bytes'
expect "still answers" "$work/b.txt" '^ok state; '
expect "event: source" "$work/watcher.txt" '^event source \{"alias":"2 x 2 - 1","kind":"wall",.*"source":"IPE9DEMO-7C2E0DFF0002"\}'
expect "event: power" "$work/watcher.txt" '^event power \{"on":false,"targets":\["IPD9DEMO-7C2E0DFE0003"\]\}'
expect "event: name" "$work/watcher.txt" '^event name \{"alias":"Foyer \\"east\\"","kind":"decoder"'

# Too fast: the commands past the limit are answered, not run and not dropped silently.
burst=()
for _ in $(seq 60); do burst+=("numbers show"); done
talk "auth $token" "${burst[@]}" >"$work/burst.txt"
[ "$(grep -c '^ok {"show":true}' "$work/burst.txt")" -le 50 ] || fail "more than 50 commands ran in a second"
expect "too fast" "$work/burst.txt" '^error rate_limited at most 50 commands a second'
[ "$(wc -l <"$work/burst.txt")" = 61 ] || fail "not every command of the burst was answered"
stop_last

# Settings from before the TLS ports whose API was on: the control processors on the plain
# port keep working after the update, and every start says that port is plain.
python3 - "$HOME/.zentrova/config.json" <<'PY'
import json, sys
settings = json.load(open(sys.argv[1]))
settings["api"] = {key: value for key, value in settings["api"].items() if key.startswith("token")} | {"enabled": True}
json.dump(settings, open(sys.argv[1], "w"))
PY
start --headless --demo
wait_for_port $port
printf 'auth %s\nlist walls\n' "$token" | socat -t 2 - TCP:127.0.0.1:$plain_port >"$work/plain.txt" 2>&1 || true
expect "plain port kept" "$work/plain.txt" '^ok \[\{"alias":"2 x 2 - 1"'
expect "plain port told" "$log" "the line protocol's plain port $plain_port is open"
stop_last

grep -qF -- "$token" "$log" && fail "the log holds the token"
# Every sign-in above is in the trail, the token itself never.
grep -q '"action":"sign-in","actor":"admin","address":"127.0.0.1"' "$HOME/.zentrova/audit.jsonl" \
    || fail "the trail has no sign-in"
grep -qF -- "$token" "$HOME/.zentrova/audit.jsonl" && fail "the audit trail holds the token"
verdict line_api_test
