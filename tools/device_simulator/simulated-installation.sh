#!/usr/bin/env bash
# simulated-installation.sh [OPTIONS] [--] CMD...
# Builds a small installation on the test LAN (tests/lan/testlan.sh): simulated encoders
# and decoders, each in a network namespace of its own, then runs CMD in the controller's
# namespace (192.0.2.1) and removes everything when CMD ends. Needs root.
#   --encoders N     simulated encoders (default 2), names IPE1SIM-7c2e0d00e0NN
#   --decoders N     simulated decoders (default 4), names IPD1SIM-7c2e0d00d0NN; their
#                    shells alternate between an interactive ash with line editing and the
#                    plain read loop
#   --wall CxR       the first C x R decoders already form a wall of C columns and R rows
#   --extra KIND BYTES NAME
#                    one more device (repeatable) whose reply is BYTES long and carries NAME
#                    as given, for replies a controller must survive: short, long, unnamed,
#                    or named like a wall or with shell metacharacters; KIND is encoder or
#                    decoder (a decoder without a shell)
#   --seconds N      how long CMD and the devices may run at most (default 3600)
# CMD finds the installation described in the file $SIM_INSTALLATION, one device a line:
# KIND ADDRESS FOLDER NAME, KIND being encoder, decoder or extra, and NAME the rest of the
# line. An encoder's FOLDER holds its faults (files silent, stall, cut, oversize) and
# log.txt, the simulator's output (requests, wall commands); a decoder's FOLDER holds its
# shell's state files, the shell's faults (fault-drop, fault-stall, fault-refuse,
# fault-garbage), the simulator's
# faults and log.txt.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../tests/lan/testlan.sh"

encoders=2 decoders=4 wall_columns=0 wall_rows=0 seconds=3600
extras=()
devsim=${DEVSIM:-}
while [ $# -gt 0 ]; do
    case $1 in
    --encoders) encoders=$2; shift 2 ;;
    --decoders) decoders=$2; shift 2 ;;
    --wall) wall_columns=${2%x*} wall_rows=${2#*x}; shift 2 ;;
    --extra) extras+=("$2" "$3" "$4"); shift 4 ;;
    --seconds) seconds=$2; shift 2 ;;
    --) shift; break ;;
    -*) echo "simulated-installation: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
if [ $# -eq 0 ]; then
    echo "usage: $0 [--encoders N] [--decoders N] [--wall CxR] [--extra KIND BYTES NAME]... [--seconds N] [--] CMD..." >&2
    exit 2
fi
if [ -z "$devsim" ]; then
    for candidate in "$here/../../build/tools/device_simulator/zentrova-devsim" "$(command -v zentrova-devsim || true)"; do
        [ -x "$candidate" ] && devsim=$candidate && break
    done
fi
[ -x "$devsim" ] || { echo "simulated-installation: set DEVSIM to the zentrova-devsim program" >&2; exit 2; }
if [ $((wall_columns * wall_rows)) -gt "$decoders" ]; then
    echo "simulated-installation: a ${wall_columns}x${wall_rows} wall needs more decoders" >&2
    exit 2
fi

lan_start
SIM_INSTALLATION=$LAN_WORK/installation
: >"$SIM_INSTALLATION"
for ((n = 0; n < encoders + decoders; n++)); do
    lan_add_device "$n"
    address=$(lan_device_address "$n")
    folder=$LAN_WORK/device$n
    mkdir -p "$folder"
    if [ "$n" -lt "$encoders" ]; then
        name=$(printf 'IPE1SIM-7c2e0d00e0%02X' $((n + 1)))
        lan_spawn "$(lan_ns "$n")" "$folder/log.txt" "$seconds" "$devsim" --name "$name" --faults "$folder"
        echo "encoder $address $folder $name" >>"$SIM_INSTALLATION"
    else
        d=$((n - encoders))
        name=$(printf 'IPD1SIM-7c2e0d00d0%02X' $((d + 1)))
        if [ "$d" -lt $((wall_columns * wall_rows)) ]; then
            echo "$((wall_rows - 1)):$((wall_columns - 1)):$((d / wall_columns)):$((d % wall_columns))" >"$folder/crop_param"
        fi
        flavour=--line-editing
        [ $((d % 2)) = 1 ] && flavour=--no-login
        lan_spawn "$(lan_ns "$n")" "$folder/log.txt" "$seconds" "$devsim" --name "$name" --faults "$folder"
        lan_spawn "$(lan_ns "$n")" "$folder/shell.txt" "$seconds" \
            "$here/decoder-shell/start-decoder-shell.sh" "$folder" 24 "$address" "$flavour"
        echo "decoder $address $folder $name" >>"$SIM_INSTALLATION"
    fi
done
for ((e = 0; e < ${#extras[@]}; e += 3)); do
    n=$((encoders + decoders + e / 3))
    lan_add_device "$n"
    folder=$LAN_WORK/device$n
    mkdir -p "$folder"
    # Only the reply matters: the preview and the command ports are out of the way.
    lan_spawn "$(lan_ns "$n")" "$folder/log.txt" "$seconds" "$devsim" --kind "${extras[e]}" \
        --reply-size "${extras[e + 1]}" --name "${extras[e + 2]}" --http-port 8080 --command-ports '' --faults "$folder"
    echo "extra $(lan_device_address "$n") $folder ${extras[e + 2]}" >>"$SIM_INSTALLATION"
done
while read -r kind address folder name; do
    lan_wait_for "$folder/log.txt" "^ready " 20
done <"$SIM_INSTALLATION"

export SIM_INSTALLATION
lan_exec "$(lan_ns controller)" "$seconds" "$@"
