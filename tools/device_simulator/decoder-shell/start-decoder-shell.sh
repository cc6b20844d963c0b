#!/bin/sh
# start-decoder-shell.sh STATE_DIR PORT [ADDRESS] [--no-login]
# A decoder's shell for tests: busybox telnetd on ADDRESS:PORT (default 127.0.0.1), in
# the foreground so that the caller owns the process and ends it by its pid. The state
# the decoder commands change (source, wall place, power, on-screen number, last CEC
# command) lives in one file each in STATE_DIR, where a test can read it back.
set -eu
if [ $# -lt 2 ]; then
    echo "usage: $0 STATE_DIR PORT [ADDRESS] [--no-login]" >&2
    exit 2
fi
state=$1 port=$2 address=${3:-127.0.0.1}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$state"
state=$(cd "$state" && pwd)
[ -f "$state/source_select" ] || echo NULL >"$state/source_select"
[ -f "$state/crop_param" ] || echo 0:0:0:0 >"$state/crop_param"
[ -f "$state/power" ] || echo on >"$state/power"
[ -f "$state/osd" ] || : >"$state/osd"
[ -f "$state/cec" ] || : >"$state/cec"
DECODER_STATE=$state
DECODER_LOGIN=yes
[ "${4:-}" = --no-login ] && DECODER_LOGIN=no
DECODER_PATH=$here/bin:/usr/sbin:/usr/bin:/sbin:/bin
export DECODER_STATE DECODER_LOGIN DECODER_PATH
exec busybox telnetd -F -p "$port" -b "$address" -f /dev/null -l "$here/login-shell.sh"
