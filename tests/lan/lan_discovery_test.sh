#!/usr/bin/env bash
# lan_discovery_test.sh TEST_PROGRAM DEVSIM
# Discovery on a test LAN with a controller that has two addresses on one interface, a
# simulated encoder and a simulated decoder. Everything it makes is removed on exit.
set -euo pipefail
test_program=$1 devsim=$2
source "$(dirname "$0")/testlan.sh"

lan_start
lan_add_controller_address 192.0.2.2
encoder=IPE3x-7c2e0d00aa01 decoder=IPD9-7c2e0d000001
for n in 0 1; do lan_add_device $n; done
lan_spawn "$(lan_ns 0)" "$LAN_WORK/encoder.log" 100 "$devsim" --name "$encoder" --alias Camera
lan_spawn "$(lan_ns 1)" "$LAN_WORK/decoder.log" 100 "$devsim" --name "$decoder" --alias Lobby
lan_wait_for "$LAN_WORK/encoder.log" '^ready encoder' 10
lan_wait_for "$LAN_WORK/decoder.log" '^ready decoder' 10
lan_exec "$(lan_ns controller)" 45 env \
    LAN_DEVICES="$encoder@$(lan_device_address 0),$decoder@$(lan_device_address 1)" \
    LAN_CONTROLLER_ADDRESSES=192.0.2.1,192.0.2.2 "$test_program"
