#!/usr/bin/env bash
# run.sh BUILD_DIR: the MQTT bridge benchmark against a mosquitto broker on loopback, in a
# network namespace of its own.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../../scripts/netless" env QT_QPA_PLATFORM=offscreen "$build/bench/mqtt_bridge/mqtt_bridge_bench"
