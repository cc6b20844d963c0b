# Sourced by the tests that need an MQTT broker. start_broker PORT [LINE...]: mosquitto on
# loopback with a configuration of its own (no persistence, and the LINEs), in the folder
# $work, logging to $work/broker.txt; waits until it listens and leaves its pid in
# broker_pid. False when it never listens.
start_broker() {
    cat >"$work/mosquitto.conf" <<CONF
listener $1 127.0.0.1
allow_anonymous true
persistence false
user root
log_dest stderr
CONF
    printf '%s\n' "${@:2}" >>"$work/mosquitto.conf"
    mosquitto -c "$work/mosquitto.conf" >>"$work/broker.txt" 2>&1 &
    broker_pid=$!
    for _ in $(seq 50); do mosquitto_pub -p "$1" -t probe -n 2>/dev/null && return 0; sleep 0.1; done
    return 1
}
