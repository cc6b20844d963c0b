#!/usr/bin/env bash
# mqtt_bridge_test.sh PROGRAM
# Two sites' controllers (the program headless, in demo mode) on one real mosquitto broker
# on loopback, read and driven with mosquitto_sub/mosquitto_pub. Run under scripts/netless.
set -euo pipefail
program=$1
source "$(dirname "$0")/../support/service_home.sh"
source "$(dirname "$0")/../support/mqtt_broker.sh"
# The hold below keeps a client reading until it is let go: let go before waiting for it.
trap 'exec 3>&-; kill "$broker_pid" 2>/dev/null || true; cleanup' EXIT
port=18830
api=7740
# Two sites whose names earlier versions made the same Home Assistant node of.
hash8() { printf '%s' "$1" | sha256sum | cut -c1-8; }
north=zentrova/Hall-1-$(hash8 Hall-1)
south=zentrova/Hall.1-$(hash8 Hall.1)
north_node=zentrova_hall_1_$(hash8 Hall-1)
south_node=zentrova_hall_1_$(hash8 Hall.1)
legacy_node=homeassistant/button/zentrova_hall_1
rx1=IPD9DEMO-7C2E0DFE0001
rx2=IPD9DEMO-7C2E0DFE0002

pub() { mosquitto_pub -p $port "$@"; }
# retained TOPIC: the retained payload on TOPIC, or nothing
retained() { mosquitto_sub -p $port -t "$1" --retained-only -C 1 -W 1 2>/dev/null || true; }
# poll CONDITION: up to 10 s for the shell condition to hold
poll() { for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done; return 1; }
# wait_for TOPIC PAYLOAD [SECONDS]: up to 10 s for TOPIC to hold PAYLOAD retained
wait_for() {
    for _ in $(seq $((${3:-10} * 4))); do [ "$(retained "$1")" = "$2" ] && return 0; sleep 0.25; done
    fail "$1 holds '$(retained "$1")', not '$2'"
}
# home NAME: a home of its own for a copy of the program (one copy per home), as its environment
home() { mkdir -p "$work/$1/runtime" && chmod 700 "$work/$1/runtime"; echo "HOME=$work/$1 XDG_RUNTIME_DIR=$work/$1/runtime"; }
# controller NAME ARGS...: the program in the background in that home, its output kept
controller() { env $(home "$1") "$program" "${@:2}" >>"$work/$1.out" 2>&1 & pids+=($!); }

# Every message the broker hands to whom, in broker.txt.
start_broker $port "log_type all" || fail "the broker does not listen"
# Left by an earlier run: a decoder since gone and its entity are cleared, a current topic
# is published again (not cleared), another site's topics are not this controller's.
pub -r -t "$north/decoder/IPD-GONE/name" -m "Gone"
pub -r -t "homeassistant/button/$north_node/ipd_gone_on/config" -m '{"name": "Display on"}'
pub -r -t "$north/decoder/$rx1/name" -m "Old name"
pub -r -t "zentrova/West_Wing/decoder/$rx1/name" -m "West"
pub -r -t "homeassistant/button/zentrova_west_wing/x_on/config" -m '{"name": "Display on"}'
# Left by a version whose ids the two names shared: the north's state and its configs there
# are cleared at its first connection, before its new entities come (Home Assistant gives
# the new ones the old names then); the south's config at the shared node is not the north's.
pub -r -t "zentrova/Hall-1/decoder/$rx1/name" -m "RX - 1"
pub -r -t "$legacy_node/all_on/config" -m '{"availability_topic": "zentrova/Hall-1/status"}'
pub -r -t "$legacy_node/all_off/config" -m '{"availability_topic": "zentrova/Hall.1/status"}'
mkdir -p "$work/south/.zentrova"
echo '{"mqtt": {"legacy_cleared": "zentrova/Hall.1"}}' >"$work/south/.zentrova/config.json"
mosquitto_sub -p $port -t "$north/error" -t "$south/error" -v >"$work/errors.txt" 2>&1 & pids+=($!)
mosquitto_sub -p $port -t "homeassistant/button/+/all_on/config" -v >"$work/all-on.txt" 2>&1 & pids+=($!)
token=$(env $(home north) "$program" --new-api-token 2>/dev/null)
# The API's clients here check the bridge, not TLS: the plain ports, asked for explicitly.
python3 "$(dirname "$0")/../support/set_api_settings.py" "$work/north/.zentrova/config.json" plain_line=true web_tls=false
controller north --headless --demo --api --mqtt 127.0.0.1:$port --site Hall-1
north_pid=${pids[-1]}
controller south --headless --demo --mqtt 127.0.0.1:$port --site Hall.1
wait_for "$north/status" online
wait_for "$south/status" online
wait_for "$north/decoder/$rx1/name" "RX - 1"
wait_for "zentrova/Hall-1/decoder/$rx1/name" ""
wait_for "$legacy_node/all_on/config" ""
[ "$(grep -n "^$legacy_node/all_on/config" "$work/all-on.txt" | tail -1 | cut -d: -f1)" \
    -lt "$(grep -n "^homeassistant/button/$north_node/all_on/config" "$work/all-on.txt" | head -1 | cut -d: -f1)" ] \
    || fail "the new entities came before the old ones went: $(cat "$work/all-on.txt")"

# A command on the broker reaches the installation; the API's route reaches the broker.
pub -t "$north/decoder/$rx1/source/set" -m "TX - 2"
wait_for "$north/decoder/$rx1/source" "TX - 2"
[ "$(retained "$south/decoder/$rx1/source")" != "TX - 2" ] || fail "a command for one site reached the other"
printf 'auth %s\nwall delete "2 x 2 - 1"\nroute "TX - 3" "RX - 3"\n' "$token" | socat -t 2 - TCP:127.0.0.1:$api >"$work/api.txt"
wait_for "$north/decoder/IPD9DEMO-7C2E0DFE0003/source" "TX - 3"
expect "wall deleted" "$work/api.txt" '^ok \{"alias":"2 x 2 - 1"'
pub -t "$north/route/set" -m '{"source": "TX - 1", "target": "all"}'
wait_for "$north/decoder/$rx2/source" "TX - 1"
pub -t "$north/decoder/$rx2/source/set" -m none
wait_for "$north/decoder/$rx2/source" none
# The trail names who asked and from where: the API's client by its address, the site's broker.
audit=$work/north/.zentrova/audit.jsonl
expect "API in the trail" "$audit" '"action":"wall.delete","actor":"admin","address":"127.0.0.1",.*"outcome":"ok"'
expect "MQTT in the trail" "$audit" '"action":"route","actor":"mqtt","address":"mqtt:Hall-1",.*"outcome":"ok",.*"target":"all"'
expect "MQTT clear in the trail" "$audit" '"action":"clear","actor":"mqtt","address":"mqtt:Hall-1",.*"target":"'$rx2'"'
"$program" --verify-audit "$audit" >"$work/verify.txt" || fail "the trail does not verify: $(cat "$work/verify.txt")"

# Hostile and mistaken commands are answered on the error topic and change nothing; a
# retained one, sent while the controller listens, is neither carried out nor kept.
head -c 3000 /dev/zero | tr '\0' x | pub -t "$north/decoder/$rx1/source/set" -s
pub -t "$north/route/set" -m '{"source": "TX - 1",'
printf '\xff\xfe' | pub -t "$north/power/set" -s
pub -t "$north/decoder/NOPE/source/set" -m "TX - 1"
pub -t "$north/decoder/$rx1/source/set" -m "Nobody"
pub -t "$north/decoder/$rx1/colour/set" -m red
pub -r -t "$north/decoder/$rx1/source/set" -m "TX - 4"
sleep 1
[ -z "$(retained "$north/decoder/$rx1/source/set")" ] || fail "a retained command stayed on the broker"
wait_for "$north/decoder/$rx1/source" "TX - 1"
for said in '"error":"too_large"' 'route takes' 'not UTF-8' 'no decoder is named \\"NOPE' \
    'no encoder is named \\"Nobody' 'unknown_command.*colour/set' 'retained commands are not carried out'; do
    expect "$said" "$work/errors.txt" "^$north/error .*$said"
done

# Scenes: listed, the active one named, recalled from the broker; names that share no
# letter an entity id may hold still make two buttons, and a renamed scene's goes.
rpc() {
    curl -s -H "Authorization: Bearer $token" -d "{\"jsonrpc\": \"2.0\", \"id\": 1, \"method\": \"$1\", \"params\": $2}" \
        http://127.0.0.1:7741/api/command >>"$work/rpc.txt"
}
rpc scene.save '{"name": "会议"}'
pub -t "$north/decoder/$rx1/source/set" -m "TX - 3"
wait_for "$north/scene" none
rpc scene.save '{"name": "演讲"}'
wait_for "$north/scenes" '["会议","演讲"]'
pub -t "$north/scene/set" -m "会议"
wait_for "$north/decoder/$rx1/source" "TX - 1"
wait_for "$north/scene" "会议"
pub -t "$north/scene/set" -m "Nothing"
rpc scene.rename '{"name": "演讲", "new_name": "讲座"}'
wait_for "$north/scenes" '["会议","讲座"]'
sleep 0.5
expect "unknown scene" "$work/errors.txt" "^$north/error .*no scene is named"

# What the earlier run left is gone once the installation has been found; nothing else is.
wait_for "$north/decoder/IPD-GONE/name" "" 40
wait_for "homeassistant/button/$north_node/ipd_gone_on/config" ""
wait_for "$north/decoder/$rx1/name" "RX - 1"
swept=$(wc -l <"$work/broker.txt")
wait_for "zentrova/West_Wing/decoder/$rx1/name" West
wait_for "homeassistant/button/zentrova_west_wing/x_on/config" '{"name": "Display on"}'
wait_for "$legacy_node/all_off/config" '{"availability_topic": "zentrova/Hall.1/status"}'
pub -r -t "zentrova/West_Wing/decoder/$rx1/name" -n
pub -r -t "homeassistant/button/zentrova_west_wing/x_on/config" -n
pub -r -t "$legacy_node/all_off/config" -n

# Everything retained: state and Home Assistant's discovery, checked for what it requires.
mosquitto_sub -p $port -t 'zentrova/#' -t 'homeassistant/#' -v --retained-only -W 2 >"$work/retained.txt" 2>/dev/null || true
SITES="$north_node $north $south_node $south" python3 - "$work/retained.txt" <<'PY' || fail "discovery payloads"
import json, os, sys
need = {"select": ["command_topic", "options", "state_topic"], "binary_sensor": ["state_topic"],
        "button": ["command_topic"], "sensor": ["state_topic"]}
configs, state, problems, ids = {}, {}, [], set()
for line in open(sys.argv[1], encoding="utf-8"):
    topic, _, payload = line.rstrip("\n").partition(" ")
    if topic.startswith("homeassistant/"):
        configs[topic] = json.loads(payload)
    else:
        state[topic] = payload
for topic, c in configs.items():
    component = topic.split("/")[1]
    problems += [f"{topic}: no {key}" for key in need[component] + ["unique_id", "device", "availability_topic"]
                 if key not in c]
    if c["unique_id"] in ids:
        problems.append(f"{topic}: unique_id {c['unique_id']} twice")
    ids.add(c["unique_id"])
    if not c["device"].get("identifiers"):
        problems.append(f"{topic}: device without identifiers")
    problems += [f"{topic}: {key} {c[key]} holds nothing" for key in ("state_topic", "availability_topic")
                 if key in c and c[key] not in state]
    if component == "select" and state[c["state_topic"]] not in c["options"]:
        problems.append(f"{topic}: state {state[c['state_topic']]} is not an option")
# 4 decoders and 3 walls in the made-up installation, one wall deleted in the north
north_node, north, south_node, south = os.environ["SITES"].split()
for site, root, walls in ((north_node, north, 2), (south_node, south, 3)):
    selects = [t for t in configs if t.startswith(f"homeassistant/select/{site}/")]
    if len(selects) != 4 + walls:
        problems.append(f"{site}: {len(selects)} selects")
    # A button per scene, pressed: its name on the site's scene topic.
    pressed = sorted(c["payload_press"] for t, c in configs.items()
                     if t.startswith(f"homeassistant/button/{site}/scene_")
                     and c["command_topic"] == f"{root}/scene/set")
    if pressed != sorted(json.loads(state[f"{root}/scenes"])):
        problems.append(f"{site}: scene buttons {pressed}, scenes {state[root + '/scenes']}")
print("\n".join(problems), file=sys.stderr)
sys.exit(1 if problems else 0)
PY

# Anyone who may publish on the broker: messages far over the limit never reach the
# controller (the broker holds them back), and a flood of commands is carried out at the
# API's rate, the rest refused.
peak() { awk '/VmHWM/ {print $2}' "/proc/$north_pid/status"; }
before=$(peak)
for _ in 1 2 3; do head -c 64M /dev/zero | pub -t "$north/decoder/$rx2/source/set" -s; done
pub -t "$north/decoder/$rx2/source/set" -m Marker
poll 'grep -q "^$north/error .*no encoder is named .\"Marker" "$work/errors.txt"' || fail "no answer to a command after the oversized ones"
grows=$(($(peak) - before))
echo "three 64 MB messages: the controller's peak memory grew by $grows KiB"
[ $grows -lt 32768 ] || fail "three 64 MB messages grew the controller's peak memory by $grows KiB"
! grep -q "^$north/error .*$rx2/source/set.*too_large" "$work/errors.txt" || fail "an oversized message reached the controller"

mkfifo "$work/hold"
# Ends when the hold is let go (also by cleanup), not among pids: the last of those is the south.
{ printf 'auth %s\nsubscribe\n' "$token"; cat "$work/hold"; } | socat -t 1 - TCP:127.0.0.1:$api >"$work/events.txt" &
exec 3>"$work/hold"
poll '[ "$(grep -c ^ok "$work/events.txt")" -ge 2 ]' || true
refused() { grep -c "^$north/error .*rate_limited" "$work/errors.txt" || true; }
carried() { grep -c '^event power ' "$work/events.txt" || true; }
began=$(date +%s%N)
for _ in $(seq 2000); do echo on; done | pub -t "$north/power/set" -l
poll '[ $(($(refused) + $(carried))) -ge 2000 ]' || true
took=$((($(date +%s%N) - began) / 1000000))
exec 3>&-
echo "2000 power commands: $(carried) carried out, $(refused) refused in $took ms"
# Once swept, the controller no longer has the broker send it back the state it publishes.
echoed=$(tail -n +"$swept" "$work/broker.txt" | grep "Sending PUBLISH to zentrova-Hall-1-$(hash8 Hall-1) .*'$north/" | grep -v "/set'") || true
[ -z "$echoed" ] || fail "the broker still sends the controller its own state: $(echo "$echoed" | head -3)"
[ $(($(refused) + $(carried))) = 2000 ] || fail "of 2000 commands $(carried) were carried out and $(refused) refused"
# The first second may have begun with the command before.
[ "$(carried)" -ge 49 ] && [ "$(carried)" -le $((50 * (took / 1000 + 2))) ] \
    || fail "$(carried) of 2000 commands carried out in $took ms"

# A broker restart loses nothing: the controllers come back and publish their state again.
kill -9 "$broker_pid"; wait "$broker_pid" 2>/dev/null || true
sleep 2
start_broker $port || fail "the broker does not listen"
wait_for "$north/status" online
wait_for "$south/status" online
wait_for "$north/decoder/$rx1/source" "TX - 1"
wait_for "$south/decoder/$rx1/name" "RX - 1"
# A controller that dies leaves its last will.
kill -9 "${pids[-1]}"; wait "${pids[-1]}" 2>/dev/null || true
unset 'pids[-1]'
wait_for "$south/status" offline
# Started again, it sweeps what the run before left, but not its own status, where the
# broker held its last will: that stays "online". A route it publishes after the sweep comes
# after the sweep's messages on the same connection (the second at least is a change), so the
# status is read once they are all in.
pub -r -t "$south/decoder/IPD-GONE/name" -m "Gone"
controller south --headless --demo --mqtt 127.0.0.1:$port --site Hall.1
wait_for "$south/status" online
wait_for "$south/decoder/IPD-GONE/name" "" 40
for source in "TX - 4" "TX - 3"; do
    pub -t "$south/decoder/$rx2/source/set" -m "$source"
    wait_for "$south/decoder/$rx2/source" "$source"
done
[ "$(retained "$south/status")" = online ] || fail "the status holds '$(retained "$south/status")' after the sweep"

# The service manager's stop: each API client is told why, "offline" is published on the way
# out (a clean goodbye, not the last will), and the program ends with 0 within 2 seconds.
mosquitto_sub -p $port -t "$north/status" >"$work/status.txt" 2>&1 & pids+=($!)
{ printf 'auth %s\n' "$token"; while kill -0 "$north_pid" 2>/dev/null; do sleep 0.1; done; } \
    | socat -t 5 - TCP:127.0.0.1:$api >"$work/line-stop.txt" 2>&1 & pids+=($!)
/usr/bin/python3 - >"$work/ws-stop.txt" 2>&1 <<'PY' &
import asyncio, websockets
async def main():
    async with websockets.connect("ws://127.0.0.1:7741/ws") as ws:
        print("open", flush=True)
        await ws.wait_closed()
        print(ws.close_code, ws.close_reason, flush=True)
asyncio.run(main())
PY
pids+=($!)
poll 'grep -qs ^ok "$work/line-stop.txt" && grep -qs ^open "$work/ws-stop.txt" && grep -qs online "$work/status.txt"' || true
began=$(date +%s%N)
kill -TERM "$north_pid"
code=0
wait "$north_pid" || code=$?
took=$((($(date +%s%N) - began) / 1000000))
[ "$code" = 0 ] || fail "SIGTERM: the program ended with $code"
[ $took -lt 2000 ] || fail "SIGTERM: the stop took $took ms"
echo "stop took $took ms"
wait_for "$north/status" offline
# The broker writes its line once it has handled the goodbye, which may be after the status.
poll 'grep -q "Client zentrova-${north#*/} disconnected" "$work/broker.txt"' || fail "the controller did not leave the broker cleanly"
poll '[ "$(wc -l <"$work/ws-stop.txt")" -ge 2 ]' || true
expect "line client told" "$work/line-stop.txt" '^error refused the controller is stopping'
expect "WebSocket client told" "$work/ws-stop.txt" '^1000 the controller is stopping'

verdict mqtt_bridge_test
