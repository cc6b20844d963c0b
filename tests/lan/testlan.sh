#!/usr/bin/env bash
# testlan.sh: a small LAN made of network namespaces, for end-to-end tests. Source it:
#
#   lan_start                      a bridge in its own namespace and the controller's namespace
#                                  (192.0.2.1/24), and a trap that removes everything on exit
#   lan_add_controller_address IP  one more address on the controller's interface
#   lan_add_device N               device namespace N with 192.0.2.(10+N)/24
#   lan_add_device_address N IP    one more address on device N's interface
#   lan_add_fleet COUNT            device 0 with COUNT addresses, for one process standing in
#                                  for many devices; the addresses in LAN_FLEET_ADDRESSES
#   lan_ns controller|N            the name of a namespace
#   lan_exec NS SECONDS CMD...     runs CMD inside NS, ended after SECONDS
#   lan_spawn NS LOG SECONDS CMD...  starts CMD inside NS in the background (own process
#                                  group, output to LOG, ended after SECONDS at the latest)
#   lan_wait_for LOG PATTERN SECONDS  waits until LOG holds a line matching PATTERN
#   lan_cleanup                    ends every process and removes every namespace of this run
#
# Only 192.0.2.0/24 (TEST-NET-1) is used, so nothing here can reach a real network, and
# every name carries LAN_ID (default: the pid of the shell), so parallel runs never meet.
# Needs root and iproute2; works inside an `unshare -n` namespace too, because the new
# namespaces are made from scratch and joined only to each other.

LAN_ID=${LAN_ID:-$$}
LAN_PREFIX="ztl${LAN_ID}"
LAN_STEP_SECONDS=10
LAN_PIDS=()
LAN_WORK=""

lan_ns() {
    if [ "$1" = controller ]; then echo "${LAN_PREFIX}-ctl"; else echo "${LAN_PREFIX}-d$1"; fi
}

_lan_bridge_ns() { echo "${LAN_PREFIX}-br"; }

_lan_ip() { timeout "$LAN_STEP_SECONDS" ip "$@"; }

# A namespace with loopback up, joined to the bridge by a veth pair whose inner end is
# called $2 and carries the address $3.
_lan_join() {
    local ns=$1 inner=$2 address=$3 outer="${2}p"
    _lan_ip netns add "$ns"
    _lan_ip -n "$ns" link set lo up
    _lan_ip -n "$(_lan_bridge_ns)" link add "$outer" type veth peer name "$inner" netns "$ns"
    _lan_ip -n "$(_lan_bridge_ns)" link set "$outer" master "zb${LAN_ID}" up
    _lan_ip -n "$ns" addr add "$address/24" brd + dev "$inner"
    _lan_ip -n "$ns" link set "$inner" up
}

lan_start() {
    trap lan_cleanup EXIT
    trap 'exit 130' INT TERM HUP
    LAN_WORK=$(mktemp -d "/tmp/${LAN_PREFIX}.XXXXXX")
    _lan_ip netns add "$(_lan_bridge_ns)"
    _lan_ip -n "$(_lan_bridge_ns)" link add "zb${LAN_ID}" type bridge
    _lan_ip -n "$(_lan_bridge_ns)" link set "zb${LAN_ID}" up
    _lan_join "$(lan_ns controller)" "zc${LAN_ID}" 192.0.2.1
}

lan_add_controller_address() {
    case $1 in 192.0.2.*) ;; *) echo "testlan: $1 is not in 192.0.2.0/24" >&2; return 1 ;; esac
    _lan_ip -n "$(lan_ns controller)" addr add "$1/24" brd + dev "zc${LAN_ID}"
}

lan_add_device() {
    local n=$1
    [ "$n" -ge 0 ] && [ "$n" -le 200 ] || { echo "testlan: device number $n out of range" >&2; return 1; }
    _lan_join "$(lan_ns "$n")" "zd${LAN_ID}n${n}" "192.0.2.$((10 + n))"
}

lan_add_device_address() {
    case $2 in 192.0.2.*) ;; *) echo "testlan: $2 is not in 192.0.2.0/24" >&2; return 1 ;; esac
    _lan_ip -n "$(lan_ns "$1")" addr add "$2/24" brd + dev "zd${LAN_ID}n$1"
}

lan_add_fleet() {
    local i address
    lan_add_device 0
    LAN_FLEET_ADDRESSES=("$(lan_device_address 0)")
    for ((i = 1; i < $1; i++)); do
        address=192.0.2.$((10 + 100 + i))
        lan_add_device_address 0 "$address"
        LAN_FLEET_ADDRESSES+=("$address")
    done
}

lan_device_address() { echo "192.0.2.$((10 + $1))"; }

lan_exec() {
    local ns=$1 seconds=$2
    shift 2
    # In the background and waited for, so that a signal reaches the trap at once.
    timeout --kill-after=5 "$seconds" ip netns exec "$ns" "$@" &
    wait "$!"
}

lan_spawn() {
    local ns=$1 log=$2 seconds=$3
    shift 3
    setsid timeout --kill-after=5 "$seconds" ip netns exec "$ns" "$@" >"$log" 2>&1 </dev/null &
    LAN_PIDS+=("$!")
}

lan_wait_for() {
    local log=$1 pattern=$2 seconds=$3 waited=0
    until grep -Eq -- "$pattern" "$log" 2>/dev/null; do
        if [ "$waited" -ge $((seconds * 10)) ]; then
            echo "testlan: '$pattern' did not appear in $log within $seconds s" >&2
            return 1
        fi
        sleep 0.1 &
        wait "$!"
        waited=$((waited + 1))
    done
}

lan_cleanup() {
    local pid ns
    for pid in "${LAN_PIDS[@]}"; do
        kill -TERM -- "-$pid" 2>/dev/null || true
    done
    # A moment to end cleanly; whatever still runs inside one of this run's namespaces then
    # was started by it.
    [ ${#LAN_PIDS[@]} = 0 ] || sleep 0.5
    for ns in $(timeout 5 ip netns list 2>/dev/null | awk '{print $1}' | grep -E "^${LAN_PREFIX}-" || true); do
        for pid in $(timeout 5 ip netns pids "$ns" 2>/dev/null); do
            kill -KILL "$pid" 2>/dev/null || true
        done
        timeout 5 ip netns del "$ns" 2>/dev/null || true
    done
    for pid in "${LAN_PIDS[@]}"; do
        kill -KILL -- "-$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    LAN_PIDS=()
    [ -n "$LAN_WORK" ] && rm -rf "$LAN_WORK"
    LAN_WORK=""
}
