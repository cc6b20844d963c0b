#!/usr/bin/env bash
# durable_settings_test.sh PROGRAM
# The program as a service, changed through the line API on loopback: every change it
# answered "ok" to is in the settings file after a stop by signal, and a full disk (a tiny
# tmpfs under the settings folder, in a mount namespace of the test's own) loses nothing,
# is told once, and is written over once there is room. Run under scripts/netless, as root.
set -euo pipefail
if [ -z "${DURABLE_IN_NAMESPACE:-}" ]; then
    DURABLE_IN_NAMESPACE=1 exec unshare -m --propagation private bash "$0" "$@"
fi
program=$1
source "$(dirname "$0")/../support/service_home.sh"
settings=$HOME/.zentrova
config=$settings/config.json
port=7740
wall=VW:0001:2x1

talk() { printf '%s\n' "$@" | socat -t 2 - TCP:127.0.0.1:$port 2>&1 || true; }
# alias NAME: the name the settings file gives to the device or wall NAME
alias_of() { python3 -c 'import json,sys; print(json.load(open(sys.argv[1])).get("alias_map", {}).get(sys.argv[2], ""))' "$config" "$1" 2>/dev/null || echo "<unreadable>"; }
alias_is() { [ "$(alias_of "$1")" = "$2" ]; }
# wait_until SECONDS COMMAND...: polls, bounded
wait_until() {
    local deadline=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.1; done
}
# A saved wall is listed without any device answering: something to rename on loopback,
# through the plain line port, asked for explicitly: what is tested here is the file.
seed_wall() {
    python3 - "$config" "$wall" <<'PY'
import json, sys
settings = json.load(open(sys.argv[1]))
settings["vw"] = [{"name": sys.argv[2], "width": 2, "height": 1, "bind": "", "devices": ["IPD1-0001", "IPD1-0002"]}]
settings["api"]["plain_line"] = True
json.dump(settings, open(sys.argv[1], "w"))
PY
}
start() { "$program" --headless --api >"$work/out.txt" 2>&1 & pids+=($!); wait_for_port $port; }

mkdir -p "$settings"
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; wait; umount -l "$settings" 2>/dev/null; cleanup' EXIT
mount -t tmpfs -o size=256k,mode=0700 tmpfs "$settings"
token=$("$program" --new-api-token 2>/dev/null)
seed_wall

# Each stop signal, a moment after the answer: the rename waits for its save, not for the kill.
for signal in TERM INT HUP; do
    start
    answer=$(talk "auth $token" "rename \"$wall\" \"Hall $signal\"")
    kill -$signal "${pids[-1]}"
    code=0
    wait "${pids[-1]}" || code=$?
    unset 'pids[-1]'
    grep -q '^ok {"alias":"Hall '$signal'"' <<<"$answer" || fail "SIG$signal: the rename was not answered ok: $answer"
    [ "$code" = 0 ] || fail "SIG$signal: the program ended with $code, not 0"
    [ "$(alias_of "$wall")" = "Hall $signal" ] || fail "SIG$signal: the file holds '$(alias_of "$wall")'"
    grep -q "Stopping on SIG$signal" "$work/out.txt" || fail "SIG$signal: the stop was not logged"
done

# The disk fills while the program runs: the file keeps what it held, the user is told once
# however many saves fail, and the changes made meanwhile are written once there is room.
start
talk "auth $token" "rename \"$wall\" Before" >/dev/null
wait_until 10 alias_is "$wall" Before || fail "the first rename was not saved"
before=$(cat "$config")
# Each save turns the file it replaces into the copy and frees the copy before it: with no
# copy to free, a save on the full disk has no room at all.
rm -f "$config.1"
# A client following the events until stop-watching appears.
{ printf 'auth %s\nsubscribe\n' "$token"; until [ -e "$work/stop-watching" ]; do sleep 0.1; done; } \
    | socat -t 2 - TCP:127.0.0.1:$port >"$work/watcher.txt" 2>&1 &
pids+=($!)
wait_until 10 grep -qs '^ok' "$work/watcher.txt" || fail "the watcher did not subscribe"
dd if=/dev/zero of="$settings/filling" bs=4k 2>/dev/null || true
dd if=/dev/zero of="$settings/filling" bs=1 oflag=append conv=notrunc 2>/dev/null || true
talk "auth $token" "rename \"$wall\" During" >/dev/null
wait_until 10 grep -q "The settings could not be saved to" "$work/out.txt" || fail "the full disk was not told"
talk "auth $token" "rename \"$wall\" Later" >/dev/null
sleep 1
[ "$(cat "$config")" = "$before" ] || fail "the file changed on a full disk"
[ "$(grep -c "The settings could not be saved to" "$work/out.txt")" = 1 ] \
    || fail "a full disk was told $(grep -c "The settings could not be saved to" "$work/out.txt") times, not once"
rm -f "$settings/filling"
wait_until 15 alias_is "$wall" Later || fail "the changes made on the full disk were not saved later"
grep -q "The settings are saved to .* again" "$work/out.txt" || fail "saving again was not told"
wait_until 10 grep -q '^event settings {"saved":true}' "$work/watcher.txt" || fail "no event told that saving works again"
grep -q '^event settings {"reason":"cannot write: No space left on device","saved":false}' "$work/watcher.txt" \
    || { fail "no event told of the full disk:"; cat "$work/watcher.txt" >&2; }
[ "$(grep -c '^event settings' "$work/watcher.txt")" = 2 ] || fail "the settings events were not one each"
touch "$work/stop-watching"
wait "${pids[-1]}" || true
unset 'pids[-1]'
kill -TERM "${pids[-1]}"
wait "${pids[-1]}" || fail "the program did not end cleanly after the full disk"
unset 'pids[-1]'
[ "$(stat -c %a "$config")" = 600 ] || fail "the settings file is readable by others: $(stat -c %a "$config")"
[ "$(stat -c %a "$config.1")" = 600 ] || fail "the copy is readable by others: $(stat -c %a "$config.1")"

# A factory default leaves nothing to start from: not even the copy.
"$program" --headless --factory-default >>"$work/out.txt" 2>&1 || fail "the factory default ended with $?"
"$program" --new-api-token >/dev/null 2>&1
alias_is "$wall" "" || fail "the settings came back after a factory default: '$(alias_of "$wall")'"
token=$("$program" --new-api-token 2>/dev/null)
seed_wall

# A crash at any moment: the file parses and holds what was answered a moment before.
python3 "$(dirname "$0")/crash_loop.py" "$program" "$token" "$config" "$wall" "${CRASH_ROUNDS:-20}" \
    || fail "a kill lost an acknowledged change or the file"

verdict durable_settings_test
