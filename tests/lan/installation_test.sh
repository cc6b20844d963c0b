#!/usr/bin/env bash
# installation_test.sh SCENARIO TEST_PROGRAM
# One end-to-end scenario: the installation it needs (simulated-installation.sh), and the
# function of TEST_PROGRAM that runs against it in the controller's namespace. Everything
# the scenario makes is removed when it ends, also on failure.
set -euo pipefail
scenario=$1 test_program=$2
installation=$(dirname "$0")/../../tools/device_simulator/simulated-installation.sh
case $scenario in
routing) options=(--encoders 4 --decoders 6 --wall 2x2) function=discoversAndRoutes ;;
walls) options=(--encoders 2 --decoders 6) function=buildsWallsAndSwitchesDisplays ;;
faults) options=(--encoders 2 --decoders 3) function=survivesFaults ;;
hostile)
    # Short, long, unnamed, named like a wall (the test's settings file knows VW:0001:1111)
    # and named with a shell in mind.
    options=(--encoders 1 --decoders 2 --wall 2x1
        --extra decoder 291 'IPD1SHORT-7c2e0d00ba01'
        --extra encoder 4000 'IPE1LONG-7c2e0d00ba02'
        --extra decoder 292 ''
        --extra decoder 292 'VW'
        --extra decoder 292 'VW:0001:1111'
        --extra encoder 292 'IPE1$(touch pwned)`touch pwned`;touch pwned-7c2e0d00ba03'
        --extra decoder 292 'IPD1;reboot;-7c2e0d00ba04')
    function=hostileRepliesCreateNothingHarmful
    ;;
scenes)
    # The first two decoders form a wall; the fourth refuses sources, the fifth hangs on them.
    options=(--encoders 2 --decoders 5 --wall 2x1) function=scenesRecallAndReport
    ;;
restart) options=(--encoders 2 --decoders 6 --wall 2x1) function=restartKeepsNamesOrderAndWalls ;;
*)
    echo "installation_test: unknown scenario $scenario" >&2
    exit 2
    ;;
esac
exec "$installation" "${options[@]}" --seconds 150 -- "$test_program" "$function"
