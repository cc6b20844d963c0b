#!/usr/bin/env bash
# lan_discovery_test.sh TEST_PROGRAM DEVSIM
# Discovery end to end: first on a host with nothing but loopback, then on a test LAN
# with a controller that has two addresses on one interface, a simulated encoder and a
# simulated decoder. Everything it makes is removed on exit.
set -euo pipefail
test_program=$1 devsim=$2
source "$(dirname "$0")/testlan.sh"

echo "== a host with only loopback"
timeout 20 unshare -n bash -c 'ip link set lo up && exec "$@"' loopback "$test_program" loopbackOnly

echo "== the test LAN"
lan_start
lan_add_controller_address 192.0.2.2
lan_add_device 0
lan_add_device 1
encoder=IPE3x-7c2e0d00aa01 decoder=IPD9-7c2e0d000001
lan_spawn "$(lan_ns 0)" "$LAN_WORK/encoder.log" 100 "$devsim" --name "$encoder" --alias Camera
lan_spawn "$(lan_ns 1)" "$LAN_WORK/decoder.log" 100 "$devsim" --name "$decoder" --alias Lobby
lan_wait_for "$LAN_WORK/encoder.log" '^ready encoder' 10
lan_wait_for "$LAN_WORK/decoder.log" '^ready decoder' 10

lan_exec "$(lan_ns controller)" 45 env \
    LAN_DEVICES="$encoder@$(lan_device_address 0),$decoder@$(lan_device_address 1)" \
    LAN_CONTROLLER_ADDRESSES=192.0.2.1,192.0.2.2 \
    LAN_CONTROLLER_INTERFACE="$(lan_controller_interface)" \
    "$test_program" discoversEveryDeviceThroughEveryAddress partialBindFailure interfaceSelection

# One pass: one request from each of the controller's addresses, at every device.
status=0
for log in encoder decoder; do
    for address in 192.0.2.1 192.0.2.2; do
        count=$(grep -c "^request from $address:3336\$" "$LAN_WORK/$log.log" || true)
        if [ "$count" != 1 ]; then
            echo "FAIL: the $log saw $count requests from $address:3336 (expected 1)"
            cat "$LAN_WORK/$log.log"
            status=1
        fi
    done
done
[ $status = 0 ] && echo "PASS: every device heard one request per controller address"
exit $status
