#!/usr/bin/env bash
# lan_manager_test.sh TEST_PROGRAM DEVSIM DECODER_SHELL_START
# The device manager end to end: a controller with two addresses on one interface, a
# simulated encoder, two simulated decoders with their shells, and a device of no known
# kind. Everything it makes is removed on exit.
set -euo pipefail
test_program=$1 devsim=$2 decoder_shell=$3
source "$(dirname "$0")/testlan.sh"

lan_start
lan_add_controller_address 192.0.2.2
encoder=IPE3x-7c2e0d00aa01 decoders=(IPD9-7c2e0d000001 IPD9-7c2e0d000002)
for n in 0 1 2 3; do lan_add_device $n; done
lan_spawn "$(lan_ns 0)" "$LAN_WORK/encoder.log" 120 "$devsim" --name "$encoder"
lan_spawn "$(lan_ns 3)" "$LAN_WORK/unknown.log" 120 "$devsim" --name ABC-IPD9-7c2e0d000009 --kind decoder
states=()
for i in 0 1; do
    n=$((i + 1))
    lan_spawn "$(lan_ns $n)" "$LAN_WORK/decoder$i.log" 120 "$devsim" --name "${decoders[$i]}"
    lan_spawn "$(lan_ns $n)" "$LAN_WORK/shell$i.log" 120 "$decoder_shell" "$LAN_WORK/state$i" 24 "$(lan_device_address $n)"
    states+=("$LAN_WORK/state$i")
done
for log in encoder unknown decoder0 decoder1; do
    lan_wait_for "$LAN_WORK/$log.log" '^ready ' 10
done

# How many requests each device hears per pass is the discovery test's part.
lan_exec "$(lan_ns controller)" 100 env \
    LAN_ENCODER="$encoder" \
    LAN_DECODERS="$(IFS=,; echo "${decoders[*]}")" \
    LAN_DECODER_STATES="$(IFS=,; echo "${states[*]}")" \
    "$test_program"
