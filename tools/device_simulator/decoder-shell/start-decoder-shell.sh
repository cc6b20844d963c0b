#!/bin/sh
# start-decoder-shell.sh STATE_DIR PORT [ADDRESS] [--no-login] [--line-editing]
# A decoder's shell for tests: busybox telnetd on ADDRESS:PORT (default 127.0.0.1), in
# the foreground so that the caller owns the process and ends it by its pid. The state
# the decoder commands change (source, wall place, power, on-screen number, last CEC
# command) lives in one file each in STATE_DIR, where a test can read it back.
#   --no-login      the shell prompt comes at once, without "login:"
#   --line-editing  an interactive busybox ash with line editing, as decoder firmware often
#                   runs, which asks for the cursor position after every prompt; without
#                   it, a plain loop reads the lines and logs them to STATE_DIR/commands.log
# Faults, switched by files in STATE_DIR: fault-drop holding a command's name (gbconfig, e,
# osd_show, cec, gbparam) drops the telnet connection in the middle of that command, once;
# fault-stall holding a command's name makes that command hang; fault-refuse makes gbconfig
# keep the source; fault-garbage makes gbparam answer with garbage.
set -eu
if [ $# -lt 2 ]; then
    echo "usage: $0 STATE_DIR PORT [ADDRESS] [--no-login] [--line-editing]" >&2
    exit 2
fi
state=$1 port=$2 address=127.0.0.1
shift 2
DECODER_LOGIN=yes
DECODER_LINE_EDITING=no
for arg in "$@"; do
    case $arg in
    --no-login) DECODER_LOGIN=no ;;
    --line-editing) DECODER_LINE_EDITING=yes ;;
    -*)
        echo "$0: unknown option $arg" >&2
        exit 2
        ;;
    *) address=$arg ;;
    esac
done
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$state"
state=$(cd "$state" && pwd)
[ -f "$state/source_select" ] || echo NULL >"$state/source_select"
[ -f "$state/crop_param" ] || echo 0:0:0:0 >"$state/crop_param"
[ -f "$state/power" ] || echo on >"$state/power"
[ -f "$state/osd" ] || : >"$state/osd"
[ -f "$state/cec" ] || : >"$state/cec"
DECODER_STATE=$state
DECODER_PATH=$here/bin:/usr/sbin:/usr/bin:/sbin:/bin
export DECODER_STATE DECODER_LOGIN DECODER_LINE_EDITING DECODER_PATH
exec busybox telnetd -F -p "$port" -b "$address" -f /dev/null -l "$here/login-shell.sh"
